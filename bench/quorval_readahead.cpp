// Where reading ahead on a second thread starts to pay, for HashFile's digests:
// files of several sizes hashed through the one-thread reader and through the
// read-ahead reader, in turns, in the page cache.
//
//   quorval_readahead DIR [ROUNDS]
//       writes files of 256 KiB to 64 MiB into DIR (removed at the end) and
//       prints, per size and digest, the median time of each reader and the
//       median of the per-round ratio (one thread / read ahead: above 1, the
//       thread pays).

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "engine/Digest.h"
#include "engine/Files.h"
#include "engine/Streams.h"

using namespace engine;
using namespace engine::detail;

namespace {

using Clock = std::chrono::steady_clock;

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// Milliseconds to hash the file at `path` through one kind of reader.
template <class Source>
double hashOnce(const std::string& path, HashAlgorithm algorithm) {
    const auto start = Clock::now();
    InputFile file(path);
    Source source(file);
    auto digest = newDigest(algorithm);
    while (const ByteView piece = source.next(128 << 10)) digest->update(piece.data, piece.size);
    volatile auto keep = digest->final().size();
    (void)keep;
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: quorval_readahead DIR [ROUNDS]\n");
        return 2;
    }
    const std::string dir = argv[1];
    const int rounds = argc >= 3 ? std::atoi(argv[2]) : 41;
    std::mt19937_64 random(7);
    std::printf("%-8s %-6s %12s %12s %22s\n", "size", "digest", "one thread", "read ahead", "ratio, median (spread)");
    for (uint64_t kib : {256, 1024, 2048, 3072, 4096, 8192, 16384, 65536}) {
        const std::string path = dir + "/readahead-" + std::to_string(kib) + ".bin";
        {
            std::vector<char> bytes(kib << 10);
            for (char& c : bytes) c = static_cast<char>(random());
            std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        }
        for (auto [algorithm, name] : {std::pair{HashAlgorithm::Md5, "MD5"}, std::pair{HashAlgorithm::Sha1, "SHA-1"}}) {
            std::vector<double> one, ahead, ratios;
            for (int r = 0; r < rounds + 1; ++r) {
                double a, b;
                if (r % 2) {
                    a = hashOnce<FileSource>(path, algorithm);
                    b = hashOnce<ReadAheadSource>(path, algorithm);
                } else {
                    b = hashOnce<ReadAheadSource>(path, algorithm);
                    a = hashOnce<FileSource>(path, algorithm);
                }
                if (r == 0) continue;  // warms the caches
                one.push_back(a);
                ahead.push_back(b);
                ratios.push_back(a / b);
            }
            std::printf("%5llu KiB %-6s %9.3f ms %9.3f ms %8.2f (%.2f-%.2f)\n", static_cast<unsigned long long>(kib), name,
                        median(one), median(ahead), median(ratios), *std::min_element(ratios.begin(), ratios.end()),
                        *std::max_element(ratios.begin(), ratios.end()));
        }
        unlink(path.c_str());
    }
    return 0;
}
