// SPDX-License-Identifier: Apache-2.0
#include "engine/io/Descriptors.h"

#include <errno.h>
#include <string.h>
#include <unistd.h>

#include "engine/core/Errors.h"

namespace engine::detail {

size_t DescriptorSource::read(uint8_t* buffer, size_t length) {
    size_t done = 0;
    while (done < length) {
        const ssize_t n = ::read(m_fd, buffer + done, length - done);
        if (n < 0) {
            if (errno == EINTR) {
                m_progress.pollNow();
                continue;
            }
            throw EngineError(ErrorKind::Io, std::string("Cannot read the input: ") + ::strerror(errno) + ".");
        }
        if (n == 0) break;
        done += static_cast<size_t>(n);
    }
    return done;
}

ByteView DescriptorSource::next(size_t length) {
    if (m_buffer.size() < length) m_buffer.resize(length);
    return {m_buffer.data(), read(m_buffer.data(), length)};
}

void DescriptorSource::rewind() {
    throw EngineError(ErrorKind::InvalidInput, "The input is a stream: it can be read only once.");
}

void DescriptorSink::write(const uint8_t* data, size_t length) {
    size_t done = 0;
    while (done < length) {
        const ssize_t n = ::write(m_fd, data + done, length - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0)
            throw EngineError(ErrorKind::Io, "Cannot write " + m_what + ": " + ::strerror(errno) + ".");
        done += static_cast<size_t>(n);
    }
}

}  // namespace engine::detail
