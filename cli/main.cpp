// SPDX-License-Identifier: Apache-2.0
// quorval-cli: the engine's operations from a terminal and from scripts.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "cli/Cli.h"
#include "engine/Engine.h"

int main(int argc, char** argv) {
    engine::HardenProcess();
    cli::InstallStopHandlers();
    int code = cli::Run(std::vector<std::string>(argv + 1, argv + argc));
    // Digests and signatures are buffered: a full disk or a closed reader shows
    // only here, and must not pass for success.
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        const int error = errno;
        std::fprintf(stderr, "quorval-cli: Cannot write the standard output: %s.\n", std::strerror(error));
        if (code == 0) code = 1;
    }
    return code;
}
