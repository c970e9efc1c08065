#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <string_view>

namespace kqc {

// Standard RFC 4648 alphabet with padding, one line however long.
std::string Base64Encode(std::string_view bytes);

// Length of the Base64 text of that many bytes.
constexpr std::size_t Base64EncodedSize(std::size_t bytes) { return (bytes + 2) / 3 * 4; }

// Replaces the bytes that stand lead chars after start (up to the buffer's end) by their Base64
// text, in the same buffer, so that a whole file becomes its text without a second whole-file
// buffer. The text is made front to back, as far as it is asked for, so that its start can be
// sent while the rest is still bytes. Keeps offsets only, since the buffer may move between calls.
class Base64TailEncoder {
public:
    // Makes the text's room: the buffer becomes start plus the text's size long. A lead of
    // Base64EncodedSize(bytes) - bytes saves moving the bytes there first.
    Base64TailEncoder(std::string& buffer, std::size_t start, std::size_t lead = 0);
    // Encodes until the buffer's chars before end are final, or the whole text is made.
    void encodeUpTo(std::string& buffer, std::size_t end);
    // The buffer's chars before this are final.
    std::size_t finalEnd() const { return m_start + m_written; }
    bool done() const { return m_pos == m_count; }

private:
    std::size_t m_start;
    std::size_t m_count;  // the bytes to encode
    std::size_t m_from;   // where they stand, counted from start
    std::size_t m_pos = 0;
    std::size_t m_written = 0;
    std::string m_copy;
};

// Decodes Base64 text, skipping white space and line breaks anywhere in it. False, with bytes
// left unchanged, for any other character outside the alphabet or for wrong padding, and for a
// chunk size that is not a positive multiple of 4. The chunk size is the number of characters
// handed to OpenSSL at a time; tests and the fuzzer pass small ones to reach its boundary.
inline constexpr std::size_t kBase64DecodeChunk = 4 * 64 * 1024;
bool Base64Decode(std::string_view text, std::string& bytes,
                  std::size_t chunkSize = kBase64DecodeChunk);

// The same, decoding into the front of the text's own memory (the bytes never take more room
// than their text): on success the first decodedLength chars of text are the bytes. On failure
// the text is left overwritten in part.
bool Base64DecodeInPlace(std::span<char> text, std::size_t& decodedLength);

}  // namespace kqc
