#include "bench/standin_process.h"

#include <csignal>
#include <cstdio>
#include <fstream>
#include <stdexcept>
#include <string>

#include <sys/wait.h>
#include <unistd.h>

namespace kqc::bench {

namespace {

// The stand-in announces itself as "quorra-standin: MediaAdapter at URL (engine echo)".
std::string endpointFromBanner(const std::string& line) {
    const std::string marker = "MediaAdapter at ";
    size_t start = line.find(marker);
    if (start == std::string::npos) return {};
    start += marker.size();
    size_t end = line.find(' ', start);
    return line.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

}  // namespace

StandinProcess::StandinProcess(const std::string& program,
                               const std::vector<std::string>& options) {
    std::vector<std::string> args{program};
    args.insert(args.end(), options.begin(), options.end());
    args.insert(args.end(), {"--port", "0", "--quiet"});
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    int pipeFds[2];
    if (pipe(pipeFds) != 0) throw std::runtime_error("pipe failed");
    m_pid = fork();
    if (m_pid < 0) throw std::runtime_error("fork failed");
    if (m_pid == 0) {
        dup2(pipeFds[1], STDOUT_FILENO);
        ::close(pipeFds[0]);
        ::close(pipeFds[1]);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    ::close(pipeFds[1]);
    std::FILE* out = fdopen(pipeFds[0], "r");
    char line[512] = {};
    bool announced = out && std::fgets(line, sizeof line, out);
    if (out) std::fclose(out);  // later output has nowhere to go; the stand-in is quiet
    m_endpoint = announced ? endpointFromBanner(line) : std::string();
    if (m_endpoint.empty()) {
        kill(m_pid, SIGTERM);
        waitpid(m_pid, nullptr, 0);
        throw std::runtime_error("the stand-in did not start: " + program);
    }
}

void StandinProcess::resetPeakResidentSize() const {
    std::ofstream("/proc/" + std::to_string(m_pid) + "/clear_refs") << "5";
}

double StandinProcess::peakResidentMiB() const {
    std::ifstream status("/proc/" + std::to_string(m_pid) + "/status");
    std::string line;
    while (std::getline(status, line))
        if (line.starts_with("VmHWM:")) return std::stod(line.substr(6)) / 1024;
    return 0;
}

StandinProcess::~StandinProcess() {
    kill(m_pid, SIGTERM);
    waitpid(m_pid, nullptr, 0);
}

}  // namespace kqc::bench
