#include <gtest/gtest.h>

#include <cerrno>
#include <stdexcept>

#include "support/Diagnostics.h"
#include "support/PosixError.h"

TEST(PosixError, DescribesDomainCodeMessageAndPath)
{
    const vel::PosixError error(ENOENT, "/dev/ttyUSB7");
    EXPECT_EQ(error.code(), ENOENT);
    EXPECT_EQ(error.message(), "No such file or directory");
    EXPECT_EQ(error.description(),
              "Error Domain=NSPOSIXErrorDomain Code=2 \"No such file or directory\" UserInfo={NSFilePath=/dev/ttyUSB7}");
}

TEST(Diagnostics, RaiseThrowsLogicErrorWithTheMessage)
{
    EXPECT_THROW(
        {
            try {
                vel::raise("broken promise");
            } catch (const std::logic_error& e) {
                EXPECT_STREQ(e.what(), "broken promise");
                throw;
            }
        },
        std::logic_error);
}
