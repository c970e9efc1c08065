#pragma once

#include "client/plain_fields.h"

#include <QObject>

#include <mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kqc {

// The main window's fields as the run thread sees them: the values the window held at the
// click, which are its values all along, since user input waits until the run has ended. What
// the run writes (log lines, the URL field's added "/") is handed to the window's thread, which
// shows it when it next turns its event loop, many lines at a time when they come quickly.
class RunFields : public PlainFields {
public:
    // On the window's thread.
    explicit RunFields(FormFields& window);

    void setText(Field field, std::string_view text) override;
    void appendOutputLog(std::string_view text) override;
    void refresh() override {}

    // On the window's thread: shows what the run has written so far.
    void showWritten();

private:
    void post();

    FormFields& m_window;
    QObject m_receiver;  // lives on the window's thread; takes the posted calls
    std::mutex m_mutex;
    std::string m_log;
    std::vector<std::pair<Field, std::string>> m_texts;
    bool m_posted = false;
};

}  // namespace kqc
