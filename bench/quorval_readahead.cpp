// SPDX-License-Identifier: Apache-2.0
// Whether reading ahead on a second thread would pay, for HashFile's digests:
// files of several sizes hashed through the engine's one-thread reader and
// through a read-ahead reader (four 256 KiB buffers), in turns, in the page cache.
//
//   quorval_readahead DIR [ROUNDS [KIB...]]
//       writes files of 256 KiB to 64 MiB (or of the sizes given) into DIR (removed at the end) and
//       prints, per size and digest, the median time of each reader and the
//       median of the per-round ratio (one thread / read ahead: above 1, the
//       thread pays).

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "engine/core/Relay.h"
#include "engine/digest/Digest.h"
#include "engine/io/Files.h"
#include "engine/io/Streams.h"

using namespace engine;
using namespace engine::detail;

namespace {

using Clock = std::chrono::steady_clock;

// A file read ahead on a second thread: the reader fills a few buffers while
// the caller hashes the ones before, and hands them over in order. Kept here,
// not in the engine, since it measured no faster here (docs/libraries.md).
class ReadAheadSource : public ByteSource {
public:
    explicit ReadAheadSource(InputFile& file) : m_file(file) { start(); }
    uint64_t size() const override { return m_file.size(); }
    size_t read(uint8_t* buffer, size_t length) override {
        size_t done = 0;
        while (done < length) {
            const ByteView piece = next(length - done);
            if (!piece) break;
            std::memcpy(buffer + done, piece.data, piece.size);
            done += piece.size;
        }
        return done;
    }
    ByteView next(size_t length) override {
        if (m_offset == m_current.length) {
            if (m_ended) return {};
            if (m_current.bytes.size() > 0) m_reader->send(std::move(m_current));
            m_current = m_reader->take();
            m_offset = 0;
            if (m_current.length == 0) {
                // The end. Once the reads still queued have found it too, the
                // file's count of bytes read is this thread's again.
                m_ended = true;
                m_reader->finish();
                return {};
            }
        }
        const size_t n = std::min(length, m_current.length - m_offset);
        const ByteView piece{m_current.bytes.data() + m_offset, n};
        m_offset += n;
        return piece;
    }
    void rewind() override {
        m_reader.reset();
        m_file.rewind();
        start();
    }
    void checkUnchanged() const override { m_file.checkUnchanged(); }

private:
    // Four of 256 KiB: against 512 KiB and 1 MiB buffers, and eight of them,
    // the same speed for less processor time, the buffers staying in the cores' caches.
    static constexpr size_t kBuffers = 4;
    static constexpr size_t kBufferSize = 256 << 10;

    struct Filled {
        Buffer bytes;
        size_t length = 0;
    };
    struct Reader {
        InputFile& file;
        void operator()(Filled& filled) { filled.length = file.read(filled.bytes.data(), filled.bytes.size()); }
    };

    void start() {
        std::vector<Filled> buffers(kBuffers);
        for (Filled& filled : buffers) filled.bytes = Buffer(kBufferSize);
        m_reader.emplace(true, std::move(buffers), Reader{m_file});
        for (size_t i = 0; i < kBuffers; ++i) m_reader->send(m_reader->take());
        m_current = Filled{};
        m_offset = 0;
        m_ended = false;
    }

    InputFile& m_file;
    std::optional<Relay<Filled, Reader>> m_reader;
    Filled m_current;  // lent out from m_offset on
    size_t m_offset = 0;
    bool m_ended = false;
};


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
    std::vector<uint64_t> sizes{256, 1024, 2048, 3072, 4096, 8192, 16384, 65536};
    if (argc >= 4) sizes.assign(argc - 3, 0);
    for (int i = 3; i < argc; ++i) sizes[i - 3] = std::strtoull(argv[i], nullptr, 10);
    for (uint64_t kib : sizes) {
        const std::string path = dir + "/readahead-" + std::to_string(kib) + ".bin";
        {
            std::vector<char> bytes(kib << 10);
            for (char& c : bytes) c = static_cast<char>(random());
            std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        }
        for (auto [algorithm, name] : {std::pair{HashAlgorithm::Md5, "MD5"}, std::pair{HashAlgorithm::Sha1, "SHA-1"}, std::pair{HashAlgorithm::Tiger, "Tiger"}}) {
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
