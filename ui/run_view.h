#pragma once

#include "client/run_values.h"

#include <QTimer>

#include <mutex>
#include <optional>
#include <string>
#include <string_view>

class QLineEdit;

namespace kqc {

class TextArea;

// What the run thread shows, on its way to the window: lines and the URL field's change wait here
// until the window's thread takes them, once a display frame. A person sees no more, and
// thousands of quick lines cost a few dozen redraws instead of one each.
class RunView : public RunSink {
public:
    // On the window's thread, which then shows what the run writes while its event loop turns.
    RunView(TextArea& logBox, QLineEdit& urlField);

    void showLine(std::string_view line) override;
    void webServerUrlChanged(std::string_view url) override;

    // On the window's thread: shows what the run has written so far.
    void showWritten();

private:
    TextArea& m_logBox;
    QLineEdit& m_urlField;
    QTimer m_frame;
    std::mutex m_mutex;
    std::string m_lines;  // as the box adds them: CR LF before each line
    std::optional<std::string> m_url;
};

}  // namespace kqc
