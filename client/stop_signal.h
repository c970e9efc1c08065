#pragma once

#include <functional>
#include <mutex>

namespace kqc {

// A request to abandon a run, made from any thread (the window's, when it is closed). The run
// checks it between steps; a service call in progress registers a wake-up and ends at once.
class StopSignal {
public:
    void request() {
        std::lock_guard lock(m_mutex);
        m_requested = true;
        if (m_wake) m_wake();
    }
    bool requested() const {
        std::lock_guard lock(m_mutex);
        return m_requested;
    }
    // While set, request() calls wake too. Cleared with an empty function.
    void setWake(std::function<void()> wake) {
        std::lock_guard lock(m_mutex);
        m_wake = std::move(wake);
    }

private:
    mutable std::mutex m_mutex;
    bool m_requested = false;
    std::function<void()> m_wake;
};

}  // namespace kqc
