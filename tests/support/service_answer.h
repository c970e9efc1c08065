#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

namespace kqc::test {

inline const std::string kSeparator(49, '-');

// The box text of a run that logged these lines: each preceded by CR LF.
std::string lines(std::initializer_list<std::string> all);

// The elements of a service answer, written exactly as the client looks for them.
std::string returnCode(std::string_view code);
std::string message(std::string_view text);
std::string fileData(std::string_view base64);

}  // namespace kqc::test
