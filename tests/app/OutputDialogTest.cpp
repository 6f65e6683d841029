// The output dialog: the preview of the template for the last card, the
// placeholders to pick, a mistake refused, OK handing the output to redirect
// mode, the [Output] section and the session's autostart entry saved only
// with "Einstellungen speichern", and a faulty stored template.

#include "fileio/FileLocations.h"
#include "fileio/SessionStart.h"
#include "settings/OutputSettings.h"
#include "tests/app/ProgramFixture.h"
#include "tests/support/FileText.h"
#include "text/LocalClock.h"
#include "tools/simulator/ReaderSimulator.h"

#include <QAccessible>
#include <QLabel>
#include <QMenu>
#include <future>

namespace pelvaro {
namespace {

using test::waitUntil;

class OutputDialogTest : public test::ProgramFixture {
protected:
    void SetUp() override {
        useOwnConfigurationFolder();
        writeSettings("[Serial]\r\nPort=1\r\n");
        ASSERT_TRUE(reader.mapAsPort(ini, 1));
    }

    QString preview() { return outputDialog().LabelPreview->text(); }
    // What a person (or a screen reader) is shown: markup in a value stays text.
    static QString shown(QLabel* label) {
        return QAccessible::queryAccessibleInterface(label)->text(QAccessible::Name);
    }
    void pick(const QString& placeholder) {
        for (QAction* entry : outputDialog().ButtonPlaceholders->menu()->actions())
            if (entry->text().startsWith(placeholder + " "))
                return entry->trigger();
        ADD_FAILURE() << "no placeholder " << placeholder.toStdString();
    }

    // The characters typed for one card held to the reader in redirect mode.
    std::u32string typedForCard(const std::vector<uint8_t>& card) {
        auto recorder = std::make_unique<RecordingInjector>();
        const RecordingInjector& typed = *recorder;
        window().setKeyboard(std::move(recorder), {});
        ui().SpeedButtonStart->click();
        auto sending = std::async(std::launch::async, [&] { return reader.sendCard(card); });
        EXPECT_TRUE(waitUntil([&] {
            return sending.wait_for(std::chrono::milliseconds(0)) == std::future_status::ready;
        }));
        EXPECT_TRUE(sending.get().acknowledged);
        test::serveEventsFor(std::chrono::milliseconds(200));
        ui().SpeedButtonStopp->click();
        std::u32string text;
        for (const KeyEvent& event : typed.events())
            if (event.pressed)
                text += event.key == KeyEvent::Key::Enter ? U'\n' : event.character;
        return text;
    }

    std::filesystem::path autostartEntry() const {
        return dir.path() / "config" / "autostart" / "org.pelvaro.Pelvaro.desktop";
    }

