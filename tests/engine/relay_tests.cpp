// SPDX-License-Identifier: Apache-2.0
// The hand-off between the stages of a stream: a buffer is with one thread at
// a time, a stage's failure reaches the caller, and a misuse fails at once
// instead of racing or hanging.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>
#include <vector>

#include "engine/core/Relay.h"

namespace {

using engine::detail::Buffer;
using engine::detail::Relay;

struct Parcel {
    Buffer bytes;
    int number = 0;
};

std::vector<Parcel> parcels(size_t count, size_t size) {
    std::vector<Parcel> out(count);
    for (Parcel& p : out) p.bytes = Buffer(size);
    return out;
}

// Reads each parcel slowly, so that a caller writing into it meanwhile
// would be seen (and reported by ThreadSanitizer).
struct SlowReader {
    void operator()(Parcel& parcel) {
        const uint8_t first = parcel.bytes.data()[0];
        std::this_thread::sleep_for(std::chrono::microseconds(200));
        const bool whole = std::all_of(parcel.bytes.data(), parcel.bytes.data() + parcel.bytes.size(),
                                       [&](uint8_t b) { return b == first; });
        if (!whole || first != static_cast<uint8_t>(parcel.number)) ++torn;
        seen.push_back(parcel.number);
    }
    std::vector<int> seen;
    int torn = 0;
};

class RelayTest : public ::testing::TestWithParam<bool> {};

TEST_P(RelayTest, TheCallerNeverHoldsAParcelTheStageWorksOnAndOrderIsKept) {
    Relay<Parcel, SlowReader> relay(GetParam(), parcels(2, 4096));
    for (int i = 1; i <= 200; ++i) {
        Parcel parcel = relay.take();
        std::fill(parcel.bytes.data(), parcel.bytes.data() + parcel.bytes.size(), static_cast<uint8_t>(i));
        parcel.number = i;
        relay.send(std::move(parcel));
    }
    const SlowReader& stage = relay.finish();
    EXPECT_EQ(stage.torn, 0);
    ASSERT_EQ(stage.seen.size(), 200u);
    for (int i = 0; i < 200; ++i) EXPECT_EQ(stage.seen[i], i + 1);
}

// Fails on parcel 3, like a writer meeting a full disk, and records every
// parcel it works on. On its own thread it fails only once parcel 4 is queued
// behind it, so that the relay has a waiting parcel to skip.
struct FailsAtThird {
    FailsAtThird(bool threaded, std::atomic<bool>& fourthSent, std::vector<int>& worked)
        : threaded(threaded), fourthSent(fourthSent), worked(worked) {}
    void operator()(Parcel& parcel) {
        worked.push_back(parcel.number);
        if (parcel.number != 3) return;
        while (threaded && !fourthSent) std::this_thread::yield();
        throw std::runtime_error("disk full");
    }
    bool threaded;
    std::atomic<bool>& fourthSent;
    std::vector<int>& worked;
};

TEST_P(RelayTest, AStageFailureReachesTheCallerAndLaterParcelsAreSkipped) {
    std::atomic<bool> fourthSent{false};
    std::vector<int> worked, sent;
    Relay<Parcel, FailsAtThird> relay(GetParam(), parcels(2, 16), GetParam(), fourthSent, worked);
    auto sendAll = [&] {
        for (int i = 1; i <= 10; ++i) {
            Parcel parcel = relay.take();
            parcel.number = i;
            relay.send(std::move(parcel));
            sent.push_back(i);
            if (i == 4) fourthSent = true;
        }
        relay.finish();
    };
    EXPECT_THROW(sendAll(), std::runtime_error);
    EXPECT_THROW(relay.finish(), std::runtime_error) << "the failure stays";
    // finish() has waited for the stage to be idle: its record is whole.
    EXPECT_EQ(sent, GetParam() ? std::vector<int>({1, 2, 3, 4}) : std::vector<int>({1, 2}))
        << "threaded, parcel 4 was waiting when parcel 3 failed";
    EXPECT_EQ(worked, std::vector<int>({1, 2, 3})) << "no parcel after the failure is worked on";
}

TEST_P(RelayTest, MisuseFailsAtOnce) {
    Relay<Parcel, SlowReader> relay(GetParam(), parcels(2, 16));
    Parcel first = relay.take();
    Parcel second = relay.take();
    EXPECT_THROW(relay.take(), std::logic_error) << "a third parcel would never come";
    first.number = 0;
    relay.send(std::move(first));
    EXPECT_THROW(first.bytes.data(), std::logic_error) << "a buffer handed on is out of reach";
    relay.finish();
    EXPECT_THROW(relay.send(std::move(second)), std::logic_error) << "the stage's state is the caller's now";
}

INSTANTIATE_TEST_SUITE_P(ThreadedOrNot, RelayTest, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Threaded" : "Inline"; });

struct CountsDown {
    explicit CountsDown(std::atomic<int>& alive) : m_alive(alive) { ++m_alive; }
    ~CountsDown() { --m_alive; }
    void operator()(Parcel&) { std::this_thread::sleep_for(std::chrono::milliseconds(2)); }
    std::atomic<int>& m_alive;
};

TEST(Relay, ACallerThatGivesUpStopsTheStageWithParcelsStillQueued) {
    std::atomic<int> alive{0};
    {
        Relay<Parcel, CountsDown> relay(true, parcels(3, 1 << 16), alive);
        for (int i = 0; i < 3; ++i) relay.send(relay.take());
        EXPECT_EQ(alive, 1);
    }
    EXPECT_EQ(alive, 0);
}

}  // namespace
