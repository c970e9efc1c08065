#pragma once

#include <sys/types.h>
#include <string>
#include <vector>

namespace kqc::bench {

// The stand-in service (its echo engine unless options say otherwise), started as a child process
// on a free loopback port and stopped (SIGTERM, then waited for) on destruction.
class StandinProcess {
public:
    explicit StandinProcess(const std::string& program,
                            const std::vector<std::string>& options = {"--engine", "echo"});
    ~StandinProcess();
    StandinProcess(const StandinProcess&) = delete;
    StandinProcess& operator=(const StandinProcess&) = delete;

    const std::string& endpoint() const { return m_endpoint; }

    // The service's peak resident size since the last reset (VmHWM), in MiB.
    void resetPeakResidentSize() const;
    double peakResidentMiB() const;

private:
    pid_t m_pid = -1;
    std::string m_endpoint;
};

}  // namespace kqc::bench
