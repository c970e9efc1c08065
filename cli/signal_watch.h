#pragma once

#include <functional>
#include <mutex>
#include <thread>

namespace kqc::cli {

// SIGINT and SIGTERM, blocked in every thread and taken by one thread of their own (sigwaitinfo),
// so that no handler runs inside a transfer or a write. Make it before any other thread: those
// inherit the blocked signals. Outside a Scope, and at the second signal, the program ends at
// once by the signal, as the shell expects, though never in the middle of a save; when no thread
// can be had to watch, the signals keep their default action.
class SignalWatch {
public:
    SignalWatch();
    ~SignalWatch();
    SignalWatch(const SignalWatch&) = delete;
    SignalWatch& operator=(const SignalWatch&) = delete;

    // While it lives, the first signal runs its action instead of ending the program.
    class Scope {
    public:
        Scope(SignalWatch& watch, std::function<void()> action);
        ~Scope();
        Scope(const Scope&) = delete;
        Scope& operator=(const Scope&) = delete;

    private:
        SignalWatch& m_watch;
    };

    // The first signal taken, or 0.
    int signal() const;
    // Ends the program by that signal: its default action, the signal raised again.
    [[noreturn]] static void endBy(int signal);

private:
    void setAction(std::function<void()> action);
    void watch();

    mutable std::mutex m_mutex;
    bool m_ending = false;
    std::function<void()> m_action;
    int m_signal = 0;
    std::thread m_thread;
};

}  // namespace kqc::cli
