// Keystrokes through the desktop portal: a stand-in portal on a session bus of
// the test's own records what the program asks and types, as keysyms; and
// the desktops' own portals on kwin and on mutter, where the command-line
// reader types into a terminal.

#include "keyboard/KeyboardBackend.h"
#include "keyboard/TextTyping.h"
#include "keyboard/ei/EiTyping.h"
#include "output/CardOutput.h"
#include "redirect/TypedDelivery.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/DesktopReadTool.h"
#include "tests/support/FileText.h"
#include "tests/support/MutterRemoteKeyboard.h"
#include "tests/support/Polling.h"
#include "tests/support/ServerProcess.h"
#include "tests/support/TempDir.h"
#include "tests/support/WaylandSession.h"
#include "tools/simulator/ReaderSimulator.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QRegularExpression>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <thread>
#include <xkbcommon/xkbcommon-keysyms.h>

namespace pelvaro {
namespace {

using namespace std::chrono_literals;
using test::kPatience;

class PortalKeystrokeTest : public ::testing::Test {
protected:
    // One bus for the test program: Qt connects to the session bus once.
    static void SetUpTestSuite() {
        busDirectory = new test::TempDir;
        const std::string address = "unix:path=" + (busDirectory->path() / "bus").string();
        bus = new test::ServerProcess(
            "the session bus", {"dbus-daemon", "--session", "--nofork", "--address=" + address},
            std::nullopt, [](test::ChildProcess&) {
                return test::waitFor(
                    [] { return std::filesystem::exists(busDirectory->path() / "bus"); });
            });
        setenv("DBUS_SESSION_BUS_ADDRESS", address.c_str(), 1);
    }
    static void TearDownTestSuite() {
        delete bus;
        delete busDirectory;
    }
    void SetUp() override {
        setenv("XDG_CONFIG_HOME", config.path().c_str(), 1);
        unsetenv("WAYLAND_DISPLAY");
    }

    // The stand-in portal of this RemoteDesktop version, granting or refusing.
    void startPortal(unsigned version, bool refuse = false) {
        std::vector<std::string> command = {STAND_IN_PORTAL_EXE, std::to_string(version)};
        if (refuse)
            command.emplace_back("refuse");
        portal = std::make_unique<test::ChildProcess>(command);
        ASSERT_EQ(portal->readLine(kPatience), "ready");
    }

    // The next calls the portal recorded.
    void expectCalls(const std::vector<std::string>& calls) {
        for (const std::string& call : calls)
            EXPECT_EQ(portal->readLine(kPatience), call);
    }
    static std::vector<std::string> strike(const std::string& keysym) {
        return {"key " + keysym + " 1", "key " + keysym + " 0"};
    }
    void expectSessionStart(const std::string& restoreToken) {
        expectCalls(
            {"SelectDevices types=1 persist_mode=2 restore_token=" + restoreToken, "Start"});
        expectCalls(strike("ffe1")); // Shift_L, before the first character
    }

    // As the screen lock does; the program hears of it only on its event loop.
    static void closeSession() {
        QDBusMessage close = QDBusMessage::createMethodCall(
            "org.freedesktop.portal.Desktop", "/org/freedesktop/portal/desktop",
            "org.freedesktop.portal.RemoteDesktop", "CloseSession");
        ASSERT_EQ(QDBusConnection::sessionBus().call(close).type(), QDBusMessage::ReplyMessage);
    }

    std::filesystem::path tokenFile() const {
        return config.path() / "Pelvaro" / "portal-restore-token";
    }

