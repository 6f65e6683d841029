// Redirect mode on the offscreen platform with a simulated reader on Com1:
// start and stop, the status texts, the page lock, the tray hand-over and the
// read thread's events.

#include "reader/LineRecovery.h"
#include "settings/PortSettings.h"
#include "tray/TrayIcon.h"
#include "tests/app/ProgramFixture.h"
#include "tests/support/PluggableReader.h"
#include "tests/support/RecordingInjector.h"
#include "tools/simulator/ReaderSimulator.h"
#include "tray/TrayIcon.h"

#include <future>

namespace pelvaro {
namespace {

using namespace std::chrono_literals;
using test::waitUntil;

class RedirectModeTest : public test::ProgramFixture {
protected:
    void SetUp() override {
        writeSettings("[Serial]\r\nPort=1\r\n");
        ASSERT_TRUE(reader.mapAsPort(ini, 1));
        start();
        ui().PageControlMain->setCurrentWidget(ui().TabSheet2);
    }

    bool active() {
        return !ui().SpeedButtonStart->isEnabled() && ui().SpeedButtonStopp->isEnabled();
    }

    // Holds a card while the GUI thread keeps serving the read thread's cycles.
    void holdCard(const std::vector<uint8_t>& card) {
        auto sending = std::async(std::launch::async, [&] { return reader.sendCard(card); });
        ASSERT_TRUE(waitUntil([&] {
            return sending.wait_for(std::chrono::milliseconds(0)) == std::future_status::ready;
        }));
        EXPECT_TRUE(sending.get().acknowledged);
    }

    sim::ReaderSimulator reader;
};

TEST_F(RedirectModeTest, StartAndStopWithTheirStatusTexts) {
    ui().CheckBoxLF->setChecked(true);
    ui().SpeedButtonStart->click();
    EXPECT_TRUE(active());
    EXPECT_EQ(ui().LabelUmleitungInfo->text(), "Umleitung aktiv!\nKartennummer+<ENTER>\n");
    EXPECT_EQ(trayImage(), TrayImage::YellowLit);
    EXPECT_FALSE(ui().Optionen1->menuAction()->isEnabled());
    EXPECT_FALSE(ui().Personalnummernbearbeiten1->isEnabled());
    EXPECT_TRUE(serialLink().isOpen());
    ASSERT_TRUE(waitUntil(
        [&] { return window().statusPanelText(StatusPanel::Activity) == "Warte auf Karte..."; }));

    ui().PageControlMain->setCurrentWidget(ui().TabSheet1);
    EXPECT_EQ(ui().PageControlMain->currentWidget(), ui().TabSheet2) << "the page is locked";
    EXPECT_EQ(window().frameGeometry().size(), QSize(420, 320));

    ui().SpeedButtonStopp->click();
    EXPECT_FALSE(active());
    EXPECT_EQ(ui().LabelUmleitungInfo->text(), "Umleitung aus!\nKartennummer+<ENTER>\n");
    EXPECT_EQ(trayImage(), TrayImage::YellowDark);
    EXPECT_TRUE(ui().Optionen1->menuAction()->isEnabled());
    EXPECT_FALSE(serialLink().isOpen());
    ui().PageControlMain->setCurrentWidget(ui().TabSheet1);
    EXPECT_EQ(ui().PageControlMain->currentWidget(), ui().TabSheet1);
}

// Notes the status text at the moment a code is typed; the next silent
// cycle may change it before a test looks.
class StatusAtTypingInjector final : public KeystrokeInjector {
public:
    explicit StatusAtTypingInjector(const TMainForm& window) : window_(window) {}
    TypingResult typeText(std::u32string_view, bool) override {
        statusWhileTyping = window_.statusPanelText(StatusPanel::Activity);
        return {};
    }

