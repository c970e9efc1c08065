#include "client/batch_run.h"

#include "client/transcode_run.h"
#include "media/large_buffer.h"
#include "media/paths.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <exception>
#include <filesystem>
#include <map>
#include <set>
#include <system_error>
#include <thread>
#include <utility>

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace kqc {

namespace {

namespace fs = std::filesystem;

std::atomic<std::size_t> threadLimit{SIZE_MAX};

// A source's lines: passed on at once with one worker, otherwise kept until its outcome is final.
class SourceLines : public LogView {
public:
    SourceLines(RunSink& sink, bool live) : m_sink(sink), m_live(live) {}
    void showLine(std::string_view line) override {
        if (m_live) return m_sink.showLine(line);
        m_text.append(line).push_back('\n');
    }
    std::string take() { return std::exchange(m_text, {}); }

private:
    RunSink& m_sink;
    bool m_live;
    std::string m_text;
};

// The same file whatever way the name leads to it inside the folder ("./a", "b/../a").
std::string targetKey(const std::string& path) {
    return Utf8FromPath(PathFromUtf8(path).lexically_normal());
}

bool exists(const std::string& path) {
    std::error_code ec;
    return fs::exists(fs::symlink_status(PathFromUtf8(path), ec));
}

// Two paths with the same identity name one file: a source's is the file a link leads to, a
// target's the link itself, since a save replaces a link and never follows it. A target that is
// not there yet is known by its absolute path.
std::string fileIdentity(const std::string& path, bool source) {
    std::error_code ec;
    auto absolute = [&] { return Utf8FromPath(fs::weakly_canonical(PathFromUtf8(path), ec)); };
#ifdef _WIN32
    if (exists(path)) return "=" + absolute();
#else
    struct stat info {};
    if ((source ? ::stat(path.c_str(), &info) : ::lstat(path.c_str(), &info)) == 0)
        return std::to_string(info.st_dev) + ":" + std::to_string(info.st_ino);
#endif
    return source ? "" : absolute();
}

// Refuses a target before its source is sent: one that is a source file of the run or the debug
// log would be written over, one that an earlier source has already would lose that one's file.
class TargetCheck {
public:
    TargetCheck(const RunValues& values, const std::vector<FolderFile>& sources)
        : m_sources(sources) {
        // Entries in URL mode are no files of this system.
        for (std::size_t i = 0; !values.urlMode && i < sources.size(); ++i)
            m_sourceFiles.insert(fileIdentity(sources[i].path, true));
        m_sourceFiles.erase("");
        if (values.debugToFile) m_debugLog = fileIdentity(Utf8FromPath(values.debugLogPath), false);
    }

    // The line that refuses source i, or nothing.
    std::string refusal(std::size_t i, const std::string& target) {
        const std::string& source = m_sources[i].path;
        if (target.empty())
            return "Error: no valid target file name for " + source + "; it is not sent";
        const std::size_t first = m_firstOf.try_emplace(targetKey(target), i).first->second;
        const bool known = !m_sourceFiles.empty() || !m_debugLog.empty();
        const std::string file = known ? fileIdentity(target, false) : "";
        if (m_sourceFiles.contains(file))
            return "Error: " + target + " is a source of this run; " + source + " is not sent";
        if (!file.empty() && file == m_debugLog)
            return "Error: " + target + " is the debug log; " + source + " is not sent";
        if (first != i)
            return "Error: " + target + " is already the target of " + m_sources[first].path +
                   "; " + source + " is not sent";
        return "";
    }

private:
    const std::vector<FolderFile>& m_sources;
    std::set<std::string> m_sourceFiles;
    std::string m_debugLog;
    std::map<std::string, std::size_t> m_firstOf;
};

}  // namespace

void SetWorkerThreadLimitForTesting(std::size_t count) { threadLimit = count; }

BatchRun::BatchRun(const RunValues& values, std::vector<FolderFile> sources, unsigned jobs,
                   RunSink& sink, const ActivityLog& runLog, SourceRunner runner)
    : m_values(values), m_sources(std::move(sources)), m_sink(sink), m_runLog(runLog),
      m_runner(std::move(runner)) {
    if (!m_runner) {
        m_runner = [this](const FolderFile& source, ActivityLog& log, StopSignal& stop,
                          std::size_t memoryLimit) {
            return TranscodeSource(m_values, source, log, &stop, memoryLimit);
        };
    }
    const std::size_t count = std::clamp<std::size_t>(m_sources.size(), 1, std::max(jobs, 1u));
    // One whole-file source per worker at most, so each gets its share of the memory.
    m_memoryLimit = LargeBufferLimit() / count;
    m_limit = static_cast<unsigned>(count);
    for (std::size_t i = 0; i < count; ++i) m_workers.push_back(std::make_unique<Worker>());
    TargetCheck check(m_values, m_sources);
    for (std::size_t i = 0; i < m_sources.size(); ++i) {
        m_targets.push_back(TargetPathOf(m_values, m_sources[i]).value_or(""));
        m_refusals.push_back(check.refusal(i, m_targets[i]));
        m_queue.push_back({i, 0});
    }
}

BatchRun::~BatchRun() = default;

void BatchRun::startWorkers(std::vector<std::jthread>& threads) {
    std::lock_guard lock(m_mutex);
    std::error_code failure;
    for (auto& worker : m_workers) {
        try {
            if (threads.size() >= threadLimit)
                throw std::system_error(EAGAIN, std::generic_category());
            threads.emplace_back([this, &worker] { work(*worker); });
        } catch (const std::system_error& e) {
            failure = e.code();
            break;
        }
    }
    if (threads.empty()) throw std::system_error(failure, "cannot start a thread");
    m_running = static_cast<unsigned>(threads.size());
    if (threads.size() < m_workers.size()) {
        m_workers.resize(threads.size());
        m_limit = std::min(m_limit, m_running);
        m_sink.fewerJobs(m_limit, FewerJobs::noThread);
    }
}

void BatchRun::run() {
    m_sink.sourcesFound(m_sources.size());
    std::vector<std::jthread> threads;
    startWorkers(threads);
    std::unique_lock lock(m_mutex);
    while (m_running > 0) {
        m_changed.wait_for(lock, std::chrono::seconds(1));
        lock.unlock();
        m_sink.tick();
        lock.lock();
    }
}

void BatchRun::stop() {
    std::lock_guard lock(m_mutex);
    m_stopping = true;
    for (auto& worker : m_workers) worker->stop.request();
    m_changed.notify_all();
}

bool BatchRun::mayStart() const {
    return m_stopping || m_queue.empty() ? m_stopping || m_underWay == 0 : m_underWay < m_limit;
}

void BatchRun::began(Worker& worker) {
    ++m_underWay;
    worker.sending = true;
    for (auto& other : m_workers)
        if (other->sending) other->peak = std::max(other->peak, m_underWay);
    worker.peak = m_underWay;
}

bool BatchRun::retried(Worker& worker, Pending pending, FileOutcome outcome) {
    --m_underWay;
    worker.sending = false;
    m_changed.notify_all();
    if (outcome != FileOutcome::busy || worker.peak < 2 || pending.tries + 1 >= kMostTries ||
        m_stopping)
        return false;
    const unsigned fewer = std::max(1u, std::min(m_limit, worker.peak) - 1);
    if (fewer < m_limit) {
        m_limit = fewer;
        m_sink.fewerJobs(fewer, FewerJobs::serviceBusy);
    }
    m_queue.push_front({pending.index, pending.tries + 1});
    return true;
}

// A source whose target is refused or kept gets its one line and is never sent.
FileOutcome BatchRun::runSource(Worker& worker, std::size_t index, ActivityLog& log) {
    const FolderFile& source = m_sources[index];
    const std::string& target = m_targets[index];
    if (!m_refusals[index].empty()) {
        log.LogOutput(m_refusals[index]);
        return FileOutcome::failed;
    }
    if (m_values.skipExisting && exists(target)) {
        log.LogOutput("Skipped " + source.path + ": " + target + " exists already");
        return FileOutcome::skipped;
    }
    return m_runner(source, log, worker.stop, m_memoryLimit);
}

void BatchRun::work(Worker& worker) {
    std::unique_lock lock(m_mutex);
    SourceLines lines(m_sink, m_workers.size() == 1);
    ActivityLog log(lines, m_runLog);
    for (;;) {
        m_changed.wait(lock, [this] { return mayStart(); });
        if (m_stopping || m_queue.empty()) break;
        const Pending pending = m_queue.front();
        m_queue.pop_front();
        began(worker);
        lock.unlock();

        FileOutcome outcome = FileOutcome::failed;
        bool broken = false;
        try {
            outcome = runSource(worker, pending.index, log);
        } catch (const std::exception& e) {
            // Only a failure outside the source's own steps gets here: the run ends.
            broken = true;
            if (!worker.stop.requested())
                log.LogOutput(std::string("Transcoding stopped: ") + e.what());
        }
        lock.lock();
        if (retried(worker, pending, outcome)) {
            lines.take();
            continue;
        }
        if (broken) {
            m_brokenOff = m_stopping = true;
            m_changed.notify_all();
        }
        lock.unlock();
        m_sink.sourceDone(outcome, lines.take());
        lock.lock();
    }
    --m_running;
    m_changed.notify_all();
}

}  // namespace kqc
