// Whole transcode runs started by clicks on the main window against a loopback service: the log
// box text byte for byte, the files written, the closing notice, the buttons and the window's
// life during the service call; Esc, and what a run tells the desktop.
#include "ui/form1_fields.h"
#include "media/folder_listing.h"
#include "support/loopback_server.h"
#include "support/temp_dir.h"
#include "test_form1_support.h"
#include "ui/dir_list.h"
#include "ui/form1.h"
#include "ui/text_area.h"
#include "ui/window_settings.h"

#include <gtest/gtest.h>
#include <QCheckBox>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusUnixFileDescriptor>
#include <QDBusVirtualObject>
#include <QDesktopServices>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTest>

#include <arpa/inet.h>
#include <poll.h>
#include <xcb/xcb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace kqc {
namespace {

namespace fs = std::filesystem;
using test::closeNextMessageBox;
using test::SeenBox;

constexpr char kPath[] = "/axis/services/MediaAdapter";
const std::string kSeparator(49, '-');
const std::string kTranscoded = "\x01\x02\x03";  // what "AQID" decodes to

std::string answer() {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?><soapenv:Envelope><soapenv:Body>"
           "<ns1:transcodeResponse><transcodeReturn>"
           "<fileData xsi:type=\"xsd:base64Binary\">AQID</fileData>"
           "<message xsi:type=\"xsd:string\">ok</message>"
           "<returnCode xsi:type=\"xsd:int\">0</returnCode>"
           "</transcodeReturn></ns1:transcodeResponse></soapenv:Body></soapenv:Envelope>";
}

class Form1Run : public ::testing::Test {
protected:
    void SetUp() override {
        server.server().Post(kPath,
                             [this](const httplib::Request& request, httplib::Response& response) {
                                 std::this_thread::sleep_for(serviceDelay);
                                 {
                                     std::lock_guard<std::mutex> lock(mutex);
                                     requests.push_back(request.body);
                                 }
                                 response.set_content(answer(), "text/xml; charset=utf-8");
                             });
        server.start();
        fs::create_directory(out.path() / "in");
        form.fields().setText(Field::txtTranscoderURLPort, server.url(kPath));
        form.fields().setText(Field::txtTargetDir, out.path().string());
        form.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    }

    fs::path source() const { return out.path() / "in"; }
    std::vector<std::string> matching(const std::string& filter) const {
        std::vector<std::string> names;
        const auto files = ListPlainFiles(source().string());
        for (const FolderFile& file : *files)
            if (NameMatchesFilter(file.name, filter)) names.push_back(file.name);
        return names;
    }
    std::string logText() const { return form.controls().txtOutputLog->text(); }
    std::string saved(const std::string& name) const {
        return "\r\nSaved transcoded file as " + (out.path() / name).string();
    }
    // Clicks "Transcode Now!" and closes the notice once it shows.
    void transcode(SeenBox& notice, std::function<void()> whileOpen = {}) {
        closeNextMessageBox(notice, std::move(whileOpen));
        QTest::mouseClick(form.controls().cmdTranscode, Qt::LeftButton);
        ASSERT_TRUE(notice.seen);
    }

