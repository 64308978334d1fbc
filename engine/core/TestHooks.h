// SPDX-License-Identifier: Apache-2.0
#pragma once
// For tests only: the few things a test may put into the engine's way, for
// failures a real disk rarely gives on demand and for reports paced by a
// clock of its own. Nothing in the program sets them. Set them only while no
// engine call runs; the engine reads them from any thread.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>

namespace engine::detail {

// Faults put in AtomicOutputFile's way.
struct FileFaults {
    // Called before each write with its offset in the file (on whichever
    // thread writes): an errno to fail that write with, or 0.
    std::function<int(uint64_t offset, size_t length)> beforeWrite;
    // Called in place of fsync() of the target's folder once the new file has
    // its name; its result and errno stand for fsync's.
    std::function<int(int folder)> syncFolder;
};
void setFileFaults(FileFaults faults);

// Whether AtomicOutputFile may use unnamed files (on by default); tests turn it
// off to try the named fallback.
void allowUnnamedTemporaryFiles(bool allowed);

// What paces progress reports: the steady clock, unless a test puts in its
// own so that how often a run reports does not depend on the machine's load.
// An empty function restores the steady clock.
using PacingClock = std::function<std::chrono::steady_clock::time_point()>;
void setPacingClock(PacingClock clock);

// What the engine reads; each costs one atomic load while no test hook is set.
namespace hooks {
// The errno a test wants this write to fail with, or 0.
int writeFault(uint64_t offset, size_t length);
// fsync(folder), or what a test put in its place.
int syncFolder(int folder);
bool unnamedTemporaryFilesAllowed();
std::chrono::steady_clock::time_point now();
}  // namespace hooks

}  // namespace engine::detail
