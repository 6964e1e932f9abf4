#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "runtime/Published.h"

using namespace platform;

namespace {
struct Model : ObservableObject {
    Published<int> count{*this, 3};
    Published<std::optional<std::string>> name{*this};
};
}  // namespace

TEST(Published, WriteSendsWillChangeThenStoresThenTellsSubscribersThenTheOwner) {
    Model m;
    std::vector<std::string> events;
    // The owner's observer is set first, yet hears the write last.
    m.count.onDidSet([&](const int& old) {
        events.push_back("observer:" + std::to_string(old) + "->" + std::to_string(m.count.get()));
    });
    auto will = m.objectWillChange().subscribe([&] { events.push_back("will:" + std::to_string(m.count.get())); });
    auto did = m.count.subscribe([&](const int& v) {
        events.push_back("did:" + std::to_string(v) + "/" + std::to_string(m.count.get()));
    });
    m.count = 7;
    EXPECT_EQ(events, (std::vector<std::string>{"will:3", "did:7/7", "observer:3->7"}));
    m.count = 7;
    EXPECT_EQ(events.size(), 6u) << "an equal write still publishes";
}

TEST(Published, SubscribersHearOnlyTheirOwnFieldAndStopWhenTokenDrops) {
    Model m;
    int countCalls = 0, nameCalls = 0, willCalls = 0;
    auto will = m.objectWillChange().subscribe([&] { ++willCalls; });
    auto c = m.count.subscribe([&](const int&) { ++countCalls; });
    {
        auto n = m.name.subscribe([&](const std::optional<std::string>&) { ++nameCalls; });
        m.name = std::string("x");
    }
    m.name = std::nullopt;  // the subscription is gone
    EXPECT_EQ(nameCalls, 1);
    EXPECT_EQ(countCalls, 0);
    EXPECT_EQ(willCalls, 2);
    c.cancel();
    m.count = 1;
    EXPECT_EQ(countCalls, 0);
}

TEST(Signal, SlotMayUnsubscribeItselfWhileEmittingAndATokenMayOutliveItsSignal) {
    Subscription token;
    {
        Signal<int> s;
        int calls = 0;
        token = s.subscribe([&](const int&) {
            ++calls;
            token.cancel();
        });
        s.send(1);
        s.send(2);
        EXPECT_EQ(calls, 1);
        EXPECT_EQ(s.subscriberCount(), 0u);
        token = s.subscribe([](const int&) {});
    }
    token.cancel();  // must not touch the freed signal
    EXPECT_FALSE(token.active());
}
