// The main window on the offscreen platform: start-up states, settings file
// round trips, page sizes, the auxiliary dialogs and the end by menu.

#include "settings/DeliverySettings.h"
#include "settings/GlobalSettings.h"
#include "tests/app/ProgramFixture.h"
#include "tools/simulator/ReaderSimulator.h"

#include <QAccessible>
#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>
#include <QTest>
#include <filesystem>

namespace pelvaro {
namespace {

using test::waitUntil;

class MainWindowTest : public test::ProgramFixture {};

TEST_F(MainWindowTest, FirstStartWithoutSettings) {
    std::filesystem::remove(ini);
    TMainForm& form = start();
    EXPECT_EQ(form.windowTitle(), "Pelvaro Version3");
    EXPECT_EQ(form.frameGeometry().size(), QSize(540, 460));
    EXPECT_EQ(ui().PageControlMain->currentWidget(), ui().TabSheet1);
    EXPECT_EQ(form.statusPanelText(StatusPanel::Port), "Port: NA");
    EXPECT_EQ(host().portNumber(), 0);
    EXPECT_EQ(readResult().cardLength, 10);
    EXPECT_TRUE(readResult().hitagInverse);
    EXPECT_FALSE(ui().Personalnummernbearbeiten1->isEnabled()) << "no database here";
    EXPECT_FALSE(ui().CheckBoxSndPSNR->isEnabled());
    for (QCheckBox* box : {ui().CheckBoxLF, ui().CheckBoxShowTray, ui().CheckBoxSndPSNR,
                           dialog().CheckBoxSave, dialog().CheckBoxAutoStart})
        EXPECT_FALSE(box->isChecked()) << box->objectName().toStdString();
    EXPECT_FALSE(dialog().CheckBoxAutoStart->isEnabled());
    EXPECT_TRUE(ui().ButtonReadKarten->isEnabled());
    EXPECT_FALSE(ui().ButtonStopp->isEnabled());
    EXPECT_FALSE(ui().OneCardButton->isVisibleTo(&form));
    EXPECT_FALSE(ui().HardwareInfo1->isVisible());
    EXPECT_EQ(ui().LabelUmleitungInfo->text(), "Umleitung aus!");
    EXPECT_TRUE(dialogs.shown.empty());
    EXPECT_FALSE(std::filesystem::exists(ini)) << "loading creates no file";
}

TEST_F(MainWindowTest, StoredSettingsAreLoadedWithoutWriting) {
    writeSettings("[Serial]\r\nPort=7\r\nCardLen=0x0E\r\nHitag_inv=0\r\n"
                  "[Global]\r\nLineFeed=1\r\nSysTray=1\r\nSendPSNR=1\r\nAutosave=1\r\n");
    const std::string before = settingsText();
    TMainForm& form = start();
    EXPECT_EQ(form.statusPanelText(StatusPanel::Port), "Port: Com 07");
    EXPECT_EQ(readResult().cardLength, 14);
    EXPECT_FALSE(readResult().hitagInverse);
    EXPECT_EQ(dialog().UpDownLength->value(), 14) << "the reads use the stored length at once";
    EXPECT_FALSE(dialog().CheckBoxHitagInvers->isChecked());
    EXPECT_TRUE(ui().CheckBoxLF->isChecked());
    EXPECT_EQ(ui().LabelUmleitungInfo->text(), "Umleitung aus!\nKartennummer+<ENTER>\n");
    EXPECT_TRUE(ui().CheckBoxShowTray->isChecked());
    EXPECT_TRUE(dialog().CheckBoxSave->isChecked());
    EXPECT_TRUE(dialog().CheckBoxAutoStart->isEnabled());
    EXPECT_EQ(settingsText(), before);
}

TEST_F(MainWindowTest, AutostartOpensOnTheRedirectPage) {
    writeSettings("[Global]\r\nAutostart=1\r\nSysTray=1\r\n");
    TMainForm& form = start();
    EXPECT_EQ(ui().PageControlMain->currentWidget(), ui().TabSheet2);
    EXPECT_EQ(form.frameGeometry().size(), QSize(420, 320));
    EXPECT_EQ(texts(), std::vector<QString>{"Konnte Schnittstelle Com 0 nicht öffnen"})
        << "redirect mode starts with the program, and there is no port";
    EXPECT_FALSE(readResult().hideOnStart) << "the failed start does not hide a later one";
    EXPECT_TRUE(form.isVisible());
    EXPECT_TRUE(ui().SpeedButtonStart->isEnabled());
    EXPECT_TRUE(dialog().CheckBoxAutoStart->isChecked());
    EXPECT_FALSE(dialog().CheckBoxAutoStart->isEnabled()) << "ticked but disabled without saving";
}

TEST_F(MainWindowTest, AutostartWithoutANotificationAreaLeavesTheWindowShown) {
    sim::ReaderSimulator reader;
    writeSettings("[Global]\r\nAutostart=1\r\nSysTray=1\r\n[Serial]\r\nPort=1\r\n");
    ASSERT_TRUE(reader.mapAsPort(ini, 1));
    trayArea = false;
    TMainForm& form = start();
    EXPECT_TRUE(waitUntil(
        [&] { return form.statusPanelText(StatusPanel::Activity) == "Warte auf Karte..."; }));
    test::serveEventsFor(std::chrono::milliseconds(200));
    EXPECT_TRUE(form.isVisible());
    EXPECT_FALSE(hiddenToTray());
    EXPECT_TRUE(dialogs.shown.empty());
    ui().SpeedButtonStopp->click();
}

TEST_F(MainWindowTest, PagesResizeTheWindow) {
    TMainForm& form = start();
    ui().PageControlMain->setCurrentWidget(ui().TabSheet2);
    EXPECT_EQ(form.frameGeometry().size(), QSize(420, 320));
    ui().PageControlMain->setCurrentWidget(ui().TabSheet1);
    EXPECT_EQ(form.frameGeometry().size(), QSize(540, 460));
}

TEST_F(MainWindowTest, RedirectBoxesSaveOnlyWhileSavingIsOn) {
    start();
    const std::string before = settingsText();
    ui().CheckBoxShowTray->click();
    EXPECT_EQ(settingsText(), before);

    dialog().CheckBoxSave->setChecked(true);
    ui().CheckBoxLF->click();
    EXPECT_EQ(ui().LabelUmleitungInfo->text(), "Umleitung aus!\nKartennummer+<ENTER>\n");
    const std::string saved = before + "[Serial]\r\nPort=0\r\nCardLen=10\r\nHitag_inv=1\r\n"
                                       "[Global]\r\nLineFeed=1\r\nSysTray=1\r\nSendPSNR=0\r\n"
                                       "Autostart=0\r\nAutosave=1\r\n";
    EXPECT_EQ(settingsText(), saved) << "no delivery configured: no [Delivery]";
    EXPECT_TRUE(dialogs.shown.empty());

    DeliverySettings delivery;
    delivery.targets = {"https://erp.example/lesungen"};
    dialog().CheckBoxSave->setChecked(false);
    programSettings().setDelivery(delivery);
    EXPECT_EQ(settingsText(), saved);
    dialog().CheckBoxSave->setChecked(true);
    ui().CheckBoxShowTray->click();
    std::string savedAgain = saved;
    savedAgain.replace(savedAgain.find("SysTray=1"), 9, "SysTray=0");
    EXPECT_EQ(settingsText(), savedAgain + "[Delivery]\r\nTarget1=https://erp.example/lesungen\r\n"
                                           "Batch=100\r\nMaxQueued=100000\r\nCaFile=\r\n"
                                           "ClientCert=\r\nClientKey=\r\nListMode=0\r\n");
}

TEST_F(MainWindowTest, InstalledProgramKeepsSettingsAndDatabaseInTheUsersFolders) {
    std::filesystem::remove(ini);
    const std::filesystem::path program = dir.path() / "usr" / "bin";
    const UserFolders user{dir.path() / "home" / ".config" / "Pelvaro",
                           dir.path() / "home" / ".local" / "share" / "Pelvaro"};
    files = locateFiles(program, user, false);
    ASSERT_TRUE(prepareFolders(files));
    start();
    EXPECT_TRUE(ui().Personalnummernbearbeiten1->isEnabled())
        << "no library beside the program: the system's is bound";
    EXPECT_TRUE(std::filesystem::exists(user.data / "db_Personal.sqlite"));

    dialog().CheckBoxSave->setChecked(true);
    ui().CheckBoxLF->click();
    EXPECT_TRUE(dialogs.shown.empty()) << "saving works";
    EXPECT_EQ(readGlobalSettings(user.settings / "Pelvaro.ini").lineFeed, true);
    EXPECT_FALSE(std::filesystem::exists(program)) << "nothing beside the program";
}

TEST_F(MainWindowTest, WriteProtectedSettingsFileIsReportedEveryTime) {
    start();
    dialog().CheckBoxSave->setChecked(true);
    std::filesystem::permissions(ini, std::filesystem::perms::owner_read);
    const std::string before = settingsText();
    ui().CheckBoxShowTray->click();
    ui().CheckBoxShowTray->click();
    EXPECT_EQ(settingsText(), before);
    ASSERT_EQ(dialogs.shown.size(), 2u);
    const auto& note = dialogs.shown.front();
    EXPECT_EQ(note.caption, "Hinweis");
    EXPECT_EQ(note.icon, DialogIcon::Information);
    EXPECT_EQ(note.text, "Die Datei '" + QString::fromStdString(ini.string()) +
                             "' konnte nicht gespeichert werden.\n\nMögliche Ursachen:\n"
                             "-Schreibschutz der Datei aktiviert\n-Programm von CD gestartet");
    EXPECT_FALSE(ui().CheckBoxShowTray->isChecked()) << "the box changed all the same, twice";
}

TEST_F(MainWindowTest, AuxiliaryDialogsOpenFromMenuAndButton) {
    start();
    QString captions;
    const auto closeWithEnter = [&captions] {
        QWidget* dialog = QApplication::activeModalWidget();
        ASSERT_NE(dialog, nullptr);
        captions += dialog->windowTitle() + "|";
        QTest::keyClick(dialog, Qt::Key_Return);
    };
    QTimer::singleShot(0, closeWithEnter);
    ui().ber1->trigger();
    QTimer::singleShot(0, closeWithEnter);
    ui().BitBtn1->click();
    EXPECT_EQ(captions, "Info über Pelvaro|Info|");
}

TEST_F(MainWindowTest, BeendenClosesTheWindow) {
    TMainForm& form = start();
    ASSERT_TRUE(form.isVisible());
    ui().Beenden1->trigger();
    EXPECT_FALSE(form.isVisible());
    EXPECT_TRUE(host().stopRequested());
}

// Escape and the close button would answer the question with No, and the
// list would be gone unsaved.
TEST_F(MainWindowTest, ClosingQuestionIsAnsweredOnlyByItsButtons) {
    realBoxes = true;
    TMainForm& form = start();
    addEntry("0000000001");
    const auto neitherEscapeNorCloseEnds = [](QMessageBox& box) {
        EXPECT_EQ(box.text(), "Kartenliste speichern?");
        QTest::keyClick(box.focusWidget() ? box.focusWidget() : &box, Qt::Key_Escape);
        EXPECT_TRUE(box.isVisible()) << "Escape answered the question";
        EXPECT_FALSE(box.close()) << "the close button answered the question";
        EXPECT_TRUE(box.isVisible());
    };
    // Yes asks for a file; cancelled there, nothing is saved and nothing lost.
    whenShown<QMessageBox>([&](QMessageBox& box) {
        neitherEscapeNorCloseEnds(box);
        whenShown<QFileDialog>([](QFileDialog& files) { files.reject(); });
        box.button(QMessageBox::Yes)->click();
    });
    form.close();
    EXPECT_TRUE(form.isVisible());
    EXPECT_EQ(ui().ListViewKarten->topLevelItemCount(), 1);

    whenShown<QMessageBox>([&](QMessageBox& box) {
        neitherEscapeNorCloseEnds(box);
        box.button(QMessageBox::No)->click();
    });
    form.close();
    EXPECT_FALSE(form.isVisible());
}

TEST_F(MainWindowTest, PictureButtonsAreNamedForAssistiveTechnology) {
    start();
    for (QWidget* button : {static_cast<QWidget*>(ui().SpeedButtonStart),
                            static_cast<QWidget*>(ui().SpeedButtonStopp)}) {
        QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(button);
        ASSERT_NE(accessible, nullptr);
        EXPECT_EQ(accessible->text(QAccessible::Name), button->toolTip());
    }
    EXPECT_EQ(QAccessible::queryAccessibleInterface(ui().ButtonReadKarten)->text(QAccessible::Name),
              "Transponder lesen (Liste)");
}

} // namespace
} // namespace pelvaro
