#include "ui/form1.h"

#include "client/defaults.h"
#include "client/stop_signal.h"
#include "client/transcode_run.h"
#include "log/activity_log.h"
#include "media/folder_listing.h"
#include "ui/combo_accessibility.h"
#include "ui/dir_list.h"
#include "ui/drive_list.h"
#include "ui/drop_targets.h"
#include "ui/form1_fields.h"
#include "ui/form2.h"
#include "ui/local_ip.h"
#include "ui/run_end_notice.h"
#include "ui/run_view.h"
#include "ui/sleep_inhibitor.h"
#include "ui/taskbar_hint.h"
#include "ui/text_area.h"
#include "ui/window_settings.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QEventLoop>
#include <QInputEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QShowEvent>
#include <QWindow>

#include <atomic>
#include <exception>
#include <string>
#include <thread>

namespace kqc {

namespace {

const QString kTitle = QStringLiteral("Korvane Quorra Client - Audio Transcoding");

}  // namespace

Form1::Form1(QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint |
                          Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      m_debugLogPath(DefaultDebugLogPath()),
      m_runEndNotice(new RunEndNotice(this)) {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(kTitle);
    setFixedSize(862, 525);
    AnnounceComboBoxNames();
    CreateForm1Controls(this, m_controls);
    m_fields = std::make_unique<Form1Fields>(m_controls);
    m_drive = m_controls.DriveBox->drive();
    connectHandlers();
    keepOptionGroupOneTabStop();
    hideToolTipsWhileDisabled();
    new DropTargets(m_controls, *this);
    m_controls.cmbSource_Format->setFocus();
    Form_Load();
}

Form1::~Form1() = default;

Form1Fields& Form1::fields() {
    return *m_fields;
}

void Form1::connectHandlers() {
    const Form1Controls& c = m_controls;
    // An option button's Click comes when it becomes the selected one of the pair.
    connect(c.radURL, &QRadioButton::toggled, this, [this](bool on) {
        if (on) radURL_Click();
    });
    connect(c.radFileSystem, &QRadioButton::toggled, this, [this](bool on) {
        if (on) radFileSystem_Click();
    });
    connect(c.DriveBox, &DriveList::changed, this, &Form1::DriveBox_Change);
    connect(c.DirBox, &DirList::changed, this, &Form1::DirBox_Change);
    connect(c.DirBox, &DirList::openFailed, this, [this](const QString& dir) {
        showProblem(tr("The directory %1 cannot be opened.").arg(QDir::toNativeSeparators(dir)));
    });
    connect(c.cmdFileSelect, &QPushButton::clicked, this, &Form1::cmdFileSelect_Click);
    connect(c.cmdClear, &QPushButton::clicked, this, &Form1::cmdClear_Click);
    connect(c.cmdCodecInfo, &QPushButton::clicked, this, &Form1::cmdCodecInfo_Click);
    connect(c.cmdTranscode, &QPushButton::clicked, this, &Form1::cmdTranscode_Click);
}

// Tab stops at the selected option button only; the arrow keys move between the two.
void Form1::keepOptionGroupOneTabStop() {
    auto update = [this] {
        for (QRadioButton* option : {m_controls.radURL, m_controls.radFileSystem})
            option->setFocusPolicy(option->isChecked() ? Qt::StrongFocus : Qt::ClickFocus);
    };
    connect(m_controls.radURL, &QRadioButton::toggled, this, update);
    update();
}

// Qt shows a disabled control's tooltip; here a disabled control shows none, so the file list's
// never shows and the list buttons' only while they are enabled.
void Form1::hideToolTipsWhileDisabled() {
    for (QWidget* child : findChildren<QWidget*>())
        if (!child->toolTip().isEmpty()) child->installEventFilter(this);
}

bool Form1::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::ToolTip) {
        auto* widget = qobject_cast<QWidget*>(watched);
        if (widget && !widget->isEnabled()) return true;
    }
    return QWidget::eventFilter(watched, event);
}

