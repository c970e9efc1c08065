#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace kqc::bench {

// Wall time of a piece of work, in seconds.
class Stopwatch {
public:
    Stopwatch() : m_start(std::chrono::steady_clock::now()) {}
    double seconds() const {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - m_start).count();
    }

private:
    std::chrono::steady_clock::time_point m_start;
};

double Median(std::vector<double> values);

// What one child process cost, read from the operating system when it ended.
struct ChildResult {
    int exitCode = -1;  // -1 when it did not end normally
    double wallSeconds = 0;
    double peakRssMiB = 0;  // ru_maxrss of this child alone (wait4)
};

// Runs argv[0] (searched in PATH) with its arguments and waits for it. Standard output goes to
// stdoutPath when one is given, otherwise it is discarded.
ChildResult RunChild(const std::vector<std::string>& argv, const std::string& stdoutPath = {});

// A file of random bytes; the same seed gives the same bytes.
void WriteRandomFile(const std::filesystem::path& path, std::uint64_t bytes,
                     std::uint64_t seed = 1);
std::string RandomBytes(std::uint64_t bytes, std::uint64_t seed = 1);

bool SameFileContents(const std::filesystem::path& a, const std::filesystem::path& b);

// One row of the benchmark table, in Markdown, on standard output.
void PrintRow(std::string_view workload, std::string_view figure, std::string_view value,
              std::string_view budget = "", std::string_view verdict = "");
std::string Fixed(double value, int decimals);
// "met" or "MISSED" for a figure that must stay at or below its limit (or at or above it).
std::string AtMost(double value, double limit);
std::string AtLeast(double value, double limit);

// Reads "--name value" pairs; a name missing from argv keeps its default.
std::string OptionValue(int argc, char** argv, std::string_view name, std::string fallback);
long OptionNumber(int argc, char** argv, std::string_view name, long fallback);

}  // namespace kqc::bench
