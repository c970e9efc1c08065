#include "ui/form1_fields.h"

#include "ui/form1_controls.h"
#include "ui/text_area.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QRadioButton>

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

RunValues Form1Fields::runValues() const {
    RunValues values;
    values.endpoint = text(Field::txtTranscoderURLPort);
    values.urlMode = urlModeSelected();
    values.webServerUrl = text(Field::txtURL);
    values.fileList = text(Field::txtSourceFilenames);
    values.sourceDir = text(Field::txtSourceDir);
    values.sourceFormat = text(Field::cmbSource_Format);
    values.target = {text(Field::cmbTarget_Format), text(Field::cmbTarget_Codec),
                     text(Field::cmbTarget_BitRate), text(Field::cmbTarget_SamplingRate),
                     text(Field::cmbTarget_Channels)};
    values.targetDir = text(Field::txtTargetDir);
    values.debugToFile = m_controls.chkDebug->checkState() == Qt::Checked;
    return values;
}

}  // namespace kqc
