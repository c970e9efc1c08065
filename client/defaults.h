#pragma once

#include <string>
#include <string_view>

namespace kqc {

inline constexpr std::string_view kProgramName = "KorvaneQuorraClient";

// Initial contents of the main window's fields that differ by platform.
std::string DefaultEndpoint();
std::string DefaultSourceDir();
std::string DefaultTargetDir();

}  // namespace kqc
