// The request queue and packet listening of a port, driven through a real
// pseudo-terminal: the test plays the device on the master side.
#include <gtest/gtest.h>

#include <cmath>
#include <fcntl.h>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "SerialTestSupport.h"
#include "VELSerialBytesRequest.h"
#include "VELSerialDelimitedPacketDescriptor.h"
#include "VELSerialRegexPacketDescriptor.h"

using Callback = VELSerialPortDelegate::Callback;
using Bytes = std::vector<std::uint8_t>;
using RequestPtr = std::shared_ptr<VELSerialRequest>;
using DescriptorPtr = std::shared_ptr<VELSerialPacketDescriptor>;

namespace {

Bytes bytes(const std::string& text)
{
    return Bytes(text.begin(), text.end());
}

std::string text(std::span<const std::uint8_t> data)
{
    return std::string(data.begin(), data.end());
}

RequestPtr request(const std::string& data, double timeout = 0, DescriptorPtr response = nullptr)
{
    return std::make_shared<VELSerialBytesRequest>(bytes(data), timeout, std::move(response));
}

// Answers end with `end`; the whole buffer is the answer, so a test sees
// exactly what the response buffer held.
DescriptorPtr tailEndingWith(char end, std::uint64_t maximum = 16)
{
    return std::make_shared<VELSerialRegexPacketDescriptor>(std::string(".*\\") + end, maximum);
}

DescriptorPtr angleFrames()
{
    return std::make_shared<VELSerialDelimitedPacketDescriptor>(bytes("<"), bytes(">"), 16);
}

// Records the request layer's callbacks as readable lines, in order.
class RequestDelegate : public VELSerialPortDelegate {
public:
    explicit RequestDelegate(Callbacks implemented) : implemented_(implemented) {}

    Callbacks implementedCallbacks() const override { return implemented_; }

    void serialPortWasRemovedFromSystem(const std::shared_ptr<VELSerialPort>&) override {}
    void serialPortDidReceiveData(const std::shared_ptr<VELSerialPort>&, std::span<const std::uint8_t> data) override
    {
        received += text(data);
        if (recordData) {
            events.push_back("data " + text(data));
        }
    }
    void serialPortWasClosed(const std::shared_ptr<VELSerialPort>&) override { closed = true; }
    void serialPortDidReceivePacketMatchingDescriptor(const std::shared_ptr<VELSerialPort>&,
                                                      std::span<const std::uint8_t> packet,
                                                      const DescriptorPtr&) override
    {
        events.push_back("packet " + text(packet));
    }
    void serialPortDidReceiveResponseToRequest(const std::shared_ptr<VELSerialPort>&,
                                               std::span<const std::uint8_t> response,
                                               const RequestPtr& request) override
    {
        events.push_back("response " + text(request->dataToSend()) + " " + text(response));
    }
    void serialPortRequestDidTimeout(const std::shared_ptr<VELSerialPort>& port, const RequestPtr& request) override
    {
        events.push_back("timeout " + (request ? text(request->dataToSend()) : "of nothing"));
        if (onTimeout) {
            onTimeout(port, request);
        }
    }

    // Only the main thread touches these: callbacks run there, and so does
    // the test.
    std::vector<std::string> events;
    std::string received;
    bool closed = false;
    bool recordData = false;
    std::function<void(const std::shared_ptr<VELSerialPort>&, const RequestPtr&)> onTimeout;

private:
    Callbacks implemented_;
};

const VELSerialPortDelegate::Callbacks kAll{Callback::DidReceiveData,
                                            Callback::WasClosed,
                                            Callback::DidReceivePacketMatchingDescriptor,
                                            Callback::DidReceiveResponseToRequest,
                                            Callback::RequestDidTimeout};

class RequestQueueTest : public test::MainQueueTest {
protected:
    void TearDown() override
    {
        if (port_) {
            // The port does not order its close after a write still running
            // on the request-handling queue; waiting for that queue (which
            // stopping to listen does) orders them.
            port_->stopListeningForPacketsMatchingDescriptor(angleFrames());
            port_->close();
            EXPECT_TRUE(runUntil([&] { return !port_->isOpen(); }));
            // Nothing of the request layer may keep a closed port alive.
            std::weak_ptr<VELSerialPort> weak = port_;
            port_.reset();
            EXPECT_TRUE(runUntil([&] { return weak.expired(); }));
        }
    }

