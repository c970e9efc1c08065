#include "ui/form1_fields.h"

#include "client/defaults.h"
#include "ui/form1_controls.h"
#include "ui/text_area.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>

#include <exception>

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

QPushButton* buttonOf(const Form1Controls& c, Button button) {
    switch (button) {
        case Button::cmdTranscode:
            return c.cmdTranscode;
        case Button::cmdFileSelect:
            return c.cmdFileSelect;
        case Button::cmdClear:
            return c.cmdClear;
        case Button::cmdCodecInfo:
            return c.cmdCodecInfo;
    }
    return nullptr;
}

}  // namespace

Form1Fields::Form1Fields(QWidget& form, const Form1Controls& controls)
    : m_form(form), m_controls(controls) {}

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

bool Form1Fields::isEnabled(Button button) const {
    return buttonOf(m_controls, button)->isEnabled();
}

void Form1Fields::setEnabled(Button button, bool enabled) {
    buttonOf(m_controls, button)->setEnabled(enabled);
}

void Form1Fields::showFinishedNotice(std::string_view text) {
    refresh();
    QMessageBox notice(QMessageBox::Information, fromUtf8(kProgramName), fromUtf8(text),
                       QMessageBox::Ok, &m_form);
    notice.exec();
}

std::string Form1Fields::outputLogText() const {
    return m_controls.txtOutputLog->text();
}

void Form1Fields::setOutputLogText(std::string_view text) {
    m_controls.txtOutputLog->setText(text);
}

void Form1Fields::appendOutputLog(std::string_view text) {
    m_controls.txtOutputLog->append(text);
}

int Form1Fields::debugValue() const {
    switch (m_controls.chkDebug->checkState()) {
        case Qt::Unchecked:
            return 0;
        case Qt::Checked:
            return 1;
        case Qt::PartiallyChecked:
            return 2;
    }
    return 0;
}

void Form1Fields::refresh() {
    m_controls.txtOutputLog->repaint();
}

}  // namespace kqc
