#pragma once

#include "client/form_fields.h"

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace kqc {

// The main window's fields as a plain set of values, starting with the window's initial
// contents. It records the notices shown and counts repaints.
class PlainFields : public FormFields {
public:
    PlainFields();

    std::string text(Field field) const override;
    void setText(Field field, std::string_view text) override;
    bool urlModeSelected() const override { return m_urlMode; }
    bool isEnabled(Button button) const override;
    void setEnabled(Button button, bool enabled) override;
    void showFinishedNotice(std::string_view text) override;

    std::string outputLogText() const override { return m_outputLog; }
    void setOutputLogText(std::string_view text) override { m_outputLog = text; }
    void appendOutputLog(std::string_view text) override { m_outputLog += text; }
    int debugValue() const override { return m_debug; }
    void refresh() override { ++m_refreshCount; }

    void setUrlMode(bool urlMode) { m_urlMode = urlMode; }
    void setDebugValue(int value) { m_debug = value; }
    const std::vector<std::string>& notices() const { return m_notices; }
    int refreshCount() const { return m_refreshCount; }
    // Called from showFinishedNotice, for tests that look at the fields while the box is up.
    std::function<void()> onNotice;

private:
    std::map<Field, std::string> m_texts;
    std::map<Button, bool> m_enabled;
    std::string m_outputLog;
    std::vector<std::string> m_notices;
    bool m_urlMode = true;
    int m_debug = 0;
    int m_refreshCount = 0;
};

}  // namespace kqc
