#pragma once

#include "cli/batch_run.h"

#include <chrono>
#include <cstddef>
#include <mutex>
#include <string>
#include <string_view>

namespace kqc::cli {

// The batch on the terminal: the client's lines on standard output, one each with "\n", a
// file's lines at once when it is done, and while standard error is a terminal a progress line
// there, redrawn in place.
class Console : public BatchReport {
public:
    Console();

    // The number of sources, once known; the progress line shows from then on.
    void start(std::size_t total);
    void showLine(std::string_view line) override;
    void fileDone(std::string_view lines, FileOutcome outcome) override;
    void fewerJobs(unsigned jobs) override;
    void tick() override;
    // Clears the progress line for good.
    void finish();

    std::size_t failures() const;

private:
    void write(std::string_view text);
    void clearProgress();
    void drawProgress();

    mutable std::mutex m_mutex;
    const bool m_terminal;        // standard error
    const bool m_sharedTerminal;  // standard output too
    bool m_started = false;
    bool m_drawn = false;
    std::size_t m_total = 0;
    std::size_t m_done = 0;
    std::size_t m_failures = 0;
    std::chrono::steady_clock::time_point m_start;
};

}  // namespace kqc::cli
