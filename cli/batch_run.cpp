#include "cli/batch_run.h"

#include "client/transcode_run.h"
#include "media/large_buffer.h"

#include <algorithm>
#include <chrono>
#include <exception>
#include <string>
#include <thread>
#include <utility>

namespace kqc::cli {

namespace {

// A source's lines: passed on at once with one worker, otherwise kept until its outcome is final.
class SourceLines : public LogView {
public:
    SourceLines(BatchReport& report, bool live) : m_report(report), m_live(live) {}
    void showLine(std::string_view line) override {
        if (m_live) return m_report.showLine(line);
        m_text.append(line).push_back('\n');
    }
    std::string take() { return std::exchange(m_text, {}); }

private:
    BatchReport& m_report;
    bool m_live;
    std::string m_text;
};

}  // namespace

BatchRun::BatchRun(const RunValues& values, std::vector<FolderFile> sources, unsigned jobs,
                   BatchReport& report)
    : m_values(values), m_sources(std::move(sources)), m_report(report) {
    const std::size_t count = std::clamp<std::size_t>(m_sources.size(), 1, jobs);
    // One whole-file source per worker at most, so each gets its share of the memory.
    m_memoryLimit = LargeBufferLimit() / count;
    m_limit = static_cast<unsigned>(count);
    for (std::size_t i = 0; i < count; ++i) m_workers.push_back(std::make_unique<Worker>());
    for (std::size_t i = 0; i < m_sources.size(); ++i) m_queue.push_back({i, 0});
}

BatchRun::~BatchRun() = default;

void BatchRun::run() {
    std::vector<std::jthread> threads;
    {
        std::lock_guard lock(m_mutex);
        m_running = static_cast<unsigned>(m_workers.size());
    }
    for (auto& worker : m_workers) threads.emplace_back([this, &worker] { work(*worker); });
    std::unique_lock lock(m_mutex);
    while (m_running > 0) {
        m_changed.wait_for(lock, std::chrono::seconds(1));
        lock.unlock();
        m_report.tick();
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
        m_report.fewerJobs(fewer);
    }
    m_queue.push_front({pending.index, pending.tries + 1});
    return true;
}

void BatchRun::work(Worker& worker) {
    SourceLines lines(m_report, m_workers.size() == 1);
    ActivityLog log(lines, m_values.debugToFile, m_values.debugLogPath);
    std::unique_lock lock(m_mutex);
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
            outcome = TranscodeSource(m_values, m_sources[pending.index], log, &worker.stop,
                                      m_memoryLimit);
        } catch (const std::exception& e) {
            // As in the client's run, only a failure outside the source's own steps gets here:
            // the batch ends.
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
        m_report.fileDone(lines.take(), outcome);
        lock.lock();
    }
    --m_running;
    m_changed.notify_all();
}

}  // namespace kqc::cli
