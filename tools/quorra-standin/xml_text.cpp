#include "quorra-standin/xml_text.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstring>

namespace kqc::standin {
namespace {

bool IsXmlChar(char32_t c) {
    return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) ||
           (c >= 0xE000 && c <= 0xFFFD) || (c >= 0x10000 && c <= 0x10FFFF);
}

// Decodes one UTF-8 sequence at text[pos]; false for a malformed, overlong or truncated one.
bool NextCodePoint(std::string_view text, std::size_t& pos, char32_t& c) {
    auto lead = static_cast<unsigned char>(text[pos]);
    int length = lead < 0x80           ? 1
                 : (lead >> 5) == 0x6  ? 2
                 : (lead >> 4) == 0xE  ? 3
                 : (lead >> 3) == 0x1E ? 4
                                       : 0;
    if (length == 0 || pos + length > text.size()) return false;
    c = length == 1 ? lead : lead & (0x7F >> length);
    for (int i = 1; i < length; ++i) {
        auto next = static_cast<unsigned char>(text[pos + i]);
        if ((next & 0xC0) != 0x80) return false;
        c = (c << 6) | (next & 0x3F);
    }
    constexpr char32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
    pos += length;
    return c >= kSmallest[length];
}

// Whether all eight bytes lie in 0x20..0x7F. Subtracting 0x20 from each byte sets its top bit
// for bytes below 0x20 or from 0xA0 up, the byte's own top bit covers 0x80 and up; a borrow
// between bytes needs a byte below 0x20, which is caught anyway.
bool IsPlainAscii8(const char* bytes) {
    std::uint64_t word;
    std::memcpy(&word, bytes, sizeof word);
    constexpr std::uint64_t kSpaces = 0x2020202020202020;
    constexpr std::uint64_t kTopBits = 0x8080808080808080;
    return ((word - kSpaces) | word) & kTopBits ? false : true;
}

}  // namespace

bool IsUtf8Document(std::string_view document) {
    using namespace std::string_view_literals;
    for (std::string_view bom : {"\xFE\xFF"sv, "\xFF\xFE"sv, "\0\0\xFE\xFF"sv})
        if (document.starts_with(bom)) return false;
    if (document.size() >= 2 && (document[0] == '\0' || document[1] == '\0')) return false;
    if (!document.starts_with("<?xml")) return true;
    std::string_view declaration = document.substr(0, document.find("?>"));
    auto at = declaration.find("encoding");
    if (at == std::string_view::npos) return true;
    auto quote = declaration.find_first_of("\"'", at);
    if (quote == std::string_view::npos) return true;
    auto end = declaration.find(declaration[quote], quote + 1);
    std::string_view name = declaration.substr(quote + 1, end - quote - 1);
    return name.size() == 5 && std::equal(name.begin(), name.end(), "utf-8", [](char a, char b) {
               return std::tolower(static_cast<unsigned char>(a)) == b;
           });
}

bool HasValidXmlCharacters(std::string_view document) {
    if (!IsUtf8Document(document)) return true;
    if (document.starts_with("\xEF\xBB\xBF")) document.remove_prefix(3);
    for (std::size_t pos = 0; pos < document.size();) {
        // Plain ASCII text is the bulk of a request (Base64 data): eight bytes at a time while
        // each lies in 0x20..0x7F, then byte by byte.
        if (pos + 8 <= document.size() && IsPlainAscii8(document.data() + pos)) {
            pos += 8;
            continue;
        }
        auto byte = static_cast<unsigned char>(document[pos]);
        if (byte >= 0x20 && byte < 0x80) {
            ++pos;
            continue;
        }
        char32_t c = 0;
        if (!NextCodePoint(document, pos, c) || !IsXmlChar(c)) return false;
    }
    return true;
}

}  // namespace kqc::standin