    std::chrono::milliseconds serviceDelay{0};
    std::mutex mutex;
    std::vector<std::string> requests;
    test::LoopbackServer server;
    test::TempDir out;
    Form1 form;
};

// The first URL-mode run over the empty list does nothing but end; it leaves "Import from Dir"
// enabled, and the names it imports are the entries of the next run.
TEST_F(Form1Run, UrlModeRunsThroughImportedNames) {
    const Form1Controls& c = form.controls();
    for (const char* name : {"a.mp3", "track.live.mp3", "c.mp3", "d.mp3", "skip.wav"})
        test::writeBytes(source() / name, "source");
    const std::string base = "http://127.0.0.1:" + std::to_string(server.port()) + "/media";
    c.txtURL->setText(QString::fromStdString(base));
    c.txtOutputLog->setText("typed before the run");

    SeenBox first;
    transcode(first);
    EXPECT_EQ(logText(), "");
    EXPECT_TRUE(c.radURL->isChecked());
    EXPECT_TRUE(c.cmdFileSelect->isEnabled());
    EXPECT_FALSE(c.cmdClear->isEnabled());
    EXPECT_TRUE(requests.empty());

    ASSERT_TRUE(c.DirBox->setPath(QString::fromStdString(source().string())));
    QTest::mouseClick(c.cmdFileSelect, Qt::LeftButton);
    const std::vector<std::string> names = matching("mp3");
    ASSERT_EQ(names.size(), 4u);

    bool runningWhileOpen = false;
    bool buttonsDisabledWhileOpen = false;
    bool closedWhileOpen = true;
    SeenBox notice;
    transcode(notice, [&] {
        runningWhileOpen = form.isRunning();
        buttonsDisabledWhileOpen = !c.cmdTranscode->isEnabled() && !c.cmdFileSelect->isEnabled();
        closedWhileOpen = form.close();
    });

    EXPECT_EQ(notice.title, "KorvaneQuorraClient");
    EXPECT_EQ(notice.text, "Transcoding Finished.");
    EXPECT_EQ(notice.icon, QMessageBox::Information);
    EXPECT_EQ(notice.buttons, QMessageBox::Ok);
    EXPECT_TRUE(runningWhileOpen);
    EXPECT_TRUE(buttonsDisabledWhileOpen);
    EXPECT_FALSE(closedWhileOpen);
    EXPECT_TRUE(form.isVisible());

    EXPECT_EQ(c.txtURL->text().toStdString(), base + "/");
    std::string expected;
    for (const std::string& name : names) {
        const std::string output = name.substr(0, name.rfind('.')) + ".mp4";
        expected += "\r\nStarting on " + base + "//" + name +
                    "\r\nCreateSOAPRequestXML successfully\r\nPostXML successfullly" +
                    saved(output) + "\r\n" + kSeparator + "\r\n";
        EXPECT_EQ(test::readBytes(out.path() / output), kTranscoded) << output;
    }
    EXPECT_EQ(logText(), expected);
    ASSERT_EQ(requests.size(), names.size());
    for (size_t i = 0; i < names.size(); ++i)
        EXPECT_NE(requests[i].find("<location>" + base + "/" + names[i] + "</location>"),
                  std::string::npos);
    EXPECT_TRUE(fs::exists(out.path() / "track.live.mp4"));

    EXPECT_TRUE(c.cmdTranscode->isEnabled());
    EXPECT_TRUE(c.cmdFileSelect->isEnabled());
    EXPECT_FALSE(c.cmdClear->isEnabled());
    QScrollBar* bar = c.txtOutputLog->verticalScrollBar();
    EXPECT_GT(bar->maximum(), 0);
    EXPECT_EQ(bar->value(), bar->maximum()) << "the log follows its new lines";
    EXPECT_EQ(c.txtOutputLog->textCursor().position(), 0);
    EXPECT_TRUE(form.close());
}

TEST_F(Form1Run, FileSystemModeSendsTheMatchingFiles) {
    const Form1Controls& c = form.controls();
    test::writeBytes(source() / "Song.MP3", std::string("\0\xff\x80", 3));
    test::writeBytes(source() / "mp3list.txt", "list");
    test::writeBytes(source() / "other.wav", "wav");
    c.radFileSystem->click();
    c.txtSourceDir->setText(QString::fromStdString(source().string()));
    c.cmbTarget_Format->setEditText("wav");

    SeenBox notice;
    transcode(notice);

    std::string expected;
    for (const std::string& name : matching("mp3"))
        expected +=
            "\r\nStarting to Base64 Encode File\r\nCreateSOAPRequestXML successfully"
            "\r\nPostXML successfullly" +
            saved(name.substr(0, name.rfind('.')) + ".wav");
    EXPECT_EQ(logText(), expected);
    EXPECT_EQ(test::readBytes(out.path() / "Song.wav"), kTranscoded);
    EXPECT_EQ(test::readBytes(out.path() / "mp3list.wav"), kTranscoded);
    EXPECT_FALSE(fs::exists(out.path() / "other.wav"));
    ASSERT_EQ(requests.size(), 2u);
    bool songSent = false;
    for (const std::string& body : requests)
        songSent = songSent || body.find("<fileData>AP+A</fileData>") != std::string::npos;
    EXPECT_TRUE(songSent);
    EXPECT_TRUE(c.cmdTranscode->isEnabled());
    EXPECT_TRUE(c.cmdFileSelect->isEnabled());
    EXPECT_TRUE(c.cmdClear->isEnabled());
}

// While the service takes its time the window keeps serving its event loop (painting, timers);
// a close request then abandons the run and closes the window, without the notice or a line.
TEST_F(Form1Run, WindowStaysAliveDuringTheServiceCallAndClosesAtOnce) {
    serviceDelay = std::chrono::milliseconds(3000);
    form.fields().setText(Field::txtSourceFilenames, "slow.mp3\r\nnext.mp3");

    int ticksDuringRun = 0;
    bool closed = false;
    std::string logAtClose;
    QTimer ticker;
    ticker.setInterval(10);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        if (!form.isRunning() || closed || ++ticksDuringRun < 5) return;
        logAtClose = logText();
        closed = form.close();
    });
    ticker.start();
    SeenBox notice;
    closeNextMessageBox(notice);
    QTest::mouseClick(form.controls().cmdTranscode, Qt::LeftButton);
    ticker.stop();

    EXPECT_TRUE(closed);
    EXPECT_FALSE(form.isVisible());
    EXPECT_FALSE(form.isRunning());
    EXPECT_FALSE(notice.seen);
    EXPECT_EQ(logText(), logAtClose);
    EXPECT_NE(logAtClose.find("CreateSOAPRequestXML successfully"), std::string::npos) << logAtClose;
    EXPECT_EQ(logAtClose.find("next.mp3"), std::string::npos) << "the run goes no further";
}

