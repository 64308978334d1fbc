// Runs one engine operation as a whole process, so that scripts/bench.sh can
// time it beside a peer tool with the same input.
//
//   quorval_bench hash md5|sha1|tiger FILE
//   quorval_bench encrypt aes|twofish FILE OUT      (256-bit key, CBC, PKCS#7, no compression)
//   quorval_bench decrypt aes|twofish FILE OUT
//   quorval_bench encode base64|hex FILE OUT
//   quorval_bench keygen 512|1024|2048
//   quorval_bench abort-latency FILE                (prints milliseconds from the click to the return)

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>

#include "engine/Engine.h"

namespace {

using Clock = std::chrono::steady_clock;

const char* kPassword = "benchmark password";

int usage() {
    std::fprintf(stderr, "usage: quorval_bench hash|encrypt|decrypt|encode|keygen|abort-latency ...\n");
    return 2;
}

int algorithmCode(const std::string& name) {
    if (name == "md5" || name == "aes" || name == "binary") return 0;
    if (name == "sha1" || name == "twofish" || name == "base64") return 1;
    if (name == "tiger" || name == "hex") return 2;
    return -1;
}

int run(int argc, char** argv) {
    if (argc < 3) return usage();
    const std::string command = argv[1];
    auto root = engine::CreateEngineRoot({10000});
    // Progress on, as in the window: the handler is called at the engine's pace.
    long reports = 0;
    root->SetOnProcess([&](int32_t, int32_t, bool&) { ++reports; });

    if (command == "hash" && argc == 4) {
        auto hash = root->NewHash(algorithmCode(argv[2]));
        hash->Encoding(engine::Hex);
        std::printf("%s\n", hash->HashFile(argv[3]).c_str());
    } else if ((command == "encrypt" || command == "decrypt") && argc == 5) {
        auto cipher = root->NewSymCipher(algorithmCode(argv[2]), kPassword, 256);
        cipher->CipherMode(1);
        cipher->Padding(1);
        cipher->Compression(0);
        cipher->Encoding(engine::Binary);
        if (command == "encrypt")
            cipher->EncryptFile(argv[3], argv[4]);
        else
            cipher->DecryptFile(argv[3], argv[4]);
    } else if (command == "encode" && argc == 5) {
        root->NewEncoder(algorithmCode(argv[2]))->EncodeFile(argv[3], argv[4]);
    } else if (command == "keygen" && argc == 3) {
        std::shared_ptr<engine::EngineAsymKey> publicKey;
        auto privateKey = root->NewKeyPair(engine::KeyPair, std::stoi(argv[2]), "", 1, publicKey);
        if (!privateKey || !publicKey) return 1;
    } else if (command == "abort-latency" && argc == 3) {
        // The click lands a fifth into the run, during a report's yield; the
        // window passes it with the next report.
        Clock::time_point clicked{};
        bool pending = false;
        root->SetOnProcess([&](int32_t position, int32_t, bool& abort) {
            if (pending) {
                abort = true;
                pending = false;
                return;
            }
            if (clicked == Clock::time_point{} && position >= 20) {
                clicked = Clock::now();
                pending = true;
            }
        });
        auto hash = root->NewHash(1);
        try {
            hash->HashFile(argv[2]);
            std::fprintf(stderr, "the run ended before the click\n");
            return 1;
        } catch (const engine::EngineError& e) {
            if (e.kind() != engine::ErrorKind::Aborted) throw;
        }
        std::printf("%.1f\n", std::chrono::duration<double, std::milli>(Clock::now() - clicked).count());
    } else {
        return usage();
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        return run(argc, argv);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "quorval_bench: %s\n", e.what());
        return 1;
    }
}
