// The settings dialog with its port list and hardware query, against
// simulated readers on pseudo-terminals mapped as COM ports.

#include "settings/GlobalSettings.h"
#include "settings/SerialSettings.h"
#include "tests/app/ProgramFixture.h"
#include "tools/simulator/ReaderSimulator.h"

#include <QMessageBox>

namespace pelvaro {
namespace {

class SettingsDialogTest : public test::ProgramFixture {
protected:
    // Readers on Com1, Com3 and Com7; Com3 configured.
    void SetUp() override {
        writeSettings("[Serial]\r\nPort=3\r\n");
        ASSERT_TRUE(com1.mapAsPort(ini, 1));
        ASSERT_TRUE(com3.mapAsPort(ini, 3));
        ASSERT_TRUE(com7.mapAsPort(ini, 7));
        start();
    }

    QStringList portList() {
        QStringList entries;
        for (int i = 0; i < dialog().ComboBoxPort->count(); ++i)
            entries << dialog().ComboBoxPort->itemText(i);
        return entries;
    }

    sim::ReaderSimulator com1;
    sim::ReaderSimulator com3;
    sim::ReaderSimulator com7;
};

TEST_F(SettingsDialogTest, PortListFindsTheReadersAndPreselectsTheConfiguredOne) {
    withSettingsDialog([this] {
        EXPECT_EQ(portList(), QStringList({"Com1", "Com3", "Com7"}));
        EXPECT_EQ(dialog().ComboBoxPort->currentIndex(), 1);
        EXPECT_EQ(dialog().ComboBoxPort->toolTip(), "");
        EXPECT_EQ(window().statusPanelText(StatusPanel::Port), "Port: Com 03");
        dialog().ComboBoxPort->setCurrentIndex(2);
        dialog().BitBtn1->click();
    });
    EXPECT_EQ(host().portNumber(), 7);
    EXPECT_EQ(window().statusPanelText(StatusPanel::Port), "Port: Com 07");
    withSettingsDialog([this] {
        EXPECT_EQ(dialog().ComboBoxPort->currentIndex(), 2) << "the port taken is preselected";
        dialog().BitBtn2->click();
    });

    T_Serial_Interface otherProgram(false);
    ASSERT_EQ(otherProgram.openDevice(com7.devicePath(), 9600), OpenResult::Opened);
    withSettingsDialog([this] {
        EXPECT_EQ(portList(), QStringList({"Com1", "Com3"}));
        EXPECT_EQ(dialog().ComboBoxPort->toolTip(),
                  QString::fromStdString("Com7 fehlt in der Liste: " + com7.devicePath() +
                                         " wird von einem anderen Programm benutzt."));
        dialog().BitBtn2->click();
    });
}

TEST_F(SettingsDialogTest, CancelKeepsThePortAndTheStoredValues) {
    const std::string before = settingsText();
    withSettingsDialog([this] {
        dialog().CheckBoxSave->setChecked(true);
        dialog().ComboBoxPort->setCurrentIndex(0);
        dialog().UpDownLength->setValue(14);
        dialog().UpDownTO->setValue(900);
        dialog().BitBtn2->click();
    });
    EXPECT_EQ(host().portNumber(), 3);
    EXPECT_EQ(window().statusPanelText(StatusPanel::Port), "Port: Com 03");
    EXPECT_EQ(readResult().cardLength, 10);
    EXPECT_EQ(dialog().UpDownLength->value(), 14) << "the list reads keep the changed length";
    EXPECT_EQ(settingsText(), before) << "cancel writes nothing";
    EXPECT_TRUE(dialog().CheckBoxAutoStart->isEnabled()) << "the tick stays";

    withSettingsDialog([this] {
        EXPECT_EQ(dialog().UpDownLength->value(), 10) << "shows the stored length again";
        EXPECT_EQ(dialog().UpDownTO->value(), 500);
        dialog().BitBtn2->click();
    });
}

TEST_F(SettingsDialogTest, OkTakesOverEveryValueAndSavesWhenAsked) {
    withSettingsDialog([this] {
        dialog().UpDownLength->setValue(15);
        EXPECT_EQ(dialog().UpDownLength->value(), 14);
        dialog().UpDownLength->setValue(3);
        EXPECT_EQ(dialog().UpDownLength->value(), 2);
        dialog().UpDownLength->setValue(22);
        dialog().CheckBoxHitagInvers->setChecked(false);
        dialog().CheckBoxAuto->setChecked(true);
        dialog().UpDownTO->setValue(1234);
        dialog().CheckBoxSave->setChecked(true);
        dialog().CheckBoxAutoStart->setChecked(true);
        dialog().BitBtn1->click();
    });
    EXPECT_EQ(readResult().cardLength, 22);
    EXPECT_FALSE(readResult().hitagInverse);
    EXPECT_TRUE(ui().CheckBoxAutoNum->isChecked());
    withSettingsDialog([this] {
        EXPECT_EQ(dialog().UpDownTO->value(), 1234) << "the time-out is kept";
        dialog().BitBtn2->click();
    });
    const SerialSettings serial = readSerialSettings(ini);
    EXPECT_EQ(serial.port, 3);
    EXPECT_EQ(serial.cardLength, 22);
    EXPECT_FALSE(serial.hitagInverse);
    const GlobalSettings global = readGlobalSettings(ini);
    EXPECT_TRUE(global.autostart && global.autosave);
}

TEST_F(SettingsDialogTest, OkWithoutASelectionClearsThePort) {
    withSettingsDialog([this] {
        dialog().ComboBoxPort->setCurrentIndex(-1);
        dialog().BitBtn1->click();
    });
    EXPECT_EQ(host().portNumber(), 0);
    EXPECT_EQ(window().statusPanelText(StatusPanel::Port), "Port: NA");
}

TEST_F(SettingsDialogTest, HardwareQueryShowsTheReadersAnswer) {
    com7.setHardwareInfo({0xF1, 2, 1, 0});
    withSettingsDialog([this] {
        dialog().ComboBoxPort->setCurrentIndex(2);
        dialog().SpeedButtonScanSerial->click();
        EXPECT_TRUE(dialog().BitBtn1->isEnabled()) << "the buttons are back";
        dialog().BitBtn2->click();
    });
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].caption, "LeserHardware");
    EXPECT_EQ(dialogs.shown[0].icon, DialogIcon::Information);
    EXPECT_EQ(dialogs.shown[0].text, "Hardware Info:\n==============\nPlattform: Busmodul\n"
                                     "RFID: Mifare classic 1k\nTastatur: ja\nIO-Box: nein");
    EXPECT_EQ(host().portNumber(), 7) << "the queried port is the configured one, even on cancel";
    EXPECT_FALSE(serialLink().isOpen());
}

