// SPDX-License-Identifier: Apache-2.0
// How decoding and decompression scale with crafted input, the kind that once
// made them slow: prints one line per figure.
//
//   quorval_scaling [MiB [FOLDER]]     (16 MiB and the system's temporary folder by default)
//
// Decoding: a Base64 or Hex text that is one digit, then blanks, then the rest
// of its group, at a quarter, half and the whole size; the throughput stays
// the same when time is linear, and the peak memory of decoding such files
// stays flat. Decompression: stored zlib data made of repeated 78 01 (every
// pair could start a zlib header) beside random stored data of the same size,
// fed as decryption feeds it; the ratio should stay within 3.

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "engine/Engine.h"
#include "engine/container/Container.h"
#include "tests/engine/StoredZlib.h"

namespace {

using Clock = std::chrono::steady_clock;
using engine::detail::Bytes;
using enginetest::storedStream;

// Best of three, in seconds.
template <class Work>
double timed(Work&& work) {
    double best = 1e30;
    for (int run = 0; run < 3; ++run) {
        const auto start = Clock::now();
        work();
        best = std::min(best, std::chrono::duration<double>(Clock::now() - start).count());
    }
    return best;
}

long peakMiB() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024;
}

std::string blanksText(size_t size, const std::string& first, const std::string& rest) {
    std::string text = first;
    text.reserve(size);
    while (text.size() + rest.size() < size) text += text.size() % 77 == 0 ? '\n' : ' ';
    return text + rest;
}

// The same text as blanksText(size, "a", "bcd"), written a piece at a time so
// that it never sits in memory whole.
void writeBlanksFile(const std::string& path, size_t size) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    std::string piece;
    size_t written = 1;
    file << 'a';
    while (written + 3 < size) {
        piece.clear();
        for (; piece.size() < (1u << 20) && written + 3 < size; ++written)
            piece += written % 77 == 0 ? '\n' : ' ';
        file << piece;
    }
    file << "bcd";
}

int run(size_t mib, const std::string& folder) {
    auto root = engine::CreateEngineRoot();
    const size_t total = mib << 20;
    const std::string file = folder + "/quorval-scaling.txt", out = folder + "/quorval-scaling.out";
    std::printf("Quorval scaling: crafted input up to %zu MiB, best of 3\n", mib);

    // Files first: the process's peak memory then shows what decoding them takes.
    auto base64 = root->NewEncoder(engine::OutputEncoding::Base64);
    for (size_t size : {total / 4, total / 2, total}) {
        writeBlanksFile(file, size);
        const double seconds = timed([&] { base64->DecodeFile(file, out); });
        std::printf("%-44s %6zu MiB %8.3f s %8.1f MiB/s  peak %4ld MiB\n", "DecodeFile Base64, digit + blanks",
                    size >> 20, seconds, (size >> 20) / seconds, peakMiB());
    }
    std::remove(file.c_str());
    std::remove(out.c_str());

    for (engine::OutputEncoding code : {engine::OutputEncoding::Base64, engine::OutputEncoding::Hex}) {
        auto encoder = root->NewEncoder(code);
        for (size_t size : {total / 4, total / 2, total}) {
            const std::string text =
                blanksText(size, "a", code == engine::OutputEncoding::Base64 ? "bcd" : "b");
            const double seconds = timed([&] { encoder->DecodeText(text); });
            std::printf("%-44s %6zu MiB %8.3f s %8.1f MiB/s\n",
                        code == engine::OutputEncoding::Base64 ? "DecodeText Base64, digit + blanks"
                                                               : "DecodeText Hex, digit + blanks",
                        size >> 20, seconds, (size >> 20) / seconds);
        }
    }

    // A whole container, blanks inside it after an unfinished group: any password gets this far.
    auto cipher = engine::CreateEngineRoot({1000})->NewSymCipher(engine::SymAlgorithm::Aes, "password", 256);
    cipher->Encoding(engine::OutputEncoding::Base64);
    const std::string sealed = cipher->EncryptText("blanks inside");
    for (size_t size : {total / 4, total / 2, total}) {
        const std::string text = sealed.substr(0, 9) + blanksText(size, "", sealed.substr(9));
        const double seconds = timed([&] { cipher->DecryptText(text); });
        std::printf("%-44s %6zu MiB %8.3f s %8.1f MiB/s\n", "DecryptText Base64 container, blanks inside",
                    size >> 20, seconds, (size >> 20) / seconds);
    }

    Bytes headers(total);
    for (size_t i = 0; i < total; ++i) headers[i] = i % 2 ? 0x01 : 0x78;
    Bytes random(total);
    std::mt19937 generator(1);
    for (auto& byte : random) byte = static_cast<uint8_t>(generator());
    double seconds[2];
    int index = 0;
    for (const Bytes* data : {static_cast<const Bytes*>(&random), static_cast<const Bytes*>(&headers)}) {
        const Bytes stream = storedStream(*data);
        const std::vector<size_t> pieces(stream.size() / (48 * 1024) + 1, 48 * 1024);
        seconds[index] = timed([&] { engine::detail::zlibDecompress(stream, pieces); });
        std::printf("%-44s %6zu MiB %8.3f s %8.1f MiB/s\n",
                    index == 0 ? "Decompress stored, random" : "Decompress stored, repeated 78 01", mib,
                    seconds[index], mib / seconds[index]);
        ++index;
    }
    std::printf("%-44s %.2f (target <= 3)\n", "Decompress ratio, 78 01 over random", seconds[1] / seconds[0]);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        return run(argc > 1 ? std::stoul(argv[1]) : 16,
                   argc > 2 ? argv[2] : std::filesystem::temp_directory_path().string());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "quorval_scaling: %s\n", e.what());
        return 1;
    }
}
