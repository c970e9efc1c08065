#pragma once

#include "client/run_values.h"

#include <string>
#include <string_view>

namespace kqc {

struct Form1Controls;

// The main window's text fields, by name.
enum class Field {
    txtTranscoderURLPort,
    txtLocalIP,
    txtURL,
    txtSourceFilenames,
    txtSourceDir,
    cmbSource_Format,
    cmbTarget_Format,
    cmbTarget_Codec,
    cmbTarget_BitRate,
    cmbTarget_SamplingRate,
    cmbTarget_Channels,
    txtTargetDir,
};

// The main window's fields as text, and as the values a run takes.
class Form1Fields {
public:
    explicit Form1Fields(const Form1Controls& controls);

    // UTF-8 text of a field; for a combo box the text in its edit field.
    std::string text(Field field) const;
    void setText(Field field, std::string_view text);
    // Value of radURL: URL mode when selected, file-system mode otherwise.
    bool urlModeSelected() const;
    std::string outputLogText() const;

    // Everything a run reads, at this moment. "Debug To File" counts only when ticked, not greyed.
    RunValues runValues() const;
    // Shows values in the fields, the mode first: the handlers of the option pair run as for a
    // click. A combo box picks the item of that text where it has one.
    void fill(const RunValues& values);

private:
    const Form1Controls& m_controls;
};

}  // namespace kqc