    sim::ReaderSimulator reader;
};

TEST_F(OutputDialogTest, PreviewFollowsTheTemplateAndMistakesAreRefused) {
    start();
    ui().CheckBoxLF->setChecked(true);
    withOutputDialog([this] {
        EXPECT_EQ(outputDialog().EditTemplate->text(), "{code}");
        EXPECT_EQ(preview(), "123456789A↵") << "the sample card before any was read";
        EXPECT_TRUE(outputDialog().LabelLogFolder->text().endsWith(
            QString::fromStdString(dir.path().filename().string())));
        outputDialog().EditTemplate->setText("{dec10}");
        pick("{tab}");
        pick("{w26}");
        EXPECT_EQ(outputDialog().EditTemplate->text(), "{dec10}{tab}{w26}");
        EXPECT_EQ(preview(), "0878082202⇥086,30874↵");

        outputDialog().EditTemplate->setText("<b>{code}</b>");
        EXPECT_EQ(shown(outputDialog().LabelPreview), "<b>123456789A</b>↵");

        outputDialog().EditTemplate->setText("{hex}{foo}");
        EXPECT_FALSE(outputDialog().BitBtn1->isEnabled());
        EXPECT_EQ(outputDialog().LabelTemplateError->text(),
                  "Unbekannter Platzhalter {foo} in der Ausgabevorlage");
        EXPECT_EQ(preview(), "");
        outputDialog().EditTemplate->setText("{<i>x</i>}");
        EXPECT_EQ(shown(outputDialog().LabelTemplateError),
                  "Unbekannter Platzhalter {<i>x</i>} in der Ausgabevorlage");
        outputDialog().BitBtn2->click();
    });

    host().setCurrentCode("0000000A1B");
    ui().CheckBoxLF->setChecked(false);
    withOutputDialog([this] {
        EXPECT_EQ(outputDialog().EditTemplate->text(), "{code}") << "cancel kept the template";
        EXPECT_EQ(preview(), "0000000A1B") << "the card read last";
        EXPECT_TRUE(outputDialog().BitBtn1->isEnabled());
        outputDialog().BitBtn2->click();
    });
}

TEST_F(OutputDialogTest, OkHandsTheOutputOverAndSavesOnlyWhenAsked) {
    start();
    const std::string before = settingsText();
    withOutputDialog([this] {
        EXPECT_FALSE(outputDialog().CheckBoxSessionStart->isEnabled()) << "saving is off";
        outputDialog().EditTemplate->setText(" {rhex}{tab}{dec} ");
        outputDialog().BitBtn1->click();
    });
    EXPECT_EQ(typedForCard({0x12, 0x34, 0x56, 0x78, 0x9A}), U" 9A78563412\t78187493530 ");
    EXPECT_EQ(settingsText(), before) << "saving is off";

    dialog().CheckBoxSave->setChecked(true);
    withOutputDialog([this] {
        EXPECT_EQ(outputDialog().EditTemplate->text(), " {rhex}{tab}{dec} ");
        outputDialog().UpDownRepeatGuard->setValue(5);
        outputDialog().CheckBoxLog->setChecked(true);
        ASSERT_TRUE(outputDialog().CheckBoxSessionStart->isEnabled());
        EXPECT_FALSE(outputDialog().CheckBoxSessionStart->isChecked());
        outputDialog().CheckBoxSessionStart->setChecked(true);
        outputDialog().BitBtn1->click();
    });
    EXPECT_EQ(readOutputSettings(ini), (OutputSettings{" {rhex}{tab}{dec} ", 5, true}))
        << "blanks at the ends survive";
    EXPECT_EQ(sessionStartProgram(), runningProgramFile()) << test::fileText(autostartEntry());

    // A log that cannot be written is said in the status bar; the card is typed.
    std::filesystem::create_directory(dir.path() /
                                      ("Pelvaro-" + DateText(localTimeNow()) + ".csv"));
    EXPECT_EQ(typedForCard({0x01}), U" 0100000000\t1 ");
    EXPECT_TRUE(window().statusPanelText(StatusPanel::Spare).startsWith("Protokollfehler: "));

    withOutputDialog([this] {
        EXPECT_TRUE(outputDialog().CheckBoxSessionStart->isChecked());
        outputDialog().CheckBoxSessionStart->setChecked(false);
        outputDialog().BitBtn1->click();
    });
    EXPECT_FALSE(std::filesystem::exists(autostartEntry()));
}

TEST_F(OutputDialogTest, AFaultyStoredTemplateKeepsRedirectModeFromStarting) {
    ASSERT_TRUE(writeProfileString(ini, "Output", "Template", "{hex}{tabulator}"));
    start();
    ui().SpeedButtonStart->click();
    EXPECT_EQ(texts(),
              std::vector<QString>{"Die Ausgabevorlage in den Einstellungen ist fehlerhaft:\n"
                                   "Unbekannter Platzhalter {tabulator} in der Ausgabevorlage\n\n"
                                   "Bitte unter Optionen, Ausgabe berichtigen."});
    EXPECT_FALSE(serialLink().isOpen());
    EXPECT_FALSE(reader.waitForProgram(std::chrono::milliseconds(300)));

    withOutputDialog([this] {
        EXPECT_FALSE(outputDialog().BitBtn1->isEnabled());
        outputDialog().EditTemplate->setText("{hex}{tab}");
        outputDialog().BitBtn1->click();
    });
    EXPECT_EQ(typedForCard({0x0A, 0x1B}), U"0000000A1B\t");
}

TEST_F(OutputDialogTest, AStoredTemplateTooLongIsRefusedQuotingLittleOfIt) {
    ASSERT_TRUE(writeProfileString(ini, "Output", "Template", "{pnr" + std::string(1 << 20, 'x')));
    start();
    ui().SpeedButtonStart->click();
    EXPECT_EQ(texts(), std::vector<QString>{"Die Ausgabevorlage in den Einstellungen ist "
                                            "fehlerhaft:\nDie Ausgabevorlage ist l\u00E4nger als "
                                            "1000 Zeichen: {pnrxxxxxxxxxxxxxxxx\u2026\n\n"
                                            "Bitte unter Optionen, Ausgabe berichtigen."});
    EXPECT_FALSE(serialLink().isOpen());
}

} // namespace
} // namespace pelvaro
