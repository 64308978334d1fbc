// SPDX-License-Identifier: Apache-2.0
// Runs one engine operation as a whole process, so that scripts/bench.sh can
// time it beside a peer tool with the same input.
//
//   quorval_bench hash md5|sha1|tiger FILE
//   quorval_bench encrypt aes|twofish FILE OUT      (256-bit key, CBC, PKCS#7, no compression)
//   quorval_bench decrypt aes|twofish FILE OUT
//   quorval_bench derive N                          (N empty texts encrypted: N key derivations)
//   quorval_bench encode base64|hex FILE OUT
//   quorval_bench decode base64|hex FILE OUT
//   quorval_bench sign FILE                         (a fresh 1024-bit key signs the file)
//   quorval_bench keygen 512|1024|2048 [N]          (N keys, 1 by default; prints nothing)
//   quorval_bench keygen-ms 512|1024|2048 N          (prints the mean wall and CPU milliseconds per
//                                                    key of N keys, start-up left out)
//   quorval_bench abort-latency FILE                (prints milliseconds from a click at a random
//                                                    moment to the return of the call)
//
// Password encryption uses the engine's production key derivation cost.

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <thread>

#include "bench/BenchStats.h"
#include "engine/Engine.h"

namespace {

using Clock = std::chrono::steady_clock;

const char* kPassword = "benchmark password";

int usage() {
    std::fprintf(stderr, "usage: quorval_bench hash|encrypt|decrypt|derive|encode|decode|sign|keygen|abort-latency ...\n");
    return 2;
}

// The engine code a name on the command line stands for.
template <typename Code>
Code codeNamed(const std::string& name) {
    if (name == "md5" || name == "aes" || name == "binary") return static_cast<Code>(0);
    if (name == "sha1" || name == "twofish" || name == "base64") return static_cast<Code>(1);
    if (name == "tiger" || name == "hex") return static_cast<Code>(2);
    return static_cast<Code>(-1);
}

int run(int argc, char** argv) {
    if (argc < 3) return usage();
    const std::string command = argv[1];
    auto root = engine::CreateEngineRoot();
    // Progress on, as in the window: the handler is called at the engine's pace.
    long reports = 0;
    root->SetOnProcess([&](int32_t, int32_t, bool&) { ++reports; });

    if (command == "hash" && argc == 4) {
        auto hash = root->NewHash(codeNamed<engine::HashAlgorithm>(argv[2]));
        hash->Encoding(engine::OutputEncoding::Hex);
        std::printf("%s\n", hash->HashFile(argv[3]).c_str());
    } else if ((command == "encrypt" || command == "decrypt") && argc == 5) {
        auto cipher = root->NewSymCipher(codeNamed<engine::SymAlgorithm>(argv[2]), kPassword, 256);
        cipher->CipherMode(engine::ModeOfOperation::Cbc);
        cipher->Padding(engine::BlockPadding::Pkcs7);
        cipher->Compression(0);
        cipher->Encoding(engine::OutputEncoding::Binary);
        if (command == "encrypt")
            cipher->EncryptFile(argv[3], argv[4]);
        else
            cipher->DecryptFile(argv[3], argv[4]);
    } else if (command == "derive" && argc == 3) {
        // An empty text: the key derivation is nearly all of its time.
        auto cipher = root->NewSymCipher(engine::SymAlgorithm::Aes, kPassword, 256);
        for (int i = std::stoi(argv[2]); i > 0; --i)
            if (cipher->EncryptText("").empty()) return 1;
    } else if (command == "encode" && argc == 5) {
        root->NewEncoder(codeNamed<engine::OutputEncoding>(argv[2]))->EncodeFile(argv[3], argv[4]);
    } else if (command == "decode" && argc == 5) {
        root->NewEncoder(codeNamed<engine::OutputEncoding>(argv[2]))->DecodeFile(argv[3], argv[4]);
    } else if (command == "sign" && argc == 3) {
        std::shared_ptr<engine::EngineAsymKey> publicKey;
        auto privateKey = root->NewKeyPair(engine::KeyKind::KeyPair, 1024, "", engine::EncryptionSchema::Oaep, publicKey);
        privateKey->Encoding(engine::OutputEncoding::Hex);
        std::printf("%s\n", privateKey->SignFile(argv[2]).c_str());
    } else if ((command == "keygen-ms" && argc == 4) || (command == "keygen" && (argc == 3 || argc == 4))) {
        const int bits = std::stoi(argv[2]);
        const int count = argc == 4 ? std::stoi(argv[3]) : 1;
        if (count < 1) return usage();
        const auto start = Clock::now();
        const double cpu = bench::processCpuSeconds();
        for (int i = 0; i < count; ++i) {
            std::shared_ptr<engine::EngineAsymKey> publicKey;
            auto privateKey = root->NewKeyPair(engine::KeyKind::KeyPair, bits, "",
                                               engine::EncryptionSchema::Oaep, publicKey);
            if (!privateKey || !publicKey) return 1;
        }
        if (command == "keygen-ms")
            std::printf("%.3f %.3f\n",
                        std::chrono::duration<double, std::milli>(Clock::now() - start).count() / count,
                        (bench::processCpuSeconds() - cpu) * 1000 / count);
    } else if (command == "abort-latency" && argc == 3) {
        // The user clicks at a random moment; the window handles the click in
        // the yield of the next report and passes it with that same report.
        std::atomic<int64_t> clickedAt{0};
        std::mt19937 random(std::random_device{}());
        const auto delay = std::chrono::milliseconds(std::uniform_int_distribution<int>(100, 400)(random));
        root->SetOnProcess([&](int32_t, int32_t, bool& abort) {
            if (clickedAt.load() != 0) abort = true;
        });
        auto hash = root->NewHash(engine::HashAlgorithm::Sha1);
        std::thread user([&] {
            std::this_thread::sleep_for(delay);
            clickedAt = Clock::now().time_since_epoch().count();
        });
        bool aborted = false;
        try {
            hash->HashFile(argv[2]);
        } catch (const engine::EngineError& e) {
            if (e.kind() != engine::ErrorKind::Aborted) {
                user.join();
                throw;
            }
            aborted = true;
        }
        const auto returned = Clock::now();
        user.join();
        if (!aborted) {
            std::fprintf(stderr, "the run ended before the click\n");
            return 1;
        }
        const Clock::time_point clicked{Clock::duration(clickedAt.load())};
        std::printf("%.1f\n", std::chrono::duration<double, std::milli>(returned - clicked).count());
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