    VELSerialPort& open(VELSerialPortDelegate::Callbacks implemented = kAll)
    {
        delegate_ = std::make_shared<RequestDelegate>(implemented);
        port_ = VELSerialPort::initWithPath(pty_.path());
        EXPECT_TRUE(port_);
        port_->setDelegate(delegate_);
        port_->open();
        EXPECT_TRUE(runUntil([&] { return port_->isOpen(); }));
        ::fcntl(pty_.master(), F_SETFL, ::fcntl(pty_.master(), F_GETFL) | O_NONBLOCK);
        return *port_;
    }

    // Everything the port has written so far, in order.
    const std::string& written()
    {
        char buffer[256];
        ssize_t n = 0;
        while ((n = ::read(pty_.master(), buffer, sizeof buffer)) > 0) {
            written_.append(buffer, static_cast<std::size_t>(n));
        }
        return written_;
    }

    bool waitForWritten(const std::string& expected)
    {
        return runUntil([&] { return written().size() >= expected.size(); }) && written() == expected;
    }

    bool waitForEvents(std::size_t count)
    {
        return runUntil([&] { return delegate_->events.size() >= count; });
    }

    // Device to port, as one read: waits until the port has taken it.
    void answer(const std::string& data)
    {
        const std::size_t before = delegate_->received.size();
        pty_.write(bytes(data));
        ASSERT_TRUE(runUntil([&] { return delegate_->received.size() >= before + data.size(); }));
    }

    test::PseudoTerminal pty_;
    std::shared_ptr<RequestDelegate> delegate_;
    std::shared_ptr<VELSerialPort> port_;
    std::string written_;
};

}  // namespace

TEST_F(RequestQueueTest, RequestsWithoutResponseFinishWhenWrittenAndCancelTheirTimer)
{
    VELSerialPort& port = open();
    // The first would time out after 50 ms if its timer survived the write.
    EXPECT_TRUE(port.sendRequest(request("A", 0.05)));
    EXPECT_TRUE(port.sendRequest(request("B")));
    EXPECT_EQ(port.pendingRequest(), nullptr);
    EXPECT_TRUE(port.queuedRequests().empty());
    EXPECT_TRUE(waitForWritten("AB"));

    // A later, longer time-out: any report for A would have come before it.
    EXPECT_TRUE(port.sendRequest(request("C", 0.2, tailEndingWith('!'))));
    ASSERT_TRUE(waitForEvents(1));
    EXPECT_EQ(delegate_->events, std::vector<std::string>{"timeout C"});
}

TEST_F(RequestQueueTest, NonPositiveTimeoutsStartNoTimer)
{
    VELSerialPort& port = open();
    for (double timeout : {0.0, -1.0, std::nan("")}) {
        SCOPED_TRACE(timeout);
        delegate_->events.clear();
        auto waiting = request("Q", timeout, tailEndingWith('!'));
        EXPECT_TRUE(port.sendRequest(waiting));
        // A timer of zero or negative length would fire at once.
        runFor(std::chrono::milliseconds(100));
        EXPECT_TRUE(delegate_->events.empty());
        EXPECT_EQ(port.pendingRequest(), waiting);
        answer("!");
        ASSERT_TRUE(waitForEvents(1));
        EXPECT_EQ(delegate_->events, std::vector<std::string>{"response Q !"});
    }
}

TEST_F(RequestQueueTest, SecondRequestWaitsForTheFirstAndObserversHearTheIndexes)
{
    VELSerialPort& port = open();
    // Told on the request-handling queue.
    std::mutex mutex;
    std::vector<std::string> notices;
    auto observation = port.addObserver("requestsQueue", [&](const vel::Change& change) {
        if (!change.isPrior) {
            std::lock_guard lock(mutex);
            notices.push_back((change.kind == vel::ChangeKind::Insertion ? "insert " : "remove ") +
                              std::to_string(change.indexes.at(0)));
        }
    });
    auto first = request("1", 0, tailEndingWith('.'));
    auto second = request("2");
    EXPECT_TRUE(port.sendRequest(first));
    EXPECT_TRUE(port.sendRequest(second));
    EXPECT_EQ(port.pendingRequest(), first);
    EXPECT_EQ(port.queuedRequests(), std::vector<RequestPtr>{second});

    answer(".");
    EXPECT_TRUE(waitForWritten("12"));
    EXPECT_TRUE(runUntil([&] {
        std::lock_guard lock(mutex);
        return notices.size() == 2;
    }));
    std::lock_guard lock(mutex);
    EXPECT_EQ(notices, (std::vector<std::string>{"insert 0", "remove 0"}));
}

