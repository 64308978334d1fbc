// SPDX-License-Identifier: Apache-2.0
// The engine's share of a process start, and a timer for whole processes.
//
//   quorval_startup create      creates the engine's root and ends
//   quorval_startup ready       creates the root and its first object (which
//                               waits for the libraries' self-test), and ends
//       Both print the milliseconds each step took inside the process.
//   quorval_startup time CMD [ARGS...]
//       runs CMD once; prints its wall and CPU milliseconds (user + system,
//       from the kernel's accounting, to the microsecond).

#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "engine/Engine.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

int timeProcess(char** argv) {
    const auto start = Clock::now();
    pid_t child = 0;
    if (posix_spawnp(&child, argv[0], nullptr, nullptr, argv, environ) != 0) {
        std::fprintf(stderr, "cannot start %s\n", argv[0]);
        return 1;
    }
    int status = 0;
    rusage usage{};
    if (wait4(child, &status, 0, &usage) != child) return 1;
    const double wall = msSince(start);
    const auto ms = [](const timeval& t) { return t.tv_sec * 1e3 + t.tv_usec / 1e3; };
    std::printf("%.3f %.3f\n", wall, ms(usage.ru_utime) + ms(usage.ru_stime));
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string mode = argc >= 2 ? argv[1] : "";
    if (mode == "time" && argc >= 3) return timeProcess(argv + 2);
    if ((mode != "create" && mode != "ready") || argc != 2) {
        std::fprintf(stderr, "usage: quorval_startup create|ready|time CMD [ARGS...]\n");
        return 2;
    }
    const auto start = Clock::now();
    auto root = engine::CreateEngineRoot();
    std::printf("%.3f", msSince(start));
    if (mode == "ready") {
        const auto created = Clock::now();
        root->NewEncoder(engine::OutputEncoding::Base64);
        std::printf(" %.3f", msSince(created));
    }
    std::printf("\n");
    return 0;
}
