#pragma once

#include "client/run_values.h"

#include <optional>
#include <string>
#include <vector>

namespace kqc::cli {

inline constexpr std::string_view kProgram = "quorra-transcode";

// What the command line asks for: the window's values, and what to run them over.
struct CommandLine {
    RunValues values;                     // urlMode and webServerUrl set by --url
    std::vector<std::string> sources;     // files and folders, or URL-mode entries
    std::optional<std::string> listFile;  // URL mode: one entry per line; "-" is standard input
    unsigned jobs = 1;
    bool help = false;
    bool version = false;
};

// False, with one line saying what is wrong, for a command line that is refused.
bool ParseCommandLine(int argc, const char* const* argv, CommandLine& line, std::string& error);

// One line for each value that is none of its combo box's items in the window.
std::vector<std::string> OutsideChoiceWarnings(const RunValues& values);

std::string UsageText();

}  // namespace kqc::cli
