#include "cli/command_line.h"

#include "client/profile_choices.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <charconv>
#include <functional>
#include <map>

namespace kqc::cli {

namespace {

constexpr unsigned kMostJobs = 256;

// One option: how it is parsed, shown in --help, and completed. A text option sets its field
// of the window's values; any other takes its value (empty for a flag) itself.
struct OptionRow {
    std::string_view names;  // as CLI11 takes them
    std::string_view value;  // "" for a flag; "[=PATH]" for a value given only with "="
    std::string help;
    std::function<std::string&(RunValues&)> field = {};
    Choices choices = {};
    bool mayBeEmpty = true;  // for a text option
    std::function<std::string(CommandLine&, const std::string&)> take = {};  // an error refuses
};

std::string& endpoint(RunValues& v) { return v.endpoint; }
std::string& targetDir(RunValues& v) { return v.targetDir; }
std::string& sourceFormat(RunValues& v) { return v.sourceFormat; }
std::string& sourceCodec(RunValues& v) { return v.sourceCodec; }
std::string& format(RunValues& v) { return v.target.format; }
std::string& codec(RunValues& v) { return v.target.codec; }
std::string& bitRate(RunValues& v) { return v.target.bitRate; }
std::string& samplingRate(RunValues& v) { return v.target.samplingRate; }
std::string& channels(RunValues& v) { return v.target.channels; }

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

std::string takeJobs(CommandLine& line, const std::string& text) {
    unsigned jobs = 0;
    // Decimal digits only: no sign, no base prefix.
    const auto [end, failure] = std::from_chars(text.data(), text.data() + text.size(), jobs);
    if (failure != std::errc() || end != text.data() + text.size() || jobs < 1 || jobs > kMostJobs)
        return "--jobs: Value " + text + " not in range 1 to " + std::to_string(kMostJobs);
    line.jobs = jobs;
    return "";
}

std::vector<OptionRow> optionTable() {
    const RunValues defaults;
    auto choice = [](std::string help, Choices choices) {
        return help + " (default {}; listed: " + listed(choices, " ") + ")";
    };
    return {
        {"--endpoint", "URL", "the service's endpoint (default {})", endpoint, {}, false},
        {"--url", "BASE", "URL mode: the web server the service fetches each entry from", {}, {},
         false,
         [](CommandLine& line, const std::string& base) {
             if (base.empty()) return std::string("--url: BASE is empty");
             line.values.urlMode = true;
             line.values.webServerUrl = base;
             return std::string();
         }},
        {"--list", "FILE",
         "URL mode: more entries, one per line, from FILE (\"-\": standard input); a CR at a "
         "line's end is dropped and empty lines are skipped",
         {}, {}, true,
         [](CommandLine& line, const std::string& file) {
             line.listFile = file;
             return std::string();
         }},
        {"--target-dir", "DIR",
         "the existing folder where the transcoded files are saved (default: the temporary "
         "folder, $TMPDIR or /tmp)",
         targetDir, {}, false},
        {"--source-format", "TEXT",
         choice("name filter for folders: a file is taken when its name contains TEXT, in any "
                "case",
                kSourceFormatChoices),
         sourceFormat, kSourceFormatChoices},
        {"--source-codec", "TEXT",
         "the codec the request declares for every source (default {})", sourceCodec},
        {"--format", "TEXT",
         choice("target file format, also the extension of the saved files",
                kTargetFormatChoices),
         format, kTargetFormatChoices},
        {"--codec", "TEXT", choice("target codec", kTargetCodecChoices), codec,
         kTargetCodecChoices},
        {"--bit-rate", "TEXT", choice("target bit rate", kTargetBitRateChoices), bitRate,
         kTargetBitRateChoices},
        {"--sampling-rate", "TEXT", choice("target sampling rate", kTargetSamplingRateChoices),
         samplingRate, kTargetSamplingRateChoices},
        {"--channels", "TEXT", choice("target channel mode", kTargetChannelsChoices), channels,
         kTargetChannelsChoices},
        {"--debug-file", "[=PATH]",
         "also append every line and every request to the debug log PATH (default: "
         "KorvaneQuorraClient.log in the temporary folder); the word after --debug-file is never "
         "its PATH",
         {}, {}, true,
         [](CommandLine& line, const std::string&) {
             line.values.debugToFile = true;
             return std::string();
         }},
        {"--skip-existing", "",
         "a source whose target file exists already is not sent, and counts as done; running "
         "the same command again finishes a batch that was stopped",
         {}, {}, true,
         [](CommandLine& line, const std::string&) {
             line.values.skipExisting = true;
             return std::string();
         }},
        {"-j,--jobs", "N",
         "up to N requests at a time, from 1 to 256 (default 1: one after the other, as the "
         "client sends them). A file the service answers with 2005 (too many requests) while "
         "others were in flight is sent again once fewer are, 4 tries in all at most, and the "
         "program goes on with fewer at a time",
         {}, {}, true, takeJobs},
        {"-h,--help", "", "show this text", {}, {}, true,
         [](CommandLine& line, const std::string&) {
             line.help = true;
             return std::string();
         }},
        {"--version", "", "show the program's version", {}, {}, true,
         [](CommandLine& line, const std::string&) {
             line.version = true;
             return std::string();
         }},
    };
}

const OptionRow* rowNamed(const std::vector<OptionRow>& table, std::string_view name) {
    for (const OptionRow& row : table) {
        for (std::string_view names = row.names; !names.empty();) {
            const std::size_t comma = std::min(names.find(','), names.size());
            if (names.substr(0, comma) == name) return &row;
            names.remove_prefix(std::min(comma + 1, names.size()));
        }
    }
    return nullptr;
}

bool namesAnOption(const std::vector<OptionRow>& table, const std::string& word) {
    return word.starts_with("-") && rowNamed(table, word.substr(0, word.find('='))) != nullptr;
}

// The words before "--" as CLI11 is to read them, last first. "--name=VALUE" becomes two words,
// so that an empty VALUE is that value and never the word after it; "--debug-file=PATH" becomes
// the flag, its PATH kept aside. A value option followed by another option has no value.
std::string prepare(const std::vector<OptionRow>& table, const std::vector<std::string>& words,
                    std::vector<std::string>& args, std::optional<std::string>& debugPath) {
    for (std::size_t i = 0; i < words.size(); ++i) {
        const std::string& word = words[i];
        const std::size_t equals = word.find('=');
        const OptionRow* row = word.starts_with("--") ? rowNamed(table, word.substr(0, equals))
                                                     : rowNamed(table, word);
        if (row && equals != std::string::npos && word.starts_with("--") && !row->value.empty()) {
            const std::string name = word.substr(0, equals);
            if (row->value.starts_with("[=")) {
                args.push_back(name);
                debugPath = word.substr(equals + 1);
                continue;
            }
            args.insert(args.end(), {name, word.substr(equals + 1)});
            continue;
        }
        args.push_back(word);
        const bool takesNext = row && !row->value.empty() && !row->value.starts_with("[=") &&
                               equals == std::string::npos;
        if (takesNext && i + 1 < words.size() && namesAnOption(table, words[i + 1]))
            return word + ": 1 required " + std::string(row->value) + " missing before " +
                   words[i + 1];
        if (takesNext && i + 1 < words.size()) args.push_back(words[++i]);
    }
    std::reverse(args.begin(), args.end());  // CLI11 takes its arguments last first
    return "";
}

std::string parse(const std::vector<std::string>& words, CommandLine& line) {
    const std::vector<OptionRow> table = optionTable();
    std::vector<std::string> args;
    std::optional<std::string> debugPath;
    if (std::string error = prepare(table, words, args, debugPath); !error.empty()) return error;

    CLI::App app;
    app.set_help_flag();
    app.allow_extras();  // SOURCE words are taken as they are, never split by CLI11
    std::map<std::string_view, std::string> values;
    std::map<std::string_view, CLI::Option*> options;
    for (const OptionRow& row : table) {
        const std::string names(row.names);
        options[row.names] = row.value.empty() || row.value.starts_with("[=")
                                 ? app.add_flag(names)
                                 : app.add_option(names, values[row.names]);
    }
    try {
        app.parse(args);
    } catch (const CLI::ParseError& e) {
        return e.what();
    }
    for (const std::string& word : app.remaining()) {
        if (word.size() > 1 && word.starts_with("-"))
            return "The following argument was not expected: " + word;
        line.sources.push_back(word);
    }
    line.values.urlMode = false;  // unless --url says otherwise
    for (const OptionRow& row : table) {
        if (options[row.names]->count() == 0) continue;
        const std::string& value = values[row.names];
        if (row.field && !row.mayBeEmpty && value.empty())
            return std::string(row.names) + ": " + std::string(row.value) + " is empty";
        if (row.field) row.field(line.values) = value;
        if (row.take)
            if (std::string error = row.take(line, value); !error.empty()) return error;
    }
    if (debugPath) {
        if (debugPath->empty()) return "--debug-file: PATH is empty";
        line.values.debugLogPath = *debugPath;
    }
    return "";
}

}  // namespace

bool ParseCommandLine(int argc, const char* const* argv, CommandLine& line, std::string& error) {
    std::vector<std::string> words(argv + 1, argv + argc);
    const auto dashes = std::find(words.begin(), words.end(), "--");
    std::vector<std::string> after(dashes == words.end() ? dashes : dashes + 1, words.end());
    words.erase(dashes, words.end());
    error = parse(words, line);
    if (!error.empty()) return false;
    if (line.help || line.version) return true;
    line.sources.insert(line.sources.end(), after.begin(), after.end());
    if (line.listFile && !line.values.urlMode) error = "--list requires --url";
    else if (line.sources.empty() && !line.listFile)
        error = line.values.urlMode ? "no SOURCE and no --list given" : "no SOURCE given";
    return error.empty();
}

std::vector<std::string> OutsideChoiceWarnings(const RunValues& values) {
    std::vector<std::string> lines;
    RunValues given = values;
    for (const OptionRow& row : optionTable()) {
        if (row.choices.empty()) continue;
        const std::string& value = row.field(given);
        if (std::find(row.choices.begin(), row.choices.end(), value) != row.choices.end())
            continue;
        lines.push_back(std::string(kProgram) + ": " + std::string(row.names) + " \"" + value +
                        "\" is none of " + listed(row.choices, ", ") + "; it is sent as typed");
    }
    return lines;
}

std::string UsageText() {
    const std::string program(kProgram);
    std::string text = "Usage: " + program + " [OPTIONS] SOURCE...\n  or:  " + program +
                       " --url BASE [OPTIONS] [ENTRY...] [--list FILE]\n" + R"(
Sends audio files to the Quorra transcoder, the MediaAdapter SOAP service, one request per file,
and saves each answer's file in the target folder under the source's name with the target format
as its extension, as the desktop client's "Transcode Now!" does. Each SOURCE is a file, or a folder
whose plain files are taken when their names contain the source format. With --url the service
fetches each file itself: each ENTRY is a name below BASE, as the client's file list holds them.
Words after "--" are SOURCEs or ENTRYs whatever they look like.

The client's log lines go to standard output, one each, "Transcoding Finished." last. While
standard error is a terminal, a progress line there counts the files done. A source whose target
name would leave the target folder, whose target is a source file of the run or the debug log,
or whose target another source of the run has already, is not sent and counts as failed. SIGINT
or SIGTERM abandons the calls in flight and ends the program by that signal without another
line; nothing half-written is left behind, and a second signal ends it at once, a file being
saved then made whole first.

Options:
)";
    // The option, then its description from column 25, wrapped before column 100.
    auto row = [&text](std::string_view option, std::string_view description) {
        std::string line = "  " + std::string(option);
        line.resize(std::max<std::size_t>(line.size() + 2, 25), ' ');
        std::size_t start = 0;
        while (start < description.size()) {
            std::size_t end = std::min(description.find(' ', start), description.size());
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
    RunValues defaults;
    for (const OptionRow& option : optionTable()) {
        std::string names(option.names);
        if (const auto comma = names.find(','); comma != std::string::npos)
            names.replace(comma, 1, ", ");
        const std::string value(option.value);
        const std::string shown = value.empty() || value.starts_with("[") ? names + value
                                                                          : names + " " + value;
        std::string help = option.help;
        if (const auto at = help.find("{}"); at != std::string::npos)
            help.replace(at, 2, option.field(defaults));
        row(shown, help);
    }
    text.append(R"(
A value that is none of the listed ones draws a warning on standard error and is sent as typed:
the service judges it. A value given with "=" is that value, the empty text included.
)");
    return text;
}

}  // namespace kqc::cli
