#pragma once

#include "ui/form1_controls.h"

#include <QString>
#include <QWidget>

#include <filesystem>
#include <memory>

namespace kqc {

class Form1Fields;
class RunEndNotice;
class RunView;
class StopSignal;

// The main window: the service strip, the Source and Target panels and the output log box.
// "Transcode Now!" runs the transcode run on the live controls; Esc stops it.
class Form1 : public QWidget {
    Q_OBJECT
public:
    explicit Form1(QWidget* parent = nullptr);
    ~Form1() override;

    const Form1Controls& controls() const { return m_controls; }
    Form1Fields& fields();
    bool isRunning() const { return m_running; }
    // Fills the window from the settings remembered in file, and from now on remembers them
    // there when a run starts and when the window closes.
    void rememberSettingsIn(const QString& file);

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Form_Load();
    void radURL_Click();
    void radFileSystem_Click();
    void DriveBox_Change();
    void DirBox_Change();
    void cmdFileSelect_Click();
    void cmdClear_Click();
    void cmdCodecInfo_Click();
    void cmdTranscode_Click();

    void connectHandlers();
    void keepOptionGroupOneTabStop();
    void hideToolTipsWhileDisabled();
    void showProblem(const QString& text);
    void showFinished(const RunView& view, const QString& targetDir);
    void rememberSettings();

    Form1Controls m_controls;
    std::unique_ptr<Form1Fields> m_fields;
    std::filesystem::path m_debugLogPath;
    QString m_drive;
    QString m_settingsFile;  // empty while nothing is remembered
    RunEndNotice* m_runEndNotice;
    bool m_running = false;
    StopSignal* m_stop = nullptr;  // the run's, while its thread runs
};

}  // namespace kqc
