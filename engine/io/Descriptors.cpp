// SPDX-License-Identifier: Apache-2.0
#include "engine/io/Descriptors.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <string.h>
#include <unistd.h>

#include <atomic>

#include "engine/core/Errors.h"

namespace engine::detail {

namespace {

// Made once, before any read waits on it; its writing end is only read
// afterwards, so a signal handler may use it.
std::atomic<int> g_wakeWrite{-1};
static_assert(std::atomic<int>::is_always_lock_free);

int wakeReadEnd() {
    static const int readEnd = [] {
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0)
            throw EngineError(ErrorKind::Io, std::string("Cannot make a pipe: ") + ::strerror(errno) + ".");
        g_wakeWrite.store(fds[1]);
        return fds[0];
    }();
    return readEnd;
}

void drain(int fd) {
    char bytes[64];
    while (::read(fd, bytes, sizeof bytes) > 0) {
    }
}

}  // namespace

DescriptorSource::DescriptorSource(int fd, Progress& progress)
    : m_fd(fd), m_wakeFd(wakeReadEnd()), m_progress(progress) {}

size_t DescriptorSource::read(uint8_t* buffer, size_t length) {
    // A wake before the pipe existed left only the handler's own state to see.
    if (!m_heard) {
        m_heard = true;
        m_progress.pollNow();
    }
    size_t done = 0;
    while (done < length) {
        // Waits for input or a wake, whichever comes first: a wake that comes
        // just before the wait is still in the pipe, so none is missed.
        pollfd waits[2] = {{m_fd, POLLIN, 0}, {m_wakeFd, POLLIN, 0}};
        if (::poll(waits, 2, -1) < 0) {
            if (errno != EINTR)
                throw EngineError(ErrorKind::Io, std::string("Cannot read the input: ") + ::strerror(errno) + ".");
            m_progress.pollNow();
            continue;
        }
        if (waits[1].revents != 0) {
            drain(m_wakeFd);
            m_progress.pollNow();
        }
        if (waits[0].revents == 0) continue;
        const ssize_t n = ::read(m_fd, buffer + done, length - done);
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN) {
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

namespace engine {

void WakeWaitingReads() noexcept {
    const int fd = detail::g_wakeWrite.load();
    if (fd < 0) return;
    const int saved = errno;
    const char byte = 1;
    // A full pipe already wakes.
    [[maybe_unused]] const ssize_t n = ::write(fd, &byte, 1);
    errno = saved;
}

}  // namespace engine
