#pragma once

#include "quorra-standin/standin_options.h"

#include <string>
#include <string_view>
#include <vector>

namespace kqc::standin {

enum class EngineChoice { automatic, ffmpeg, echo };

struct CommandLine {
    StandinOptions options;
    EngineChoice engine = EngineChoice::automatic;
    bool quiet = false;
    bool help = false;
};

// Reads the flags (argv without the program name). False, with a one-line error set, for an
// unknown flag, a missing value or a value out of range.
bool ParseCommandLine(const std::vector<std::string_view>& args, CommandLine& line,
                      std::string& error);

std::string UsageText();

}  // namespace kqc::standin
