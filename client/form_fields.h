#pragma once

#include "log/log_fields.h"

#include <string>
#include <string_view>

namespace kqc {

// The text fields of the main window that the transcoding client reads or writes.
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

enum class Button { cmdTranscode, cmdFileSelect, cmdClear, cmdCodecInfo };

// The main window as the transcoding client sees it. The window binds it to its widgets; tests
// and benchmarks use PlainFields. Every value is read at the moment of use.
class FormFields : public LogFields {
public:
    // UTF-8 text of a field; for a combo box the text in its edit field.
    virtual std::string text(Field field) const = 0;
    virtual void setText(Field field, std::string_view text) = 0;

    // Value of radURL: URL mode when selected, file-system mode otherwise.
    virtual bool urlModeSelected() const = 0;

    virtual bool isEnabled(Button button) const = 0;
    virtual void setEnabled(Button button, bool enabled) = 0;

    // A modal information box titled "KorvaneQuorraClient" with one OK button; returns once it
    // is closed.
    virtual void showFinishedNotice(std::string_view text) = 0;
};

}  // namespace kqc
