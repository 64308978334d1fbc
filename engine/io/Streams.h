// SPDX-License-Identifier: Apache-2.0
#pragma once
// Small byte sources and sinks that let one streaming routine serve texts in
// memory and files alike.

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "engine/Engine.h"
#include "engine/core/Progress.h"
#include "engine/io/Files.h"

namespace engine::detail {

// Bytes lent by a source until its next call.
struct ByteView {
    const uint8_t* data = nullptr;
    size_t size = 0;
    explicit operator bool() const { return size > 0; }
};

class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual uint64_t size() const = 0;
    // Fills `length` bytes unless the source ends first; 0 at the end.
    virtual size_t read(uint8_t* buffer, size_t length) = 0;
    // Up to `length` bytes, fewer only at the end; empty at the end. A
    // source in memory lends its own bytes, a file reads into a buffer of
    // its own.
    virtual ByteView next(size_t length) = 0;
    virtual void rewind() = 0;
    // Once everything is read: throws when the source changed meanwhile.
    virtual void checkUnchanged() const {}
};

class MemorySource : public ByteSource {
public:
    explicit MemorySource(const std::string& data) : m_data(data) {}
    uint64_t size() const override { return m_data.size(); }
    size_t read(uint8_t* buffer, size_t length) override {
        const ByteView piece = next(length);
        if (piece) std::memcpy(buffer, piece.data, piece.size);
        return piece.size;
    }
    ByteView next(size_t length) override {
        const size_t n = std::min(length, m_data.size() - m_offset);
        const ByteView piece{reinterpret_cast<const uint8_t*>(m_data.data()) + m_offset, n};
        m_offset += n;
        return piece;
    }
    void rewind() override { m_offset = 0; }

private:
    const std::string& m_data;
    size_t m_offset = 0;
};

class FileSource : public ByteSource {
public:
    explicit FileSource(InputFile& file) : m_file(file) {}
    uint64_t size() const override { return m_file.size(); }
    size_t read(uint8_t* buffer, size_t length) override { return m_file.read(buffer, length); }
    ByteView next(size_t length) override {
        // No larger than the file: small files are common.
        if (m_buffer.size() < length)
            m_buffer.resize(static_cast<size_t>(std::min<uint64_t>(length, std::max<uint64_t>(size(), 1))));
        return {m_buffer.data(), m_file.read(m_buffer.data(), std::min(length, m_buffer.size()))};
    }
    void rewind() override { m_file.rewind(); }
    void checkUnchanged() const override { m_file.checkUnchanged(); }

private:
    InputFile& m_file;
    std::vector<uint8_t> m_buffer;
};

// The one way the engine reads a source: pieces of `piece` bytes (fewer only
// at the end), each counted by `progress` once the reader says it is done
// with it (a report there may abort), and at the end the check that the
// source did not change while it was read.
class PieceReader {
public:
    PieceReader(ByteSource& source, size_t piece, Progress& progress)
        : m_source(source), m_piece(piece), m_progress(progress) {}

    // Empty at the end.
    ByteView next() { return m_source.next(m_piece); }
    // A piece is worked on (or taken in): it counts as progress.
    void done(const ByteView& view) { m_progress.advance(view.size); }
    // Straight into the reader's own buffer (`length` bytes unless the source
    // ends first), counted at once: for a reader that keeps what it reads.
    size_t readInto(uint8_t* buffer, size_t length) {
        const size_t n = m_source.read(buffer, length);
        m_progress.advance(n);
        return n;
    }
    // Once everything is read and worked on: throws when the source changed
    // meanwhile. A reader that must tell a damaged source first (opening a
    // container checks its tag) calls it after that.
    void finish() const { m_source.checkUnchanged(); }

private:
    ByteSource& m_source;
    size_t m_piece;
    Progress& m_progress;
};

// Hands everything `source` holds to `sink`, piece by piece, each counted
// once the sink has it.
template <class Sink>
void feedPieces(ByteSource& source, size_t piece, Progress& progress, Sink&& sink) {
    PieceReader reader(source, piece, progress);
    while (const ByteView view = reader.next()) {
        sink(view.data, view.size);
        reader.done(view);
    }
    reader.finish();
}

class ByteSink {
public:
    virtual ~ByteSink() = default;
    virtual void write(const uint8_t* data, size_t length) = 0;
    void write(const std::string& data) { write(reinterpret_cast<const uint8_t*>(data.data()), data.size()); }
};

// Collects into a string; a result above `limit` bytes throws TooLarge.
class StringSink : public ByteSink {
public:
    StringSink(std::string& out, uint64_t limit, std::string limitMessage = {})
        : m_out(out), m_limit(limit), m_limitMessage(std::move(limitMessage)) {}
    void write(const uint8_t* data, size_t length) override {
        if (m_out.size() + length > m_limit)
            throw EngineError(ErrorKind::TooLarge, m_limitMessage.empty()
                                                       ? "The result is too large to hold in memory."
                                                       : m_limitMessage);
        m_out.append(reinterpret_cast<const char*>(data), length);
    }

private:
    std::string& m_out;
    uint64_t m_limit;
    std::string m_limitMessage;
};

class FileSink : public ByteSink {
public:
    explicit FileSink(AtomicOutputFile& file) : m_file(file) {}
    void write(const uint8_t* data, size_t length) override { m_file.write(data, length); }

private:
    AtomicOutputFile& m_file;
};

}  // namespace engine::detail
