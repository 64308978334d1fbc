// SPDX-License-Identifier: Apache-2.0
#pragma once
// Sources and sinks over open descriptors (standard input and output), for
// the streamed calls of a command line (internal to the engine).

#include <cstdint>
#include <string>
#include <vector>

#include "engine/core/Progress.h"
#include "engine/io/Streams.h"

namespace engine::detail {

// Reads a descriptor to its end; its size is unknown (0). A wait for input
// that a signal or WakeWaitingReads interrupts reports progress at once, so
// that a handler asked to stop is heard while the writer on the other side is
// silent.
class DescriptorSource : public ByteSource {
public:
    DescriptorSource(int fd, Progress& progress);
    uint64_t size() const override { return 0; }
    size_t read(uint8_t* buffer, size_t length) override;
    ByteView next(size_t length) override;
    void rewind() override;

private:
    int m_fd;
    int m_wakeFd;
    Progress& m_progress;
    bool m_heard = false;
    std::vector<uint8_t> m_buffer;
};

// Writes everything to a descriptor; `what` names it in failures ("the output").
class DescriptorSink : public ByteSink {
public:
    DescriptorSink(int fd, std::string what) : m_fd(fd), m_what(std::move(what)) {}
    using ByteSink::write;
    void write(const uint8_t* data, size_t length) override;

private:
    int m_fd;
    std::string m_what;
};

// Throws nothing; counts the bytes: the first pass of a two-pass decryption.
class DiscardSink : public ByteSink {
public:
    void write(const uint8_t*, size_t) override {}
};

}  // namespace engine::detail
