#include "bench/bench_support.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <random>
#include <stdexcept>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace kqc::bench {

double Median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    size_t mid = values.size() / 2;
    return values.size() % 2 ? values[mid] : (values[mid - 1] + values[mid]) / 2;
}

ChildResult RunChild(const std::vector<std::string>& argv, const std::string& stdoutPath) {
    std::vector<char*> args;
    for (const auto& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    const char* out = stdoutPath.empty() ? "/dev/null" : stdoutPath.c_str();

    Stopwatch clock;
    pid_t pid = fork();
    if (pid < 0) throw std::runtime_error("fork failed");
    if (pid == 0) {
        int fd = ::open(out, O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd < 0 || dup2(fd, STDOUT_FILENO) < 0) _exit(126);
        ::close(fd);
        execvp(args[0], args.data());
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) != pid) throw std::runtime_error("wait4 failed");
    ChildResult result;
    result.wallSeconds = clock.seconds();
    result.peakRssMiB = static_cast<double>(usage.ru_maxrss) / 1024.0;  // KiB on Linux
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

std::string RandomBytes(std::uint64_t bytes, std::uint64_t seed) {
    std::string data(bytes, '\0');
    std::mt19937_64 random(seed);
    size_t i = 0;
    for (; i + 8 <= bytes; i += 8) {
        std::uint64_t word = random();
        std::copy_n(reinterpret_cast<const char*>(&word), 8, data.data() + i);
    }
    for (; i < bytes; ++i) data[i] = static_cast<char>(random());
    return data;
}

void WriteRandomFile(const std::filesystem::path& path, std::uint64_t bytes, std::uint64_t seed) {
    const std::string data = RandomBytes(bytes, seed);
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(data.data(), static_cast<std::streamsize>(data.size()));
    if (!file) throw std::runtime_error("cannot write " + path.string());
}

bool SameFileContents(const std::filesystem::path& a, const std::filesystem::path& b) {
    std::ifstream fa(a, std::ios::binary), fb(b, std::ios::binary);
    if (!fa || !fb) return false;
    std::vector<char> ba(1 << 20), bb(1 << 20);
    for (;;) {
        fa.read(ba.data(), static_cast<std::streamsize>(ba.size()));
        fb.read(bb.data(), static_cast<std::streamsize>(bb.size()));
        if (fa.gcount() != fb.gcount()) return false;
        if (!std::equal(ba.begin(), ba.begin() + fa.gcount(), bb.begin())) return false;
        if (fa.gcount() == 0) return true;
    }
}

void PrintRow(std::string_view workload, std::string_view figure, std::string_view value,
              std::string_view budget, std::string_view verdict) {
    std::printf("| %.*s | %.*s | %.*s | %.*s | %.*s |\n", int(workload.size()), workload.data(),
                int(figure.size()), figure.data(), int(value.size()), value.data(),
                int(budget.size()), budget.data(), int(verdict.size()), verdict.data());
    std::fflush(stdout);
}

std::string Fixed(double value, int decimals) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

std::string AtMost(double value, double limit) {
    return value <= limit ? "met" : "MISSED";
}
std::string AtLeast(double value, double limit) {
    return value >= limit ? "met" : "MISSED";
}

std::string OptionValue(int argc, char** argv, std::string_view name, std::string fallback) {
    for (int i = 1; i + 1 < argc; ++i)
        if (name == argv[i]) return argv[i + 1];
    return fallback;
}

long OptionNumber(int argc, char** argv, std::string_view name, long fallback) {
    std::string text = OptionValue(argc, argv, name, "");
    return text.empty() ? fallback : std::stol(text);
}

}  // namespace kqc::bench
