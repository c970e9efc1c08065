#include "cli/signal_watch.h"

#include <csignal>

#include <pthread.h>
#include <unistd.h>

namespace kqc::cli {

namespace {

sigset_t stopSignals() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    return set;
}

}  // namespace

SignalWatch::SignalWatch() {
    const sigset_t set = stopSignals();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    m_thread = std::thread([this] { watch(); });
}

// The watcher ends on the next signal it takes; the program is ending anyway.
SignalWatch::~SignalWatch() {
    {
        std::lock_guard lock(m_mutex);
        m_ending = true;
    }
    pthread_kill(m_thread.native_handle(), SIGTERM);
    m_thread.join();
}

void SignalWatch::onSignal(std::function<void()> action) {
    std::lock_guard lock(m_mutex);
    m_handled = true;
    m_action = std::move(action);
    if (m_signal && m_action) m_action();
}

int SignalWatch::signal() const {
    std::lock_guard lock(m_mutex);
    return m_signal;
}

void SignalWatch::watch() {
    const sigset_t set = stopSignals();
    for (;;) {
        siginfo_t info{};
        if (sigwaitinfo(&set, &info) < 0) continue;
        std::lock_guard lock(m_mutex);
        if (m_ending) return;
        if (!m_handled) ::_exit(128 + info.si_signo);
        if (m_signal) continue;
        m_signal = info.si_signo;
        if (m_action) m_action();
    }
}

}  // namespace kqc::cli
