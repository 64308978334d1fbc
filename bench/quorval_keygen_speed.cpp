// SPDX-License-Identifier: Apache-2.0
// RSA key generation in one process: Botan's generator, OpenSSL's, and the
// engine's NewKeyPair (which uses one of the two), taking turns. The figures
// behind the per-size choice in docs/libraries.md.
//
//   quorval_keygen_speed [KEYS [ROUNDS]]   (20 keys a round, 7 rounds by default;
//                                           2048 bits makes a fifth as many)
//   quorval_keygen_speed openssl|botan|engine BITS N
//       one generator alone, N keys: prints the mean wall and CPU milliseconds
//       per key, start-up left out (the peer side of scripts/bench.sh's
//       in-process key generation lines)
//
// A library tool, not an engine client: it calls Botan and OpenSSL directly.

#include <botan/auto_rng.h>
#include <botan/rsa.h>
#include <openssl/evp.h>
#include <openssl/rsa.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "bench/BenchStats.h"
#include "engine/Engine.h"

namespace {

using Clock = std::chrono::steady_clock;
using bench::median;

// Milliseconds per key for `keys` keys.
double perKey(int keys, const std::function<void()>& generate) {
    const auto start = Clock::now();
    for (int i = 0; i < keys; ++i) generate();
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count() / keys;
}

void botanKey(int bits) {
    Botan::AutoSeeded_RNG rng;
    Botan::RSA_PrivateKey key(rng, static_cast<size_t>(bits), 65537);
}

void opensslKey(int bits) {
    EVP_PKEY_CTX* context = EVP_PKEY_CTX_new_from_name(nullptr, "RSA", nullptr);
    EVP_PKEY* key = nullptr;
    if (!context || EVP_PKEY_keygen_init(context) != 1 || EVP_PKEY_CTX_set_rsa_keygen_bits(context, bits) != 1 ||
        EVP_PKEY_generate(context, &key) != 1) {
        std::fprintf(stderr, "OpenSSL failed to generate a %d-bit key\n", bits);
        std::exit(1);
    }
    EVP_PKEY_free(key);
    EVP_PKEY_CTX_free(context);
}

void engineKey(engine::EngineRoot& root, int bits) {
    std::shared_ptr<engine::EngineAsymKey> publicKey;
    if (!root.NewKeyPair(engine::KeyKind::KeyPair, bits, "", engine::EncryptionSchema::Oaep, publicKey)) {
        std::fprintf(stderr, "the engine failed to generate a %d-bit key\n", bits);
        std::exit(1);
    }
}

// One generator, `keys` keys: wall and CPU milliseconds per key.
int alone(const std::string& generator, int bits, int keys) {
    std::function<void()> generate;
    std::shared_ptr<engine::EngineRoot> root;
    if (generator == "openssl") {
        generate = [bits] { opensslKey(bits); };
    } else if (generator == "botan" && bits >= 1024) {
        generate = [bits] { botanKey(bits); };
    } else if (generator == "engine") {
        root = engine::CreateEngineRoot();
        generate = [&root, bits] { engineKey(*root, bits); };
    } else {
        std::fprintf(stderr, "usage: quorval_keygen_speed openssl|botan|engine BITS N (Botan from 1024 bits)\n");
        return 2;
    }
    const double cpu = bench::processCpuSeconds();
    const double wall = perKey(keys, generate);
    std::printf("%.3f %.3f\n", wall, (bench::processCpuSeconds() - cpu) * 1000 / keys);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 4 && !std::isdigit(static_cast<unsigned char>(argv[1][0])))
        return alone(argv[1], std::atoi(argv[2]), std::max(1, std::atoi(argv[3])));
    const int keys = argc > 1 ? std::atoi(argv[1]) : 20;
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 7;
    auto root = engine::CreateEngineRoot();
    std::printf("RSA key generation, ms per key: median of %d rounds (lowest-highest)\n", rounds);
    for (int bits : {512, 1024, 2048}) {
        const int n = std::max(1, bits == 2048 ? keys / 5 : keys);
        std::vector<double> botan, openssl, ours, ratio;
        for (int round = 0; round < rounds; ++round) {
            if (bits >= 1024) botan.push_back(perKey(n, [&] { botanKey(bits); }));  // Botan refuses 512
            openssl.push_back(perKey(n, [&] { opensslKey(bits); }));
            ours.push_back(perKey(n, [&] { engineKey(*root, bits); }));
            ratio.push_back(openssl.back() / ours.back());
        }
        char botanFigure[16] = "      -";
        if (!botan.empty()) std::snprintf(botanFigure, sizeof botanFigure, "%7.2f", median(botan));
        std::printf("%4d bits, %3d keys a round: Botan %s | OpenSSL %7.2f | engine %7.2f | "
                    "OpenSSL / engine %.2f (%.2f-%.2f)\n",
                    bits, n, botanFigure, median(openssl), median(ours), median(ratio),
                    *std::min_element(ratio.begin(), ratio.end()), *std::max_element(ratio.begin(), ratio.end()));
    }
}
