#pragma once

#include <string>
#include <string_view>

namespace kqc {

// The part of the main window that the activity log touches: the output log box, the
// "Debug To File" check box and the immediate repaint.
class LogFields {
public:
    virtual ~LogFields() = default;

    // Text of txtOutputLog, UTF-8, lines separated by CR LF.
    virtual std::string outputLogText() const = 0;
    virtual void setOutputLogText(std::string_view text) = 0;
    // Adds text at the end of txtOutputLog; costs time in proportion to text, not to the log.
    virtual void appendOutputLog(std::string_view text) = 0;

    // Value of chkDebug: 0 unchecked, 1 checked, 2 greyed.
    virtual int debugValue() const = 0;

    // Redraws the window now, so that a new line shows while a run keeps the thread busy.
    virtual void refresh() = 0;
};

}  // namespace kqc
