#pragma once

#include <functional>
#include <mutex>

namespace kqc {

// A request to abandon a run, made from any thread (the window's, when it is closed). The run
// checks it between steps; a service call in progress registers a wake-up and ends at once.
class StopSignal {
public:
    // sayInLog: the run ends with its stop line (a stop the user asked for in a window that stays).
    void request(bool sayInLog = false) {
        std::lock_guard lock(m_mutex);
        m_requested = true;
        m_sayInLog = m_sayInLog || sayInLog;
        if (m_wake) m_wake();
    }
    bool requested() const {
        std::lock_guard lock(m_mutex);
        return m_requested;
    }
    bool sayInLog() const {
        std::lock_guard lock(m_mutex);
        return m_sayInLog;
    }
    // While set, request() calls wake too. Cleared with an empty function.
    void setWake(std::function<void()> wake) {
        std::lock_guard lock(m_mutex);
        m_wake = std::move(wake);
    }

private:
    mutable std::mutex m_mutex;
    bool m_requested = false;
    bool m_sayInLog = false;
    std::function<void()> m_wake;
};

}  // namespace kqc
