#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "support/NotificationCenter.h"

TEST(NotificationCenter, DeliversByNameAndSenderSynchronouslyInRegistrationOrder)
{
    vel::NotificationCenter center;
    int observerA = 0;
    int observerB = 0;
    const int senderX = 0;
    const int senderY = 0;
    std::vector<std::string> calls;

    center.addObserver(&observerA, "Connected", nullptr, [&](const vel::Notification& n) {
        calls.push_back("A:" + std::any_cast<std::string>(n.userInfo.at("key")));
    });
    center.addObserver(&observerB, "Connected", &senderX, [&](const vel::Notification& n) {
        EXPECT_EQ(n.sender, &senderX);
        calls.push_back("B");
    });
    center.addObserver(&observerB, "Other", nullptr, [&](const vel::Notification&) { calls.push_back("other"); });

    center.postNotification("Connected", &senderY, {{"key", std::string("y")}});
    EXPECT_EQ(calls, (std::vector<std::string>{"A:y"}));  // B listens to senderX only
    calls.clear();
    center.postNotification("Connected", &senderX, {{"key", std::string("x")}});
    EXPECT_EQ(calls, (std::vector<std::string>{"A:x", "B"}));
}

TEST(NotificationCenter, RemovingAnObserverRemovesAllItsRegistrationsOrOneName)
{
    vel::NotificationCenter center;
    int observer = 0;
    int calls = 0;
    center.addObserver(&observer, "One", nullptr, [&](const vel::Notification&) { ++calls; });
    center.addObserver(&observer, "Two", nullptr, [&](const vel::Notification&) { ++calls; });

    center.removeObserver(&observer, "One");
    center.postNotification("One", nullptr);
    center.postNotification("Two", nullptr);
    EXPECT_EQ(calls, 1);

    center.removeObserver(&observer);
    center.postNotification("Two", nullptr);
    EXPECT_EQ(calls, 1);
}

TEST(NotificationCenter, RemovalWaitsForACallInProgressOnAnotherThread)
{
    vel::NotificationCenter center;
    int observer = 0;
    std::atomic<bool> inHandler{false};
    std::atomic<bool> handlerDone{false};
    center.addObserver(&observer, "Slow", nullptr, [&](const vel::Notification&) {
        inHandler = true;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        handlerDone = true;
    });
    std::thread poster([&] { center.postNotification("Slow", nullptr); });
    while (!inHandler) {
        std::this_thread::yield();
    }
    center.removeObserver(&observer);
    // The observer may now be destroyed: its handler must have finished.
    EXPECT_TRUE(handlerDone);
    poster.join();
}

TEST(NotificationCenter, AHandlerMayPostAndRemoveItself)
{
    vel::NotificationCenter center;
    int observer = 0;
    int outer = 0;
    int inner = 0;
    center.addObserver(&observer, "Outer", nullptr, [&](const vel::Notification&) {
        ++outer;
        center.postNotification("Inner", nullptr);
        center.removeObserver(&observer, "Outer");
    });
    center.addObserver(&observer, "Inner", nullptr, [&](const vel::Notification&) { ++inner; });
    center.postNotification("Outer", nullptr);
    center.postNotification("Outer", nullptr);
    EXPECT_EQ(outer, 1);
    EXPECT_EQ(inner, 1);
}
