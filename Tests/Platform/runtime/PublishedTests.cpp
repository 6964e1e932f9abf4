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

TEST(Published, WriteSendsWillChangeThenStoresThenTellsFieldSubscribers) {
    Model m;
    std::vector<std::string> events;
    auto will = m.objectWillChange().subscribe([&] {
        events.push_back("will:" + std::to_string(m.count.get()));
    });
    auto did = m.count.subscribe([&](const int& v) {
        events.push_back("did:" + std::to_string(v) + "/" + std::to_string(m.count.get()));
    });
    m.count = 7;
    EXPECT_EQ(events, (std::vector<std::string>{"will:3", "did:7/7"}));
    EXPECT_EQ(*m.count, 7);
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

TEST(Published, EqualWriteStillPublishes) {
    Model m;
    int calls = 0;
    auto c = m.count.subscribe([&](const int&) { ++calls; });
    m.count = 3;
    EXPECT_EQ(calls, 1);
}

TEST(Signal, SlotMayUnsubscribeItselfWhileEmitting) {
    Signal<int> s;
    Subscription token;
    int calls = 0;
    token = s.subscribe([&](const int&) {
        ++calls;
        token.cancel();
    });
    s.send(1);
    s.send(2);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(s.subscriberCount(), 0u);
}

TEST(Signal, TokenMayOutliveTheSignal) {
    Subscription token;
    {
        Signal<> s;
        token = s.subscribe([] {});
    }
    token.cancel();  // must not touch the freed signal
    EXPECT_FALSE(token.active());
}

TEST(Published, OwnerObserverSeesTheReplacedValueAfterSubscribers) {
    Model m;
    std::vector<std::string> events;
    m.count.onDidSet([&](const int& old) {
        events.push_back("observer:" + std::to_string(old) + "->" + std::to_string(m.count.get()));
    });
    auto c = m.count.subscribe([&](const int& v) { events.push_back("subscriber:" + std::to_string(v)); });
    m.count = 9;
    EXPECT_EQ(events, (std::vector<std::string>{"subscriber:9", "observer:3->9"}));
}
