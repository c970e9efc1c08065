// Base64Decode against a plain reference decoder of the same rules, and the round trip
// decode(encode(x)) == x. The first input byte picks the mode (modulo 8: 0 to 3 decode, 4 decode
// in place, 5 decode in chunks of 4 to 64 characters picked by the second byte, so that small
// inputs cross the decoder's chunk boundaries, 6 and 7 the round trip, also encoded in place).
#include "media/base64.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

namespace {

void require(bool condition, const char* what) {
    if (condition) return;
    std::fprintf(stderr, "broken: %s\n", what);
    std::abort();
}

int sextet(char c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
}

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// White space anywhere is skipped; then alphabet characters, then at most two '=' that complete
// the last quantum of 2 or 3 characters.
std::optional<std::string> referenceDecode(std::string_view text) {
    std::string significant;
    size_t padding = 0;
    for (char c : text) {
        if (isSpace(c)) continue;
        if (c == '=') {
            ++padding;
            continue;
        }
        if (padding > 0 || sextet(c) < 0) return std::nullopt;
        significant.push_back(c);
    }
    const size_t rest = significant.size() % 4;
    if (padding > 2 || (padding == 0 ? rest != 0 : rest + padding != 4)) return std::nullopt;
    std::string bytes;
    uint32_t bits = 0;
    int count = 0;
    for (char c : significant) {
        bits = (bits << 6) | static_cast<uint32_t>(sextet(c));
        count += 6;
        if (count >= 8) {
            count -= 8;
            bytes.push_back(static_cast<char>((bits >> count) & 0xff));
        }
    }
    return bytes;
}

std::string referenceEncode(std::string_view bytes) {
    static const char* alphabet =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string text;
    for (size_t i = 0; i < bytes.size(); i += 3) {
        uint32_t group = static_cast<uint8_t>(bytes[i]) << 16;
        if (i + 1 < bytes.size()) group |= static_cast<uint8_t>(bytes[i + 1]) << 8;
        if (i + 2 < bytes.size()) group |= static_cast<uint8_t>(bytes[i + 2]);
        text.push_back(alphabet[(group >> 18) & 63]);
        text.push_back(alphabet[(group >> 12) & 63]);
        text.push_back(i + 1 < bytes.size() ? alphabet[(group >> 6) & 63] : '=');
        text.push_back(i + 2 < bytes.size() ? alphabet[group & 63] : '=');
    }
    return text;
}

void checkDecode(std::string_view text, const std::optional<std::string>& expected,
                 size_t chunkSize = kqc::kBase64DecodeChunk) {
    std::string bytes = "unchanged";
    const bool decoded = kqc::Base64Decode(text, bytes, chunkSize);
    require(decoded == expected.has_value(), "decoder and reference disagree on validity");
    if (!decoded) {
        require(bytes == "unchanged", "a refused text changed the output");
        return;
    }
    require(bytes == *expected, "decoder and reference disagree on the bytes");
}

// Decoding inside the text's own memory must agree with the reference too.
void checkDecodeInPlace(std::string_view text, const std::optional<std::string>& expected) {
    std::string buffer(text);
    size_t length = 0;
    const bool decoded = kqc::Base64DecodeInPlace(buffer, length);
    require(decoded == expected.has_value(), "in-place decoder and reference disagree on validity");
    if (decoded)
        require(std::string_view(buffer.data(), length) == *expected,
                "in-place decoder and reference disagree on the bytes");
}

void checkEncodeInPlace(std::string_view bytes, const std::string& text) {
    std::string buffer = "head" + std::string(bytes);
    kqc::Base64TailEncoder(buffer, 4).encodeUpTo(buffer, std::string::npos);
    require(buffer == "head" + text, "in-place encoder differs from the encoder");
}

void checkRoundTrip(std::string_view bytes) {
    const std::string text = kqc::Base64Encode(bytes);
    require(text == referenceEncode(bytes), "encoder differs from the reference");
    checkEncodeInPlace(bytes, text);
    std::string back;
    require(kqc::Base64Decode(text, back) && back == bytes, "decode(encode(x)) != x");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const std::string_view input(reinterpret_cast<const char*>(data) + 1, size - 1);
    const unsigned mode = data[0] % 8;
    if (mode <= 3)
        checkDecode(input, referenceDecode(input));
    else if (mode == 4)
        checkDecodeInPlace(input, referenceDecode(input));
    else if (mode == 5)
        checkDecode(input, referenceDecode(input), 4 * (1 + (size > 1 ? data[1] % 16 : 0)));
    else
        checkRoundTrip(input);
    return 0;
}
