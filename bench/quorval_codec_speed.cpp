// SPDX-License-Identifier: Apache-2.0
// In-memory speed of the hash functions and codecs each library offers, beside
// the engine's own forms, on the same data: the figures behind the choices in
// docs/libraries.md. Prints one line per primitive and library, in MB/s of
// the unencoded data, fed in the chunks the engine reads files in.
//
//   quorval_codec_speed [MiB [ROUNDS]]     (16 MiB, 15 rounds by default)
//
// A library tool, not an engine client: it calls Botan and OpenSSL directly.

#include <botan/base64.h>
#include <botan/hash.h>
#include <botan/hex.h>
#include <openssl/crypto.h>
#include <openssl/evp.h>

#include <time.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "engine/codec/Codec.h"
#include "engine/io/Files.h"

namespace {

using engine::detail::Encoding;

constexpr size_t kChunk = engine::detail::kChunkSize;  // what the engine reads at a time

volatile uint8_t sink;

double cpuSeconds() {
    timespec now{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// The candidates of one primitive run in turn, round after round, so that a
// busy moment of the machine hits them alike; each keeps its best round.
// Time is the thread's CPU time, which other processes on a shared machine
// disturb less than the wall clock.
class Contest {
public:
    explicit Contest(const char* primitive) : m_primitive(primitive) {}
    void add(const char* library, std::function<void()> work) { m_entries.push_back({library, std::move(work)}); }
    void run(size_t bytes, int rounds) {
        std::vector<double> best(m_entries.size(), 1e30);
        for (int round = 0; round < rounds; ++round) {
            for (size_t i = 0; i < m_entries.size(); ++i) {
                const double start = cpuSeconds();
                m_entries[i].work();
                best[i] = std::min(best[i], cpuSeconds() - start);
            }
        }
        for (size_t i = 0; i < m_entries.size(); ++i)
            std::printf("%-14s %-22s %8.0f MB/s\n", m_primitive, m_entries[i].library, bytes / best[i] / 1e6);
    }

private:
    struct Entry {
        const char* library;
        std::function<void()> work;
    };
    const char* m_primitive;
    std::vector<Entry> m_entries;
};

int rounds = 15;

// Feeds `size` bytes in chunks to `step(offset, length)`.
void chunked(size_t size, const std::function<void(size_t, size_t)>& step) {
    for (size_t at = 0; at < size; at += kChunk) step(at, std::min(kChunk, size - at));
}

void check(bool ok, const char* what) {
    if (ok) return;
    std::fprintf(stderr, "%s gives a wrong result\n", what);
    std::exit(1);
}

bool sameBytes(const std::string& decoded, const std::vector<uint8_t>& data) {
    return decoded.size() == data.size() && std::memcmp(decoded.data(), data.data(), data.size()) == 0;
}

// The engine's streaming encoder over `data` in chunks.
void engineEncode(Encoding encoding, const std::vector<uint8_t>& data, std::string& encoded) {
    encoded.clear();
    engine::detail::StreamEncoder encoder(encoding);
    chunked(data.size(), [&](size_t at, size_t n) { encoder.update(data.data() + at, n, encoded); });
    encoder.finish(encoded);
}

void hashes(const std::vector<uint8_t>& data) {
    struct Hash {
        const char* name;
        const char* botan;
        const char* openssl;
    };
    for (const Hash& h : {Hash{"MD5", "MD5", "MD5"}, Hash{"SHA-1", "SHA-160", "SHA1"},
                          Hash{"Tiger", "Tiger(24,3)", "TIGER"}}) {
        Contest contest(h.name);
        auto botan = Botan::HashFunction::create_or_throw(h.botan);
        contest.add("Botan 2", [&] {
            chunked(data.size(), [&](size_t at, size_t n) { botan->update(data.data() + at, n); });
            sink = botan->final()[0];
        });
        std::unique_ptr<EVP_MD, decltype(&EVP_MD_free)> md(EVP_MD_fetch(nullptr, h.openssl, nullptr), EVP_MD_free);
        std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> ctx(EVP_MD_CTX_new(), EVP_MD_CTX_free);
        if (md) {
            contest.add("OpenSSL 3", [&] {
                unsigned char digest[EVP_MAX_MD_SIZE];
                unsigned int length = 0;
                EVP_DigestInit_ex2(ctx.get(), md.get(), nullptr);
                chunked(data.size(), [&](size_t at, size_t n) { EVP_DigestUpdate(ctx.get(), data.data() + at, n); });
                EVP_DigestFinal_ex(ctx.get(), digest, &length);
                sink = digest[0];
            });
        }
        contest.run(data.size(), rounds);
        if (!md) std::printf("%-14s %-22s not in the default provider\n", h.name, "OpenSSL 3");
    }
}

void base64(const std::vector<uint8_t>& data) {
    std::string text(data.size() / 3 * 4 + 8, '\0');
    std::string encoded;
    Contest encoding("Base64 encode");
    encoding.add("Botan 2", [&] {
        chunked(data.size(), [&](size_t at, size_t n) {
            size_t consumed = 0;
            Botan::base64_encode(&text[at / 3 * 4], data.data() + at, n, consumed, false);
        });
    });
    encoding.add("OpenSSL 3 block", [&] {
        chunked(data.size(), [&](size_t at, size_t n) {
            EVP_EncodeBlock(reinterpret_cast<uint8_t*>(&text[at / 3 * 4]), data.data() + at, static_cast<int>(n));
        });
    });
    encoding.add("engine", [&] { engineEncode(Encoding::Base64, data, encoded); });
    encoding.run(data.size(), rounds);
    check(encoded == Botan::base64_encode(data), "Base64 encoding");

    std::vector<uint8_t> out(data.size() + 3);
    const size_t textChunk = kChunk / 3 * 4;
    std::string wrapped;
    for (size_t at = 0; at < encoded.size(); at += 76) wrapped += encoded.substr(at, 76) + "\n";
    std::string decoded;
    decoded.reserve(data.size());
    auto engineDecode = [&](const std::string& input) {
        decoded.clear();
        engine::detail::StreamDecoder decoder(Encoding::Base64);
        for (size_t at = 0; at < input.size(); at += textChunk)
            decoder.update(input.data() + at, std::min(textChunk, input.size() - at), decoded);
        decoder.finish(decoded);
    };
    Contest decoding("Base64 decode");
    decoding.add("Botan 2", [&] {
        for (size_t at = 0; at < encoded.size(); at += textChunk) {
            size_t consumed = 0;
            Botan::base64_decode(out.data() + at / 4 * 3, encoded.data() + at,
                                 std::min(textChunk, encoded.size() - at), consumed, true, false);
        }
    });
    decoding.add("OpenSSL 3 block", [&] {
        for (size_t at = 0; at < encoded.size(); at += textChunk)
            EVP_DecodeBlock(out.data() + at / 4 * 3, reinterpret_cast<const uint8_t*>(encoded.data() + at),
                            static_cast<int>(std::min(textChunk, encoded.size() - at)));
    });
    decoding.add("engine", [&] { engineDecode(encoded); });
    decoding.add("engine, 76 columns", [&] { engineDecode(wrapped); });
    decoding.run(data.size(), rounds);
    check(sameBytes(decoded, data), "Base64 decoding");
    engineDecode(encoded);
    check(sameBytes(decoded, data), "Base64 decoding");
}

void hex(const std::vector<uint8_t>& data) {
    std::string text(2 * data.size() + 1, '\0');
    std::string encoded;
    Contest encoding("Hex encode");
    encoding.add("Botan 2", [&] {
        chunked(data.size(), [&](size_t at, size_t n) { Botan::hex_encode(&text[2 * at], data.data() + at, n, false); });
    });
    encoding.add("OpenSSL 3 + lower", [&] {
        chunked(data.size(), [&](size_t at, size_t n) {
            size_t length = 0;
            OPENSSL_buf2hexstr_ex(&text[2 * at], 2 * n + 1, &length, data.data() + at, n, '\0');
            // OpenSSL writes upper case.
            for (size_t i = 2 * at; i < 2 * (at + n); ++i) text[i] = static_cast<char>(std::tolower(text[i]));
        });
    });
    encoding.add("engine", [&] { engineEncode(Encoding::Hex, data, encoded); });
    encoding.run(data.size(), rounds);
    check(encoded == Botan::hex_encode(data, false), "Hex encoding");

    std::vector<uint8_t> out(data.size() + 1);
    std::string piece;  // OpenSSL wants a NUL-terminated text: a copy of each chunk ends with one
    std::string decoded;
    decoded.reserve(data.size());
    Contest decoding("Hex decode");
    decoding.add("Botan 2", [&] {
        chunked(data.size(), [&](size_t at, size_t n) {
            size_t consumed = 0;
            Botan::hex_decode(out.data() + at, encoded.data() + 2 * at, 2 * n, consumed, false);
        });
    });
    decoding.add("OpenSSL 3 + copy", [&] {
        chunked(data.size(), [&](size_t at, size_t n) {
            piece.assign(encoded, 2 * at, 2 * n);
            size_t length = 0;
            OPENSSL_hexstr2buf_ex(out.data() + at, n, &length, piece.c_str(), '\0');
        });
    });
    decoding.add("engine", [&] {
        decoded.clear();
        engine::detail::StreamDecoder decoder(Encoding::Hex);
        chunked(data.size(), [&](size_t at, size_t n) { decoder.update(encoded.data() + 2 * at, 2 * n, decoded); });
        decoder.finish(decoded);
    });
    decoding.run(data.size(), rounds);
    check(sameBytes(decoded, data), "Hex decoding");
}

}  // namespace

int main(int argc, char** argv) {
    const size_t mib = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 16;
    if (argc > 2) rounds = std::atoi(argv[2]);
    std::vector<uint8_t> data(mib << 20);
    std::mt19937_64 random(1);
    for (auto& byte : data) byte = static_cast<uint8_t>(random());
    std::printf("In memory, %zu MiB in chunks of %zu KiB, best of %d rounds:\n", mib, kChunk / 1024, rounds);
    hashes(data);
    base64(data);
    hex(data);
    return 0;
}