TEST_F(RequestQueueTest, ResponseBufferKeepsEarlierChunksTrimmedToTheMaximum)
{
    VELSerialPort& port = open();
    // The whole buffer is the response: what it holds is what was kept.
    EXPECT_TRUE(port.sendRequest(request("A", 0, tailEndingWith('!', 5))));
    answer("ab");
    answer("c");
    answer("d!");
    ASSERT_TRUE(waitForEvents(1));

    EXPECT_TRUE(port.sendRequest(request("B", 0, tailEndingWith('!', 4))));
    answer("vwxyz");
    answer("ab!");
    ASSERT_TRUE(waitForEvents(2));
    EXPECT_EQ(delegate_->events, (std::vector<std::string>{"response A abcd!", "response B zab!"}));
}

TEST_F(RequestQueueTest, PacketComesFirstAndItsBufferStartsAfresh)
{
    VELSerialPort& port = open();
    port.startListeningForPacketsMatchingDescriptor(angleFrames());
    EXPECT_TRUE(port.sendRequest(request("A", 0, angleFrames())));
    answer("<1>");
    // Had "<1>" stayed in the packet buffer, "2>" would complete "<1>2>".
    answer("2>");
    answer("<3>");
    ASSERT_TRUE(waitForEvents(3));
    EXPECT_EQ(delegate_->events, (std::vector<std::string>{"packet <1>", "response A <1>", "packet <3>"}));
}

TEST_F(RequestQueueTest, ListeningTwiceForAnEqualDescriptorChangesNothing)
{
    VELSerialPort& port = open();
    int notices = 0;
    auto observation = port.addObserver("packetDescriptors", [&](const vel::Change&) { ++notices; });
    auto frames = angleFrames();
    auto lines = std::make_shared<VELSerialDelimitedPacketDescriptor>(Bytes{}, bytes("\n"), 64);

    port.startListeningForPacketsMatchingDescriptor(lines);
    port.startListeningForPacketsMatchingDescriptor(frames);
    EXPECT_EQ(notices, 4);
    port.startListeningForPacketsMatchingDescriptor(angleFrames());
    EXPECT_EQ(notices, 4);
    EXPECT_EQ(port.packetDescriptors(), (std::vector<DescriptorPtr>{lines, frames}));

    // Stopping goes by equality; an unknown descriptor still announces.
    port.stopListeningForPacketsMatchingDescriptor(std::make_shared<VELSerialRegexPacketDescriptor>("x", 1));
    EXPECT_EQ(notices, 6);
    port.stopListeningForPacketsMatchingDescriptor(angleFrames());
    EXPECT_EQ(port.packetDescriptors(), std::vector<DescriptorPtr>{lines});
}

TEST_F(RequestQueueTest, CancellingSparesTheRequestInFlightAndRemovesOneEqualRequest)
{
    VELSerialPort& port = open();
    auto inFlight = request("A", 0, tailEndingWith('.'));
    auto b = request("B");
    auto sameAsB = request("B");
    auto c = request("C");
    for (const auto& r : {inFlight, b, sameAsB, c}) {
        EXPECT_TRUE(port.sendRequest(r));
    }
    port.cancelQueuedRequest(inFlight);
    port.cancelQueuedRequest(request("B"));
    ASSERT_TRUE(runUntil([&] { return port.queuedRequests().size() == 2; }));
    EXPECT_EQ(port.queuedRequests(), (std::vector<RequestPtr>{sameAsB, c}));
    EXPECT_EQ(port.pendingRequest(), inFlight);

    port.cancelAllQueuedRequests();
    ASSERT_TRUE(runUntil([&] { return port.queuedRequests().empty(); }));
    EXPECT_EQ(port.pendingRequest(), inFlight);
    answer(".");
    ASSERT_TRUE(waitForEvents(1));
    // Sent once the answer has been handled: written right behind A.
    EXPECT_TRUE(port.sendRequest(request("M")));
    EXPECT_TRUE(waitForWritten("AM"));
}

TEST_F(RequestQueueTest, TimeoutIsReportedBeforeTheNextRequestIsSentWhenTheDelegateTakesIt)
{
    VELSerialPort& port = open();
    auto slow = request("A", 0.05, tailEndingWith('!'));
    RequestPtr reported;
    RequestPtr inFlightDuringReport;
    delegate_->onTimeout = [&](const std::shared_ptr<VELSerialPort>& p, const RequestPtr& r) {
        reported = r;
        inFlightDuringReport = p->pendingRequest();
    };
    EXPECT_TRUE(port.sendRequest(slow));
    EXPECT_TRUE(port.sendRequest(request("B")));
    EXPECT_TRUE(waitForWritten("AB"));
    EXPECT_EQ(reported, slow);
    EXPECT_EQ(inFlightDuringReport, slow);

    auto silent = std::make_shared<RequestDelegate>(VELSerialPortDelegate::Callbacks{Callback::DidReceiveData});
    port.setDelegate(silent);
    EXPECT_TRUE(port.sendRequest(request("C", 0.05, tailEndingWith('!'))));
    EXPECT_TRUE(port.sendRequest(request("D")));
    EXPECT_TRUE(waitForWritten("ABCD"));
    EXPECT_EQ(port.pendingRequest(), nullptr);
    EXPECT_EQ(delegate_->events, std::vector<std::string>{"timeout A"});
}

