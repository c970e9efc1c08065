#pragma once

#include "client/run_values.h"

#include <atomic>
#include <chrono>
#include <cstddef>
#include <mutex>
#include <string>
#include <string_view>

namespace kqc::cli {

// The batch on the terminal: the client's lines on standard output, one each with "\n", a
// file's lines at once when it is done, and while standard error is a terminal a progress line
// there, redrawn in place.
class Console : public RunSink {
public:
    Console();

    // The number of sources, once known; the progress line shows from then on.
    void sourcesFound(std::size_t total) override;
    void showLine(std::string_view line) override;
    void sourceDone(FileOutcome outcome, std::string_view heldLines) override;
    void fewerJobs(unsigned jobs, FewerJobs why) override;
    void tick() override;
    // Clears the progress line for good and writes what is left.
    void finish();
    // From any thread, once the program is to end: from now on a write goes out only as far as
    // the reader takes it at once, so that a reader that stalls never holds the end.
    void abandon();

    std::size_t failures() const;

private:
    void write(std::string_view text);
    void flush();
    void clearProgress();
    void drawProgress();

    mutable std::mutex m_mutex;
    std::atomic<bool> m_abandoned = false;
    const bool m_terminal;        // standard error
    const bool m_outputTerminal;  // standard output
    const bool m_sharedTerminal;  // both
    std::string m_pending;        // standard output's text not yet written
    bool m_started = false;
    bool m_drawn = false;
    std::size_t m_total = 0;
    std::size_t m_done = 0;
    std::size_t m_failures = 0;
    std::chrono::steady_clock::time_point m_start;
};

}  // namespace kqc::cli
