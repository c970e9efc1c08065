#include "ui/window_settings.h"

#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>
#include <QWidget>

#include <optional>

namespace kqc {

namespace {

using TextOf = std::string& (*)(RunValues&);

struct TextKey {
    const char* key;
    TextOf text;
    bool folder = false;  // used only while it names an existing folder
};

const TextKey kTextKeys[] = {
    {"Service/Endpoint", [](RunValues& v) -> std::string& { return v.endpoint; }},
    {"Source/WebServerUrl", [](RunValues& v) -> std::string& { return v.webServerUrl; }},
    {"Source/FileList", [](RunValues& v) -> std::string& { return v.fileList; }},
    {"Source/Directory", [](RunValues& v) -> std::string& { return v.sourceDir; }, true},
    {"Source/Format", [](RunValues& v) -> std::string& { return v.sourceFormat; }},
    {"Target/Format", [](RunValues& v) -> std::string& { return v.target.format; }},
    {"Target/Codec", [](RunValues& v) -> std::string& { return v.target.codec; }},
    {"Target/BitRate", [](RunValues& v) -> std::string& { return v.target.bitRate; }},
    {"Target/SamplingRate", [](RunValues& v) -> std::string& { return v.target.samplingRate; }},
    {"Target/Channels", [](RunValues& v) -> std::string& { return v.target.channels; }},
    {"Target/Directory", [](RunValues& v) -> std::string& { return v.targetDir; }, true},
};

struct WordPair {
    const char* key;
    const char* yes;
    const char* no;
};

constexpr WordPair kMode{"Source/Mode", "URL", "Directory"};
constexpr WordPair kDebug{"Service/DebugToFile", "true", "false"};
constexpr char kPositionKey[] = "Window/Geometry";

// A value written as text; a list (a comma outside quotes) or any other kind counts as missing.
std::optional<QString> textAt(const QSettings& settings, const char* key) {
    const QVariant value = settings.value(QString::fromLatin1(key));
    if (value.typeId() != QMetaType::QString) return std::nullopt;
    return value.toString();
}

void readWord(const QSettings& settings, const WordPair& pair, bool& value) {
    const auto text = textAt(settings, pair.key);
    if (text == QLatin1String(pair.yes)) value = true;
    if (text == QLatin1String(pair.no)) value = false;
}

void writeWord(QSettings& settings, const WordPair& pair, bool value) {
    settings.setValue(QString::fromLatin1(pair.key),
                      QString::fromLatin1(value ? pair.yes : pair.no));
}

}  // namespace

QString WindowSettingsPath() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/KorvaneQuorraClient/KorvaneQuorraClient.ini");
}

RunValues RememberedRunValues(const QString& file, RunValues defaults) {
    const QSettings settings(file, QSettings::IniFormat);
    for (const TextKey& key : kTextKeys) {
        const auto text = textAt(settings, key.key);
        if (text && (!key.folder || QFileInfo(*text).isDir()))
            key.text(defaults) = text->toStdString();
    }
    readWord(settings, kMode, defaults.urlMode);
    readWord(settings, kDebug, defaults.debugToFile);
    return defaults;
}

bool RestoreWindowPosition(const QString& file, QWidget& window) {
    const QSettings settings(file, QSettings::IniFormat);
    return window.restoreGeometry(settings.value(QString::fromLatin1(kPositionKey)).toByteArray());
}

// QSettings writes through QSaveFile: a new file beside the old one, renamed over it once whole.
void RememberWindow(const QString& file, const RunValues& values, const QWidget& window) {
    QSettings settings(file, QSettings::IniFormat);
    RunValues written = values;
    for (const TextKey& key : kTextKeys)
        settings.setValue(QString::fromLatin1(key.key), QString::fromStdString(key.text(written)));
    writeWord(settings, kMode, values.urlMode);
    writeWord(settings, kDebug, values.debugToFile);
    settings.setValue(QString::fromLatin1(kPositionKey), window.saveGeometry());
    settings.sync();
}

}  // namespace kqc
