#include "cli/console.h"

#include "cli/command_line.h"

#include <cstdio>

#include <sys/ioctl.h>
#include <unistd.h>

namespace kqc::cli {

namespace {

std::string clock(double seconds) {
    const long whole = static_cast<long>(seconds + 0.5);
    char text[32];
    if (whole >= 3600)
        std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", whole / 3600, whole / 60 % 60,
                      whole % 60);
    else
        std::snprintf(text, sizeof text, "%ld:%02ld", whole / 60, whole % 60);
    return text;
}

// A longer line would wrap, and "\r" would then return to its last row only.
std::size_t terminalWidth() {
    winsize size{};
    return ::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 1 ? size.ws_col - 1 : 79;
}

}  // namespace

Console::Console()
    : m_terminal(::isatty(STDERR_FILENO) == 1),
      m_sharedTerminal(m_terminal && ::isatty(STDOUT_FILENO) == 1) {}

void Console::start(std::size_t total) {
    std::lock_guard lock(m_mutex);
    m_started = true;
    m_total = total;
    m_start = std::chrono::steady_clock::now();
    drawProgress();
}

void Console::showLine(std::string_view line) {
    std::lock_guard lock(m_mutex);
    std::string text(line);
    text.push_back('\n');
    write(text);
}

void Console::fileDone(std::string_view lines, FileOutcome outcome) {
    std::lock_guard lock(m_mutex);
    if (outcome != FileOutcome::stopped) ++m_done;
    if (outcome == FileOutcome::failed || outcome == FileOutcome::busy) ++m_failures;
    write(lines);
    std::fflush(stdout);
    if (!m_sharedTerminal) drawProgress();  // the counts changed
}

void Console::fewerJobs(unsigned jobs) {
    std::lock_guard lock(m_mutex);
    clearProgress();
    std::fprintf(
        stderr,
        "%s: the service answered 2005 (too many requests at once); going on with %u at a time\n",
        std::string(kProgram).c_str(), jobs);
    drawProgress();
}

void Console::tick() {
    std::lock_guard lock(m_mutex);
    drawProgress();
}

void Console::finish() {
    std::lock_guard lock(m_mutex);
    clearProgress();
    m_started = false;
    std::fflush(stdout);
}

std::size_t Console::failures() const {
    std::lock_guard lock(m_mutex);
    return m_failures;
}

// Standard output is line-buffered on a terminal, where it may share the progress line's row:
// the progress line makes way and comes back after it. Elsewhere a file's lines go out together.
void Console::write(std::string_view text) {
    if (m_sharedTerminal) clearProgress();
    std::fwrite(text.data(), 1, text.size(), stdout);
    if (m_sharedTerminal) drawProgress();
}

void Console::clearProgress() {
    if (!m_drawn) return;
    std::fputs("\r\x1b[K", stderr);
    m_drawn = false;
}

void Console::drawProgress() {
    if (!m_terminal || !m_started) return;
    const double elapsed =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - m_start).count();
    std::string line = std::to_string(m_done) + " of " + std::to_string(m_total) + " files done, " +
                       std::to_string(m_failures) + " failed, " + clock(elapsed) + " elapsed";
    if (m_done > 0 && m_done < m_total)
        line += ", about " + clock(elapsed / double(m_done) * double(m_total - m_done)) + " left";
    line.resize(std::min(line.size(), terminalWidth()));
    std::fputs(("\r" + line + "\x1b[K").c_str(), stderr);
    m_drawn = true;
}

}  // namespace kqc::cli
