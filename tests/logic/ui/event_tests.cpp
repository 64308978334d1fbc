// SPDX-License-Identifier: Apache-2.0
// The windowing layer's events and the connections that hold their observers.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "ui/Event.h"

namespace {

using Calls = std::vector<std::string>;

auto record(Calls& calls, const char* name) {
    return [&calls, name](int value) { calls.push_back(name + std::to_string(value)); };
}

TEST(Event, ObserversRunInConnectionOrderWhileTheirConnectionsLive) {
    ui::Event<int> event;
    Calls calls;
    ui::Connection first = event.connect(record(calls, "a"));
    {
        const ui::Connection second = event.connect(record(calls, "b"));
        event.raise(1);
        EXPECT_EQ(calls, (Calls{"a1", "b1"}));
    }
    event.raise(2);
    EXPECT_EQ(calls, (Calls{"a1", "b1", "a2"})) << "a connection that goes takes its observer with it";

    first.disconnect();
    EXPECT_FALSE(first.connected());
    EXPECT_TRUE(event.empty());
    event.raise(3);
    EXPECT_EQ(calls.size(), 3u);
}

TEST(Event, AMovedConnectionKeepsItsObserverAndAReplacedOneLetsGo) {
    ui::Event<int> event;
    Calls calls;
    ui::Connection held = event.connect(record(calls, "a"));
    ui::Connection moved = std::move(held);
    EXPECT_TRUE(moved.connected());
    EXPECT_FALSE(held.connected());  // moved from: empty
    event.raise(1);
    EXPECT_EQ(calls, (Calls{"a1"}));

    moved = event.connect(record(calls, "b"));
    event.raise(2);
    EXPECT_EQ(calls, (Calls{"a1", "b2"}));
    std::vector<ui::Connection> kept;
    kept.push_back(std::move(moved));
    kept.push_back(event.connect(record(calls, "c")));
    event.raise(3);
    EXPECT_EQ(calls, (Calls{"a1", "b2", "b3", "c3"}));
}

TEST(Event, ObserversMayDisconnectAndConnectWhileTheEventIsRaised) {
    ui::Event<int> event;
    Calls calls;
    ui::Connection a, c, d;
    a = event.connect([&](int value) {
        calls.push_back("a" + std::to_string(value));
        a.disconnect();  // itself
        c.disconnect();  // one still to come
    });
    const ui::Connection b = event.connect([&](int value) {
        calls.push_back("b" + std::to_string(value));
        if (!d.connected()) d = event.connect(record(calls, "d"));  // waits for the next raise
    });
    c = event.connect(record(calls, "c"));
    event.raise(1);
    EXPECT_EQ(calls, (Calls{"a1", "b1"}));
    event.raise(2);
    EXPECT_EQ(calls, (Calls{"a1", "b1", "b2", "d2"}));
}

TEST(Event, EitherTheEventOrTheConnectionMayGoFirst) {
    Calls calls;
    ui::Connection outliving;
    {
        ui::Event<int> event;
        outliving = event.connect(record(calls, "a"));
        EXPECT_TRUE(outliving.connected());
    }
    EXPECT_FALSE(outliving.connected());
    outliving.disconnect();  // the event is gone: nothing to do, nothing touched

    // An observer that destroys the event's owner: no later observer runs.
    auto owned = std::make_unique<ui::Event<int>>();
    const ui::Connection destroying = owned->connect([&](int value) {
        calls.push_back("x" + std::to_string(value));
        owned.reset();
    });
    const ui::Connection later = owned->connect(record(calls, "y"));
    owned->raise(1);
    EXPECT_EQ(owned, nullptr);
    EXPECT_EQ(calls, (Calls{"x1"}));
    EXPECT_FALSE(later.connected());
}

}  // namespace