struct FolderOpener : QObject {
    Q_OBJECT
public:
    Q_INVOKABLE void open(const QUrl& url) { opened = url; }
    QUrl opened;
};

// A service on a private bus, with a connection of its own so that calls go through the daemon.
struct FakeService : QDBusVirtualObject {
    FakeService(const char* busVariable, QString name, std::function<QVariantList()> reply)
        : bus(QDBusConnection::connectToBus(qEnvironmentVariable(busVariable), name)),
          reply(std::move(reply)) {
        bus.registerVirtualObject("/" + name.replace('.', '/'), this);
        bus.registerService(bus.name());
    }
    ~FakeService() override { QDBusConnection::disconnectFromBus(bus.name()); }
    QString introspect(const QString&) const override { return {}; }
    bool handleMessage(const QDBusMessage& call, const QDBusConnection& on) override {
        calls << call;
        return on.send(call.createReply(reply()));
    }

    QDBusConnection bus;
    std::function<QVariantList()> reply;
    QList<QDBusMessage> calls;
};

// What a run tells the desktop, with fakes on the private buses of CMakeLists.txt. One entry is
// saved after 1.5 s, one refused before it is sent (its target would leave the target folder).
class Form1Bus : public Form1Run {
protected:
    void SetUp() override {
        if (!qEnvironmentVariableIsSet("KQC_TEST_PRIVATE_BUSES")) GTEST_SKIP() << "private buses";
        form.rememberSettingsIn(WindowSettingsPath());
        Form1Run::SetUp();
        serviceDelay = std::chrono::milliseconds(1500);
        form.fields().setText(Field::txtSourceFilenames, "a.mp3\r\n../b.mp3");
    }
};

// Notify once, with the counts, when the run ends while another window is active, never while
// the main window is; its "Open Folder" action opens the target folder.
TEST_F(Form1Bus, NotifiesOnlyWhenAwayAndOpensTheFolder) {
    FakeService notifications("DBUS_SESSION_BUS_ADDRESS", "org.freedesktop.Notifications",
                              [] { return QVariantList{7u}; });
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
    SeenBox first, second;
    transcode(first);
    QWidget elsewhere;
    elsewhere.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&elsewhere));
    transcode(second);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !notifications.calls.isEmpty(); }));
    ASSERT_EQ(notifications.calls.size(), 1);
    EXPECT_EQ(notifications.calls[0].arguments().mid(3, 3),
              QVariantList({"Transcoding Finished.", "1 file saved, 1 not saved.",
                            QStringList{"open-folder", "Open Folder"}}));

    FolderOpener opener;
    QDesktopServices::setUrlHandler("file", &opener, "open");
    notifications.bus.send(QDBusMessage::createSignal("/org/freedesktop/Notifications",
                                                      "org.freedesktop.Notifications",
                                                      "ActionInvoked")
                           << 7u << QString("open-folder"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return opener.opened.isValid(); }));
    EXPECT_EQ(opener.opened, QUrl::fromLocalFile(QString::fromStdString(out.path().string())));
    QDesktopServices::unsetUrlHandler("file");
}

// logind's lock (a pipe's write end) is held until the run ends or Esc stops it: within a second,
// no notice, the buttons back, the stop line last, nothing saved. The settings were remembered
// when the run started; the title counted the entries.
class Form1BusRun : public Form1Bus, public ::testing::WithParamInterface<bool> {};

