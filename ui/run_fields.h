#pragma once

#include "client/plain_fields.h"

#include <QTimer>

#include <mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kqc {

// The main window's fields as the run thread sees them: the values the window held at the
// click, which are its values all along, since user input waits until the run has ended. What
// the run writes (log lines, the URL field's added "/") waits here until the window's thread
// takes it, once a display frame: a person sees no more, and thousands of quick lines cost a
// few dozen redraws instead of one each.
class RunFields : public PlainFields {
public:
    // On the window's thread, which then shows what the run writes while its event loop turns.
    explicit RunFields(FormFields& window);

    void setText(Field field, std::string_view text) override;
    void appendOutputLog(std::string_view text) override;
    void refresh() override {}

    // On the window's thread: shows what the run has written so far.
    void showWritten();

private:
    FormFields& m_window;
    QTimer m_frame;
    std::mutex m_mutex;
    std::string m_log;
    std::vector<std::pair<Field, std::string>> m_texts;
};

}  // namespace kqc
