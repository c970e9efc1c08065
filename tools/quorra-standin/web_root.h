#pragma once

#include "quorra-standin/http_server.h"

#include <filesystem>
#include <string_view>

namespace kqc::standin {

struct WebRootFile {
    http::status status;         // ok, bad_request or not_found
    std::filesystem::path path;  // when ok
};

// The regular file under root that a request target names: the path part, percent-decoded, with
// "index.html" added to a folder's path. A path with a NUL byte, a malformed escape or a ".."
// segment is refused as a bad request rather than resolved.
WebRootFile WebRootTarget(const std::filesystem::path& root, std::string_view target);

// Answers GET and HEAD with the file the target names; anything else with 405.
void AnswerFromWebRoot(const std::filesystem::path& root, const HttpRequest& request, Reply reply);

}  // namespace kqc::standin