TEST_P(Form1BusRun, HoldsTheSleepLockUntilItEndsOrEscStopsIt) {
    const bool esc = GetParam();
    int lock[2];
    ASSERT_EQ(::pipe(lock), 0);
    FakeService logind("DBUS_SYSTEM_BUS_ADDRESS", "org.freedesktop.login1", [&] {
        const QDBusUnixFileDescriptor given(lock[1]);
        ::close(lock[1]);
        return QVariantList{QVariant::fromValue(given)};
    });
    auto released = [&] {
        pollfd end{lock[0], POLLIN, 0};
        return ::poll(&end, 1, 0) == 1 && (end.revents & POLLHUP);
    };
    QString titleDuringRun;
    bool heldDuringRun = false;
    auto escAt = std::chrono::steady_clock::now();
    QTimer ticks;  // ten of them after the call, its answer has reached the window
    QObject::connect(&ticks, &QTimer::timeout, [&, count = 0]() mutable {
        if (logind.calls.isEmpty() || !form.isRunning() || ++count != 10) return;
        heldDuringRun = !released();
        titleDuringRun = form.windowTitle();
        escAt = std::chrono::steady_clock::now();
        if (esc) QTest::keyClick(form.windowHandle(), Qt::Key_Escape);
    });
    ticks.start(10);
    SeenBox notice;
    closeNextMessageBox(notice);
    QTest::mouseClick(form.controls().cmdTranscode, Qt::LeftButton);
    ASSERT_EQ(logind.calls.size(), 1);
    EXPECT_EQ(logind.calls.first().arguments(),
              QVariantList({"sleep:idle", "KorvaneQuorraClient", "Transcoding files", "block"}));
    EXPECT_TRUE(heldDuringRun);
    EXPECT_TRUE(QTest::qWaitFor(released));
    ::close(lock[0]);
    EXPECT_EQ(std::chrono::steady_clock::now() - escAt < std::chrono::seconds(1), esc);
    EXPECT_EQ(notice.seen, !esc);
    EXPECT_EQ(logText().ends_with("\r\nTranscoding stopped."), esc);
    EXPECT_EQ(fs::exists(out.path() / "a.mp4"), !esc);
    EXPECT_TRUE(form.isVisible() && form.controls().cmdTranscode->isEnabled());
    EXPECT_EQ(titleDuringRun, "1 of 2 (Esc to stop) - Korvane Quorra Client - Audio Transcoding");
    EXPECT_EQ(form.windowTitle(), "Korvane Quorra Client - Audio Transcoding");
    EXPECT_EQ(RememberedRunValues(WindowSettingsPath(), {}).endpoint, server.url(kPath));
}

INSTANTIATE_TEST_SUITE_P(Table, Form1BusRun, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Esc" : "Ended"; });

// An X server of its own (Xvfb) for the test; its display name, empty when there is none. Servers
// that other tests start at the same time pick displays too: the display is this server's once
// its lock file names this server's process.
std::string startXvfb(pid_t& server) {
    for (int attempt = 0; attempt < 8; ++attempt) {
        const int number = 100 + (getpid() + 97 * attempt) % 800;
        const std::string display = ":" + std::to_string(number);
        server = fork();
        if (server == 0) {
            execlp("Xvfb", "Xvfb", display.c_str(), "-nolisten", "tcp", nullptr);
            _exit(127);
        }
        const fs::path lock = "/tmp/.X" + std::to_string(number) + "-lock";
        for (int waited = 0; server > 0 && waited < 200; ++waited) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            if (waitpid(server, nullptr, WNOHANG) != 0) break;  // the display was taken
            xcb_connection_t* x = xcb_connect(display.c_str(), nullptr);
            const bool answers = !xcb_connection_has_error(x);
            xcb_disconnect(x);
            if (answers && fs::exists(lock) && std::stol(test::readBytes(lock)) == server)
                return display;
        }
        if (server > 0) kill(server, SIGTERM), waitpid(server, nullptr, 0);
    }
    return "";
}

