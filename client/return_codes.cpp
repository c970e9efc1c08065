#include "client/return_codes.h"

#include <array>
#include <utility>

namespace kqc {

namespace {

// The service's own return codes. "0000" is a row like any other: success is "0" alone.
constexpr std::array<std::pair<std::string_view, std::string_view>, 21> kReturnCodes{{
    {"0000", "OK"},
    {"1001", "Parsing Error"},
    {"1002", "Transcoder activation failure"},
    {"1003", "Timeout waiting for Transcoder response"},
    {"1004", "Erroneous response structure"},
    {"1005", "Error is response data"},
    {"1006", "General Server Error"},
    {"2001", "Error in command parameters"},
    {"2002", "Error in input media"},
    {"2003", "Processing Error"},
    {"2004", "Unsurported media"},
    {"2005", "Number of concurrent requests exceeded"},
    {"2006", "Unsupported transcoding request"},
    {"2007", "Erroneous transconding request"},
    {"2008", "Transcoding initialization failure"},
    {"3001", "Resources not available"},
    {"3002", "Request Type not supported"},
    {"3003", "Resourceactivation refused"},
    {"3004", "General timeout"},
    {"3005", "Internal resource activation failure"},
    {"9999", "Unknown Error"},
}};

}  // namespace

std::string_view ReturnCodeText(std::string_view code) {
    for (const auto& [known, message] : kReturnCodes)
        if (code == known) return message;
    return "Unknown Error [Not specified]";
}

}  // namespace kqc
