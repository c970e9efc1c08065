#include "quorra-standin/base64.h"

#include <openssl/evp.h>

#include <memory>

namespace kqc::standin {
namespace {

// EVP's block functions take int lengths; whole multiples of 3 (encode) and 4 (decode) keep the
// chunks independent of each other.
constexpr std::size_t kEncodeChunk = 3 * 1024 * 1024;
constexpr std::size_t kDecodeChunk = 1024 * 1024;

}  // namespace

std::string EncodeBase64(std::string_view bytes) {
    std::string text((bytes.size() + 2) / 3 * 4 + 1, '\0');
    std::size_t written = 0;
    for (std::size_t pos = 0; pos < bytes.size(); pos += kEncodeChunk) {
        std::size_t n = std::min(kEncodeChunk, bytes.size() - pos);
        written += EVP_EncodeBlock(reinterpret_cast<unsigned char*>(text.data() + written),
                                   reinterpret_cast<const unsigned char*>(bytes.data() + pos),
                                   static_cast<int>(n));
    }
    text.resize(written);
    return text;
}

bool DecodeBase64(std::string_view text, std::string& bytes) {
    std::unique_ptr<EVP_ENCODE_CTX, decltype(&EVP_ENCODE_CTX_free)> ctx(EVP_ENCODE_CTX_new(),
                                                                        &EVP_ENCODE_CTX_free);
    if (!ctx) return false;
    EVP_DecodeInit(ctx.get());
    std::string out(text.size() / 4 * 3 + 3, '\0');
    std::size_t written = 0;
    for (std::size_t pos = 0; pos < text.size(); pos += kDecodeChunk) {
        std::size_t n = std::min(kDecodeChunk, text.size() - pos);
        int produced = 0;
        if (EVP_DecodeUpdate(ctx.get(), reinterpret_cast<unsigned char*>(out.data() + written),
                             &produced, reinterpret_cast<const unsigned char*>(text.data() + pos),
                             static_cast<int>(n)) < 0)
            return false;
        written += static_cast<std::size_t>(produced);
    }
    int produced = 0;
    if (EVP_DecodeFinal(ctx.get(), reinterpret_cast<unsigned char*>(out.data() + written),
                        &produced) < 0)
        return false;
    out.resize(written + static_cast<std::size_t>(produced));
    bytes = std::move(out);
    return true;
}

}  // namespace kqc::standin
