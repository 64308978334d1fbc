// SPDX-License-Identifier: Apache-2.0
#include "engine/core/Progress.h"

#include <algorithm>
#include <atomic>

#include "engine/core/Errors.h"
#include "engine/core/TestHooks.h"

namespace engine::detail {

using hooks::now;

bool ProgressHub::raise(int32_t position, int32_t hashCode) {
    if (!m_handler) return false;
    // A copy, so that a handler replacing itself does not destroy the running function.
    OnProcessHandler handler = m_handler;
    bool abort = false;
    handler(position, hashCode, abort);
    return abort;
}

int32_t newHashCode() {
    static std::atomic<int32_t> next{1};
    return next.fetch_add(1, std::memory_order_relaxed);
}

Progress::Progress(std::weak_ptr<ProgressHub> hub, int32_t hashCode, uint64_t totalUnits)
    : m_hub(std::move(hub)), m_hashCode(hashCode), m_total(totalUnits) {}

void Progress::begin() {
    m_lastPosition = 0;
    report(0);
}

void Progress::advance(uint64_t units) {
    m_done += units;
    poll();
}

void Progress::poll() {
    if (now() - m_lastReport < kMinInterval) return;
    int32_t position = 100;
    if (m_total > 0 && m_done < m_total) {
        // Divide first for sizes where done * 100 would overflow.
        const uint64_t percent =
            m_total <= UINT64_MAX / 100 ? m_done * 100 / m_total : m_done / (m_total / 100);
        position = static_cast<int32_t>(std::min<uint64_t>(percent, 99));
    }
    report(std::max(position, m_lastPosition));
}

void Progress::pollNow() {
    m_lastReport = {};
    poll();
}

void Progress::setPosition(int32_t percent) {
    if (now() - m_lastReport < kMinInterval) return;
    report(std::max(std::clamp(percent, 0, 100), m_lastPosition));
}

void Progress::finish() { report(101); }

void Progress::report(int32_t position) {
    m_lastPosition = std::min(position, 100);
    m_lastReport = now();
    std::shared_ptr<ProgressHub> hub = m_hub.lock();
    if (hub && hub->raise(position, m_hashCode)) throw abortedError();
}

}  // namespace engine::detail
