// SPDX-License-Identifier: Apache-2.0
#pragma once
// Progress reporting shared by every engine object (internal to the engine).

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>

#include "engine/Engine.h"

namespace engine::detail {

// Where per-kind objects send their reports. The root owns it; the objects
// hold it weakly, so their reports go nowhere once the root is released.
class ProgressHub {
public:
    void setHandler(OnProcessHandler handler) { m_handler = std::move(handler); }
    // Calls the handler, if any; true when it asked to abort.
    bool raise(int32_t position, int32_t hashCode);

private:
    OnProcessHandler m_handler;
};

// The progress of one engine call: positions 0..100 rising, paced by time
// (at most one report every kMinInterval), and a final report above 100.
// Every report may carry an abort request: the call then throws
// EngineError(ErrorKind::Aborted).
class Progress {
public:
    // Short, so that a window which yields to its user at every report sees
    // a click on its abort button soon; a yield with nothing queued is cheap.
    static constexpr std::chrono::milliseconds kMinInterval{10};

    Progress(std::weak_ptr<ProgressHub> hub, int32_t hashCode, uint64_t totalUnits);

    void begin();                     // reports 0
    void advance(uint64_t units);     // reports when due
    void poll();                      // reports the current position when due (work of unknown size)
    void pollNow();                   // reports it at once (a wait was interrupted by a signal)
    void setPosition(int32_t percent);  // for work measured in steps; reports when due
    void finish();                    // reports 101

private:
    void report(int32_t position);

    std::weak_ptr<ProgressHub> m_hub;
    int32_t m_hashCode;
    uint64_t m_total;
    uint64_t m_done = 0;
    int32_t m_lastPosition = 0;
    std::chrono::steady_clock::time_point m_lastReport{};
};

// A fresh hashCode for a new engine object, so that its reports can be told
// from those of others (1, 2, 3, ... in creation order).
int32_t newHashCode();

}  // namespace engine::detail
