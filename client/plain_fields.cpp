#include "client/plain_fields.h"

#include "client/defaults.h"

namespace kqc {

PlainFields::PlainFields()
    : m_texts{{Field::txtTranscoderURLPort, DefaultEndpoint()},
              {Field::txtSourceDir, DefaultSourceDir()},
              {Field::cmbSource_Format, "mp3"},
              {Field::cmbTarget_Format, "mp4"},
              {Field::cmbTarget_Codec, "aac"},
              {Field::cmbTarget_BitRate, "16000"},
              {Field::cmbTarget_SamplingRate, "22050"},
              {Field::cmbTarget_Channels, "Mono"},
              {Field::txtTargetDir, DefaultTargetDir()}} {}

std::string PlainFields::text(Field field) const {
    auto it = m_texts.find(field);
    return it == m_texts.end() ? std::string() : it->second;
}

void PlainFields::setText(Field field, std::string_view text) { m_texts[field] = text; }

bool PlainFields::isEnabled(Button button) const {
    auto it = m_enabled.find(button);
    return it == m_enabled.end() || it->second;
}

void PlainFields::setEnabled(Button button, bool enabled) { m_enabled[button] = enabled; }

void PlainFields::showFinishedNotice(std::string_view text) {
    m_notices.emplace_back(text);
    if (onNotice) onNotice();
}

}  // namespace kqc