    QString statusWhileTyping;

private:
    const TMainForm& window_;
};

TEST_F(RedirectModeTest, CardsArriveThroughTheReadThread) {
    auto probe = std::make_unique<StatusAtTypingInjector>(window());
    const StatusAtTypingInjector& typing = *probe;
    window().setKeyboard(std::move(probe), {});
    ui().SpeedButtonStart->click();
    holdCard({0x0A, 0x1B, 0x2C, 0x3D, 0x4E});
    ASSERT_TRUE(waitUntil([&] { return host().currentCode() == "0A1B2C3D4E"; }));
    EXPECT_EQ(typing.statusWhileTyping, "Karte gelesen, Warte auf Karte...");

    ui().SpeedButtonStopp->click(); // stop and start reuse the one thread
    ui().SpeedButtonStart->click();
    holdCard({0x01, 0x02, 0x03, 0x04, 0x05});
    ASSERT_TRUE(waitUntil([&] { return host().currentCode() == "0102030405"; }));
    ui().SpeedButtonStopp->click();
}

TEST_F(RedirectModeTest, PortThatCannotBeOpenedLeavesRedirectOffAndTheTipSaysWhy) {
    ASSERT_TRUE(writePortMapping(ini, 3, reader.devicePath()));
    T_Serial_Interface otherProgram(false);
    ASSERT_EQ(otherProgram.openDevice(reader.devicePath(), 9600), OpenResult::Opened);
    configurePort(3);
    ui().SpeedButtonStart->click();
    EXPECT_EQ(texts(), std::vector<QString>{"Konnte Schnittstelle Com 3 nicht öffnen"});
    EXPECT_FALSE(active());
    EXPECT_EQ(ui().LabelUmleitungInfo->text(), "Umleitung aus!");
    EXPECT_TRUE(ui().Optionen1->menuAction()->isEnabled());
    const QString busy =
        QString::fromStdString(reader.devicePath()) + " wird von einem anderen Programm benutzt.";
    EXPECT_TRUE(statusPanelTip(StatusPanel::Port).contains(busy))
        << statusPanelTip(StatusPanel::Port).toStdString();

    otherProgram.close();
    configurePort(1); // a second start with a working port runs normally
    ui().SpeedButtonStart->click();
    EXPECT_TRUE(active());
    holdCard({0x11});
    ASSERT_TRUE(waitUntil([&] { return host().currentCode() == "0000000011"; }));
    ui().SpeedButtonStopp->click();
    EXPECT_FALSE(statusPanelTip(StatusPanel::Port).contains("Nicht geöffnet"))
        << "a port that opened has no reason left";
}

TEST_F(RedirectModeTest, StartWithNoWayToTypeIsRefusedBeforeThePortOpens) {
    const QString reason = "Tastatureingaben sind nicht möglich: kein X-Server mit XTest "
                           "erreichbar (DISPLAY ist nicht gesetzt).";
    window().setKeyboard(nullptr, reason);
    ui().CheckBoxShowTray->setChecked(true);
    ui().SpeedButtonStart->click();
    EXPECT_EQ(texts(), std::vector<QString>{reason});
    EXPECT_EQ(dialogs.shown.back().icon, DialogIcon::Error);
    EXPECT_FALSE(active());
    EXPECT_EQ(ui().LabelUmleitungInfo->text(), "Umleitung aus!");
    EXPECT_TRUE(window().isVisible()) << "not hidden into the notification area";
    EXPECT_FALSE(serialLink().isOpen());
    EXPECT_FALSE(reader.waitForProgram(std::chrono::milliseconds(300)))
        << "the reader's cards would be taken and lost";

    // A desktop that refuses typing when it is to begin: the same refusal.
    auto refusing = std::make_unique<RecordingInjector>();
    refusing->refusal = "die Freigabe wurde abgelehnt.";
    window().setKeyboard(std::move(refusing), {});
    ui().SpeedButtonStart->click();
    EXPECT_EQ(texts().back(), "Tastatureingaben sind nicht möglich: die Freigabe wurde abgelehnt.");
    EXPECT_FALSE(active());
    EXPECT_FALSE(serialLink().isOpen());
}

TEST_F(RedirectModeTest, StartWhileAListReadHoldsThePortLeavesTheReadAlone) {
    bool refused = false;
    bool listStillReading = false;
    QTimer::singleShot(200, [&] {
        ui().SpeedButtonStart->click();
        refused = !active();
        listStillReading = serialLink().isOpen() && !host().stopRequested();
        ui().ButtonStopp->click();
    });
    ui().ButtonReadKarten->click(); // returns at the Stopp above
    EXPECT_TRUE(refused);
    EXPECT_TRUE(listStillReading);
    EXPECT_EQ(texts(), std::vector<QString>{"Konnte Schnittstelle Com 1 nicht öffnen"});
}

TEST_F(RedirectModeTest, AutomaticMinimisingHandsTheWindowToTheTray) {
    ui().CheckBoxShowTray->setChecked(true);
    ui().SpeedButtonStart->click();
    EXPECT_FALSE(window().isVisible());
    EXPECT_TRUE(hiddenToTray());
    EXPECT_TRUE(window().trayIcon().isShown());
    EXPECT_EQ(window().trayIcon().icon().toolTip(), "Umleitung aktiv!");

    window().show(); // "Anzeigen" or a double click
    EXPECT_FALSE(hiddenToTray());
    EXPECT_FALSE(window().trayIcon().isShown());
    ui().SpeedButtonStopp->click();
}

TEST_F(RedirectModeTest, MinimisingGoesToTheTrayOnlyWithAutomaticMinimising) {
    // As the window manager minimises: the state changes, nobody calls show.
    const auto minimise = [&] { window().setWindowState(Qt::WindowMinimized); };
    minimise();
    EXPECT_TRUE(window().isMinimized());
    EXPECT_FALSE(window().trayIcon().isShown());
    window().showNormal();

    ui().CheckBoxShowTray->setChecked(true);
    minimise();
    EXPECT_FALSE(window().isVisible());
    EXPECT_FALSE(window().isMinimized()) << "shown again, it must come back as it was";
    EXPECT_TRUE(hiddenToTray());
    EXPECT_TRUE(window().trayIcon().isShown());
    EXPECT_EQ(window().trayIcon().icon().toolTip(), "Umleitung aus!");

    window().show();
    EXPECT_FALSE(hiddenToTray());
    EXPECT_FALSE(window().trayIcon().isShown());
}

TEST_F(RedirectModeTest, WithoutANotificationAreaTheWindowIsNeverHidden) {
    trayArea = false;
    ui().CheckBoxShowTray->setChecked(true);
    window().setWindowState(Qt::WindowMinimized);
    EXPECT_TRUE(window().isMinimized()) << "minimised as without automatic minimising";
    EXPECT_FALSE(hiddenToTray());
    EXPECT_FALSE(window().trayIcon().isShown());
    window().showNormal();

    ui().SpeedButtonStart->click();
    EXPECT_TRUE(active());
    EXPECT_TRUE(window().isVisible());
    EXPECT_FALSE(hiddenToTray());
    ui().SpeedButtonStopp->click();

    trayArea = true; // a panel with a notification area came up meanwhile
    window().setWindowState(Qt::WindowMinimized);
    EXPECT_FALSE(window().isVisible());
    EXPECT_TRUE(hiddenToTray());
    EXPECT_TRUE(window().trayIcon().isShown());
    window().show();
}

TEST_F(RedirectModeTest, EveryCardIsTypedWithEnterWhenAsked) {
    auto recorder = std::make_unique<RecordingInjector>();
    const RecordingInjector& typed = *recorder;
    window().setKeyboard(std::move(recorder), {});
    ui().CheckBoxLF->setChecked(true);
    ui().SpeedButtonStart->click();
    holdCard({0x0A, 0x1B});
    ASSERT_TRUE(waitUntil([&] { return typed.events().size() == 2 * 10 + 2; }));
    std::u32string text;
    for (const KeyEvent& event : typed.events())
        if (event.pressed && event.key == KeyEvent::Key::Character)
            text += event.character;
    EXPECT_EQ(text, U"0000000A1B");
    EXPECT_EQ(typed.events().back(), (KeyEvent{KeyEvent::Key::Enter, 0, false}));
    ui().SpeedButtonStopp->click();
}

TEST_F(RedirectModeTest, CharactersTheLayoutLacksAreSkippedAndSaid) {
    auto recorder = std::make_unique<RecordingInjector>();
    recorder->lacking = U"A";
    const RecordingInjector& typed = *recorder;
    window().setKeyboard(std::move(recorder), {});
    ui().SpeedButtonStart->click();
    holdCard({0x0A, 0x1B});
    ASSERT_TRUE(waitUntil([&] { return typed.events().size() == 2 * 9; }));
    EXPECT_EQ(typed.events(), keyStrokes(U"00000001B", false)) << "the rest still typed";
    EXPECT_EQ(window().statusPanelText(StatusPanel::Spare),
              "Teilweise getippt: Zeichen fehlen in der Tastaturbelegung.");
    ui().SpeedButtonStopp->click();
}

TEST_F(RedirectModeTest, UnpluggedReaderIsShownAndTakenUpAgainByItself) {
    test::PluggableReader plug(dir.path() / "reader");
    ASSERT_TRUE(writePortMapping(ini, 1, plug.link().string()));
    auto recorder = std::make_unique<RecordingInjector>();
    const RecordingInjector& typed = *recorder;
    window().setKeyboard(std::move(recorder), {});
    ui().CheckBoxShowTray->setChecked(true);
    ui().SpeedButtonStart->click();
    const auto tip = [&] { return window().trayIcon().icon().toolTip(); };
    const auto status = [&] { return window().statusPanelText(StatusPanel::Activity); };
    const auto holdOn = [&](const std::vector<uint8_t>& card) {
        auto sending = std::async(std::launch::async, [&] { return plug.reader().sendCard(card); });
        EXPECT_TRUE(waitUntil([&] { return sending.wait_for(0s) == std::future_status::ready; }));
        EXPECT_TRUE(sending.get().acknowledged);
    };

    holdOn({0x01});
    plug.unplug();
    ASSERT_TRUE(waitUntil([&] { return status() == "Leser getrennt, warte auf Leser..."; }));
    EXPECT_EQ(tip(), "Leser getrennt, warte auf Leser...");
    EXPECT_FALSE(serialLink().isOpen()) << "the dead handle is kept";
    EXPECT_TRUE(active());

    plug.plugIn();
    ASSERT_TRUE(waitUntil([&] { return serialLink().isOpen(); }));
    ASSERT_TRUE(waitUntil([&] { return status() == "Warte auf Karte..."; }));
    EXPECT_EQ(tip(), "Umleitung aktiv!");
    holdOn({0x02});
    ASSERT_TRUE(waitUntil([&] { return typed.events().size() == 2 * 2 * 10; }));
    EXPECT_EQ(typed.events(), [] {
        auto both = keyStrokes(U"0000000001", false);
        const auto second = keyStrokes(U"0000000002", false);
        both.insert(both.end(), second.begin(), second.end());
        return both;
    }()) << "each card exactly once";

    // Stopped while it waits for the reader, the mode ends at once.
    plug.unplug();
    ASSERT_TRUE(waitUntil([&] { return status() == "Leser getrennt, warte auf Leser..."; }));
    const auto before = std::chrono::steady_clock::now();
    window().show();
    ui().SpeedButtonStopp->click();
    EXPECT_LT(std::chrono::steady_clock::now() - before, 200ms);
    EXPECT_FALSE(active());
    plug.plugIn();
    test::serveEventsFor(700ms);
    EXPECT_FALSE(serialLink().isOpen()) << "nothing is opened after the stop";
}

// The simulator takes its own mapping away when it ends; here another reader
// has taken Com1 over before the first one is pulled out.
TEST_F(RedirectModeTest, ReaderIsTakenUpAgainOnlyOnTheDeviceThatWasOpened) {
    sim::ReaderSimulator other;
    const auto status = [&] { return window().statusPanelText(StatusPanel::Activity); };
    ui().SpeedButtonStart->click();
    ASSERT_TRUE(active());
    ASSERT_TRUE(other.mapAsPort(ini, 1));
    reader.hangUp();
    ASSERT_TRUE(waitUntil([&] { return status() == "Leser getrennt, warte auf Leser..."; }));
    test::serveEventsFor(3 * LineRecovery::kRetryInterval);
    EXPECT_EQ(status(), "Leser getrennt, warte auf Leser...");
    EXPECT_FALSE(serialLink().isOpen());
    EXPECT_FALSE(other.waitForProgram(0ms)) << "another device was opened in its place";

    // A new start takes the port as it is mapped now.
    ui().SpeedButtonStopp->click();
    ui().SpeedButtonStart->click();
    EXPECT_TRUE(other.waitForProgram(test::kPatience));
    ui().SpeedButtonStopp->click();
}

} // namespace
} // namespace pelvaro
