#include "client/defaults.h"

#include "media/paths.h"

#include <filesystem>

namespace kqc {

std::string DefaultEndpoint() { return "http://localhost:8080/axis/services/MediaAdapter"; }

#ifdef _WIN32
std::string DefaultSourceDir() { return "c:\\inetpub\\wwwroot"; }
std::string DefaultTargetDir() { return "c:\\temp"; }
#else
std::string DefaultSourceDir() { return "/var/www/html"; }
std::string DefaultTargetDir() {
    std::error_code ec;
    auto folder = std::filesystem::temp_directory_path(ec);
    return ec ? std::string("/tmp") : Utf8FromPath(folder);
}
#endif

}  // namespace kqc
