#include "quorra-standin/amr_wb_encoder.h"

#include <vo-amrwbenc/enc_if.h>

#include <algorithm>
#include <array>
#include <fstream>
#include <memory>

namespace kqc::standin {
namespace {

constexpr std::array<int, 9> kModeBitRates = {6600,  8850,  12650, 14250, 15850,
                                              18250, 19850, 23050, 23850};
constexpr std::size_t kFrameSamples = 320;  // 20 ms at 16 kHz
constexpr int kFramesPerDeadlineCheck = 50;

struct EncoderState {
    void operator()(void* state) const { E_IF_exit(state); }
};
using Encoder = std::unique_ptr<void, EncoderState>;

// Reads up to one frame of samples; a short last frame is padded with silence. False at the end.
bool ReadFrame(std::ifstream& in, std::array<short, kFrameSamples>& frame) {
    in.read(reinterpret_cast<char*>(frame.data()), sizeof frame);
    auto samples = static_cast<std::size_t>(in.gcount()) / sizeof(short);
    if (samples == 0) return false;
    std::fill(frame.begin() + static_cast<std::ptrdiff_t>(samples), frame.end(), short{0});
    return true;
}

}  // namespace

int AmrWbMode(int bitRate) {
    auto above = std::upper_bound(kModeBitRates.begin(), kModeBitRates.end(), bitRate);
    return std::max(0, static_cast<int>(above - kModeBitRates.begin()) - 1);
}

std::optional<std::string> EncodeAmrWbFile(const std::filesystem::path& pcmFile, int mode,
                                           std::chrono::steady_clock::time_point deadline) {
    std::ifstream in(pcmFile, std::ios::binary);
    Encoder encoder(E_IF_init());
    if (!in || !encoder) return std::nullopt;
    std::string storage = "#!AMR-WB\n";
    std::array<short, kFrameSamples> frame;
    // The largest frame (mode 8 with its header byte) takes 61 bytes.
    std::array<unsigned char, 256> packed;
    for (int count = 1; ReadFrame(in, frame); ++count) {
        int size = E_IF_encode(encoder.get(), mode, frame.data(), packed.data(), 0);
        if (size <= 0 || size > static_cast<int>(packed.size())) return std::nullopt;
        storage.append(reinterpret_cast<const char*>(packed.data()),
                       static_cast<std::size_t>(size));
        if (count % kFramesPerDeadlineCheck == 0 && std::chrono::steady_clock::now() > deadline)
            return std::nullopt;
    }
    if (in.bad()) return std::nullopt;
    return storage;
}

}  // namespace kqc::standin
