#include "ui/blocking_worker.h"

#include <QEventLoop>
#include <QMetaObject>

#include <chrono>
#include <utility>

namespace kqc {

namespace {

// Short enough that nobody sees the window stall; long enough that a quick answer costs no trip
// through the event loop.
constexpr auto kQuietWait = std::chrono::milliseconds(10);

}  // namespace

BlockingWorker::~BlockingWorker() {
    if (!m_thread.joinable()) return;
    {
        std::lock_guard lock(m_mutex);
        m_quit = true;
    }
    m_changed.notify_all();
    m_thread.join();
}

void BlockingWorker::run(const std::function<void()>& work) {
    if (!m_thread.joinable()) m_thread = std::thread([this] { serve(); });
    std::unique_lock lock(m_mutex);
    m_work = &work;
    m_done = false;
    m_failure = nullptr;
    m_changed.notify_all();
    if (!m_changed.wait_for(lock, kQuietWait, [this] { return m_done; })) {
        QEventLoop loop;
        m_waitingLoop = &loop;
        lock.unlock();
        // The worker posts quit once done; posted before exec() starts, it still ends the loop.
        loop.exec(QEventLoop::ExcludeUserInputEvents);
        lock.lock();
        m_changed.wait(lock, [this] { return m_done; });
        m_waitingLoop = nullptr;
    }
    if (m_failure) std::rethrow_exception(std::exchange(m_failure, nullptr));
}

void BlockingWorker::serve() {
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_changed.wait(lock, [this] { return m_quit || m_work; });
        if (m_quit) return;
        const std::function<void()>* work = std::exchange(m_work, nullptr);
        lock.unlock();
        std::exception_ptr failure;
        try {
            (*work)();
        } catch (...) {
            failure = std::current_exception();
        }
        lock.lock();
        m_failure = failure;
        m_done = true;
        if (m_waitingLoop) QMetaObject::invokeMethod(m_waitingLoop, "quit", Qt::QueuedConnection);
        m_changed.notify_all();
    }
}

}  // namespace kqc
