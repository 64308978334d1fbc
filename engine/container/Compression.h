// SPDX-License-Identifier: Apache-2.0
#pragma once
// The compression stage of containers: one zlib stream (RFC 1950), made and
// read by zlib itself. zlib's state is wiped when released, as it holds
// plain text.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

namespace engine::detail {

class ByteSink;
class Progress;

// Where compressed output goes as it is made.
using DeflateOutput = std::function<void(const uint8_t* data, size_t length)>;

class Deflater {
public:
    // `level` 1 to 9.
    Deflater(int level, DeflateOutput out);
    ~Deflater();
    Deflater(const Deflater&) = delete;
    Deflater& operator=(const Deflater&) = delete;

    void write(const uint8_t* data, size_t length);
    // Ends the stream; nothing may be written after it.
    void finish();

private:
    struct State;
    void run(int flush);
    std::unique_ptr<State> m_state;
};

// The most output inflate gives per byte of input: deflate's longest match
// (258 bytes) takes at least 2 bits, so no stream zlib accepts expands
// further. Decryption inflates before the container's tag is checked, so this
// bounds what a forged body can write into the hidden output: 1032 times the
// cipher text read, as for a genuine one.
constexpr uint64_t kMaxInflateRatio = 1032;

// Decompresses exactly one whole zlib stream into `out`. The end of the stream
// is zlib's own Z_STREAM_END: any byte after it, a second stream, a stream cut
// short (seen by finish()) or a broken one throws damagedError(). Each step
// expands to at most one output buffer (256 KiB) and is followed by a
// progress poll, so a small input that expands to a lot can still be
// aborted, and memory stays fixed whatever the ratio. Output beyond
// `maxRatio` times the input so far (and one match) is damaged data.
class Inflater {
public:
    explicit Inflater(ByteSink& out, Progress* progress = nullptr, uint64_t maxRatio = kMaxInflateRatio);
    ~Inflater();
    Inflater(const Inflater&) = delete;
    Inflater& operator=(const Inflater&) = delete;

    void write(const uint8_t* data, size_t length);
    void finish();
    // Calls into zlib so far, for tests: it grows with the output, not with
    // how the input looks.
    size_t steps() const;

private:
    struct State;
    void flush();
    std::unique_ptr<State> m_state;
    ByteSink& m_out;
    Progress* m_progress;
    uint64_t m_maxRatio;
};

// Compresses and decompresses a few bytes; throws EngineError(Internal) when
// zlib is missing or broken. Part of the start-up self-test.
void zlibSelfTest();

}  // namespace engine::detail
