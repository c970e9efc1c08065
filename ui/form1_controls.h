#pragma once

#include <array>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPainter;
class QPalette;
class QPushButton;
class QRadioButton;
class QWidget;

namespace kqc {

class DirList;
class DriveList;
class TextArea;

// Every control of the main window, by the name the rest of the program knows it by. The form owns
// them as its children.
struct Form1Controls {
    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    std::array<QLabel*, 2> Label3{};  // the "Source" and "Target" headings
    QLabel* Label4 = nullptr;
    QLabel* Label5 = nullptr;
    QLabel* Label6 = nullptr;
    QLabel* Label7 = nullptr;
    QLabel* Label8 = nullptr;
    QLabel* Label9 = nullptr;
    QLabel* Label10 = nullptr;
    QLabel* Label11 = nullptr;
    QLabel* Label12 = nullptr;
    QLabel* Label13 = nullptr;
    QLabel* Label14 = nullptr;
    QLabel* Label15 = nullptr;
    QLabel* Label16 = nullptr;
    QLabel* Label17 = nullptr;

    QLineEdit* txtTranscoderURLPort = nullptr;
    QLineEdit* txtLocalIP = nullptr;
    QLineEdit* txtURL = nullptr;
    QLineEdit* txtSourceDir = nullptr;
    QLineEdit* txtTargetDir = nullptr;
    TextArea* txtSourceFilenames = nullptr;
    TextArea* txtOutputLog = nullptr;

    QComboBox* cmbSource_Format = nullptr;
    QComboBox* cmbTarget_Format = nullptr;
    QComboBox* cmbTarget_Codec = nullptr;
    QComboBox* cmbTarget_BitRate = nullptr;
    QComboBox* cmbTarget_SamplingRate = nullptr;
    QComboBox* cmbTarget_Channels = nullptr;

    QRadioButton* radURL = nullptr;
    QRadioButton* radFileSystem = nullptr;
    QCheckBox* chkDebug = nullptr;
    DriveList* DriveBox = nullptr;
    DirList* DirBox = nullptr;

    QPushButton* cmdTranscode = nullptr;
    QPushButton* cmdFileSelect = nullptr;
    QPushButton* cmdClear = nullptr;
    QPushButton* cmdCodecInfo = nullptr;
};

// Creates every control on form at its place, with its font, captions and items, state, tooltip
// and keyboard order. The fields start empty and no option is selected: the window fills them
// from one RunValues (Form1Fields::fill).
void CreateForm1Controls(QWidget* form, Form1Controls& controls);

// The outlines of the four regions and the red bracket, drawn on the form's background.
void PaintForm1Outlines(QPainter& painter, const QPalette& palette);

}  // namespace kqc
