#include "engine/Worker.h"

namespace engine::detail {

Worker::Worker(bool threaded) {
    if (threaded) m_thread = std::thread([this] { run(); });
}

Worker::~Worker() {
    if (!m_thread.joinable()) return;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stop = true;
    }
    m_changed.notify_all();
    m_thread.join();
}

void Worker::submit(Task task) {
    if (!m_thread.joinable()) {
        task();
        return;
    }
    wait();
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_task = std::move(task);
        m_pending = true;
    }
    m_changed.notify_all();
}

void Worker::wait() {
    if (!m_thread.joinable()) return;
    std::unique_lock<std::mutex> lock(m_mutex);
    m_changed.wait(lock, [this] { return !m_pending; });
    if (m_failure) std::rethrow_exception(m_failure);
}

void Worker::run() {
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        m_changed.wait(lock, [this] { return m_pending || m_stop; });
        if (!m_pending) return;
        Task task = std::move(m_task);
        const bool failed = static_cast<bool>(m_failure);
        lock.unlock();
        std::exception_ptr failure;
        if (!failed) {
            try {
                task();
            } catch (...) {
                failure = std::current_exception();
            }
        }
        task = nullptr;
        lock.lock();
        if (failure) m_failure = failure;
        m_pending = false;
        m_changed.notify_all();
    }
}

}  // namespace engine::detail
