// SPDX-License-Identifier: Apache-2.0
// A small program over the engine alone, for the tests that look at a whole
// process from outside: it starts as a front end does, does one job, releases
// every object, says "done" on stdout and waits for stdin to close.
//
//   engine_driver decrypt KEYFILE RSA_CONTAINER RSA_OUT PASSWORD (PASSWORD_CONTAINER PASSWORD_OUT)...
//   engine_driver status        prints "dumpable D core SOFT HARD"
#include <sys/prctl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <exception>
#include <string>

#include "engine/Engine.h"

namespace {

void decrypt(int argc, char** argv) {
    auto root = engine::CreateEngineRoot();
    {
        auto key = root->LoadKey(argv[2], engine::KeyKind::PrivateKey, engine::EncryptionSchema::Oaep);
        key->DecryptFile(argv[3], argv[4]);
    }
    for (int at = 6; at + 1 < argc; at += 2) {
        std::string password = argv[5];
        auto cipher = root->NewSymCipher(engine::SymAlgorithm::Aes, password, 256);
        cipher->DecryptFile(argv[at], argv[at + 1]);
    }
}

}  // namespace

int main(int argc, char** argv) {
    engine::HardenProcess();
    const std::string mode = argc > 1 ? argv[1] : "";
    try {
        if (mode == "decrypt" && argc >= 8 && argc % 2 == 0) {
            decrypt(argc, argv);
        } else if (mode == "status") {
            rlimit core{};
            ::getrlimit(RLIMIT_CORE, &core);
            std::printf("dumpable %d core %llu %llu\n", ::prctl(PR_GET_DUMPABLE, 0, 0, 0, 0),
                        static_cast<unsigned long long>(core.rlim_cur),
                        static_cast<unsigned long long>(core.rlim_max));
            return 0;
        } else {
            std::fprintf(stderr, "usage: engine_driver decrypt ...|status\n");
            return 2;
        }
    } catch (const std::exception& error) {
        std::fprintf(stderr, "engine_driver: %s\n", error.what());
        return 1;
    }
    std::fputs("done\n", stdout);
    std::fflush(stdout);
    char byte;
    while (::read(STDIN_FILENO, &byte, 1) > 0) {
    }
    return 0;
}
