// List mode on the offscreen platform with a simulated reader on Com1: the
// session with its duplicate rule and LEDs, the single read, labels and rows,
// saving and clearing.

#include "list/CardList.h"
#include "list/CardListSaving.h"
#include "list/ListReadSession.h"
#include "reader/SerialSystemCalls_posix.h"
#include "settings/PortSettings.h"
#include "tests/app/ReaderProgramFixture.h"
#include "tests/support/PluggableReader.h"
#include "tests/support/Polling.h"

#include <QPalette>
#include <cerrno>
#include <future>
#include <thread>

namespace pelvaro {
namespace {

using namespace std::chrono_literals;
using Bytes = test::ReaderProgramFixture::Bytes;

const Bytes kCardA = {0x12, 0x34, 0x56, 0x78, 0x9A};
const Bytes kCardB = {0x0A, 0x1B, 0x2C, 0x3D, 0x4E};

using test::PageState;

class ListModeTest : public test::ReaderProgramFixture {};

TEST_F(ListModeTest, SessionAcceptsNewCardsAndRefusesTheLastOne) {
    start();
    dialogs.typedTexts = {"Tor 1", test::ScriptedDialogs::kKeepText, QString()};
    std::vector<PageState> states;
    bool controlsLocked = false;
    runSession([&] {
        onGui([&] {
            controlsLocked = !ui().ButtonReadKarten->isEnabled() && ui().ButtonStopp->isEnabled() &&
                             !ui().ButtonExport->isEnabled() && !ui().ButtonClear->isEnabled() &&
                             !ui().Optionen1->menuAction()->isEnabled() &&
                             !ui().Dat1->menuAction()->isEnabled();
        });
        states.push_back(hold(kCardA));
        states.push_back(hold(kCardA));
        states.push_back(hold(kCardB));
        states.push_back(hold(kCardA));
        reader.sendStatus('e', '2');
        states.push_back(settledState());
    });
    EXPECT_TRUE(controlsLocked);
    ASSERT_EQ(states.size(), 5u);
    EXPECT_TRUE(states[0].greenLit && !states[0].redLit);
    EXPECT_EQ(states[0].rows, 1);
    EXPECT_TRUE(states[1].greenLit && states[1].redLit) << "the green LED stays lit";
    EXPECT_EQ(states[1].rows, 1);
    EXPECT_EQ(states[3].rows, 3) << "A B A: only the last accepted code counts";
    EXPECT_FALSE(states[4].greenLit || states[4].redLit) << "the status message darkens both";
    EXPECT_EQ(rows(),
              (std::vector<std::pair<QString, QString>>{
                  {"Tor 1", "123456789A"}, {"Tor 1", "0A1B2C3D4E"}, {"unbekannt", "123456789A"}}));
    EXPECT_EQ(dialogs.prompts.front(), "Eingabe Aufdruck|Aufdruck eingeben(max.30):");

    const PageState after = pageState();
    EXPECT_FALSE(after.greenLit || after.redLit);
    EXPECT_EQ(after.activity, " Warte auf Karte...") << "the last pass's text stays";
    EXPECT_TRUE(ui().ButtonReadKarten->isEnabled());
    EXPECT_FALSE(ui().ButtonStopp->isEnabled());
    EXPECT_TRUE(ui().Optionen1->menuAction()->isEnabled());
    EXPECT_FALSE(serialLink().isOpen());
    EXPECT_TRUE(dialogs.shown.empty());
}

TEST_F(ListModeTest, UnpluggedReaderIsShownAndTakenUpAgainByItself) {
    test::PluggableReader plug(dir.path() / "reader");
    ASSERT_TRUE(writePortMapping(ini, 1, plug.link().string()));
    start();
    ui().CheckBoxAutoNum->setChecked(true);
    const auto statusBecomes = [&](const QString& expected) {
        return test::waitFor([&] {
            QString status;
            onGui([&] { status = window().statusPanelText(StatusPanel::Activity); });
            return status == expected;
        });
    };
    bool deadHandleKept = true;
    runSession([&] {
        EXPECT_TRUE(plug.reader().sendCard(kCardA).acknowledged);
        plug.unplug();
        EXPECT_TRUE(statusBecomes("Leser getrennt, warte auf Leser..."));
        onGui([&] { deadHandleKept = serialLink().isOpen(); });
        plug.plugIn();
        EXPECT_TRUE(statusBecomes(" Warte auf Karte..."));
        EXPECT_TRUE(plug.reader().sendCard(kCardB).acknowledged);
        settledState();
    });
    EXPECT_FALSE(deadHandleKept);
    EXPECT_EQ(rows(), (std::vector<std::pair<QString, QString>>{{"0001", "123456789A"},
                                                                {"0002", "0A1B2C3D4E"}}));
    EXPECT_TRUE(dialogs.shown.empty());
}

TEST_F(ListModeTest, DuplicateRuleOutlivesSessionsAndRowDeletionButNotAClear) {
    start();
    ui().CheckBoxAutoNum->setChecked(true);
    runSession([&] { hold(kCardA); });
    ui().ListViewKarten->topLevelItem(0)->setSelected(true);
    window().cardList().Zeilelschen1Click();
    EXPECT_EQ(ui().ListViewKarten->topLevelItemCount(), 0);

    PageState refused{};
    runSession([&] { refused = hold(kCardA); });
    EXPECT_TRUE(refused.redLit);
    EXPECT_EQ(refused.rows, 0);

    window().listSaving().ClearCardList();
    EXPECT_EQ(window().listSession().lastAcceptedCode(), " ");
    runSession([&] { hold(kCardA); });
    EXPECT_EQ(rows(), (std::vector<std::pair<QString, QString>>{{"0002", "123456789A"}}));
}

TEST_F(ListModeTest, PortThatCannotBeOpenedLeavesThePageAsItWasAndTheTipSaysWhy) {
    const std::pair<std::string, QString> portsAndReasons[] = {
        {"0", ""}, // none configured: the panel says so
        {"9", "Nicht geöffnet: das Gerät /nonexistent/tty gibt es nicht."},
        {"8", "Nicht geöffnet: /dev/null ist keine serielle Schnittstelle."},
    };
    for (const auto& [port, reason] : portsAndReasons) {
        writeSettings("[Serial]\r\nPort=" + port + "\r\n");
        ASSERT_TRUE(writePortMapping(ini, 8, "/dev/null"));
        ASSERT_TRUE(writePortMapping(ini, 9, "/nonexistent/tty"));
        start();
        ui().ButtonReadKarten->click();
        EXPECT_EQ(texts().back(),
                  QString::fromStdString("Konnte Schnittstelle Com " + port + " nicht öffnen"));
        EXPECT_EQ(dialogs.shown.back().caption, "Fehler");
        EXPECT_TRUE(host().stopRequested());
        EXPECT_TRUE(ui().ButtonReadKarten->isEnabled());
        EXPECT_FALSE(ui().ButtonStopp->isEnabled());
        EXPECT_TRUE(ui().Optionen1->menuAction()->isEnabled());
        const QString tip = statusPanelTip(StatusPanel::Port);
        EXPECT_EQ(tip.contains("Nicht geöffnet"), !reason.isEmpty()) << tip.toStdString();
        EXPECT_TRUE(tip.contains(reason)) << tip.toStdString();
    }
}

int failingClose(int fd) {
    ::close(fd);
    errno = EIO;
    return -1;
}

TEST_F(ListModeTest, PortThatCannotBeClosedIsReportedAndThePageRestored) {
    SerialSystemCalls calls = systemSerialCalls();
    calls.close = failingClose;
    makeWindows(&calls);
    window().show();
    runSession([] {});
    EXPECT_EQ(texts(), std::vector<QString>{"konnte Schnittstelle Com 1 nicht schliessen"});
    EXPECT_TRUE(ui().ButtonReadKarten->isEnabled());
    EXPECT_FALSE(ui().ButtonStopp->isEnabled());
}

TEST_F(ListModeTest, ClosingTheWindowEndsTheSessionAndOffersToSave) {
    start();
    dialogs.typedTexts = {"Lager"};
    // The session returns once the close has ended it.
    whileReading(ui().ButtonReadKarten, [&] {
        hold(kCardA);
        QMetaObject::invokeMethod(&window(), &QWidget::close, Qt::QueuedConnection);
    });
    EXPECT_TRUE(test::waitUntil([&] { return !window().isVisible(); }))
        << "the close comes again once the session has ended";
    EXPECT_EQ(texts(), std::vector<QString>{"Kartenliste speichern?"});
    EXPECT_EQ(ui().ListViewKarten->topLevelItemCount(), 0) << "No: cleared without saving";
    EXPECT_FALSE(serialLink().isOpen());
}

TEST_F(ListModeTest, SingleReadTakesOneCardAndLeavesTheDuplicateRuleAlone) {
    start();
    ui().CheckBoxAutoNum->setChecked(true);
    runSession([&] { hold(kCardA); }); // a session would refuse this card now
    ui().CheckBoxAutoNum->setChecked(false);
    dialogs.typedTexts = {"Einzeln"};
    whileReading(ui().OneCardButton, [&] { reader.sendCard(kCardA); });
    EXPECT_EQ(window().statusPanelText(StatusPanel::Activity), "Karte gelesen");
    EXPECT_EQ(rows(), (std::vector<std::pair<QString, QString>>{{"0001", "123456789A"},
                                                                {"Einzeln", "123456789A"}}));
    EXPECT_EQ(window().listSession().lastAcceptedCode(), "123456789A");
    EXPECT_TRUE(ui().OneCardButton->isEnabled());
    EXPECT_FALSE(serialLink().isOpen());
}

TEST_F(ListModeTest, SingleReadGivesUpAfterFiveSecondsButStatusMessagesCostNothing) {
    start();
    QElapsedTimer timer;
    timer.start();
    ui().OneCardButton->click();
    EXPECT_EQ(window().statusPanelText(StatusPanel::Activity), "Zeit abgelaufen.");
    EXPECT_NEAR(timer.elapsed(), 5000, 1000);
    EXPECT_EQ(ui().ListViewKarten->topLevelItemCount(), 0);

    reader.setAcknowledgementTimeout(200ms);
    dialogs.typedTexts = {"Spät"};
    whileReading(ui().OneCardButton, [&] {
        const auto end = std::chrono::steady_clock::now() + 5500ms;
        while (std::chrono::steady_clock::now() < end)
            reader.sendStatus('s', '2');
        reader.sendCard(kCardB);
    });
    EXPECT_EQ(window().statusPanelText(StatusPanel::Activity), "Karte gelesen");
    EXPECT_EQ(rows(), (std::vector<std::pair<QString, QString>>{{"Spät", "0A1B2C3D4E"}}));
}

TEST_F(ListModeTest, LabelsByNumberOrPrompt) {
    start();
    dialogs.typedTexts = {"A-1", QString(), test::ScriptedDialogs::kKeepText};
    addEntry("01");
    addEntry("02");
    addEntry("03");
    ui().CheckBoxAutoNum->setChecked(true);
    addEntry("04");
    addEntry("05");
    window().listSaving().ClearCardList();
    addEntry("06");
    EXPECT_EQ(rows(), (std::vector<std::pair<QString, QString>>{{"0003", "06"}}));
    EXPECT_EQ(window().cardList().entryCount(), 1);
    EXPECT_EQ(dialogs.prompts.size(), 3);
}

TEST_F(ListModeTest, RowsAreChangedAndDeletedOnlyWhenSelected) {
    start();
    ui().CheckBoxAutoNum->setChecked(true);
    addEntry("01");
    addEntry("02");
    window().cardList().Zeilelschen1Click();
    window().cardList().Zeilendern1Click();
    EXPECT_EQ(ui().ListViewKarten->topLevelItemCount(), 2);
    EXPECT_TRUE(dialogs.prompts.isEmpty());

    ui().ListViewKarten->topLevelItem(1)->setSelected(true);
    dialogs.typedTexts = {"Neu"};
    window().cardList().Zeilendern1Click();
    EXPECT_EQ(dialogs.prompts.front(), "Eingabe Personalnummer|Personalnummer ändern(max. 30):");
    EXPECT_EQ(dialogs.promptEdit, "Neu");
    window().cardList().Zeilendern1Click(); // cancelled: unchanged
    ui().ListViewKarten->topLevelItem(1)->setSelected(false);
    ui().ListViewKarten->topLevelItem(0)->setSelected(true);
    window().cardList().Zeilelschen1Click();
    EXPECT_EQ(rows(), (std::vector<std::pair<QString, QString>>{{"Neu", "02"}}));
    EXPECT_EQ(window().cardList().entryCount(), 2) << "deleting a row does not lower the count";
}

} // namespace
} // namespace pelvaro
