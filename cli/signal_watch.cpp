#include "cli/signal_watch.h"

#include "client/response_handler.h"

#include <csignal>
#include <system_error>

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
    try {
        m_thread = std::thread([this] { watch(); });
    } catch (const std::system_error&) {
        pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
    }
}

// The watcher ends on the next signal it takes; the program is ending anyway.
SignalWatch::~SignalWatch() {
    if (!m_thread.joinable()) return;
    {
        std::lock_guard lock(m_mutex);
        m_ending = true;
    }
    pthread_kill(m_thread.native_handle(), SIGTERM);
    m_thread.join();
}

SignalWatch::Scope::Scope(SignalWatch& watch, std::function<void()> action) : m_watch(watch) {
    m_watch.setAction(std::move(action));
}

SignalWatch::Scope::~Scope() { m_watch.setAction({}); }

void SignalWatch::setAction(std::function<void()> action) {
    std::lock_guard lock(m_mutex);
    m_action = std::move(action);
}

int SignalWatch::signal() const {
    std::lock_guard lock(m_mutex);
    return m_signal;
}

void SignalWatch::endBy(int signal) {
    SavesUnderWay().lock();  // never released: no save starts after, and none is cut short
    std::signal(signal, SIG_DFL);
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, signal);
    pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
    ::raise(signal);
    ::_exit(128 + signal);  // not reached: the default action ends the program
}

void SignalWatch::watch() {
    const sigset_t set = stopSignals();
    for (;;) {
        siginfo_t info{};
        if (sigwaitinfo(&set, &info) < 0) continue;
        std::lock_guard lock(m_mutex);
        if (m_ending) return;
        if (m_signal || !m_action) endBy(info.si_signo);
        m_signal = info.si_signo;
        m_action();
    }
}

}  // namespace kqc::cli