TEST_F(SettingsDialogTest, SilentReaderAndMissingSelectionAreReported) {
    com1.setAnswerRequests(false);
    withSettingsDialog([this] {
        dialog().ComboBoxPort->setCurrentIndex(0);
        dialog().SpeedButtonScanSerial->click();
        dialog().ComboBoxPort->setCurrentIndex(-1);
        dialog().SpeedButtonScanSerial->click();
        dialog().BitBtn2->click();
    });
    EXPECT_EQ(texts(), (std::vector<QString>{"Keinen Leser gefunden",
                                             "Konnte Schnittstelle Com 0 nicht öffnen"}));
    for (const auto& shown : dialogs.shown) {
        EXPECT_EQ(shown.caption, "Fehler");
        EXPECT_EQ(shown.icon, DialogIcon::Error);
    }
    EXPECT_GE(com1.requestsReceived(), 5) << "asked again and again for three seconds";
}

// A box owned by the main window lets the window manager raise the window
// over the dialog that asked.
class SettingsDialogBoxTest : public SettingsDialogTest {
protected:
    SettingsDialogBoxTest() { realBoxes = true; }
};

TEST_F(SettingsDialogBoxTest, BoxesOfTheOpenDialogBelongToIt) {
    const QWidget* owner = nullptr;
    withSettingsDialog([&] {
        whenShown<QMessageBox>([&](QMessageBox& box) {
            EXPECT_EQ(box.text(), "Konnte Schnittstelle Com 0 nicht öffnen");
            owner = box.parentWidget();
            box.button(QMessageBox::Ok)->click();
        });
        dialog().ComboBoxPort->setCurrentIndex(-1);
        dialog().SpeedButtonScanSerial->click();
        dialog().BitBtn2->click();
    });
    EXPECT_EQ(owner, &windows->settings);
}

class SettingsDialogWithoutPortsTest : public test::ProgramFixture {};

TEST_F(SettingsDialogWithoutPortsTest, EmptyPortListIsReportedAndTheDialogStillOpens) {
    writeSettings("[Serial]\r\nPort=4\r\n");
    start();
    bool opened = false;
    withSettingsDialog([&] {
        opened = true;
        dialog().BitBtn1->click();
    });
    EXPECT_TRUE(opened);
    EXPECT_EQ(texts(), std::vector<QString>{"Keinen seriellen Anschluß gefunden!\n"
                                            "Bitte Leser anschließen und Programm neu starten!"});
    EXPECT_EQ(host().portNumber(), 0);
    EXPECT_EQ(window().statusPanelText(StatusPanel::Port), "Port: NA");
}

} // namespace
} // namespace pelvaro
