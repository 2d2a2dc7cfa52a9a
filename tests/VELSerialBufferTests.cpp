#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

#include "VELSerialBuffer.h"

using Bytes = std::vector<std::uint8_t>;

TEST(VELSerialBuffer, KeepsTheNewestBytesAcrossAndWithinAppends)
{
    VELSerialBuffer across(4);
    across.appendData(Bytes{1, 2});
    across.appendData(Bytes{3, 4, 5});
    EXPECT_EQ(across.data(), (Bytes{2, 3, 4, 5}));

    VELSerialBuffer within(4);
    within.appendData(Bytes{1, 2, 3, 4, 5, 6, 7});
    EXPECT_EQ(within.data(), (Bytes{4, 5, 6, 7}));

    VELSerialBuffer exact(4);
    exact.appendData(Bytes{1, 2, 3, 4});
    EXPECT_EQ(exact.data(), (Bytes{1, 2, 3, 4}));
}

TEST(VELSerialBuffer, MaximumZeroStaysEmpty)
{
    VELSerialBuffer buffer(0);
    buffer.appendData(Bytes{1, 2, 3});
    buffer.appendData(Bytes{4});
    EXPECT_TRUE(buffer.data().empty());
}

TEST(VELSerialBuffer, DataIsALiveViewOfTheContents)
{
    VELSerialBuffer buffer(8);
    const Bytes& view = buffer.data();
    buffer.appendData(Bytes{9});
    EXPECT_EQ(view, (Bytes{9}));
}

TEST(VELSerialBuffer, ObserversHearEveryAppendAndClear)
{
    VELSerialBuffer buffer(4);
    std::vector<std::pair<std::string, bool>> heard;
    auto onData = buffer.addObserver("data", [&](const vel::Change& c) { heard.emplace_back(c.key, c.isPrior); });
    auto onInternal =
        buffer.addObserver("internalBuffer", [&](const vel::Change& c) { heard.emplace_back(c.key, c.isPrior); });

    buffer.appendData(Bytes{});
    EXPECT_TRUE(buffer.data().empty());
    const std::vector<std::pair<std::string, bool>> oneChange{
        {"internalBuffer", true}, {"data", true}, {"internalBuffer", false}, {"data", false}};
    EXPECT_EQ(heard, oneChange);

    heard.clear();
    buffer.appendData(Bytes{1, 2, 3});
    buffer.clearBuffer();
    EXPECT_EQ(heard.size(), 8u);
    EXPECT_TRUE(buffer.data().empty());
    EXPECT_EQ(buffer.maximumLength(), 4u);

    // A cleared buffer still trims to the same maximum.
    buffer.appendData(Bytes{1, 2, 3, 4, 5});
    EXPECT_EQ(buffer.data(), (Bytes{2, 3, 4, 5}));
}

TEST(VELSerialBuffer, PlainConstructionIsRefused)
{
    try {
        VELSerialBuffer::init();
        FAIL() << "init() returned";
    } catch (const std::logic_error& e) {
        EXPECT_STREQ(e.what(), "Use -[VELSerialBuffer initWithMaximumLength:]");
    }
}
