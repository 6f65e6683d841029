// Saving and clearing the card list through the buttons of the list page.

#include "list/CardList.h"
#include "tests/app/ProgramFixture.h"

#include <filesystem>
#include <fstream>

namespace pelvaro {
namespace {

class ListExportTest : public test::ProgramFixture {
protected:
    void SetUp() override {
        start();
        ui().CheckBoxAutoNum->setChecked(true);
    }

    std::string fileText(const std::filesystem::path& path) const {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

    QString target(const char* name) const {
        return QString::fromStdString((dir.path() / name).string());
    }

    const std::string kHeader = "LfdNr;Seriennummer HEX; Seriennummer DEZ\r\n";
};

TEST_F(ListExportTest, ExportWritesTheExactFileThenOffersToClear) {
    addEntry("00ABCDEF12");
    addEntry("0000000001");
    dialogs.chosenFiles = {target("karten.txt")};
    dialogs.answers = {DialogAnswer::Yes};
    ui().ButtonExport->click();
    EXPECT_EQ(fileText(dir.path() / "karten.txt"),
              kHeader + "0001;00 AB CD EF 12 ;2882400018\r\n0002;00 00 00 00 01 ;1\r\n");
    EXPECT_EQ(dialogs.saveDialogs,
              QStringList{"Kartenliste speichern unter|Text files (*.txt)|txt"});
    EXPECT_EQ(texts(), std::vector<QString>{"Liste in Anzeige löschen? "});
    EXPECT_EQ(dialogs.shown[0].caption, "Frage");
    EXPECT_EQ(dialogs.shown[0].icon, DialogIcon::Question);
    EXPECT_EQ(ui().ListViewKarten->topLevelItemCount(), 0);
}

TEST_F(ListExportTest, ExistingFileIsOverwrittenOnlyOnYes) {
    const auto file = dir.path() / "alt.txt";
    std::ofstream(file, std::ios::binary) << "alt";
    addEntry("01");
    dialogs.chosenFiles = {target("alt.txt"), target("alt.txt")};
    dialogs.answers = {DialogAnswer::No, DialogAnswer::No, DialogAnswer::Yes, DialogAnswer::No};
    ui().ButtonExport->click();
    EXPECT_EQ(fileText(file), "alt");
    ui().ButtonExport->click();
    EXPECT_EQ(fileText(file), kHeader + "0001;01 ;1\r\n");
    EXPECT_EQ(texts(),
              (std::vector<QString>{"Datei überschreiben?", "Liste in Anzeige löschen? ",
                                    "Datei überschreiben?", "Liste in Anzeige löschen? "}));
}

TEST_F(ListExportTest, FailedWriteIsReportedKeepsTheListAndTheOldFile) {
    const auto file = dir.path() / "geschuetzt.txt";
    std::ofstream(file, std::ios::binary) << "alt";
    std::filesystem::permissions(file, std::filesystem::perms::owner_read);
    addEntry("01");
    dialogs.chosenFiles = {target("geschuetzt.txt"), target("fehlt/karten.txt")};
    dialogs.answers = {DialogAnswer::Yes, DialogAnswer::Yes, DialogAnswer::Yes, DialogAnswer::Yes};
    ui().ButtonClear->click(); // "Kartenliste speichern?" Yes, overwrite Yes, the write fails
    ui().ButtonClear->click(); // Yes, into a folder that does not exist
    EXPECT_EQ(texts(), (std::vector<QString>{"Kartenliste speichern?", "Datei überschreiben?",
                                             "Die Datei '" + target("geschuetzt.txt") +
                                                 "' konnte nicht gespeichert werden.",
                                             "Kartenliste speichern?",
                                             "Die Datei '" + target("fehlt/karten.txt") +
                                                 "' konnte nicht gespeichert werden."}));
    EXPECT_EQ(dialogs.shown[2].caption, "Fehler");
    EXPECT_EQ(dialogs.shown[2].icon, DialogIcon::Error);
    EXPECT_EQ(fileText(file), "alt");
    EXPECT_EQ(ui().ListViewKarten->topLevelItemCount(), 1) << "not saved, so not cleared";
}

TEST_F(ListExportTest, ClearAsksOnlyWhenThereIsSomethingToSave) {
    ui().ButtonClear->click();
    EXPECT_TRUE(dialogs.shown.empty());
    EXPECT_EQ(window().statusPanelText(StatusPanel::Activity), " ");

    addEntry("01");
    ui().ListViewKarten->topLevelItem(0)->setSelected(true);
    window().cardList().Zeilelschen1Click();
    dialogs.answers = {DialogAnswer::Yes};
    dialogs.chosenFiles = {QString()}; // the save dialog cancelled
    ui().ButtonClear->click();
    EXPECT_EQ(texts(), std::vector<QString>{"Kartenliste speichern?"}) << "rows were added since";
    EXPECT_EQ(window().cardList().entryCount(), 1) << "kept: nothing was saved";

    ui().ButtonClear->click(); // answered No: cleared without saving
    EXPECT_EQ(window().cardList().entryCount(), 0);
}

TEST_F(ListExportTest, EmptyListExportsTheHeaderOnly) {
    dialogs.chosenFiles = {target("leer.txt")};
    ui().ButtonExport->click();
    EXPECT_EQ(fileText(dir.path() / "leer.txt"), kHeader);
    EXPECT_EQ(texts(), std::vector<QString>{"Liste in Anzeige löschen? "});
}

} // namespace
} // namespace pelvaro
