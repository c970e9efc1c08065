#pragma once

#include <condition_variable>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>

class QEventLoop;

namespace kqc {

// One long-lived thread that runs blocking work (the service call, big file reads) for the
// window. Work that ends within a few milliseconds is simply waited for; longer work is waited
// for in an event loop that paints and serves timers while user input stays queued.
class BlockingWorker {
public:
    BlockingWorker() = default;
    ~BlockingWorker();
    BlockingWorker(const BlockingWorker&) = delete;
    BlockingWorker& operator=(const BlockingWorker&) = delete;

    // Runs work on the worker thread and returns when it has ended; rethrows what it threw.
    void run(const std::function<void()>& work);

private:
    void serve();

    std::thread m_thread;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    const std::function<void()>* m_work = nullptr;
    std::exception_ptr m_failure;
    QEventLoop* m_waitingLoop = nullptr;
    bool m_done = false;
    bool m_quit = false;
};

}  // namespace kqc
