#pragma once

#include "client/run_values.h"
#include "client/stop_signal.h"
#include "log/activity_log.h"
#include "media/folder_listing.h"

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <memory>
#include <mutex>
#include <string_view>
#include <vector>

namespace kqc::cli {

// Where a batch shows what it does. Calls come from the worker threads, one at a time per
// worker; the implementation serialises them.
class BatchReport : public LogView {
public:
    // showLine: with one worker, each line as it is logged.
    // A file's lines ("\n" after each; none with one worker), once its outcome is final.
    virtual void fileDone(std::string_view lines, FileOutcome outcome) = 0;
    // The batch goes on with at most jobs requests at a time.
    virtual void fewerJobs(unsigned jobs) = 0;
    // Called about once a second while the batch runs, on the thread that runs it.
    virtual void tick() = 0;
};

// The client's run over the sources with up to jobs sources under way at once, each through
// TranscodeSource on a worker thread of its own, with all its lines together. A source answered
// 2005 while others were in flight is sent again, when fewer are, up to kMostTries times; the
// batch then keeps to fewer at a time. With one job this is the client's run exactly.
class BatchRun {
public:
    static constexpr unsigned kMostTries = 4;

    BatchRun(const RunValues& values, std::vector<FolderFile> sources, unsigned jobs,
             BatchReport& report);
    ~BatchRun();

    // Runs every source and returns when all are done, or stopped.
    void run();
    // From any thread: no source starts any more; those under way end after the step under way,
    // a service call at once.
    void stop();

    // After run(): a failure outside any one source ended the batch early.
    bool brokenOff() const { return m_brokenOff; }

private:
    struct Pending {
        std::size_t index;
        unsigned tries;
    };
    struct Worker {
        StopSignal stop;
        bool sending = false;
        unsigned peak = 0;  // the most sources under way at once during its current one
    };

    void work(Worker& worker);
    bool mayStart() const;
    void began(Worker& worker);
    // Decides, under the lock, whether a busy source goes back to the queue.
    bool retried(Worker& worker, Pending pending, FileOutcome outcome);

    const RunValues& m_values;
    std::vector<FolderFile> m_sources;
    BatchReport& m_report;
    std::size_t m_memoryLimit;
    std::vector<std::unique_ptr<Worker>> m_workers;

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<Pending> m_queue;
    unsigned m_limit;
    unsigned m_underWay = 0;
    unsigned m_running = 0;  // worker threads not yet ended
    bool m_stopping = false;
    bool m_brokenOff = false;
};

}  // namespace kqc::cli