// The fields start at RunValues' defaults, with the web server URL made from the local address.
void Form1::Form_Load() {
    const QString address = LocalIPAddress();
    m_controls.txtLocalIP->setText(address);
    RunValues start;
    start.webServerUrl = (QStringLiteral("http://") + address + QStringLiteral("/")).toStdString();
    m_fields->fill(start);
    m_controls.cmdFileSelect->setEnabled(false);
    m_controls.cmdClear->setEnabled(false);
}

void Form1::rememberSettingsIn(const QString& file) {
    m_fields->fill(RememberedRunValues(file, m_fields->runValues()));
    RestoreWindowPosition(file, *this);
    m_settingsFile = file;
}

void Form1::rememberSettings() {
    if (!m_settingsFile.isEmpty()) RememberWindow(m_settingsFile, m_fields->runValues(), *this);
}

void Form1::radURL_Click() {
    const bool selected = m_controls.radURL->isChecked();
    m_controls.cmdFileSelect->setEnabled(!selected);
    m_controls.cmdClear->setEnabled(!selected);
    if (selected) m_controls.txtSourceFilenames->setText("");
}

void Form1::radFileSystem_Click() {
    const bool selected = m_controls.radFileSystem->isChecked();
    m_controls.cmdFileSelect->setEnabled(selected);
    m_controls.cmdClear->setEnabled(selected);
}

// A drive that cannot be read leaves both lists where they were.
void Form1::DriveBox_Change() {
    const QString drive = m_controls.DriveBox->drive();
    if (!m_controls.DirBox->setPath(drive)) {
        m_controls.DriveBox->setDrive(m_drive);
        showProblem(tr("The drive %1 cannot be read.").arg(QDir::toNativeSeparators(drive)));
        return;
    }
    m_drive = drive;
}

void Form1::DirBox_Change() {
    m_controls.txtSourceDir->setText(QDir::toNativeSeparators(m_controls.DirBox->path()));
}

// Import from Dir: the matching plain files of the directory shown in DirBox (not the one typed
// into txtSourceDir), in listing order, one name per line.
void Form1::cmdFileSelect_Click() {
    m_controls.txtSourceFilenames->setText("");
    const QString dir = m_controls.DirBox->path();
    const auto files = ListPlainFiles(dir.toUtf8().toStdString());
    if (!files) {
        showProblem(tr("The directory %1 cannot be listed.").arg(QDir::toNativeSeparators(dir)));
        return;
    }
    const std::string filter = m_controls.cmbSource_Format->currentText().toUtf8().toStdString();
    std::string list;
    for (const FolderFile& file : *files) {
        if (!NameMatchesFilter(file.name, filter)) continue;
        if (!list.empty()) list += "\r\n";
        list += file.name;
    }
    m_controls.txtSourceFilenames->setText(list);
}

void Form1::cmdClear_Click() {
    m_controls.txtSourceFilenames->setText("");
}

// Opens the codec information window once that window is part of the program.
void Form1::cmdCodecInfo_Click() { Form2::showSingleInstance(); }

namespace {

// While a run lasts, the user's clicks and keys never reach a window: they are dropped, and Esc
// pressed in the main window stops the run. Everything else goes on, painting, timers and a
// close from the window system among it.
class UserInputHold : public QObject {
public:
    UserInputHold(const QWidget& window, StopSignal& stop) : m_window(window), m_stop(stop) {
        qApp->installEventFilter(this);
    }
    ~UserInputHold() override { qApp->removeEventFilter(this); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        switch (event->type()) {
            case QEvent::KeyPress:
                if (static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape && inWindow(watched))
                    m_stop.request(true);
                return true;
            case QEvent::Shortcut:
            case QEvent::ShortcutOverride:
            case QEvent::InputMethod:
            case QEvent::DragEnter:
            case QEvent::DragMove:
            case QEvent::Drop:
                return true;
            default:
                return dynamic_cast<QInputEvent*>(event) != nullptr;
        }
    }

private:
    // A key goes to the window's QWindow first, then to the widget with the focus.
    bool inWindow(QObject* watched) const {
        if (auto* widget = qobject_cast<QWidget*>(watched)) return widget->window() == &m_window;
        return watched == m_window.windowHandle();
    }

