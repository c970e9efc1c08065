#pragma once

#include <string>
#include <string_view>
#include <system_error>

namespace kqc {

// Success, or why an operation on a file failed: what was being done, and the system's error
// number where the cause is one.
struct IoResult {
    bool ok = true;
    std::string_view doing;  // a fixed text: "cannot open", "cannot write", ...
    int error = 0;

    static IoResult failure(std::string_view doing, int error = 0) { return {false, doing, error}; }
    explicit operator bool() const { return ok; }
    // "cannot write: No space left on device"
    std::string cause() const {
        const std::string text(doing);
        return error ? text + ": " + std::generic_category().message(error) : text;
    }
};

}  // namespace kqc
