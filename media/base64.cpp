#include "media/base64.h"

#include "media/large_buffer.h"

#include <openssl/evp.h>

#include <algorithm>
#include <cstring>

namespace kqc {

namespace {

// A multiple of 3 (encode input) that keeps OpenSSL's int lengths small.
constexpr size_t kEncodeChunk = 3 * 64 * 1024;

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

bool hasSpaceOrPad(std::string_view chunk) {
    for (char c : {' ', '\t', '\r', '\n', '='})
        if (std::memchr(chunk.data(), c, chunk.size())) return true;
    return false;
}

// Decodes whole quanta without padding; false on a character outside the alphabet.
bool decodeQuanta(std::string_view quanta, std::string& out, size_t& outLen) {
    if (quanta.empty()) return true;
    int n = EVP_DecodeBlock(reinterpret_cast<unsigned char*>(out.data() + outLen),
                            reinterpret_cast<const unsigned char*>(quanta.data()),
                            static_cast<int>(quanta.size()));
    // OpenSSL silently drops trailing '-' (and white space) before decoding: "Zm9v----" would
    // give "foo". Every quantum must have decoded to three bytes.
    if (n < 0 || static_cast<size_t>(n) != quanta.size() / 4 * 3) return false;
    outLen += static_cast<size_t>(n);
    return true;
}

// Collects the significant characters of the body (the text before the padding), decoding them
// in chunks. Text without white space is decoded in place; only chunks holding white space go
// through the staging buffer.
class BodyDecoder {
public:
    BodyDecoder(std::string& out, size_t chunkSize) : m_out(out), m_chunkSize(chunkSize) {}

    bool add(std::string_view body) {
        for (size_t pos = 0; pos < body.size(); pos += m_chunkSize) {
            std::string_view chunk = body.substr(pos, m_chunkSize);
            if (m_staged.empty() && !hasSpaceOrPad(chunk)) {
                size_t whole = chunk.size() / 4 * 4;
                if (!decodeQuanta(chunk.substr(0, whole), m_out, m_outLen)) return false;
                m_staged.assign(chunk.substr(whole));
                continue;
            }
            for (char c : chunk) {
                if (isSpace(c)) continue;
                if (c == '=') return false;  // padding only at the very end
                m_staged.push_back(c);
                if (m_staged.size() == m_chunkSize && !flushWholeQuanta()) return false;
            }
        }
        return flushWholeQuanta();
    }

    // The last 0, 2 or 3 characters with padCount '=' after them.
    bool finish(size_t padCount) {
        size_t rest = m_staged.size();
        if (rest == 0) return padCount == 0;
        if (rest + padCount != 4 || padCount == 0) return false;
        m_staged.append(padCount, 'A');
        if (!decodeQuanta(m_staged, m_out, m_outLen)) return false;
        m_outLen -= padCount;
        return true;
    }

    size_t length() const { return m_outLen; }

private:
    bool flushWholeQuanta() {
        size_t whole = m_staged.size() / 4 * 4;
        if (!decodeQuanta(std::string_view(m_staged).substr(0, whole), m_out, m_outLen))
            return false;
        m_staged.erase(0, whole);
        return true;
    }

    std::string& m_out;
    size_t m_chunkSize;
    size_t m_outLen = 0;
    std::string m_staged;
};

}  // namespace

std::string Base64Encode(std::string_view bytes) {
    std::string text;
    ReserveLargeBuffer(text, (bytes.size() + 2) / 3 * 4);
    text.resize((bytes.size() + 2) / 3 * 4);
    size_t written = 0;
    for (size_t pos = 0; pos < bytes.size(); pos += kEncodeChunk) {
        size_t n = std::min(kEncodeChunk, bytes.size() - pos);
        // EVP_EncodeBlock adds a NUL after its output: it lands on the next chunk's first byte,
        // or on the terminator std::string keeps after the last.
        written += static_cast<size_t>(
            EVP_EncodeBlock(reinterpret_cast<unsigned char*>(text.data() + written),
                            reinterpret_cast<const unsigned char*>(bytes.data() + pos),
                            static_cast<int>(n)));
    }
    return text;
}

bool Base64Decode(std::string_view text, std::string& bytes) {
    return Base64DecodeInChunks(text, bytes, kBase64DecodeChunk);
}

bool Base64DecodeInChunks(std::string_view text, std::string& bytes, size_t chunkSize) {
    if (chunkSize == 0 || chunkSize % 4 != 0) return false;
    // Split off the padding: up to two '=' at the end, white space allowed around them.
    size_t end = text.size();
    size_t padCount = 0;
    for (size_t i = text.size(); i > 0; --i) {
        char c = text[i - 1];
        if (isSpace(c)) continue;
        if (c != '=') break;
        if (++padCount > 2) return false;
        end = i - 1;
    }
    if (padCount == 0) {
        while (end > 0 && isSpace(text[end - 1])) --end;
    }

    std::string out;
    ReserveLargeBuffer(out, end / 4 * 3 + 3);
    out.resize(end / 4 * 3 + 3);
    BodyDecoder decoder(out, chunkSize);
    if (!decoder.add(text.substr(0, end)) || !decoder.finish(padCount)) return false;
    out.resize(decoder.length());
    bytes = std::move(out);
    return true;
}

}  // namespace kqc
