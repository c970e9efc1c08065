#include "ui/run_fields.h"

namespace kqc {

namespace {

constexpr Field kAllFields[] = {
    Field::txtTranscoderURLPort, Field::txtLocalIP,        Field::txtURL,
    Field::txtSourceFilenames,   Field::txtSourceDir,      Field::cmbSource_Format,
    Field::cmbTarget_Format,     Field::cmbTarget_Codec,   Field::cmbTarget_BitRate,
    Field::cmbTarget_SamplingRate, Field::cmbTarget_Channels, Field::txtTargetDir,
};

}  // namespace

RunFields::RunFields(FormFields& window) : m_window(window) {
    for (Field field : kAllFields) PlainFields::setText(field, window.text(field));
    setUrlMode(window.urlModeSelected());
    setDebugValue(window.debugValue());
    QObject::connect(&m_frame, &QTimer::timeout, [this] { showWritten(); });
    m_frame.start(16);
}

void RunFields::setText(Field field, std::string_view text) {
    PlainFields::setText(field, text);
    std::lock_guard lock(m_mutex);
    m_texts.emplace_back(field, text);
}

void RunFields::appendOutputLog(std::string_view text) {
    PlainFields::appendOutputLog(text);
    std::lock_guard lock(m_mutex);
    m_log.append(text);
}

void RunFields::showWritten() {
    std::string log;
    std::vector<std::pair<Field, std::string>> texts;
    {
        std::lock_guard lock(m_mutex);
        log.swap(m_log);
        texts.swap(m_texts);
    }
    for (const auto& [field, text] : texts) m_window.setText(field, text);
    if (!log.empty()) m_window.appendOutputLog(log);
}

}  // namespace kqc
