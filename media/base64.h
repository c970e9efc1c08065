#pragma once

#include <string>
#include <string_view>

namespace kqc {

// Standard RFC 4648 alphabet with padding, one line however long.
std::string Base64Encode(std::string_view bytes);

// Decodes Base64 text, skipping white space and line breaks anywhere in it. False, with bytes
// left unchanged, for any other character outside the alphabet or for wrong padding.
bool Base64Decode(std::string_view text, std::string& bytes);

}  // namespace kqc
