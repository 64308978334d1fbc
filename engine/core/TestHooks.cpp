// SPDX-License-Identifier: Apache-2.0
#include "engine/core/TestHooks.h"

#include <unistd.h>

#include <atomic>
#include <memory>
#include <mutex>

namespace engine::detail {

namespace {

// A hook is copied out under the lock and called outside it: a writing
// thread may call it while the test's thread waits for the call to end.
std::mutex hookLock;
std::shared_ptr<const FileFaults> fileFaults;
std::shared_ptr<const PacingClock> pacingClock;
std::atomic<bool> faultsSet{false};
std::atomic<bool> clockSet{false};
std::atomic<bool> unnamedAllowed{true};

std::shared_ptr<const FileFaults> currentFaults() {
    if (!faultsSet.load(std::memory_order_acquire)) return nullptr;
    std::lock_guard<std::mutex> lock(hookLock);
    return fileFaults;
}

}  // namespace

void setFileFaults(FileFaults faults) {
    const bool set = faults.beforeWrite || faults.syncFolder;
    std::lock_guard<std::mutex> lock(hookLock);
    fileFaults = set ? std::make_shared<const FileFaults>(std::move(faults)) : nullptr;
    faultsSet.store(set, std::memory_order_release);
}

void allowUnnamedTemporaryFiles(bool allowed) { unnamedAllowed.store(allowed); }

void setPacingClock(PacingClock clock) {
    const bool set = static_cast<bool>(clock);
    std::lock_guard<std::mutex> lock(hookLock);
    pacingClock = set ? std::make_shared<const PacingClock>(std::move(clock)) : nullptr;
    clockSet.store(set, std::memory_order_release);
}

namespace hooks {

int writeFault(uint64_t offset, size_t length) {
    const auto faults = currentFaults();
    return faults && faults->beforeWrite ? faults->beforeWrite(offset, length) : 0;
}

int syncFolder(int folder) {
    const auto faults = currentFaults();
    return faults && faults->syncFolder ? faults->syncFolder(folder) : ::fsync(folder);
}

bool unnamedTemporaryFilesAllowed() { return unnamedAllowed.load(); }

std::chrono::steady_clock::time_point now() {
    if (clockSet.load(std::memory_order_acquire)) {
        std::shared_ptr<const PacingClock> clock;
        {
            std::lock_guard<std::mutex> lock(hookLock);
            clock = pacingClock;
        }
        if (clock) return (*clock)();
    }
    return std::chrono::steady_clock::now();
}

}  // namespace hooks

}  // namespace engine::detail