    const QWidget& m_window;
    StopSignal& m_stop;
};

}  // namespace

// The run goes over the sources on a thread of its own; this thread shows what it logs and keeps
// painting, serving timers and taking a close or Esc, while the user's other input is dropped.
// The system does not suspend on idle meanwhile.
void Form1::cmdTranscode_Click() {
    if (m_running) return;
    m_running = true;
    const Form1Controls& c = m_controls;
    c.txtOutputLog->setText("");
    c.cmdTranscode->setEnabled(false);
    c.cmdFileSelect->setEnabled(false);
    RunValues values = m_fields->runValues();
    values.debugLogPath = m_debugLogPath;
    rememberSettings();
    StopSignal stop;
    RunView view(*c.txtOutputLog, *c.txtURL, *this);
    QEventLoop loop;
    bool ran = false;
    try {
        SleepInhibitor awake;
        std::atomic<bool> ended = false;
        std::thread run([&] {
            try {
                TranscodeRun(values, view, &stop);
            } catch (...) {
            }
            ended = true;
            QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
        });
        m_stop = &stop;
        {
            UserInputHold hold(*this, stop);
            loop.exec();
        }
        // The program is quitting when the loop ended before the run did.
        if (!ended) stop.request();
        run.join();
        m_stop = nullptr;
        ran = true;
    } catch (const std::exception& error) {
        // No thread to be had: nothing has run, and the window stays usable.
        showProblem(tr("The transcode run could not start: %1").arg(QString::fromUtf8(error.what())));
    }
    view.showWritten();
    setWindowTitle(kTitle);
    // A stop without its line is a close: the window is going.
    if (!stop.requested() || stop.sayInLog()) {
        if (ran && !stop.requested()) showFinished(view, QString::fromStdString(values.targetDir));
        c.cmdTranscode->setEnabled(true);
        c.cmdFileSelect->setEnabled(true);
    }
    m_running = false;
}

// A user away from the window also learns it from the desktop.
void Form1::showFinished(const RunView& view, const QString& targetDir) {
    if (!isActiveWindow()) {
        m_runEndNotice->show(view.saved(), view.notSaved(), targetDir);
        QApplication::alert(this);
    }
    const QString title = QString::fromUtf8(kProgramName.data(), qsizetype(kProgramName.size()));
    QMessageBox notice(QMessageBox::Information, title, QStringLiteral("Transcoding Finished."),
                       QMessageBox::Ok, this);
    notice.exec();
}

void Form1::showProblem(const QString& text) {
    const QString title = QString::fromUtf8(kProgramName.data(), qsizetype(kProgramName.size()));
    QMessageBox::warning(this, title, text);
}

void Form1::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    PaintForm1Outlines(painter, palette());
}

// A show the program asks for comes before the window is mapped: the moment to keep it out of the
// task bar. Shows the window system reports afterwards find the state already set.
void Form1::showEvent(QShowEvent* event) {
    if (!event->spontaneous()) KeepOutOfTaskBar(*this);
    QWidget::showEvent(event);
}

// A close during the run abandons it and closes the window at once; the run's thread ends as
// soon as it sees the stop (a service call is woken). While the closing notice is up, the run
// waits for it to be closed.
void Form1::closeEvent(QCloseEvent* event) {
    if (m_stop) {
        m_stop->request();
    } else if (m_running) {
        event->ignore();
        return;
    }
    rememberSettings();
    event->accept();
}

}  // namespace kqc
