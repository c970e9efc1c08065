#include "media/base64.h"

#include <openssl/evp.h>

#include <algorithm>
#include <cstring>

namespace kqc {

namespace {

// A multiple of 3 that keeps OpenSSL's int lengths small.
constexpr size_t kEncodeChunk = 3 * 64 * 1024;

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

bool overlaps(const char* a, size_t aSize, const char* b, size_t bSize) {
    return a < b + bSize && b < a + aSize;
}

// Decodes the significant characters of a body (the text before its padding) into out, whole
// quanta at a time. out may lie in the same memory as the text, never behind it. Text without
// white space is decoded as it stands; only chunks that OpenSSL refuses (white space, or a
// character outside the alphabet) go through the staging buffer.
class Decoder {
public:
    Decoder(char* out, size_t chunkSize) : m_out(out), m_chunkSize(chunkSize) {}

    bool add(std::string_view body) {
        for (size_t pos = 0; pos < body.size(); pos += m_chunkSize) {
            std::string_view chunk = body.substr(pos, m_chunkSize);
            // OpenSSL refuses white space inside a block but takes '=' anywhere, so only the pad
            // needs a look first. What it refuses, and the last chars of a chunk that make no
            // whole quantum, go the careful way below.
            if (m_staged.empty() && !std::memchr(chunk.data(), '=', chunk.size())) {
                const size_t whole = chunk.size() / 4 * 4;
                if (write(chunk.substr(0, whole))) chunk.remove_prefix(whole);
            }
            for (char c : chunk) {
                if (isSpace(c)) continue;
                if (c == '=') return false;  // padding only at the very end
                m_staged.push_back(c);
                if (m_staged.size() == m_chunkSize && !writeStagedQuanta()) return false;
            }
        }
        return writeStagedQuanta();
    }

    // The last 0, 2 or 3 characters, which take 4 - count '=' after them.
    bool finish(size_t padCount) {
        if (padCount != (m_staged.empty() ? 0 : 4 - m_staged.size())) return false;
        m_staged.append(padCount, 'A');
        if (!write(m_staged)) return false;
        m_length -= padCount;
        return true;
    }

    size_t length() const { return m_length; }

private:
    // False on a character outside the alphabet. Where output and text would overlap, OpenSSL
    // decodes aside first: text it refuses halfway is then still there to be read again.
    bool write(std::string_view quanta) {
        if (quanta.empty()) return true;
        char* to = m_out + m_length;
        const size_t expected = quanta.size() / 4 * 3;
        const bool aside = overlaps(to, expected + 1, quanta.data(), quanta.size());
        if (aside) m_aside.resize(expected + 1);
        int n = EVP_DecodeBlock(reinterpret_cast<unsigned char*>(aside ? m_aside.data() : to),
                                reinterpret_cast<const unsigned char*>(quanta.data()),
                                static_cast<int>(quanta.size()));
        // OpenSSL silently drops trailing '-' (and white space) before decoding: "Zm9v----"
        // would give "foo". Every quantum must have decoded to three bytes.
        if (n < 0 || static_cast<size_t>(n) != expected) return false;
        if (aside) std::memcpy(to, m_aside.data(), expected);
        m_length += expected;
        return true;
    }

    bool writeStagedQuanta() {
        const size_t whole = m_staged.size() / 4 * 4;
        if (!write(std::string_view(m_staged).substr(0, whole))) return false;
        m_staged.erase(0, whole);
        return true;
    }

    char* m_out;
    size_t m_chunkSize;
    size_t m_length = 0;
    std::string m_staged;
    std::string m_aside;
};

// The text before the padding (up to two '=' at the end, white space allowed around them) and
// the number of '='. False for more than two.
bool splitPadding(std::string_view text, std::string_view& body, size_t& padCount) {
    size_t end = text.size();
    padCount = 0;
    for (size_t i = text.size(); i > 0; --i) {
        char c = text[i - 1];
        if (isSpace(c)) continue;
        if (c != '=') break;
        if (++padCount > 2) return false;
        end = i - 1;
    }
    body = text.substr(0, end);
    return true;
}

bool decodeInto(std::string_view text, char* out, size_t& decodedLength, size_t chunkSize) {
    std::string_view body;
    size_t padCount = 0;
    if (!splitPadding(text, body, padCount)) return false;
    Decoder decoder(out, chunkSize);
    if (!decoder.add(body) || !decoder.finish(padCount)) return false;
    decodedLength = decoder.length();
    return true;
}

// Encodes bytes into out, which has room for their whole text. EVP_EncodeBlock adds a NUL
// after its output: it lands on the next chunk's first char, or one past the text.
void encodeInto(std::string_view bytes, char* out) {
    size_t written = 0;
    for (size_t pos = 0; pos < bytes.size(); pos += kEncodeChunk) {
        size_t n = std::min(kEncodeChunk, bytes.size() - pos);
        written += static_cast<size_t>(
            EVP_EncodeBlock(reinterpret_cast<unsigned char*>(out + written),
                            reinterpret_cast<const unsigned char*>(bytes.data() + pos),
                            static_cast<int>(n)));
    }
}

}  // namespace

std::string Base64Encode(std::string_view bytes) {
    std::string text(Base64EncodedSize(bytes.size()), '\0');
    encodeInto(bytes, text.data());  // the last NUL falls on the string's own terminator
    return text;
}

Base64TailEncoder::Base64TailEncoder(std::string& buffer, std::size_t start, std::size_t lead)
    : m_start(start),
      m_count(buffer.size() - start - lead),
      m_from(Base64EncodedSize(m_count) - m_count) {
    // The bytes stand at the end of the text's room, moved there unless they were read in there.
    // Encoding then runs front to back: a chunk's text ends before the next chunk's bytes begin.
    // Only the last chunks' text reaches into their own bytes; those are encoded from a copy.
    char* room = buffer.data() + start;
    if (lead > m_from) std::memmove(room + m_from, room + lead, m_count);
    buffer.resize(start + m_from + m_count);
    room = buffer.data() + start;
    if (lead < m_from) std::memmove(room + m_from, room + lead, m_count);
}

void Base64TailEncoder::encodeUpTo(std::string& buffer, std::size_t end) {
    char* text = buffer.data() + m_start;
    while (!done() && finalEnd() < end) {
        std::string_view chunk(text + m_from + m_pos, std::min(kEncodeChunk, m_count - m_pos));
        const size_t chunkText = Base64EncodedSize(chunk.size());
        if (overlaps(text + m_written, chunkText + 1, chunk.data(), chunk.size()))
            chunk = m_copy.assign(chunk);
        // OpenSSL ends its text with a NUL: it must not replace the next chunk's first byte.
        const char after = text[m_written + chunkText];
        encodeInto(chunk, text + m_written);
        text[m_written + chunkText] = after;
        m_pos += chunk.size();
        m_written += chunkText;
    }
}

bool Base64Decode(std::string_view text, std::string& bytes, std::size_t chunkSize) {
    if (chunkSize == 0 || chunkSize % 4 != 0) return false;
    std::string out(text.size() / 4 * 3 + 3, '\0');
    size_t length = 0;
    if (!decodeInto(text, out.data(), length, chunkSize)) return false;
    out.resize(length);
    bytes = std::move(out);
    return true;
}

bool Base64DecodeInPlace(std::span<char> text, std::size_t& decodedLength) {
    return decodeInto(std::string_view(text.data(), text.size()), text.data(), decodedLength,
                      kBase64DecodeChunk);
}

}  // namespace kqc
