// The answer handling path on arbitrary service answers: ExtractTagValue with the real tags and
// with tags taken from the input, then ResponseHandle saving into a temp folder. Beyond what the
// sanitizers catch, it checks that a value lies where the tags say, that one answer logs at most
// one kind of line, and that a saved file holds exactly the decoded file data.
#include "support/recording_sink.h"
#include "client/response_handler.h"
#include "media/base64.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>

namespace {

namespace fs = std::filesystem;

constexpr std::string_view kFileDataStart = "<fileData xsi:type=\"xsd:base64Binary\">";
constexpr std::string_view kFileDataEnd = "</fileData>";

void require(bool condition, const char* what) {
    if (condition) return;
    std::fprintf(stderr, "broken: %s\n", what);
    std::abort();
}

// A folder of its own for the output files, removed when the fuzzer ends.
const fs::path& targetFolder() {
    static const fs::path folder = [] {
        std::string pattern = (fs::temp_directory_path() / "kqc-fuzz-XXXXXX").string();
        require(mkdtemp(pattern.data()) != nullptr, "cannot create the target folder");
        std::atexit([] {
            std::error_code ec;
            fs::remove_all(targetFolder(), ec);
        });
        return fs::path(pattern);
    }();
    return folder;
}

void checkExtract(std::string_view text, std::string_view startTag, std::string_view endTag) {
    std::string_view value = "unchanged";
    const bool found = kqc::ExtractTagValue(text, startTag, endTag, value);
    if (!found) {
        require(value == "unchanged", "a missing value changed the output");
        return;
    }
    const size_t start = text.find(startTag);
    const size_t end = text.find(endTag);
    require(start != std::string_view::npos && end != std::string_view::npos,
            "found without both tags");
    require(value.data() == text.data() + start + startTag.size(), "value does not follow the start tag");
    require(value.data() + value.size() == text.data() + end, "value does not end at the end tag");
}

bool startsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void checkResponseHandle(std::string_view response) {
    kqc::test::RecordingSink view;
    kqc::ActivityLog log(view, false);
    kqc::ResponseHandle(targetFolder().string(), log, response, "out.mp4");

    const std::string box = view.box;
    const fs::path output = targetFolder() / "out.mp4";
    const std::string savedLine = "\r\nSaved transcoded file as " + output.string();
    const bool saved = box == savedLine;
    require(box.empty() || saved || startsWith(box, "\r\nResponse Message: ") ||
                startsWith(box, "\r\nResponseHandle Failure: Returncode was ") ||
                box == "\r\nNo <fileData> was Found" ||
                box == "\r\nError decoding <fileData> for " + output.string(),
            "unexpected log text");
    require(saved == fs::exists(output), "the saved line and the output file disagree");
    if (saved) {
        std::string_view data;
        std::string expected;
        require(kqc::ExtractTagValue(response, kFileDataStart, kFileDataEnd, data) &&
                    kqc::Base64Decode(data, expected),
                "saved without decodable file data");
        require(readFile(output) == expected, "the output file differs from the file data");
        fs::remove(output);
    }
    require(fs::is_empty(targetFolder()), "a temporary or stray file was left behind");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    checkExtract(input, "<returnCode xsi:type=\"xsd:int\">", "</returnCode>");
    checkExtract(input, "<message xsi:type=\"xsd:string\">", "</message>");
    checkExtract(input, kFileDataStart, kFileDataEnd);
    if (size >= 2) {
        // Tags cut from the input itself: short, overlapping, empty or equal ones.
        const std::string_view rest = input.substr(2);
        const size_t startLength = std::min<size_t>(data[0] % 8, rest.size());
        const size_t endLength = data[1] % 8;
        checkExtract(rest, rest.substr(0, startLength), rest.substr(startLength, endLength));
    }
    checkResponseHandle(input);
    return 0;
}
