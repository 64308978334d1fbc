// SPDX-License-Identifier: Apache-2.0
#pragma once
// The hand-off between two stages of a stream: the calling thread's stage
// and a stage on a second thread pass owned parcels (buffers and what goes
// with them) to and fro. A parcel is in one place at a time: with the caller
// from take() to send(), or with the stage until it has worked on it. The
// caller gets a parcel only from take(), which never hands out one the stage
// still works on, so no order of statements lets both threads touch one
// buffer. The stage's own state (a MAC, a sink) lives inside the relay and
// reaches the caller only through finish(), once the stage is idle.

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <utility>
#include <vector>

#include "engine/core/Secret.h"

namespace engine::detail {

// Below this size a second thread costs more than it saves.
constexpr uint64_t kThreadedFrom = 1 << 20;

// Frees an array of `size` bytes from allocateSecret.
struct ScrubbedArray {
    size_t size = 0;
    void operator()(uint8_t* bytes) const { freeSecret(bytes, size); }
};

// Bytes that one stage holds at a time: moved, never copied. A buffer moved
// away is empty, and any use of it throws at once. Wiped when freed, since it
// may hold plain text.
class Buffer {
public:
    Buffer() = default;
    explicit Buffer(size_t size)
        : m_bytes(static_cast<uint8_t*>(allocateSecret(size)), ScrubbedArray{size}), m_size(size) {}
    Buffer(Buffer&& other) noexcept
        : m_bytes(std::move(other.m_bytes)), m_size(std::exchange(other.m_size, 0)) {}
    Buffer& operator=(Buffer&& other) noexcept {
        m_bytes = std::move(other.m_bytes);
        m_size = std::exchange(other.m_size, 0);
        return *this;
    }

    uint8_t* data() {
        if (!m_bytes) handedOn();
        return m_bytes.get();
    }
    size_t size() const { return m_size; }

private:
    [[noreturn]] static void handedOn() {
        throw std::logic_error("A buffer was used after it was handed on.");
    }

    std::unique_ptr<uint8_t[], ScrubbedArray> m_bytes;
    size_t m_size = 0;
};

// `Stage` is a callable on `Parcel&` that the relay constructs and owns. It
// works on the parcels in the order sent: on its own thread when threaded,
// else inside send(). A failure of the stage is thrown by the next take() or
// finish() (inline, by send() itself) and every call after; the parcels sent
// after it come back unworked.
template <class Parcel, class Stage>
class Relay {
public:
    template <class... StageArgs>
    Relay(bool threaded, std::vector<Parcel> parcels, StageArgs&&... stageArgs)
        : m_stage(std::forward<StageArgs>(stageArgs)...) {
        for (Parcel& parcel : parcels) m_done.push_back(std::move(parcel));
        if (threaded) m_thread = std::thread([this] { run(); });
    }

    // Waits for the parcel in work, if any; parcels still queued are dropped.
    ~Relay() {
        if (!m_thread.joinable()) return;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_stop = true;
        }
        m_changed.notify_all();
        m_thread.join();
    }

    Relay(const Relay&) = delete;
    Relay& operator=(const Relay&) = delete;

    // A parcel the stage is done with, oldest first (at the start, those
    // given to the constructor); waits while the stage works on the rest.
    Parcel take() {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_changed.wait(lock,
                       [this] { return !m_done.empty() || m_failure || (m_queued.empty() && !m_working); });
        if (m_failure) std::rethrow_exception(m_failure);
        if (m_done.empty()) throw std::logic_error("Every parcel is with the caller already.");
        Parcel parcel = std::move(m_done.front());
        m_done.pop_front();
        return parcel;
    }

    void send(Parcel parcel) {
        if (m_finished) throw std::logic_error("A parcel was sent to a finished stage.");
        if (!m_thread.joinable()) {
            if (!m_failure) m_failure = workOn(parcel);
            m_done.push_back(std::move(parcel));
            if (m_failure) std::rethrow_exception(m_failure);
            return;
        }
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_queued.push_back(std::move(parcel));
        }
        m_changed.notify_all();
    }

    // Waits until the stage has worked on every parcel sent, and hands its
    // state to the caller; no parcel may be sent after it.
    Stage& finish() {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_changed.wait(lock, [this] { return m_queued.empty() && !m_working; });
        if (m_failure) std::rethrow_exception(m_failure);
        m_finished = true;
        return m_stage;
    }

private:
    std::exception_ptr workOn(Parcel& parcel) {
        try {
            m_stage(parcel);
            return nullptr;
        } catch (...) {
            return std::current_exception();
        }
    }

    void run() {
        std::unique_lock<std::mutex> lock(m_mutex);
        for (;;) {
            m_changed.wait(lock, [this] { return !m_queued.empty() || m_stop; });
            if (m_stop) return;
            Parcel parcel = std::move(m_queued.front());
            m_queued.pop_front();
            m_working = true;
            const bool skip = static_cast<bool>(m_failure);
            lock.unlock();
            const std::exception_ptr failure = skip ? nullptr : workOn(parcel);
            lock.lock();
            if (failure) m_failure = failure;
            m_working = false;
            m_done.push_back(std::move(parcel));
            m_changed.notify_all();
        }
    }

    Stage m_stage;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<Parcel> m_queued;  // sent, not yet worked on
    std::deque<Parcel> m_done;    // free for the caller
    bool m_working = false;
    bool m_stop = false;
    bool m_finished = false;  // the caller's alone
    std::exception_ptr m_failure;
    std::thread m_thread;  // last: started once everything above exists
};

}  // namespace engine::detail
