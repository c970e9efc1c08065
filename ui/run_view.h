#pragma once

#include "client/run_values.h"

#include <QElapsedTimer>
#include <QString>
#include <QTimer>

#include <atomic>
#include <cstddef>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

class QLineEdit;
class QWidget;

namespace kqc {

class TextArea;

// What the run thread shows, on its way to the window: lines, the URL field's change and how far
// the run is wait here until the window's thread takes them, once a display frame. A person sees
// no more, and thousands of quick lines cost a few dozen redraws instead of one each.
class RunView : public RunSink {
public:
    // On the window's thread, which then shows what the run writes while its event loop turns.
    RunView(TextArea& logBox, QLineEdit& urlField, QWidget& window);

    void showLine(std::string_view line) override;
    void webServerUrlChanged(std::string_view url) override;
    void sourcesFound(std::size_t total) override;
    void sourceDone(FileOutcome outcome, std::string_view heldLines) override;

    // On the window's thread: shows what the run has written so far, and in the window's title
    // the source under way as "3 of 40" with how to stop, in front of the title it had.
    void showWritten();
    std::size_t saved() const { return m_saved; }
    std::size_t notSaved() const { return m_notSaved; }

private:
    TextArea& m_logBox;
    QLineEdit& m_urlField;
    QWidget& m_window;
    const QString m_title;
    QTimer m_frame;
    QElapsedTimer m_titleShown;
    std::mutex m_mutex;
    std::string m_lines;  // as the box adds them: CR LF before each line
    std::optional<std::string> m_url;
    std::atomic<std::size_t> m_total = 0;
    std::atomic<std::size_t> m_saved = 0;
    std::atomic<std::size_t> m_notSaved = 0;
};

}  // namespace kqc
