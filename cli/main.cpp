// SPDX-License-Identifier: Apache-2.0
// quorval-cli: the engine's operations from a terminal and from scripts.
#include <string>
#include <vector>

#include "cli/Cli.h"
#include "engine/Engine.h"

int main(int argc, char** argv) {
    engine::HardenProcess();
    cli::InstallStopHandlers();
    return cli::Run(std::vector<std::string>(argv + 1, argv + argc));
}
