#pragma once

#include <string>
#include <string_view>

namespace kqc::standin {

// Standard alphabet with padding, one line however long.
std::string EncodeBase64(std::string_view bytes);

// Decodes Base64 text; white space and line breaks anywhere are skipped. False for any other
// character outside the alphabet or for wrong padding.
bool DecodeBase64(std::string_view text, std::string& bytes);

}  // namespace kqc::standin
