// SPDX-License-Identifier: Apache-2.0
// HardenProcess: no core file, no other process of the user reading ours.
#include <sys/prctl.h>
#include <sys/resource.h>

#include "engine/Engine.h"

namespace engine {

void HardenProcess() {
    // A core file would hold whatever keys and plain text are live at the crash.
    const rlimit none{0, 0};
    ::setrlimit(RLIMIT_CORE, &none);
    // Not dumpable: no core either, and ptrace and /proc/PID/mem are closed to
    // the user's other processes (root keeps its access). LeakSanitizer's
    // tracer makes the process dumpable for its own check, then restores it.
    ::prctl(PR_SET_DUMPABLE, 0, 0, 0, 0);
}

}  // namespace engine
