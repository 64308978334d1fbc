// SPDX-License-Identifier: Apache-2.0
// RSA-2048 key generation in one process, key by key: Botan's generator as
// the engine called it before (both primes searched for on one thread)
// against the engine's NewKeyPair (one prime on each of two threads). The two
// take turns, the side that goes first alternating; wall and CPU time per key.
//
//   quorval_keygen_threads [KEYS [BITS]]   (60 keys a side, 2048 bits by default)
//
// Prime search time varies widely from key to key, so the lines give medians
// with their spread, and the mean, which is what many keys cost.
//
// On a busy machine the second thread may find no free core, so a third
// figure needs no free core: the CPU time of each prime's search on its own
// (Botan's generate_rsa_prime, as both sides call it), p and q one after the
// other against the longer of the two, which is what two free cores would take.

#include <botan/auto_rng.h>
#include <botan/numthry.h>
#include <botan/rsa.h>
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <numeric>
#include <vector>

#include "bench/BenchStats.h"
#include "engine/Engine.h"

namespace {

struct Times {
    std::vector<double> wall, cpu;
};

double cpuMs(clockid_t clock = CLOCK_PROCESS_CPUTIME_ID) {
    timespec t{};
    clock_gettime(clock, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

void timeOne(Times& times, const std::function<void()>& generate) {
    const auto start = std::chrono::steady_clock::now();
    const double cpuStart = cpuMs();
    generate();
    times.cpu.push_back(cpuMs() - cpuStart);
    times.wall.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
}

double mean(const std::vector<double>& values) {
    return std::accumulate(values.begin(), values.end(), 0.0) / static_cast<double>(values.size());
}

// "median (p10-p90), mean" of a set of milliseconds.
void describe(const char* what, const std::vector<double>& values) {
    std::vector<double> sorted = values;
    std::sort(sorted.begin(), sorted.end());
    const size_t n = sorted.size();
    std::printf("  %-4s median %7.1f ms (p10-p90 %6.1f-%6.1f, lowest-highest %6.1f-%6.1f), mean %7.1f ms\n", what,
                bench::median(values), sorted[n / 10], sorted[n - 1 - n / 10], sorted.front(), sorted.back(),
                mean(values));
}

}  // namespace

int main(int argc, char** argv) {
    const int keys = argc > 1 ? std::max(1, std::atoi(argv[1])) : 60;
    const int bits = argc > 2 ? std::atoi(argv[2]) : 2048;
    auto root = engine::CreateEngineRoot();
    Times botan, ours;
    std::vector<double> serial, parallel;
    Botan::AutoSeeded_RNG primeRng;
    auto primeCpu = [&] {
        const double start = cpuMs(CLOCK_THREAD_CPUTIME_ID);
        Botan::generate_rsa_prime(primeRng, primeRng, static_cast<size_t>(bits / 2), 65537, 128);
        return cpuMs(CLOCK_THREAD_CPUTIME_ID) - start;
    };
    auto botanKey = [&] {
        Botan::AutoSeeded_RNG rng;
        Botan::RSA_PrivateKey key(rng, static_cast<size_t>(bits), 65537);
    };
    auto engineKey = [&] {
        std::shared_ptr<engine::EngineAsymKey> publicKey;
        root->NewKeyPair(engine::KeyKind::KeyPair, bits, "", engine::EncryptionSchema::Oaep, publicKey);
    };
    for (int i = 0; i < keys; ++i) {
        if (i % 2 == 0) {
            timeOne(botan, botanKey);
            timeOne(ours, engineKey);
        } else {
            timeOne(ours, engineKey);
            timeOne(botan, botanKey);
        }
        const double p = primeCpu(), q = primeCpu();
        serial.push_back(p + q);
        parallel.push_back(std::max(p, q));
    }
    std::printf("RSA-%d, %d keys a side, taking turns\n", bits, keys);
    std::printf("Botan's generator, one thread:\n");
    describe("wall", botan.wall);
    describe("cpu", botan.cpu);
    std::printf("NewKeyPair, two threads:\n");
    describe("wall", ours.wall);
    describe("cpu", ours.cpu);
    std::printf("The two primes' search alone, CPU time:\n");
    describe("p+q", serial);
    describe("max", parallel);
    std::printf("p+q / max(p, q): medians %.2f, means %.2f\n", bench::median(serial) / bench::median(parallel),
                mean(serial) / mean(parallel));
    std::printf("one thread / two threads, wall: medians %.2f, means %.2f; cpu: medians %.2f, means %.2f\n",
                bench::median(botan.wall) / bench::median(ours.wall), mean(botan.wall) / mean(ours.wall),
                bench::median(botan.cpu) / bench::median(ours.cpu), mean(botan.cpu) / mean(ours.cpu));
}
