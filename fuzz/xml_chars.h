#pragma once

#include <cstdint>
#include <string_view>

namespace kqc::fuzz {

// True when text is valid UTF-8 made only of the characters XML 1.0 allows: tab, LF, CR and
// U+0020 to U+10FFFF without surrogates, U+FFFE and U+FFFF. A plain decoder, kept apart from the
// code under test.
inline bool IsXmlText(std::string_view text) {
    for (size_t i = 0; i < text.size();) {
        const auto lead = static_cast<uint8_t>(text[i]);
        const size_t length = lead < 0x80 ? 1 : lead >= 0xC2 && lead < 0xE0 ? 2
                              : lead >= 0xE0 && lead < 0xF0                ? 3
                              : lead >= 0xF0 && lead < 0xF5                ? 4
                                                                           : 0;
        if (length == 0 || i + length > text.size()) return false;
        uint32_t c = length == 1 ? lead : lead & (0x7F >> length);
        for (size_t k = 1; k < length; ++k) {
            const auto next = static_cast<uint8_t>(text[i + k]);
            if ((next & 0xC0) != 0x80) return false;
            c = c << 6 | (next & 0x3F);
        }
        constexpr uint32_t kShortest[] = {0, 0, 0x80, 0x800, 0x10000};
        if (c < kShortest[length] || c > 0x10FFFF) return false;
        const bool allowed = c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) ||
                             (c >= 0xE000 && c <= 0xFFFD) || c >= 0x10000;
        if (!allowed) return false;
        i += length;
    }
    return true;
}

}  // namespace kqc::fuzz
