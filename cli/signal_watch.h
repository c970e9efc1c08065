#pragma once

#include <functional>
#include <mutex>
#include <thread>

namespace kqc::cli {

// SIGINT and SIGTERM, blocked in every thread and taken by one thread of their own (sigwaitinfo),
// so that no handler runs inside a transfer or a write. Make it before any other thread: those
// inherit the blocked signals.
class SignalWatch {
public:
    SignalWatch();
    ~SignalWatch();
    SignalWatch(const SignalWatch&) = delete;
    SignalWatch& operator=(const SignalWatch&) = delete;

    // What a signal does from now on; run at once when one came already. Before the first call
    // a signal ends the program at once, as nothing has begun that could be left half done.
    void onSignal(std::function<void()> action);
    // The first signal taken, or 0.
    int signal() const;

private:
    void watch();

    mutable std::mutex m_mutex;
    bool m_handled = false;
    bool m_ending = false;
    std::function<void()> m_action;
    int m_signal = 0;
    std::thread m_thread;
};

}  // namespace kqc::cli