    static inline test::TempDir* busDirectory = nullptr;
    static inline test::ServerProcess* bus = nullptr;
    test::TempDir config;
    std::unique_ptr<test::ChildProcess> portal;
};

// Version 2 lends a keyboard through libei where libei is installed; the
// stand-in lends none, so the keys still go as keysyms.
std::string versionTwoReport() {
    const std::string libei = EiTyping::libraryVersion();
    return "portal: Fernsteuerung der Tastatur über das Desktop-Portal (Version 2" +
           (libei.empty() ? "" : ", über libei " + libei) + ")";
}

TEST_F(PortalKeystrokeTest, OneSessionTypesKeysymsAndIsRestoredWithTheNextTokenOnceClosed) {
    startPortal(2);
    const KeyboardBackendChoice choice = chooseKeyboardBackend(forcedBackend("portal"));
    ASSERT_NE(choice.injector, nullptr) << keystrokesImpossibleText(choice);
    EXPECT_EQ(choice.report.at(0), versionTwoReport());
    EXPECT_EQ(choice.injector->begin(), std::nullopt);
    expectSessionStart(" unknown");
    EXPECT_EQ(test::fileText(tokenFile()), "token-1");

    // The same session: no second question.
    EXPECT_EQ(choice.injector->begin(), std::nullopt);
    EXPECT_TRUE(sendKeystrokes(*choice.injector, "a1\t\u0416", true).typedWhole());
    for (const char* keysym : {"61", "31", "ff09", "6f6", "ff0d"})
        expectCalls(strike(keysym));

    // The screen lock ends the session; the next text starts one with the token.
    closeSession();
    QCoreApplication::processEvents();
    EXPECT_TRUE(sendKeystrokes(*choice.injector, "7", false).typedWhole());
    expectSessionStart("token-1 known");
    expectCalls(strike("37"));
    EXPECT_EQ(test::fileText(tokenFile()), "token-2");
}

TEST_F(PortalKeystrokeTest, CardRefusedByAClosedSessionIsLoggedSoAndTypedWhenHeldAgain) {
    startPortal(2);
    const KeyboardBackendChoice choice = chooseKeyboardBackend(forcedBackend("portal"));
    ASSERT_NE(choice.injector, nullptr) << keystrokesImpossibleText(choice);
    ASSERT_EQ(choice.injector->begin(), std::nullopt);
    expectSessionStart(" unknown");
    const std::filesystem::path log = config.path() / "gelesen.csv";
    CardOutput output(OutputTemplate(), RepeatGuard(60s), ReadLog::intoFile(log));
    const auto hold = [&](std::chrono::seconds after) {
        return output.take({"0A", false, {}, {2026, 12, 9, 14, 3, 7}},
                           RepeatGuard::Clock::time_point(after), [&](const std::string& text) {
                               return deliveryOf(sendKeystrokes(*choice.injector, text, false));
                           });
    };

    closeSession(); // before the program hears of it
    EXPECT_FALSE(hold(0s).delivery->whole);
    EXPECT_EQ(hold(1s).text, "0A") << "not held back";
    expectSessionStart("token-1 known");
    expectCalls(strike("30"));
    expectCalls(strike("41"));
    EXPECT_EQ(test::fileText(log),
              "Zeit;Code;Personalnummer;Ausgabe;Ergebnis\r\n"
              "2026-12-09T14:03:07;0A;;0A;nicht getippt: das Desktop-Portal hat einen "
              "Tastendruck nicht angenommen.\r\n"
              "2026-12-09T14:03:07;0A;;0A;getippt\r\n");
}

TEST_F(PortalKeystrokeTest, ATokenThePortalFailsIsDroppedAndOneNotInItsFormNeverSent) {
    startPortal(2);
    const auto startWithTokenFile = [&](const std::string& content) {
        std::filesystem::create_directories(tokenFile().parent_path());
        std::ofstream(tokenFile(), std::ios::binary) << content;
        const KeyboardBackendChoice choice = chooseKeyboardBackend(forcedBackend("portal"));
        ASSERT_NE(choice.injector, nullptr) << keystrokesImpossibleText(choice);
        EXPECT_EQ(choice.injector->begin(), std::nullopt);
    };
    startWithTokenFile("token-from-elsewhere");
    expectCalls(
        {"SelectDevices types=1 persist_mode=2 restore_token=token-from-elsewhere unknown"});
    expectSessionStart(" unknown");
    EXPECT_EQ(test::fileText(tokenFile()), "token-1");

    startWithTokenFile("token-1\r\n"); // as an editor saves it
    expectSessionStart("token-1 known");

    startWithTokenFile(std::string(1 << 20, 'x'));
    expectSessionStart(" unknown");
}

TEST_F(PortalKeystrokeTest, CharactersTheKnownLayoutLacksAreSkippedAndTheTextNotWhole) {
    startPortal(1);
    KeyboardSettings settings = forcedBackend("portal");
    settings.layout = "us";
    const KeyboardBackendChoice choice = chooseKeyboardBackend(settings);
    ASSERT_NE(choice.injector, nullptr) << keystrokesImpossibleText(choice);
    EXPECT_EQ(choice.report.at(0),
              "portal: Fernsteuerung der Tastatur über das Desktop-Portal (Version 1)");
    EXPECT_FALSE(sendKeystrokes(*choice.injector, "a\u0416b", false).typedWhole());
    expectSessionStart(" unknown");
    expectCalls(strike("61"));
    expectCalls(strike("62"));
    EXPECT_FALSE(std::filesystem::exists(tokenFile())) << "version 1 hands out no token";
}

TEST_F(PortalKeystrokeTest, RefusedConsentRefusesTheReadToolBeforeTheReader) {
    startPortal(2, true);
    test::ChildProcess reading({READ_TOOL_EXE, "--type", "--backend", "portal", "--device",
                                (config.path() / "no-reader").string()});
    EXPECT_EQ(reading.waitForExit(kPatience), 1);
    EXPECT_EQ(reading.errorOutput(),
              "Tastatureingaben sind nicht möglich: das Desktop-Portal hat nach der Fernsteuerung "
              "der Tastatur gefragt, die Freigabe wurde abgelehnt.\n");
    expectCalls({"SelectDevices types=1 persist_mode=2 restore_token= unknown", "Start"});
}

TEST_F(PortalKeystrokeTest, WaylandWithoutVirtualKeyboardChoosesThePortal) {
    if (!test::WaylandSession::possible())
        GTEST_SKIP() << "a Wayland session needs root to run as its own user";
    const test::WaylandSession weston(test::WaylandSession::Compositor::Weston);
    setenv("WAYLAND_DISPLAY", weston.socketPath().c_str(), 1);
    startPortal(2);
    const KeyboardBackendChoice choice = chooseKeyboardBackend();
    EXPECT_EQ(choice.name, "portal");
    ASSERT_EQ(choice.report.size(), 2u);
    EXPECT_EQ(choice.report[1], versionTwoReport());
}

// The command-line reader on a desktop's own compositor, typing into a terminal.
class ReadToolOnDesktop : public test::DesktopReadTool {
public:
    ReadToolOnDesktop(test::WaylandSession::Compositor desktop,
                      const std::vector<std::string>& options, const std::string& layout = {})
        : DesktopReadTool(READ_TOOL_EXE, desktop, options, layout) {}

