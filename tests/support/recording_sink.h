#pragma once

#include "client/run_values.h"

#include <string>
#include <string_view>

namespace kqc::test {

// What a run showed: the log box's text (CR LF before every line) and the URL field.
struct RecordingSink : RunSink {
    std::string box;
    std::string url;
    void showLine(std::string_view line) override { box.append("\r\n").append(line); }
    void webServerUrlChanged(std::string_view changed) override { url = changed; }
};

}  // namespace kqc::test
