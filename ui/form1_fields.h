#pragma once

#include "client/form_fields.h"

#include <string>
#include <string_view>

class QWidget;

namespace kqc {

struct Form1Controls;

// The main window's live controls as the transcoding client and the activity log see them.
class Form1Fields : public FormFields {
public:
    Form1Fields(QWidget& form, const Form1Controls& controls);

    std::string text(Field field) const override;
    void setText(Field field, std::string_view text) override;
    bool urlModeSelected() const override;
    bool isEnabled(Button button) const override;
    void setEnabled(Button button, bool enabled) override;
    void showFinishedNotice(std::string_view text) override;

    std::string outputLogText() const override;
    void setOutputLogText(std::string_view text) override;
    void appendOutputLog(std::string_view text) override;
    int debugValue() const override;
    void refresh() override;

private:
    QWidget& m_form;
    const Form1Controls& m_controls;
};

}  // namespace kqc
