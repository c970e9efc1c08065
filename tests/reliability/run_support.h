#pragma once

#include "client/run_values.h"
#include "support/recording_sink.h"
#include "support/service_answer.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace kqc::test {

inline constexpr std::string_view kPostFailure =
    "PostXML Failure: Transcoder response Failure (Not 200 OK)";

// A whole SOAP answer with return code "0" and the Base64 of bytes.
std::string successResponse(std::string_view bytes);

// The names in a folder, sorted; a temporary file left behind shows up here.
std::vector<std::string> namesIn(const std::filesystem::path& folder);

// Runs body in a forked child process and returns its exit code; -1 when it died or did not end
// within timeoutSeconds (it is then killed). Fork before any thread is started, since the child
// gets a copy of the calling thread only; threads the child needs served from the parent (a
// HostileService) are started by inParent, right after the fork.
int runInChild(const std::function<int()>& body, const std::function<void()>& inParent = {},
               int timeoutSeconds = 120);
inline constexpr int kChildSkipped = 77;

// A transcode run against a service on loopback, with source and target folders in a fresh temp
// folder and the debug log beside them.
class HostileRunTest : public ::testing::Test {
protected:
    HostileRunTest();

    void runAgainst(const std::string& endpoint);
    void runUrlMode(const std::string& endpoint, const std::string& fileList);
    void runFileSystemMode(const std::string& endpoint);

    std::string saved(std::string_view name) const;
    // The error line and its cause.
    std::string errorSaving(std::string_view name, std::string_view cause) const;
    std::string startingOn(std::string_view entry) const;

    TempDir dir;
    std::filesystem::path source = dir / "source";
    std::filesystem::path target = dir / "target";
    RunValues values;
    RecordingSink sink;
};

}  // namespace kqc::test
