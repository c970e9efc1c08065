#include "ui/form1_fields.h"

#include "ui/form1_controls.h"
#include "ui/text_area.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QRadioButton>

#include <utility>

namespace kqc {

namespace {

QString fromUtf8(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

std::string toUtf8(const QString& text) {
    return text.toUtf8().toStdString();
}

QLineEdit* lineEditOf(const Form1Controls& c, Field field) {
    switch (field) {
        case Field::txtTranscoderURLPort:
            return c.txtTranscoderURLPort;
        case Field::txtLocalIP:
            return c.txtLocalIP;
        case Field::txtURL:
            return c.txtURL;
        case Field::txtSourceDir:
            return c.txtSourceDir;
        case Field::txtTargetDir:
            return c.txtTargetDir;
        default:
            return nullptr;
    }
}

QComboBox* comboOf(const Form1Controls& c, Field field) {
    switch (field) {
        case Field::cmbSource_Format:
            return c.cmbSource_Format;
        case Field::cmbTarget_Format:
            return c.cmbTarget_Format;
        case Field::cmbTarget_Codec:
            return c.cmbTarget_Codec;
        case Field::cmbTarget_BitRate:
            return c.cmbTarget_BitRate;
        case Field::cmbTarget_SamplingRate:
            return c.cmbTarget_SamplingRate;
        case Field::cmbTarget_Channels:
            return c.cmbTarget_Channels;
        default:
            return nullptr;
    }
}

}  // namespace

Form1Fields::Form1Fields(const Form1Controls& controls) : m_controls(controls) {}

std::string Form1Fields::text(Field field) const {
    if (field == Field::txtSourceFilenames) return m_controls.txtSourceFilenames->text();
    if (QLineEdit* edit = lineEditOf(m_controls, field)) return toUtf8(edit->text());
    return toUtf8(comboOf(m_controls, field)->currentText());
}

void Form1Fields::setText(Field field, std::string_view text) {
    if (field == Field::txtSourceFilenames) return m_controls.txtSourceFilenames->setText(text);
    if (QLineEdit* edit = lineEditOf(m_controls, field)) return edit->setText(fromUtf8(text));
    comboOf(m_controls, field)->setEditText(fromUtf8(text));
}

bool Form1Fields::urlModeSelected() const {
    return m_controls.radURL->isChecked();
}

std::string Form1Fields::outputLogText() const {
    return m_controls.txtOutputLog->text();
}

void Form1Fields::fill(const RunValues& values) {
    (values.urlMode ? m_controls.radURL : m_controls.radFileSystem)->setChecked(true);
    const std::pair<Field, const std::string&> texts[] = {
        {Field::txtTranscoderURLPort, values.endpoint},
        {Field::txtURL, values.webServerUrl},
        {Field::txtSourceFilenames, values.fileList},
        {Field::txtSourceDir, values.sourceDir},
        {Field::cmbSource_Format, values.sourceFormat},
        {Field::cmbTarget_Format, values.target.format},
        {Field::cmbTarget_Codec, values.target.codec},
        {Field::cmbTarget_BitRate, values.target.bitRate},
        {Field::cmbTarget_SamplingRate, values.target.samplingRate},
        {Field::cmbTarget_Channels, values.target.channels},
        {Field::txtTargetDir, values.targetDir},
    };
    for (const auto& [field, text] : texts) {
        if (QComboBox* box = comboOf(m_controls, field))
            box->setCurrentIndex(box->findText(fromUtf8(text)));
        setText(field, text);
        // A long value shows its beginning.
        if (QLineEdit* edit = lineEditOf(m_controls, field)) edit->setCursorPosition(0);
    }
    m_controls.chkDebug->setChecked(values.debugToFile);
}

RunValues Form1Fields::runValues() const {
    RunValues values;
    values.endpoint = text(Field::txtTranscoderURLPort);
    values.urlMode = urlModeSelected();
    values.webServerUrl = text(Field::txtURL);
    values.fileList = text(Field::txtSourceFilenames);
    values.sourceDir = text(Field::txtSourceDir);
    values.sourceFormat = text(Field::cmbSource_Format);
    values.target = {.format = text(Field::cmbTarget_Format),
                     .codec = text(Field::cmbTarget_Codec),
                     .bitRate = text(Field::cmbTarget_BitRate),
                     .samplingRate = text(Field::cmbTarget_SamplingRate),
                     .channels = text(Field::cmbTarget_Channels)};
    values.targetDir = text(Field::txtTargetDir);
    values.debugToFile = m_controls.chkDebug->checkState() == Qt::Checked;
    return values;
}

}  // namespace kqc
