#pragma once
// A second thread for the half of a stream's work that can run beside the
// other (a MAC, encoding and writing), one buffer behind the calling thread.

#include <condition_variable>
#include <cstdint>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>

namespace engine::detail {

// Below this size a second thread costs more than it saves.
constexpr uint64_t kThreadedFrom = 1 << 20;

class Worker {
public:
    using Task = std::function<void()>;

    // Not threaded: submit() runs each task at once, on the calling thread.
    explicit Worker(bool threaded);
    ~Worker();
    Worker(const Worker&) = delete;
    Worker& operator=(const Worker&) = delete;

    // Waits until the previous task is done, then hands this one over: the
    // caller may reuse what the previous task used, not what this one uses,
    // once submit returns.
    void submit(Task task);
    // Waits until every task is done; rethrows the failure of a task, after
    // which later tasks are skipped.
    void wait();

private:
    void run();

    std::mutex m_mutex;
    std::condition_variable m_changed;
    Task m_task;
    bool m_pending = false;
    bool m_stop = false;
    std::exception_ptr m_failure;
    std::thread m_thread;
};

}  // namespace engine::detail