    // Each code arrives exactly, after the template's text before it.
    void expectEveryCardTyped(const std::string& before = {}) {
        for (const std::string code : {"0A1B2C3D4E", "123456789A", "0000000001"}) {
            EXPECT_TRUE(reader.sendCard(sim::bytesFromHex(code)).acknowledged);
            EXPECT_EQ(terminal.receiveUntil("\r", kPatience), before + code + "\r");
        }
    }
};

TEST(PortalOnKde, TheCommandLineReaderTypesEveryCardIntoTheFocusedWindow) {
    if (!test::WaylandSession::possible() ||
        !test::WaylandSession::desktopInstalled(test::WaylandSession::Compositor::Kwin))
        GTEST_SKIP() << "needs root, kwin_wayland and KDE's desktop portal";
    ReadToolOnDesktop kde(test::WaylandSession::Compositor::Kwin, {});
    ASSERT_TRUE(kde.typesOnceReady()) << "nothing typed";
    kde.expectEveryCardTyped();
}

// Through libei KWin hands over its keymap, German here: "z" and "-" lie
// elsewhere than on a US keyboard, and "\u0416", which it lacks, is skipped
// and said. (KWin 6.3 tells libei no modifiers, so Caps Lock and a held
// Shift are not made up for there.)
TEST(PortalOnKde, ThroughLibeiTheDesktopsLayoutDecidesAndLackingCharactersAreSaid) {
    if (!test::WaylandSession::possible() ||
        !test::WaylandSession::desktopInstalled(test::WaylandSession::Compositor::Kwin) ||
        EiTyping::libraryVersion().empty())
        GTEST_SKIP() << "needs root, kwin_wayland, KDE's desktop portal and libei.so.1; the "
                        "desktop's keymap reaches the program only through libei";
    ReadToolOnDesktop kde(test::WaylandSession::Compositor::Kwin,
                          {"--backend", "portal", "--template", "\u0416z-{code}"}, "de");
    ASSERT_TRUE(kde.typesOnceReady()) << "nothing typed";
    kde.expectEveryCardTyped("z-");
    EXPECT_NE(kde.endAndTell().find(kLackingCharactersReason), std::string::npos);
}

// Whether the desktop portal has a request open, as a Start while the desktop
// asks the user: requests live under a node for each client.
bool portalIsAsking(const QDBusConnection& bus, const QString& path) {
    QDBusMessage introspect =
        QDBusMessage::createMethodCall("org.freedesktop.portal.Desktop", path,
                                       "org.freedesktop.DBus.Introspectable", "Introspect");
    const QDBusMessage reply = bus.call(introspect);
    if (reply.type() != QDBusMessage::ReplyMessage)
        return false;
    static const QRegularExpression child(QStringLiteral("<node name=\"([^\"]+)\""));
    const QString xml = reply.arguments().value(0).toString();
    for (const QRegularExpressionMatch& node : child.globalMatch(xml))
        if (path.endsWith(QLatin1String("/request")) ||
            portalIsAsking(bus, path + QLatin1Char('/') + node.captured(1)))
            return true;
    return false;
}

bool gnomeRigPossible() {
    return test::WaylandSession::possible() &&
           test::WaylandSession::desktopInstalled(test::WaylandSession::Compositor::Mutter);
}

// What ask answers over a connection to the desktop's session bus, closed after.
template <typename Ask> auto onDesktopBus(const test::WaylandSession& session, Ask ask) {
    const QString name = QStringLiteral("desktop-session-bus");
    decltype(ask(std::declval<const QDBusConnection&>())) answer{};
    {
        const QDBusConnection bus =
            QDBusConnection::connectToBus(QString::fromStdString(session.busAddress()), name);
        answer = ask(bus);
    }
    QDBusConnection::disconnectFromBus(name);
    return answer;
}

// Waits until GNOME's portal has a request open (asking) or none.
bool gnomePortalAsks(const ReadToolOnDesktop& gnome, bool asking,
                     std::chrono::milliseconds timeout) {
    return onDesktopBus(gnome.session, [&](const QDBusConnection& bus) {
        return test::waitFor(
            [&] {
                return portalIsAsking(bus,
                                      QStringLiteral("/org/freedesktop/portal/desktop/request")) ==
                       asking;
            },
            timeout);
    });
}

// Answers GNOME's dialog once it is on the screen, as an assistive tool
// would: the switch "Allow remote interaction" on, then "Share". The dialog
// takes the keyboard only when the seat gains one, which the first key
// brings and it does not see. GNOME 48's switch answers to Alt+I; 43's has
// no mnemonic but the focus. The keyboard is returned to stay, as a real one
// would.
std::unique_ptr<test::MutterRemoteKeyboard> allowOnGnome(ReadToolOnDesktop& gnome) {
    if (!gnomePortalAsks(gnome, true, kPatience)) {
        const bool ended = gnome.reading->waitForExit(0ms).has_value();
        ADD_FAILURE() << "the desktop did not ask"
                      << (ended ? "; the reader ended: " + gnome.reading->errorOutput() : "");
    }
    std::this_thread::sleep_for(1s);
    auto user = std::make_unique<test::MutterRemoteKeyboard>(gnome.session.busAddress());
    const auto strike = [&](std::initializer_list<uint32_t> keys) {
        EXPECT_TRUE(user->strike(keys));
        std::this_thread::sleep_for(300ms);
    };
    strike({XKB_KEY_Shift_L});
    strike({XKB_KEY_Alt_L, XKB_KEY_i});
    strike({XKB_KEY_Alt_L, XKB_KEY_s});
    if (!gnomePortalAsks(gnome, false, 2s)) {
        strike({XKB_KEY_space});
        strike({XKB_KEY_Alt_L, XKB_KEY_s});
    }
    EXPECT_TRUE(gnome.typesOnceReady()) << "the portal did not start typing";
    return user;
}

// The version of the desktop's RemoteDesktop portal: 2 hands out restore tokens.
unsigned remoteDesktopVersion(const test::WaylandSession& session) {
    return onDesktopBus(session, [](const QDBusConnection& bus) {
        QDBusMessage get = QDBusMessage::createMethodCall("org.freedesktop.portal.Desktop",
                                                          "/org/freedesktop/portal/desktop",
                                                          "org.freedesktop.DBus.Properties", "Get");
        get.setArguments(
            {QStringLiteral("org.freedesktop.portal.RemoteDesktop"), QStringLiteral("version")});
        const QDBusMessage reply = bus.call(get);
        return reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty()
                   ? reply.arguments().constFirst().value<QDBusVariant>().variant().toUInt()
                   : 0u;
    });
}

TEST(PortalOnGnome, TheCommandLineReaderTypesEveryCardOnceTheUserAllowsIt) {
    if (!gnomeRigPossible())
        GTEST_SKIP() << "needs root, mutter and GNOME's desktop portal";
    ReadToolOnDesktop gnome(test::WaylandSession::Compositor::Mutter, {"--backend", "portal"});
    const auto user = allowOnGnome(gnome);
    gnome.expectEveryCardTyped();
    if (remoteDesktopVersion(gnome.session) < 2)
        return; // version 1 hands out no token: each start asks
    // Nobody answers now: the restore token lets it type at once.
    gnome.restart();
    ASSERT_TRUE(gnome.typesOnceReady()) << "the second start asked again";
    gnome.expectEveryCardTyped();
}

// mutter tells libei's clients the keyboard's modifiers from version 49 on.
bool mutterReportsModifiers() {
    test::ChildProcess asking({"mutter", "--version"}); // "mutter 48.7"
    const auto answer = asking.readLine(kPatience);
    int major = 0;
    return answer && std::sscanf(answer->c_str(), "mutter %d", &major) == 1 && major >= 49;
}

// The codes' capitals and digits arrive changed by a Caps Lock or a Shift
// held elsewhere unless the desktop's modifiers are taken into account.
TEST(PortalOnGnome, ThroughLibeiCapsLockAndAHeldShiftChangeNothingAndLackingCharactersAreSaid) {
    if (!gnomeRigPossible() || EiTyping::libraryVersion().empty())
        GTEST_SKIP() << "needs root, mutter, GNOME's desktop portal and libei.so.1; the desktop's "
                        "keymap and modifiers reach the program only through libei";
    ReadToolOnDesktop gnome(test::WaylandSession::Compositor::Mutter,
                            {"--backend", "portal", "--template", "\u0416{code}"});
    const auto user = allowOnGnome(gnome);
    gnome.expectEveryCardTyped();
    const bool modifiersReported = mutterReportsModifiers();
    if (modifiersReported) {
        const auto settled = [] { std::this_thread::sleep_for(300ms); };
        ASSERT_TRUE(user->strike({XKB_KEY_Caps_Lock}));
        settled();
        gnome.expectEveryCardTyped();
        ASSERT_TRUE(user->strike({XKB_KEY_Caps_Lock}));
        ASSERT_TRUE(user->key(XKB_KEY_Shift_L, true));
        settled();
        gnome.expectEveryCardTyped();
        EXPECT_TRUE(user->key(XKB_KEY_Shift_L, false));
    }
    EXPECT_NE(gnome.endAndTell().find(kLackingCharactersReason), std::string::npos);
    if (!modifiersReported)
        GTEST_SKIP() << "this mutter tells libei no modifiers: Caps Lock and a held Shift are "
                        "not made up for before mutter 49";
}

} // namespace
} // namespace pelvaro
