#pragma once

#include "client/run_values.h"
#include "client/stop_signal.h"
#include "log/activity_log.h"
#include "media/folder_listing.h"

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace kqc {

// One source's request, call and answer with all its lines; TranscodeSource unless a test gives
// another. No buffer's capacity may pass memoryLimit.
using SourceRunner = std::function<FileOutcome(const FolderFile& source, ActivityLog& log,
                                               StopSignal& stop, std::size_t memoryLimit)>;

// The run over the sources, up to jobs of them under way at once, each on a worker thread of its
// own with its lines together. Before a source is sent its target is checked: a target name that
// would leave the target folder, a target that is a source file of the run or the debug log, and a
// target that an earlier source of the run has already, are refused; with skipExisting an existing
// target is kept. A source answered 2005 while others were in flight is sent again, when fewer
// are, up to kMostTries times; the run then keeps to fewer at a time. With one job this is the
// window's run exactly.
class BatchRun {
public:
    static constexpr unsigned kMostTries = 4;

    // runLog: the run's log in sink; each source's lines go to a log of its own that shares its
    // debug file.
    BatchRun(const RunValues& values, std::vector<FolderFile> sources, unsigned jobs,
             RunSink& sink, const ActivityLog& runLog, SourceRunner runner = {});
    ~BatchRun();

    // Runs every source and returns when all are done, or stopped. When a worker thread cannot
    // be started, the run goes on with those that were; when none was, it throws
    // std::system_error and nothing has been sent.
    void run();
    // From any thread: no source starts any more; those under way end after the step under way,
    // a service call at once.
    void stop();

    // After run(): a failure outside any one source ended the run early.
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

    void startWorkers(std::vector<std::jthread>& threads);
    void work(Worker& worker);
    FileOutcome runSource(Worker& worker, std::size_t index, ActivityLog& log);
    bool mayStart() const;
    void began(Worker& worker);
    // Decides, under the lock, whether a busy source goes back to the queue.
    bool retried(Worker& worker, Pending pending, FileOutcome outcome);

    const RunValues& m_values;
    std::vector<FolderFile> m_sources;
    RunSink& m_sink;
    const ActivityLog& m_runLog;
    SourceRunner m_runner;
    std::size_t m_memoryLimit;
    // Each source's target path, and the line that refuses it before it is sent (or nothing).
    std::vector<std::string> m_targets;
    std::vector<std::string> m_refusals;
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

// For tests: worker threads beyond the first count fail to start as when the system has no more
// to give; SIZE_MAX (the default) lifts the limit.
void SetWorkerThreadLimitForTesting(std::size_t count);

}  // namespace kqc
