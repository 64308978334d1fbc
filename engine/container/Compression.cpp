// SPDX-License-Identifier: Apache-2.0
#include "engine/container/Compression.h"

#include <zlib.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>
#include <string>

#include "engine/container/Container.h"
#include "engine/core/Errors.h"
#include "engine/core/Progress.h"
#include "engine/core/Secret.h"
#include "engine/io/Streams.h"

namespace engine::detail {

namespace {

// Output made per step: large enough for few calls, small enough that a step
// takes about a millisecond whatever the input expands to.
constexpr size_t kOutputSize = 256 * 1024;
// deflate's longest match.
constexpr uint64_t kLongestMatch = 258;
// zlib counts input in 32-bit units.
constexpr size_t kMaxStepInput = 1u << 30;
// Room in front of each block for its size, keeping zlib's alignment.
constexpr size_t kBlockHeader = alignof(std::max_align_t);

voidpf allocateScrubbed(voidpf, uInt items, uInt size) {
    const size_t bytes = static_cast<size_t>(items) * size;
    auto* block = static_cast<unsigned char*>(std::malloc(bytes + kBlockHeader));
    if (!block) return Z_NULL;
    std::memcpy(block, &bytes, sizeof bytes);
    return block + kBlockHeader;
}

void releaseScrubbed(voidpf, voidpf address) {
    if (!address) return;
    auto* block = static_cast<unsigned char*>(address) - kBlockHeader;
    size_t bytes = 0;
    std::memcpy(&bytes, block, sizeof bytes);
    scrubMemory(block, bytes + kBlockHeader);
    std::free(block);
}

z_stream newStream() {
    z_stream stream{};
    stream.zalloc = allocateScrubbed;
    stream.zfree = releaseScrubbed;
    return stream;
}

[[noreturn]] void startFailed(int result) {
    if (result == Z_MEM_ERROR) throw std::bad_alloc();
    throw EngineError(ErrorKind::Internal, "The compression library could not start (zlib error " +
                                               std::to_string(result) + ").");
}

}  // namespace

// --- Deflater -----------------------------------------------------------------

struct Deflater::State {
    z_stream stream = newStream();
    Bytes buffer = Bytes(kOutputSize);
    DeflateOutput out;
    bool started = false;
    ~State() {
        if (started) deflateEnd(&stream);
    }
};

Deflater::Deflater(int level, DeflateOutput out) : m_state(std::make_unique<State>()) {
    m_state->out = std::move(out);
    // zlib's defaults: a 32 KiB window and the zlib wrapper, as every reader expects.
    const int result = deflateInit(&m_state->stream, std::clamp(level, 1, 9));
    if (result != Z_OK) startFailed(result);
    m_state->started = true;
}

Deflater::~Deflater() = default;

void Deflater::write(const uint8_t* data, size_t length) {
    z_stream& stream = m_state->stream;
    while (length > 0) {
        const size_t n = std::min(length, kMaxStepInput);
        stream.next_in = const_cast<Bytef*>(data);
        stream.avail_in = static_cast<uInt>(n);
        run(Z_NO_FLUSH);
        data += n;
        length -= n;
    }
}

void Deflater::finish() {
    m_state->stream.next_in = nullptr;
    m_state->stream.avail_in = 0;
    run(Z_FINISH);
}

void Deflater::run(int flush) {
    z_stream& stream = m_state->stream;
    Bytes& buffer = m_state->buffer;
    for (;;) {
        stream.next_out = buffer.data();
        stream.avail_out = static_cast<uInt>(buffer.size());
        const int result = deflate(&stream, flush);
        if (result == Z_STREAM_ERROR)
            throw EngineError(ErrorKind::Internal, "The compression library failed.");
        const size_t produced = buffer.size() - stream.avail_out;
        if (produced > 0) m_state->out(buffer.data(), produced);
        if (result == Z_STREAM_END) return;
        // Done once zlib has taken every byte and had room to spare.
        if (flush != Z_FINISH && stream.avail_in == 0 && stream.avail_out > 0) return;
    }
}

// --- Inflater -----------------------------------------------------------------

struct Inflater::State {
    z_stream stream = newStream();
    SecretBytes buffer = SecretBytes(kOutputSize);
    size_t fill = 0;
    size_t steps = 0;
    bool ended = false;
    bool started = false;
    ~State() {
        if (started) inflateEnd(&stream);
    }
};

Inflater::Inflater(ByteSink& out, Progress* progress, uint64_t maxRatio)
    : m_state(std::make_unique<State>()), m_out(out), m_progress(progress), m_maxRatio(maxRatio) {
    const int result = inflateInit(&m_state->stream);
    if (result != Z_OK) startFailed(result);
    m_state->started = true;
}

Inflater::~Inflater() = default;

size_t Inflater::steps() const { return m_state->steps; }

void Inflater::write(const uint8_t* data, size_t length) {
    State& state = *m_state;
    z_stream& stream = state.stream;
    while (length > 0) {
        if (state.ended) throw damagedError();
        const size_t n = std::min(length, kMaxStepInput);
        stream.next_in = const_cast<Bytef*>(data);
        stream.avail_in = static_cast<uInt>(n);
        for (;;) {
            if (state.fill == state.buffer.size()) flush();
            stream.next_out = state.buffer.data() + state.fill;
            stream.avail_out = static_cast<uInt>(state.buffer.size() - state.fill);
            const int result = inflate(&stream, Z_NO_FLUSH);
            ++state.steps;
            state.fill = state.buffer.size() - stream.avail_out;
            // More than deflate can express: the bound on a forged body holds whatever zlib does.
            if (stream.total_out > m_maxRatio * stream.total_in + kLongestMatch) throw damagedError();
            if (result == Z_STREAM_END) {
                state.ended = true;
                // Anything after the stream's end, a second stream included.
                if (stream.avail_in > 0 || n < length) throw damagedError();
                break;
            }
            if (result == Z_MEM_ERROR) throw std::bad_alloc();
            // Z_BUF_ERROR: no input left to make progress with; anything else is a broken stream.
            if (result != Z_OK && result != Z_BUF_ERROR) throw damagedError();
            if (m_progress) m_progress->poll();
            if (stream.avail_out == 0) continue;  // more output may be waiting
            if (stream.avail_in == 0) break;      // all taken: the rest comes with the next write
            if (result == Z_BUF_ERROR) throw damagedError();
        }
        data += n;
        length -= n;
    }
    flush();
}

void Inflater::finish() {
    if (!m_state->ended) throw damagedError();
}

void Inflater::flush() {
    State& state = *m_state;
    if (state.fill == 0) return;
    m_out.write(state.buffer.data(), state.fill);
    state.fill = 0;
}

// --- Self-test ------------------------------------------------------------------

void zlibSelfTest() {
    // The header and the library must be of one major version.
    if (zlibVersion()[0] != ZLIB_VERSION[0])
        throw EngineError(ErrorKind::Internal, std::string("zlib ") + zlibVersion() +
                                                   " is installed, but the program was built for " +
                                                   ZLIB_VERSION + ".");
    const std::string text(1000, 'z');
    std::string packed;
    Deflater deflater(9, [&](const uint8_t* data, size_t length) {
        packed.append(reinterpret_cast<const char*>(data), length);
    });
    deflater.write(reinterpret_cast<const uint8_t*>(text.data()), text.size());
    deflater.finish();
    std::string unpacked;
    StringSink sink(unpacked, text.size());
    Inflater inflater(sink);
    inflater.write(reinterpret_cast<const uint8_t*>(packed.data()), packed.size());
    inflater.finish();
    if (unpacked != text || packed.size() >= text.size())
        throw EngineError(ErrorKind::Internal, "zlib gives wrong results.");
}

Bytes zlibCompress(const Bytes& data, int level) {
    try {
        Bytes out;
        Deflater deflater(level, [&](const uint8_t* packed, size_t length) {
            out.insert(out.end(), packed, packed + length);
        });
        deflater.write(data.data(), data.size());
        deflater.finish();
        return out;
    } catch (...) {
        rethrowAsEngineError("Compression failed");
    }
}

}  // namespace engine::detail