// What the title-bar close and Alt+F4 make the window manager send: WM_DELETE_WINDOW.
void sendDeleteWindow(const std::string& display, uint32_t window) {
    xcb_connection_t* x = xcb_connect(display.c_str(), nullptr);
    auto atom = [x](const char* name) {
        xcb_intern_atom_reply_t* reply =
            xcb_intern_atom_reply(x, xcb_intern_atom(x, 0, uint16_t(strlen(name)), name), nullptr);
        const xcb_atom_t found = reply ? reply->atom : XCB_ATOM_NONE;
        free(reply);
        return found;
    };
    xcb_client_message_event_t event{};
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = window;
    event.type = atom("WM_PROTOCOLS");
    event.data.data32[0] = atom("WM_DELETE_WINDOW");
    xcb_send_event(x, 0, window, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&event));
    // A round trip, so that the server has sent the message on before this client goes.
    free(xcb_get_input_focus_reply(x, xcb_get_input_focus(x), nullptr));
    xcb_disconnect(x);
}

// A real client process on an X server, uploading a file to a service that accepts the
// connection and never reads or answers; the window system's close ends it within a second,
// with nothing saved and only whole entries in its debug file.
TEST(Form1Close, WindowSystemCloseEndsTheProcessWhileTheServiceIsSilent) {
    pid_t server = -1;
    const std::string display = startXvfb(server);
    if (display.empty()) GTEST_SKIP() << "no Xvfb here";
    test::TempDir dir;
    const int silent = ::socket(AF_INET, SOCK_STREAM, 0);  // listens; nobody ever accepts
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ASSERT_EQ(::bind(silent, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(silent, 8), 0);
    ASSERT_EQ(::getsockname(silent, reinterpret_cast<sockaddr*>(&address), &length), 0);
    const std::string endpoint = "http://127.0.0.1:" + std::to_string(ntohs(address.sin_port)) + kPath;
    fs::create_directory(dir / "src");
    test::writeBytes(dir / "src" / "big.mp3", std::string(size_t{32} << 20, 'b'));

    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        setenv("KQC_SILENT_ENDPOINT", endpoint.c_str(), 1);
        setenv("TMPDIR", dir.path().c_str(), 1);  // the debug log's folder
        setenv("DISPLAY", display.c_str(), 1);
        setenv("QT_QPA_PLATFORM", "xcb", 1);
        // On X11, Qt asks the session bus about accessibility, and libdbus leaks a buffer when
        // there is none; the leak check belongs to the in-process tests, not to this child.
        setenv("ASAN_OPTIONS", "detect_leaks=0", 1);
        execl("/proc/self/exe", "child", "--gtest_also_run_disabled_tests",
              "--gtest_filter=Form1Close.DISABLED_RunsUntilClosed", nullptr);
        _exit(127);
    }
    // The upload has begun once its connection waits to be accepted.
    pollfd pending{silent, POLLIN, 0};
    const bool uploading = ::poll(&pending, 1, 60000) == 1;
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    if (uploading) sendDeleteWindow(display, uint32_t(std::stoul(test::readBytes(dir / "window"))));
    int status = 0;
    int waited = 0;
    for (; waitpid(child, &status, WNOHANG) == 0; ++waited) {
        if (waited == 500) kill(child, SIGKILL);
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ::close(silent);
    kill(server, SIGTERM);
    waitpid(server, nullptr, 0);
    ASSERT_TRUE(uploading);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_LT(waited, 100) << "ten-millisecond waits before the process ended";
    EXPECT_TRUE(fs::is_empty(dir / "out"));
    const std::string debug = test::readBytes(dir / "KorvaneQuorraClient.log");
    const std::string start = "Starting to Base64 Encode File\r\n\r\nRequest Structure:\r\n";
    EXPECT_EQ(debug.substr(0, start.size()), start);
    EXPECT_TRUE(debug.ends_with("</soapenv:Envelope>\r\n\r\nCreateSOAPRequestXML successfully\r\n\r\n"))
        << debug.size();
}

TEST(Form1Close, DISABLED_RunsUntilClosed) {
    const fs::path dir = fs::temp_directory_path();
    fs::create_directory(dir / "out");
    Form1 form;
    const Form1Controls& c = form.controls();
    form.fields().setText(Field::txtTranscoderURLPort, std::getenv("KQC_SILENT_ENDPOINT"));
    form.fields().setText(Field::txtTargetDir, (dir / "out").string());
    form.fields().setText(Field::txtSourceDir, (dir / "src").string());
    c.radFileSystem->setChecked(true);
    c.chkDebug->setChecked(true);
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    test::writeBytes(dir / "window", std::to_string(form.winId()));
    QTest::mouseClick(c.cmdTranscode, Qt::LeftButton);
}

}  // namespace
}  // namespace kqc

#include "test_form1_run.moc"
