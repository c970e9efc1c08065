#pragma once

#include <string_view>

namespace kqc {

// The message for a service return code, compared as exact text; "Unknown Error [Not
// specified]" for any code not in the table.
std::string_view ReturnCodeText(std::string_view code);

}  // namespace kqc
