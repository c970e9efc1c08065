// kqc-bench-codec: the Base64 codec alone on one big buffer, encode and decode, each beside a
// memcpy of the same buffer timed in the same run. Base64Encode and Base64Decode allocate their
// result, as the run uses them; the library's own block calls are also timed into buffers that
// are already in memory, to tell the library's speed from the cost of fresh memory.
//
//   kqc-bench-codec [--mib 256] [--runs 5]
#include "bench/bench_support.h"
#include "media/base64.h"

#include <openssl/evp.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <stdexcept>

using namespace kqc::bench;

namespace {

constexpr size_t kChunk = 3 * 4 * 64 * 1024;  // whole quanta on both sides

void libraryEncode(const std::string& bytes, std::string& text) {
    for (size_t pos = 0; pos < bytes.size(); pos += kChunk)
        EVP_EncodeBlock(reinterpret_cast<unsigned char*>(text.data() + pos / 3 * 4),
                        reinterpret_cast<const unsigned char*>(bytes.data() + pos),
                        static_cast<int>(std::min(kChunk, bytes.size() - pos)));
}

void libraryDecode(const std::string& text, std::string& bytes) {
    for (size_t pos = 0; pos < text.size(); pos += kChunk)
        EVP_DecodeBlock(reinterpret_cast<unsigned char*>(bytes.data() + pos / 4 * 3),
                        reinterpret_cast<const unsigned char*>(text.data() + pos),
                        static_cast<int>(std::min(kChunk, text.size() - pos)));
}

}  // namespace

int main(int argc, char** argv) {
    const long mib = OptionNumber(argc, argv, "--mib", 256);
    const long runs = OptionNumber(argc, argv, "--runs", 5);
    const std::uint64_t bytes = static_cast<std::uint64_t>(mib) << 20;
    const double gib = static_cast<double>(bytes) / (1 << 30);

    const std::string data = RandomBytes(bytes);
    std::string textBuffer((bytes + 2) / 3 * 4 + 1, '\0'), bytesBuffer(bytes + 3, '\0');
    std::vector<double> libraryEncodeTimes, libraryDecodeTimes;
    std::string copy(bytes, '\0');  // touched once here, so memcpy measures copying alone
    std::vector<double> copyTimes, encodeTimes, decodeTimes;
    for (long i = 0; i <= runs; ++i) {  // the first round warms up
        Stopwatch copyClock;
        std::memcpy(copy.data(), data.data(), bytes);
        const double copySeconds = copyClock.seconds();

        Stopwatch encodeClock;
        std::string text = kqc::Base64Encode(data);
        const double encodeSeconds = encodeClock.seconds();

        std::string decoded;
        Stopwatch decodeClock;
        const bool ok = kqc::Base64Decode(text, decoded);
        const double decodeSeconds = decodeClock.seconds();
        if (!ok || decoded != data) {
            std::fprintf(stderr, "kqc-bench-codec: the round trip lost data\n");
            return 1;
        }
        Stopwatch libraryEncodeClock;
        libraryEncode(data, textBuffer);
        const double libraryEncodeSeconds = libraryEncodeClock.seconds();
        Stopwatch libraryDecodeClock;
        libraryDecode(text, bytesBuffer);
        const double libraryDecodeSeconds = libraryDecodeClock.seconds();
        if (bytesBuffer.compare(0, bytes, data) != 0) {
            std::fprintf(stderr, "kqc-bench-codec: the library's round trip lost data\n");
            return 1;
        }

        if (i == 0) continue;
        libraryEncodeTimes.push_back(libraryEncodeSeconds);
        libraryDecodeTimes.push_back(libraryDecodeSeconds);
        copyTimes.push_back(copySeconds);
        encodeTimes.push_back(encodeSeconds);
        decodeTimes.push_back(decodeSeconds);
    }

    const double copyRate = gib / Median(copyTimes);
    const double encodeRate = gib / Median(encodeTimes);
    const double decodeRate = gib / Median(decodeTimes);
    const std::string size = std::to_string(mib) + " MiB";
    PrintRow("4", "memcpy of " + size, Fixed(copyRate, 2) + " GiB/s");
    PrintRow("4", "Base64Encode of " + size + " (OpenSSL EVP_EncodeBlock)",
             Fixed(encodeRate, 2) + " GiB/s", ">= 1 GiB/s", AtLeast(encodeRate, 1.0));
    PrintRow("4", "  encode / memcpy throughput", Fixed(encodeRate / copyRate, 3));
    PrintRow("4", "Base64Decode back to " + size + " (OpenSSL EVP_DecodeBlock)",
             Fixed(decodeRate, 2) + " GiB/s", ">= 1 GiB/s", AtLeast(decodeRate, 1.0));
    PrintRow("4", "  decode / memcpy throughput", Fixed(decodeRate / copyRate, 3));
    const double libraryEncodeRate = gib / Median(libraryEncodeTimes);
    const double libraryDecodeRate = gib / Median(libraryDecodeTimes);
    PrintRow("4", "  library alone, into memory already touched: encode, decode",
             Fixed(libraryEncodeRate, 2) + ", " + Fixed(libraryDecodeRate, 2) + " GiB/s");
    return 0;
}
