#include "cli/console.h"

#include "cli/command_line.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>

#include <poll.h>
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

constexpr std::size_t kMostPending = std::size_t{64} << 10;

// Waits for room at most this long at a time, so that an abandon is seen soon.
constexpr int kRoomWaitMs = 100;

// Writes the text whole unless abandoned meanwhile. A pipe or terminal that polls ready takes a
// write of PIPE_BUF bytes without blocking.
void put(int fd, std::string_view text, const std::atomic<bool>& abandoned) {
    while (!text.empty()) {
        pollfd room{fd, POLLOUT, 0};
        const int ready = ::poll(&room, 1, abandoned ? 0 : kRoomWaitMs);
        if (ready < 0 && errno == EINTR) continue;
        if (ready == 0 && abandoned) return;
        if (ready == 0) continue;
        if (ready < 0 || (room.revents & (POLLERR | POLLNVAL))) return;
        const ssize_t n = ::write(fd, text.data(), std::min<std::size_t>(text.size(), PIPE_BUF));
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        if (n <= 0) return;
        text.remove_prefix(static_cast<std::size_t>(n));
    }
}

}  // namespace

Console::Console()
    : m_terminal(::isatty(STDERR_FILENO) == 1),
      m_outputTerminal(::isatty(STDOUT_FILENO) == 1),
      m_sharedTerminal(m_terminal && m_outputTerminal) {}

void Console::sourcesFound(std::size_t total) {
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

void Console::sourceDone(FileOutcome outcome, std::string_view heldLines) {
    std::lock_guard lock(m_mutex);
    if (outcome != FileOutcome::stopped) ++m_done;
    if (outcome == FileOutcome::failed || outcome == FileOutcome::busy) ++m_failures;
    write(heldLines);
    flush();
    if (!m_sharedTerminal) drawProgress();  // the counts changed
}

void Console::fewerJobs(unsigned jobs, FewerJobs why) {
    std::lock_guard lock(m_mutex);
    clearProgress();
    const char* cause = why == FewerJobs::serviceBusy
                            ? "the service answered 2005 (too many requests at once)"
                            : "no further thread could be started";
    put(STDERR_FILENO,
        std::string(kProgram) + ": " + cause + "; going on with " + std::to_string(jobs) +
            " at a time\n",
        m_abandoned);
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
    flush();
}

void Console::abandon() { m_abandoned = true; }

std::size_t Console::failures() const {
    std::lock_guard lock(m_mutex);
    return m_failures;
}

// A file's lines go out together, on a terminal each as it comes. There standard output may
// share the progress line's row: the progress line makes way and comes back after it.
void Console::write(std::string_view text) {
    m_pending.append(text);
    if (m_outputTerminal || m_pending.size() >= kMostPending) flush();
}

void Console::flush() {
    if (m_pending.empty()) return;
    if (m_sharedTerminal) clearProgress();
    put(STDOUT_FILENO, m_pending, m_abandoned);
    m_pending.clear();
    if (m_sharedTerminal) drawProgress();
}

void Console::clearProgress() {
    if (!m_drawn) return;
    put(STDERR_FILENO, "\r\x1b[K", m_abandoned);
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
    put(STDERR_FILENO, "\r" + line + "\x1b[K", m_abandoned);
    m_drawn = true;
}

}  // namespace kqc::cli
