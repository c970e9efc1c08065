#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace kqc {

// Standard RFC 4648 alphabet with padding, one line however long.
std::string Base64Encode(std::string_view bytes);

// Decodes Base64 text, skipping white space and line breaks anywhere in it. False, with bytes
// left unchanged, for any other character outside the alphabet or for wrong padding.
bool Base64Decode(std::string_view text, std::string& bytes);

// Characters Base64Decode hands to OpenSSL at a time (a multiple of 4, which keeps its int
// lengths small).
inline constexpr size_t kBase64DecodeChunk = 4 * 64 * 1024;

// Base64Decode with another chunk size, so that tests and the fuzzer reach the chunk boundary
// with small texts. False for a chunk size that is not a positive multiple of 4.
bool Base64DecodeInChunks(std::string_view text, std::string& bytes, size_t chunkSize);

}  // namespace kqc
