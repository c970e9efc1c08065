#include "cli/command_line.h"

#include "client/profile_choices.h"

#include <CLI/CLI.hpp>

#include <algorithm>

namespace kqc::cli {

namespace {

constexpr unsigned kMostJobs = 256;

struct ChoiceOption {
    const char* name;
    std::string RunValues::*field;
    Choices choices;
    const char* help;
};

struct TargetOption {
    const char* name;
    std::string TargetProfile::*field;
    Choices choices;
    const char* help;
};

constexpr ChoiceOption kSourceFormat{"--source-format", &RunValues::sourceFormat,
                                     kSourceFormatChoices,
                                     "name filter for folders: a file is taken when its name "
                                     "contains TEXT, in any case"};

constexpr TargetOption kTargetOptions[] = {
    {"--format", &TargetProfile::format, kTargetFormatChoices,
     "target file format, also the extension of the saved files"},
    {"--codec", &TargetProfile::codec, kTargetCodecChoices, "target codec"},
    {"--bit-rate", &TargetProfile::bitRate, kTargetBitRateChoices, "target bit rate"},
    {"--sampling-rate", &TargetProfile::samplingRate, kTargetSamplingRateChoices,
     "target sampling rate"},
    {"--channels", &TargetProfile::channels, kTargetChannelsChoices, "target channel mode"},
};

// The items once each, in their order.
std::string listed(Choices choices, std::string_view separator) {
    std::vector<std::string_view> seen;
    std::string text;
    for (std::string_view item : choices) {
        if (std::find(seen.begin(), seen.end(), item) != seen.end()) continue;
        text.append(seen.empty() ? "" : separator).append(item);
        seen.push_back(item);
    }
    return text;
}

std::optional<std::string> warning(const char* name, const std::string& value, Choices choices) {
    if (std::find(choices.begin(), choices.end(), value) != choices.end()) return std::nullopt;
    return std::string(kProgram) + ": " + name + " \"" + value + "\" is none of " +
           listed(choices, ", ") + "; it is sent as typed";
}

// "--debug-file" takes its PATH only as "--debug-file=PATH", so that the word after it stays a
// SOURCE.
std::vector<std::string> withDebugFileJoined(int argc, const char* const* argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    for (std::string& arg : args) {
        if (arg == "--") break;
        if (arg == "--debug-file") arg += "=";
    }
    std::reverse(args.begin(), args.end());  // CLI11 takes its arguments last first
    return args;
}

}  // namespace

bool ParseCommandLine(int argc, const char* const* argv, CommandLine& line, std::string& error) {
    CLI::App app;
    app.set_help_flag();
    app.add_flag("-h,--help", line.help);
    app.add_flag("--version", line.version);
    RunValues& values = line.values;
    app.add_option("--endpoint", values.endpoint);
    CLI::Option* url = app.add_option("--url", values.webServerUrl);
    std::string listFile;
    CLI::Option* list = app.add_option("--list", listFile)->needs(url);
    app.add_option("--target-dir", values.targetDir);
    app.add_option(kSourceFormat.name, values.*kSourceFormat.field);
    app.add_option("--source-codec", values.sourceCodec);
    for (const TargetOption& option : kTargetOptions)
        app.add_option(option.name, values.target.*option.field);
    std::string debugFile;
    CLI::Option* debug = app.add_option("--debug-file", debugFile);
    app.add_option("-j,--jobs", line.jobs)->check(CLI::Range(1u, kMostJobs));
    app.add_option("SOURCE", line.sources);
    try {
        std::vector<std::string> args = withDebugFileJoined(argc, argv);
        app.parse(args);
    } catch (const CLI::ParseError& e) {
        error = e.what();
        return false;
    }
    if (line.help || line.version) return true;
    values.urlMode = url->count() > 0;
    if (list->count() > 0) line.listFile = listFile;
    values.debugToFile = debug->count() > 0;
    if (values.debugToFile && !debugFile.empty()) values.debugLogPath = debugFile;
    if (line.sources.empty() && !line.listFile) {
        error = values.urlMode ? "no SOURCE and no --list given" : "no SOURCE given";
        return false;
    }
    return true;
}

std::vector<std::string> OutsideChoiceWarnings(const RunValues& values) {
    std::vector<std::string> lines;
    auto add = [&lines](std::optional<std::string> line) {
        if (line) lines.push_back(std::move(*line));
    };
    add(warning(kSourceFormat.name, values.*kSourceFormat.field, kSourceFormat.choices));
    for (const TargetOption& option : kTargetOptions)
        add(warning(option.name, values.target.*option.field, option.choices));
    return lines;
}

std::string UsageText() {
    const RunValues defaults;
    const std::string program(kProgram);
    std::string text = "Usage: " + program + " [OPTIONS] SOURCE...\n  or:  " + program +
                       " --url BASE [OPTIONS] [ENTRY...] [--list FILE]\n" + R"(
Sends audio files to the Quorra transcoder, the MediaAdapter SOAP service, one request per file,
and saves each answer's file in the target folder under the source's name with the target format
as its extension, as the desktop client's "Transcode Now!" does. Each SOURCE is a file, or a folder
whose plain files are taken when their names contain the source format. With --url the service
fetches each file itself: each ENTRY is a name below BASE, as the client's file list holds them.

The client's log lines go to standard output, one each, "Transcoding Finished." last. While
standard error is a terminal, a progress line there counts the files done. SIGINT or SIGTERM
abandons the calls in flight and ends the program without another line; nothing half-written is
left behind.

Options:
)";
    // The option, then its description from column 25, wrapped before column 100.
    auto row = [&text](std::string_view option, std::string_view description) {
        std::string line = "  " + std::string(option);
        line.resize(std::max<std::size_t>(line.size() + 2, 25), ' ');
        std::size_t start = 0;
        while (start < description.size()) {
            std::size_t end = description.find(' ', start);
            if (end == std::string_view::npos) end = description.size();
            if (line.size() + (end - start) >= 100 && line.size() > 25) {
                text.append(line).push_back('\n');
                line.assign(25, ' ');
            } else if (line.size() > 25 && line.back() != ' ') {
                line.push_back(' ');
            }
            line.append(description.substr(start, end - start));
            start = end + 1;
        }
        text.append(line).push_back('\n');
    };
    auto choice = [&row](std::string_view option, std::string_view help, std::string_view initial,
                         Choices choices) {
        row(std::string(option) + " TEXT", std::string(help) + " (default " + std::string(initial) +
                                               "; listed: " + listed(choices, " ") + ")");
    };
    row("--endpoint URL", "the service's endpoint (default " + defaults.endpoint + ")");
    row("--url BASE", "URL mode: the web server the service fetches each entry from");
    row("--list FILE",
        "URL mode: more entries, one per line, from FILE (\"-\": standard input); a CR at a "
        "line's end is dropped and empty lines are skipped");
    row("--target-dir DIR",
        "where the transcoded files are saved (default: the temporary folder, $TMPDIR or /tmp)");
    choice(kSourceFormat.name, kSourceFormat.help, defaults.*kSourceFormat.field,
           kSourceFormat.choices);
    row("--source-codec TEXT", "the codec the request declares for every source (default " +
                                   std::string(kWindowSourceCodec) + ")");
    for (const TargetOption& target : kTargetOptions)
        choice(target.name, target.help, defaults.target.*target.field, target.choices);
    row("--debug-file[=PATH]",
        "also append every line and every request to the debug log PATH (default: "
        "KorvaneQuorraClient.log in the temporary folder)");
    row("-j, --jobs N",
        "up to N requests at a time, from 1 to 256 (default 1: one after the other, as the "
        "client sends them). A file the service answers with 2005 (too many requests) while "
        "others were in flight is sent again once fewer are, 4 tries in all at most, and the "
        "program goes on with fewer at a time");
    row("-h, --help", "show this text");
    row("--version", "show the program's version");
    text.append(R"(
A value that is none of the listed ones draws a warning on standard error and is sent as typed:
the service judges it.
)");
    return text;
}

}  // namespace kqc::cli