TEST_F(RequestQueueTest, TimerOfARequestDiscardedOnCloseReportsNothing)
{
    VELSerialPort& port = open();
    // A second: the close must be under way before A's timer falls due,
    // also on a loaded machine under ThreadSanitizer.
    const auto sent = std::chrono::steady_clock::now();
    EXPECT_TRUE(port.sendRequest(request("A", 1.0, tailEndingWith('!'))));
    EXPECT_TRUE(port.sendRequest(request("B")));
    port.close();
    ASSERT_TRUE(runUntil([&] { return delegate_->closed && !port.pendingRequest(); }));
    EXPECT_TRUE(port.queuedRequests().empty());

    port.open();
    ASSERT_TRUE(runUntil([&] { return port.isOpen(); }));
    // A's timer falls due in this window, with nothing in flight.
    runFor(std::chrono::duration_cast<std::chrono::milliseconds>(sent + std::chrono::milliseconds(1300) -
                                                                 std::chrono::steady_clock::now()));
    EXPECT_TRUE(delegate_->events.empty());

    EXPECT_TRUE(port.sendRequest(request("M", 0, tailEndingWith('!'))));
    answer("!");
    ASSERT_TRUE(waitForEvents(1));
    EXPECT_EQ(delegate_->events, std::vector<std::string>{"response M !"});
    EXPECT_EQ(written(), "AM");
}

TEST_F(RequestQueueTest, AnAnswerSentDuringTheTimeoutReportCountsForTheNextRequest)
{
    VELSerialPort& port = open();
    auto b = request("B", 0, tailEndingWith(']'));
    delegate_->onTimeout = [&](const std::shared_ptr<VELSerialPort>&, const RequestPtr&) {
        // The answer to A comes while its time-out is being reported: the
        // main thread, which reads, is busy here; the queue moves on to B
        // once this callback has returned, before the answer is read.
        pty_.write(bytes(">"));
    };
    EXPECT_TRUE(port.sendRequest(request("A", 0.05, tailEndingWith('>'))));
    EXPECT_TRUE(port.sendRequest(b));
    EXPECT_TRUE(port.sendRequest(request("C")));
    ASSERT_TRUE(waitForEvents(1));
    EXPECT_TRUE(waitForWritten("AB"));

    // Queued behind the step that the time-out report left: once it has
    // returned, that step has run and must not have cut B short.
    EXPECT_TRUE(port.sendRequest(request("D")));
    EXPECT_EQ(port.pendingRequest(), b);
    EXPECT_EQ(port.queuedRequests().size(), 2u);

    // The late ">" is read once the report has returned, while B waits.
    answer("]");
    EXPECT_TRUE(waitForWritten("ABCD"));
    ASSERT_TRUE(waitForEvents(2));
    EXPECT_EQ(delegate_->events, (std::vector<std::string>{"timeout A", "response B >]"}));
}

// For every chunk the delegate hears the data before any packet or response
// that its bytes complete, whether the response comes in one read or two.
TEST_F(RequestQueueTest, DataComesBeforeThePacketsAndResponsesItCompletes)
{
    VELSerialPort& port = open();
    delegate_->recordData = true;
    port.startListeningForPacketsMatchingDescriptor(angleFrames());
    for (int round = 0; round < 100; ++round) {
        const std::string n = std::to_string(round % 10);
        delegate_->events.clear();
        ASSERT_TRUE(port.sendRequest(request("A", 0, angleFrames())));
        pty_.write(bytes("<" + n + ">"));
        ASSERT_TRUE(waitForEvents(3));
        EXPECT_EQ(delegate_->events,
                  (std::vector<std::string>{"data <" + n + ">", "packet <" + n + ">", "response A <" + n + ">"}))
            << "round " << round;

        delegate_->events.clear();
        ASSERT_TRUE(port.sendRequest(request("B", 0, tailEndingWith('!'))));
        answer("x" + n);
        pty_.write(bytes("y!"));
        ASSERT_TRUE(waitForEvents(3));
        EXPECT_EQ(delegate_->events,
                  (std::vector<std::string>{"data x" + n, "data y!", "response B x" + n + "y!"}))
            << "round " << round;
        if (HasFailure()) {
            return;
        }
    }
}
