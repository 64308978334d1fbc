// The engine's share of a process start: creating the root, and getting the
// first object (which waits for the libraries' self-test).
//
//   quorval_startup create    creates the root and ends
//   quorval_startup ready     creates the root and its first object, and ends
//
// Prints the milliseconds each step took in the process; scripts/bench-startup.sh
// times the whole processes.

#include <chrono>
#include <cstdio>
#include <string>

#include "engine/Engine.h"

int main(int argc, char** argv) {
    using Clock = std::chrono::steady_clock;
    const std::string mode = argc == 2 ? argv[1] : "";
    if (mode != "create" && mode != "ready") {
        std::fprintf(stderr, "usage: quorval_startup create|ready\n");
        return 2;
    }
    const auto start = Clock::now();
    auto root = engine::CreateEngineRoot();
    const auto created = Clock::now();
    std::printf("%.3f", std::chrono::duration<double, std::milli>(created - start).count());
    if (mode == "ready") {
        root->NewEncoder(engine::OutputEncoding::Base64);
        std::printf(" %.3f", std::chrono::duration<double, std::milli>(Clock::now() - created).count());
    }
    std::printf("\n");
    return 0;
}
