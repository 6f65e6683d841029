// How the modes hand the one serial port over: a mode starts only from idle,
// every mode gives back exactly what it locked, and closing the window waits
// for a read that runs below it.

#include "list/CardList.h"
#include "tests/app/ReaderProgramFixture.h"

#include <QElapsedTimer>
#include <QTimer>

namespace pelvaro {
namespace {

using test::waitUntil;

const test::ReaderProgramFixture::Bytes kCard = {0x12, 0x34, 0x56, 0x78, 0x9A};

class ModeHandOverTest : public test::ReaderProgramFixture {
protected:
    // The controls a list reading session locks, as they stand.
    bool listSessionLocks() {
        return !ui().Optionen1->menuAction()->isEnabled() &&
               !ui().Info1->menuAction()->isEnabled() && !ui().Dat1->menuAction()->isEnabled() &&
               !ui().Personalnummernbearbeiten1->isEnabled() && ui().ButtonStopp->isEnabled() &&
               !ui().ButtonReadKarten->isEnabled() && !ui().ButtonExport->isEnabled();
    }
};

TEST_F(ModeHandOverTest, RedirectStartDuringAListReadIsRefusedAndTheReadGoesOn) {
    placeSqliteBesideProgram();
    start();
    ASSERT_TRUE(sqliteBound());
    ui().CheckBoxAutoNum->setChecked(true);
    bool lockedBefore = false;
    bool lockedAfter = false;
    bool settingsOpened = false;
    bool deliveryOpened = false;
    runSession([&] {
        onGui([&] {
            lockedBefore = listSessionLocks();
            ui().SpeedButtonStart->click();
            lockedAfter = listSessionLocks();
            // Had the refusal unlocked the menus, the settings would scan the
            // ports with the port the read holds. The timer goes with the
            // window when the session ends first.
            QTimer::singleShot(500, &window(), [&] {
                settingsOpened = windows->settings.isVisible();
                windows->settings.reject();
            });
            ui().Einstellungen1->trigger();
            // The dialog "Versand" would restart delivery under the read.
            QTimer::singleShot(500, &window(), [&] {
                deliveryOpened = windows->delivery.isVisible();
                windows->delivery.reject();
            });
            ui().Versand1->trigger();
        });
        hold(kCard);
    });
    EXPECT_TRUE(lockedBefore);
    EXPECT_TRUE(lockedAfter);
    EXPECT_FALSE(settingsOpened);
    EXPECT_FALSE(deliveryOpened);
    EXPECT_EQ(texts(), std::vector<QString>{"Konnte Schnittstelle Com 1 nicht öffnen"});
    EXPECT_EQ(rows(), (std::vector<std::pair<QString, QString>>{{"0001", "123456789A"}}))
        << "the read went on";
    EXPECT_EQ(host().portNumber(), 1);
    EXPECT_EQ(ui().LabelUmleitungInfo->text(), "Umleitung aus!");
    EXPECT_TRUE(ui().Personalnummernbearbeiten1->isEnabled()) << "given back after the read";
}

TEST_F(ModeHandOverTest, CloseKeepsTheWindowAndItsListWhenYesSavedNothing) {
    start();
    ui().CheckBoxAutoNum->setChecked(true);
    addEntry("0102030405");
    const QString unwritable =
        QString::fromStdString((dir.path() / "no-such-folder" / "karten.txt").string());
    dialogs.answers = {DialogAnswer::Yes};
    dialogs.chosenFiles = {unwritable};
    window().close();
    EXPECT_TRUE(window().isVisible()) << "the write failed";
    EXPECT_EQ(texts(), (std::vector<QString>{"Kartenliste speichern?",
                                             "Die Datei '" + unwritable +
                                                 "' konnte nicht gespeichert werden."}));

    dialogs.answers = {DialogAnswer::Yes};
    window().close(); // the save dialog cancelled
    EXPECT_TRUE(window().isVisible());
    EXPECT_EQ(ui().ListViewKarten->topLevelItemCount(), 1);

    dialogs.answers = {DialogAnswer::No};
    window().close();
    EXPECT_FALSE(window().isVisible()) << "No closes without saving";
}

TEST_F(ModeHandOverTest, CloseDuringASingleReadEndsItAtOnce) {
    start();
    QElapsedTimer timer;
    timer.start();
    whileReading(ui().OneCardButton, [&] {
        QMetaObject::invokeMethod(&window(), &QWidget::close, Qt::QueuedConnection);
    });
    EXPECT_LT(timer.elapsed(), 2000) << "the read waits five seconds for a card otherwise";
    EXPECT_TRUE(waitUntil([&] { return !window().isVisible(); }));
    EXPECT_FALSE(serialLink().isOpen());
    EXPECT_TRUE(dialogs.prompts.isEmpty());
}

TEST_F(ModeHandOverTest, WindowDestroyedBeforeItsFirstEventLoopTurnEndsTheReadThread) {
    writeSettings("[Serial]\r\nPort=1\r\n[Global]\r\nAutostart=1\r\nSysTray=1\r\n");
    ASSERT_TRUE(reader.mapAsPort(ini, 1));
    makeWindows();
    // The first show starts redirect mode, whose thread first asks the GUI
    // thread to hide the window; nothing has served that request yet.
    window().show();
    ASSERT_FALSE(startingUp());
    windows.reset();
    SUCCEED() << "the thread was ended instead of waited for";
}

TEST_F(ModeHandOverTest, ModesRefuseToStartWithoutAPortObject) {
    // Never shown: the start-up sequence made no port object.
    makeWindows();
    ui().ButtonReadKarten->click();
    ui().OneCardButton->click();
    ui().SpeedButtonStart->click();
    EXPECT_EQ(texts(), std::vector<QString>(3, "Konnte Schnittstelle Com 0 nicht öffnen"));
    EXPECT_TRUE(ui().ButtonReadKarten->isEnabled());
    EXPECT_TRUE(ui().SpeedButtonStart->isEnabled());
    EXPECT_FALSE(ui().SpeedButtonStopp->isEnabled());
    EXPECT_TRUE(ui().Optionen1->menuAction()->isEnabled());
}

TEST_F(ModeHandOverTest, StoredCardLengthZeroGivesTenDigitsInEveryMode) {
    writeSettings("[Serial]\r\nPort=1\r\nCardLen=0\r\n");
    ASSERT_TRUE(reader.mapAsPort(ini, 1));
    start();
    EXPECT_EQ(dialog().UpDownLength->value(), 10);
    ui().CheckBoxAutoNum->setChecked(true);
    runSession([&] { hold(kCard); });
    EXPECT_EQ(rows(), (std::vector<std::pair<QString, QString>>{{"0001", "123456789A"}}));
}

} // namespace
} // namespace pelvaro
