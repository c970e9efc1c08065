// kqc-bench-batch: a long URL-mode batch through the real main window (offscreen) and the same
// requests through the core without a window, against a loopback service that answers at once.
//
//   kqc-bench-batch --work DIR [--entries 10000] [--runs 5]
// Runs N and 2N entries each way, after a short warm-up batch; checks in every round that the
// window's log box holds every line the core logged, byte for byte.
#include "bench/bench_support.h"
#include "bench/reply_server.h"
#include "client/transcode_run.h"
#include "support/recording_sink.h"
#include "ui/form1_fields.h"
#include "ui/form1.h"
#include "ui/text_area.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollBar>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <stdexcept>

namespace fs = std::filesystem;
using namespace kqc;
using namespace kqc::bench;

namespace {

// Closes the run's "Transcoding Finished." box as soon as it shows.
class NoticeCloser : public QObject {
protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Show)
            if (auto* box = qobject_cast<QMessageBox*>(watched))
                QTimer::singleShot(0, box, &QMessageBox::accept);
        return false;
    }
};

// Counts the paints of the log box while a run is going on.
class PaintCounter : public QObject {
public:
    int count = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) ++count;
        return false;
    }
};

std::string fileList(long entries) {
    std::string list;
    char name[32];
    for (long i = 1; i <= entries; ++i) {
        std::snprintf(name, sizeof name, "track%06ld.mp3", i);
        if (i > 1) list.append("\r\n");
        list.append(name);
    }
    return list;
}

// Every run saves into a new folder: replacing files, or deleting them, leaves recently freed
// inodes that make creating files slower on ext4 for minutes, which would blur the cost of the
// run itself. The folders go when the benchmark ends.
fs::path freshFolder(const fs::path& parent) {
    static int count = 0;
    fs::path folder = parent / ("run" + std::to_string(++count));
    fs::create_directories(folder);
    return folder;
}

void setUp(Form1Fields& fields, const ReplyServer& server, const fs::path& target,
           const std::string& list) {
    fields.setText(Field::txtTranscoderURLPort, server.endpoint());
    fields.setText(Field::txtURL, server.webRoot());
    fields.setText(Field::txtTargetDir, freshFolder(target).string());
    fields.setText(Field::txtSourceFilenames, list);
}

struct Timed {
    double seconds = 0;
    std::string log;  // with the run's own folder written as "TARGET", to compare runs
};

std::string withoutFolder(std::string log, const std::string& folder) {
    for (size_t at = log.find(folder); at != std::string::npos; at = log.find(folder, at + 6))
        log.replace(at, folder.size(), "TARGET");
    return log;
}

Timed runCore(const ReplyServer& server, const fs::path& target, const std::string& list) {
    RunValues values;
    values.endpoint = server.endpoint();
    values.webServerUrl = server.webRoot();
    values.targetDir = freshFolder(target).string();
    values.fileList = list;
    test::RecordingSink sink;
    Stopwatch clock;
    TranscodeRun(values, sink);
    const double seconds = clock.seconds();
    return {seconds, withoutFolder(sink.box, values.targetDir)};
}

Timed runWindow(Form1& form, const ReplyServer& server, const fs::path& target,
                const std::string& list) {
    setUp(form.fields(), server, target, list);
    Stopwatch clock;
    form.controls().cmdTranscode->click();
    const double seconds = clock.seconds();
    return {seconds,
            withoutFolder(form.fields().outputLogText(), form.fields().text(Field::txtTargetDir))};
}

size_t lineCount(const std::string& log) {
    size_t lines = 0;
    for (size_t at = log.find("\r\n"); at != std::string::npos; at = log.find("\r\n", at + 2))
        ++lines;
    return lines;
}

}  // namespace

int main(int argc, char** argv) {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    const long entries = OptionNumber(argc, argv, "--entries", 10000);
    const long runs = OptionNumber(argc, argv, "--runs", 5);
    const std::string workRoot = OptionValue(argc, argv, "--work", "");
    if (workRoot.empty()) {
        std::fprintf(stderr, "usage: %s --work DIR [--entries N] [--runs N]\n", argv[0]);
        return 2;
    }
    QApplication app(argc, argv);
    NoticeCloser closer;
    app.installEventFilter(&closer);

    try {
        const fs::path target = fs::path(workRoot) / "batch";  // removed whole at the end
        fs::create_directories(target);
        ReplyServer server;
        Form1 form;
        form.show();
        PaintCounter paints;
        form.controls().txtOutputLog->viewport()->installEventFilter(&paints);

        const std::string small = fileList(entries), large = fileList(2 * entries);
        std::vector<double> core1, core2, window1, window2, windowOverCore, growth;
        int paintsPerRun = 0;
        bool following = true;
        // A short batch each way warms up the service, the window and the file system.
        const std::string warmUp = fileList(std::max(50L, entries / 10));
        runCore(server, target, warmUp);
        runWindow(form, server, target, warmUp);
        for (long i = 0; i < runs; ++i) {
            Timed c1 = runCore(server, target, small);
            paints.count = 0;
            Timed w1 = runWindow(form, server, target, small);
            paintsPerRun = paints.count;
            QScrollBar* bar = form.controls().txtOutputLog->verticalScrollBar();
            following = following && bar->value() == bar->maximum();
            Timed c2 = runCore(server, target, large);
            Timed w2 = runWindow(form, server, target, large);
            if (lineCount(c1.log) != 6 * size_t(entries) ||
                lineCount(c2.log) != 12 * size_t(entries))
                throw std::runtime_error("the core's run did not log six lines per entry");
            if (w1.log != c1.log || w2.log != c2.log)
                throw std::runtime_error("the window's log box lost or changed lines");
            core1.push_back(c1.seconds);
            core2.push_back(c2.seconds);
            window1.push_back(w1.seconds);
            window2.push_back(w2.seconds);
            windowOverCore.push_back(w1.seconds / c1.seconds);
            growth.push_back(w2.seconds / w1.seconds);
        }
        fs::remove_all(target);

        const std::string n = std::to_string(entries), n2 = std::to_string(2 * entries);
        const double w1 = Median(window1);
        PrintRow("3", "window, " + n + " entries, wall", Fixed(w1, 2) + " s");
        PrintRow("3", "window, files per second", Fixed(entries / w1, 0));
        PrintRow(
            "3", "core without window, " + n + " entries, wall",
            Fixed(Median(core1), 2) + " s (" + Fixed(entries / Median(core1), 0) + " files/s)");
        const double overhead = Median(windowOverCore);
        PrintRow("3", "window / core, " + n + " entries", Fixed(overhead, 2), "<= 1.15",
                 AtMost(overhead, 1.15));
        PrintRow("3", "window, " + n2 + " entries, wall", Fixed(Median(window2), 2) + " s");
        const double grown = Median(growth);
        PrintRow("3", "window " + n2 + " / " + n + " entries", Fixed(grown, 2), "<= 2.1",
                 AtMost(grown, 2.1));
        PrintRow("3", "core " + n2 + " / " + n + " entries",
                 Fixed(Median(core2) / Median(core1), 2));
        PrintRow("3", "log box lines kept (window = core, byte for byte)",
                 std::to_string(6 * entries) + " and " + std::to_string(12 * entries), "all",
                 "met");
        PrintRow("3", "log box paints during an " + n + "-entry run; view at the last line",
                 std::to_string(paintsPerRun) + "; " + (following ? "yes" : "no"));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "kqc-bench-batch: %s\n", e.what());
        return 1;
    }
    return 0;
}
