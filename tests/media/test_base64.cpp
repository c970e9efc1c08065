#include "media/base64.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <random>

namespace kqc {
namespace {

std::string randomBytes(size_t size, unsigned seed) {
    std::mt19937 random(seed);
    std::string bytes(size, '\0');
    for (char& c : bytes) c = static_cast<char>(random());
    return bytes;
}

std::string wrap(std::string_view text, size_t width, std::string_view lineBreak) {
    std::string wrapped;
    for (size_t i = 0; i < text.size(); i += width) {
        if (i) wrapped.append(lineBreak);
        wrapped.append(text.substr(i, width));
    }
    return wrapped;
}

std::string decoded(std::string_view text) {
    std::string bytes = "unchanged";
    EXPECT_TRUE(Base64Decode(text, bytes)) << text;
    return bytes;
}

TEST(Base64, Rfc4648Vectors) {
    const std::pair<std::string, std::string> vectors[] = {
        {"", ""},         {"f", "Zg=="},       {"fo", "Zm8="},        {"foo", "Zm9v"},
        {"foob", "Zm9vYg=="}, {"fooba", "Zm9vYmE="}, {"foobar", "Zm9vYmFy"}, {"\xfb\xff", "+/8="}};
    for (const auto& [bytes, text] : vectors) {
        EXPECT_EQ(Base64Encode(bytes), text);
        EXPECT_EQ(decoded(text), bytes);
    }
}

TEST(Base64, EveryByteValueRoundTrips) {
    const std::string bytes = test::allByteValues();
    EXPECT_EQ(decoded(Base64Encode(bytes)), bytes);
    for (size_t size = 0; size < 12; ++size)
        EXPECT_EQ(decoded(Base64Encode(bytes.substr(0, size))), bytes.substr(0, size));
}

TEST(Base64, LargeBuffersRoundTripAcrossChunkBoundaries) {
    for (size_t size : {size_t{3 * 64 * 1024}, size_t{3 * 64 * 1024 + 1}, size_t{1 << 20} + 2}) {
        const std::string bytes = randomBytes(size, static_cast<unsigned>(size));
        const std::string text = Base64Encode(bytes);
        EXPECT_EQ(text.size(), (size + 2) / 3 * 4);
        EXPECT_EQ(text.find_first_of("\r\n"), std::string::npos) << "one line however long";
        EXPECT_EQ(decoded(text), bytes);
    }
}

// The in-place forms must give what the copying ones give, at every size around a chunk edge and
// with a prefix that stays untouched.
TEST(Base64, InPlaceEncodeAndDecodeMatchTheCopyingForms) {
    for (size_t size : {size_t{0}, size_t{1}, size_t{2}, size_t{3}, size_t{3 * 64 * 1024 - 1},
                        size_t{3 * 64 * 1024}, size_t{3 * 64 * 1024 + 1}, size_t{700001}}) {
        const std::string bytes = randomBytes(size, static_cast<unsigned>(size) + 11);
        std::string buffer = "head:" + bytes;
        Base64TailEncoder(buffer, 5).encodeUpTo(buffer, std::string::npos);
        ASSERT_EQ(buffer, "head:" + Base64Encode(bytes)) << size;
        // Bytes read in behind room for their text, or behind more room (the file shrank).
        for (size_t lead : {Base64EncodedSize(size) - size, Base64EncodedSize(size) - size + 7}) {
            std::string room = "head:" + std::string(lead, '?') + bytes;
            Base64TailEncoder(room, 5, lead).encodeUpTo(room, std::string::npos);
            EXPECT_EQ(room, "head:" + Base64Encode(bytes)) << size << " " << lead;
        }

        size_t length = 0;
        std::span<char> text(buffer.data() + 5, buffer.size() - 5);
        ASSERT_TRUE(Base64DecodeInPlace(text, length)) << size;
        EXPECT_EQ(std::string_view(text.data(), length), bytes) << size;
        EXPECT_EQ(buffer.substr(0, 5), "head:");

        std::string wrapped = wrap(Base64Encode(bytes), 76, "\r\n");
        ASSERT_TRUE(Base64DecodeInPlace(wrapped, length)) << size;
        EXPECT_EQ(std::string_view(wrapped.data(), length), bytes) << size;
    }
    for (const char* invalid : {"Zm9v*mFy", "Zg===", "Zm9", "Zm9v----"}) {
        std::string text = invalid;
        size_t length = 0;
        EXPECT_FALSE(Base64DecodeInPlace(text, length)) << invalid;
    }
}

// The chunk size the fuzzer sets: any positive multiple of 4 decodes the same, anything else is
// refused without touching the output.
TEST(Base64, ChunkSizeDoesNotChangeTheResult) {
    const std::string bytes = randomBytes(1000, 3);
    const std::string text = wrap(Base64Encode(bytes), 7, " \r\n");
    for (size_t chunk : {4, 8, 12, 64, 4096}) {
        std::string out;
        EXPECT_TRUE(Base64Decode(text, out, chunk)) << chunk;
        EXPECT_EQ(out, bytes) << chunk;
    }
    for (size_t chunk : {0, 3, 6}) {
        std::string out = "unchanged";
        EXPECT_FALSE(Base64Decode("Zm9v", out, chunk)) << chunk;
        EXPECT_EQ(out, "unchanged");
    }
}

TEST(Base64, DecodeSkipsWhiteSpaceAndLineBreaks) {
    const std::string bytes = randomBytes(300000, 7);
    const std::string text = Base64Encode(bytes);
    EXPECT_EQ(decoded(wrap(text, 76, "\r\n")), bytes);
    EXPECT_EQ(decoded(wrap(text, 64, "\n")), bytes);
    EXPECT_EQ(decoded("\r\n  " + wrap(text, 3, " \t") + "\n"), bytes);
    EXPECT_EQ(decoded("Zm9vYg=\r\n=\n"), "foob");
    EXPECT_EQ(decoded("Zm9vYg =="), "foob");
    EXPECT_EQ(decoded(" \r\n"), "");
}

TEST(Base64, InvalidTextIsRefusedAndLeavesBytesUnchanged) {
    const char* invalid[] = {"Zm9v*mFy", "Zm9-", "Zm9_", "Zg==Zg==", "Zg===", "Zm9", "Z",
                             "Zm9vY", "=", "==", "Zm=v", "Zm9v\x80", "Zm9v\fYmFy"};
    for (const char* text : invalid) {
        std::string bytes = "unchanged";
        EXPECT_FALSE(Base64Decode(text, bytes)) << text;
        EXPECT_EQ(bytes, "unchanged") << text;
    }
    // A bad character deep inside a large text, in both the plain and the wrapped path.
    std::string large = Base64Encode(randomBytes(600000, 3));
    large[500000] = '*';
    std::string bytes;
    EXPECT_FALSE(Base64Decode(large, bytes));
    EXPECT_FALSE(Base64Decode(wrap(large, 76, "\r\n"), bytes));
}

}  // namespace
}  // namespace kqc
