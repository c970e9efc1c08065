#include "log/activity_log.h"

#include "log/debug_file.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

namespace kqc {

namespace {

constexpr std::string_view kCrLf = "\r\n";
constexpr std::string_view kEntryEnd = "\r\n\r\n";

std::vector<std::string_view> entryPieces(std::initializer_list<std::string_view> pieces) {
    std::vector<std::string_view> all(pieces);
    all.push_back(kEntryEnd);
    return all;
}

}  // namespace

// One thread that appends queued entries to the debug log file in the order they came.
class ActivityLog::BackgroundWriter {
public:
    explicit BackgroundWriter(std::filesystem::path path)
        : m_path(std::move(path)), m_thread([this] { run(); }) {}

    ~BackgroundWriter() {
        {
            std::lock_guard lock(m_mutex);
            m_stopping = true;
        }
        m_wake.notify_all();
        m_thread.join();  // the queue is written out first
    }

    void addViews(std::vector<std::string_view> pieces) {
        {
            std::lock_guard lock(m_mutex);
            m_queue.push_back(Entry{std::move(pieces), {}});
        }
        m_wake.notify_one();
    }

    // Queues a copy of the entry while an earlier one is still waiting or being written, so
    // that it cannot overtake it. False when nothing is pending: the caller writes it itself.
    bool addCopyIfBusy(const std::vector<std::string_view>& pieces) {
        std::lock_guard lock(m_mutex);
        if (m_queue.empty() && !m_writing) return false;
        Entry entry;
        for (auto piece : pieces) entry.copy.append(piece);
        m_queue.push_back(std::move(entry));
        m_wake.notify_one();
        return true;
    }

    void waitUntilIdle() {
        std::unique_lock lock(m_mutex);
        m_idle.wait(lock, [this] { return m_queue.empty() && !m_writing; });
    }

private:
    // Either views of memory the caller keeps alive, or an owned copy (views of a moved short
    // string would dangle, so a copy is never viewed).
    struct Entry {
        std::vector<std::string_view> views;
        std::string copy;
    };

    void run() {
        std::unique_lock lock(m_mutex);
        for (;;) {
            m_wake.wait(lock, [this] { return m_stopping || !m_queue.empty(); });
            if (m_queue.empty()) return;
            Entry entry = std::move(m_queue.front());
            m_queue.pop_front();
            m_writing = true;
            lock.unlock();
            if (entry.views.empty())
                AppendToDebugFile(m_path, {entry.copy});
            else
                AppendToDebugFile(m_path, entry.views);
            lock.lock();
            m_writing = false;
            if (m_queue.empty()) m_idle.notify_all();
        }
    }

    const std::filesystem::path m_path;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_idle;
    std::deque<Entry> m_queue;
    bool m_writing = false;
    bool m_stopping = false;
    std::thread m_thread;  // last: it starts once everything above is in place
};

std::filesystem::path DefaultDebugLogPath() {
#ifdef _WIN32
    return std::filesystem::path("c:\\Temp\\KorvaneQuorraClient.log");
#else
    std::error_code ec;
    auto folder = std::filesystem::temp_directory_path(ec);
    if (ec) folder = "/tmp";
    return folder / "KorvaneQuorraClient.log";
#endif
}

ActivityLog::ActivityLog(LogFields& fields, std::filesystem::path debugLogPath)
    : m_fields(fields), m_debugLogPath(std::move(debugLogPath)) {}

ActivityLog::~ActivityLog() = default;

void ActivityLog::LogOutput(std::string_view line) {
    std::string added;
    added.reserve(kCrLf.size() + line.size());
    added.append(kCrLf).append(line);
    m_fields.appendOutputLog(added);
    DebugToFile(line);
    m_fields.refresh();
}

void ActivityLog::DebugToFile(std::string_view entry) { DebugToFile({entry}); }

void ActivityLog::DebugToFile(std::initializer_list<std::string_view> pieces) {
    if (m_fields.debugValue() != 1) return;
    const std::vector<std::string_view> all = entryPieces(pieces);
    if (m_writer && m_writer->addCopyIfBusy(all)) return;
    AppendToDebugFile(m_debugLogPath, all);  // an unwritable log loses the entry, nothing more
}

void ActivityLog::DebugToFileInBackground(std::initializer_list<std::string_view> pieces) {
    if (m_fields.debugValue() != 1) return;
    const std::vector<std::string_view> all = entryPieces(pieces);
    if (!m_writer) {
        try {
            m_writer = std::make_unique<BackgroundWriter>(m_debugLogPath);
        } catch (const std::system_error&) {
            AppendToDebugFile(m_debugLogPath, all);  // no thread to be had: write it here
            return;
        }
    }
    m_writer->addViews(all);
}

void ActivityLog::WaitForDebugFile() {
    if (m_writer) m_writer->waitUntilIdle();
}

}  // namespace kqc
