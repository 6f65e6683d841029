// The personnel-number mode on the offscreen platform with the real SQLite
// library beside the program and a real database file.

#include "personnel/PersonnelMode.h"

#include "list/CardList.h"
#include "personnel/PersonnelDatabase.h"
#include "tests/app/ProgramFixture.h"
#include "tools/simulator/ReaderSimulator.h"

#include <QTableWidget>
#include <future>

namespace pelvaro {
namespace {

using Rows = std::vector<std::pair<QString, QString>>;

const char kCreateTable[] = "CREATE TABLE IF NOT EXISTS t_card_personal (Cardcode VARCHAR(50) "
                            "PRIMARY KEY  NOT NULL, PersNum VARCHAR(50) NOT NULL)";

class PersonnelModeTest : public test::ProgramFixture {
protected:
    void SetUp() override { placeSqliteBesideProgram(); }

    void switchMode() { ui().Personalnummernbearbeiten1->trigger(); }

    // Hands a card to the mode as a read would.
    void handle(const QString& code) {
        host().setCurrentCode(code);
        window().personnel().HandlePersonnelCard();
    }

    Rows grid() {
        Rows rows;
        QTableWidget* table = ui().StringGrid1;
        for (int row = 0; row < table->rowCount(); ++row) {
            const auto text = [&](int column) {
                return table->item(row, column) ? table->item(row, column)->text() : QString();
            };
            if (text(0) != QString::number(row + 1))
                break;
            rows.emplace_back(text(1), text(2));
        }
        return rows;
    }

    QString header(int column) { return ui().StringGrid1->horizontalHeaderItem(column)->text(); }

    void selectGridRow(int row) { ui().StringGrid1->setCurrentCell(row, 1); }
};

TEST_F(PersonnelModeTest, DatabaseIsCreatedAndTheModeOffered) {
    start();
    EXPECT_TRUE(sqliteBound());
    EXPECT_TRUE(std::filesystem::exists(dir.path() / "db_Personal.sqlite"));
    EXPECT_TRUE(ui().Personalnummernbearbeiten1->isEnabled());
    EXPECT_TRUE(ui().CheckBoxSndPSNR->isEnabled());
    EXPECT_EQ(header(2), "Aufdruck");
    EXPECT_EQ(ui().StringGrid1->rowCount(), 1) << "one empty row for an empty table";
    EXPECT_TRUE(dialogs.shown.empty());
}

TEST_F(PersonnelModeTest, SwitchingShowsTheGridAndKeepsTheList) {
    start();
    ui().CheckBoxAutoNum->setChecked(true);
    addEntry("0102030405");
    switchMode();
    EXPECT_TRUE(ui().Personalnummernbearbeiten1->isChecked());
    EXPECT_TRUE(ui().PanelPersonalNummern->isVisibleTo(&window()));
    EXPECT_FALSE(ui().ListViewKarten->isVisibleTo(&window()));
    EXPECT_TRUE(ui().OneCardButton->isVisibleTo(&window()));
    EXPECT_FALSE(ui().ButtonExport->isVisibleTo(&window()));
    EXPECT_FALSE(ui().ButtonClear->isVisibleTo(&window()));
    EXPECT_EQ(ui().PageControlMain->tabText(0), "Personalnummer");
    EXPECT_EQ(header(2), "Personalnummer");
    switchMode();
    EXPECT_EQ(ui().PageControlMain->tabText(0), "Listenmodus");
    EXPECT_TRUE(ui().ListViewKarten->isVisibleTo(&window()));
    EXPECT_EQ(ui().ListViewKarten->topLevelItemCount(), 1);
}

TEST_F(PersonnelModeTest, NewAndKnownCards) {
    start();
    switchMode();
    dialogs.typedTexts = {"4711", QString(), ""};
    handle("00000000AA");
    handle("00000000BB"); // cancelled: nothing stored
    handle("00000000CC"); // OK with an empty field
    EXPECT_EQ(grid(), (Rows{{"00000000AA", "4711"}, {"00000000CC", ""}}));
    EXPECT_EQ(dialogs.prompts.front(), "Eingabe Personalnummer|Personalnummer eingeben(max. 30):");

    dialogs.answers = {DialogAnswer::No};
    handle("00000000AA");
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].caption, "Fehler");
    EXPECT_EQ(dialogs.shown[0].text,
              "Eintrag mit dieser Karte bereits vorhanden.\nEintrag Ersetzen?");
    EXPECT_EQ(dialogs.shown[0].icon, DialogIcon::None);
    EXPECT_EQ(dialogs.prompts.size(), 3) << "No: no prompt";

    dialogs.answers = {DialogAnswer::Yes};
    dialogs.typedTexts = {"0815 'Müller'; DROP TABLE t_card_personal; --"};
    handle("00000000AA");
    EXPECT_EQ(dialogs.promptEdit, "0815 'Müller'; DROP TABLE t_card_personal; --");
    EXPECT_EQ(grid(), (Rows{{"00000000AA", "0815 'Müller'; DROP TABLE t_card_personal; --"},
                            {"00000000CC", ""}}));
}

TEST_F(PersonnelModeTest, RowsAreChangedAndDeletedFromThePopupMenu) {
    start();
    switchMode();
    dialogs.typedTexts = {"1", "2", "3"};
    handle("01");
    handle("02");
    handle("03");
    selectGridRow(1);
    dialogs.typedTexts = {"zwei"};
    QAction* change = nullptr;
    QAction* remove = nullptr;
    QAction* removeAll = nullptr;
    for (QAction* action : window().findChildren<QAction*>()) {
        if (action->text() == "Zeile ändern")
            change = action;
        if (action->text() == "Zeile löschen")
            remove = action;
        if (action->text() == "Liste löschen")
            removeAll = action;
    }
    ASSERT_TRUE(change && remove && removeAll);
    change->trigger();
    EXPECT_EQ(dialogs.prompts.back(), "Eingabe Personalnummer|Personalnummer ändern(max. 30):");
    EXPECT_EQ(grid(), (Rows{{"01", "1"}, {"02", "zwei"}, {"03", "3"}}));

    EXPECT_EQ(window().personnel().currentGridRow(), 1) << "a refill points at the first row";
    dialogs.answers = {DialogAnswer::Yes};
    remove->trigger();
    EXPECT_EQ(dialogs.shown.back().text, "Datensatz mit Kartennummer 01 löschen?");
    EXPECT_EQ(dialogs.shown.back().caption, "Frage");
    EXPECT_EQ(grid(), (Rows{{"02", "zwei"}, {"03", "3"}}));

    dialogs.answers = {DialogAnswer::No, DialogAnswer::Yes};
    removeAll->trigger();
    EXPECT_EQ(grid().size(), 2u);
    removeAll->trigger();
    EXPECT_EQ(dialogs.shown.back().text, "Wirklich alle Karten löschen?");
    EXPECT_TRUE(grid().empty());

    const size_t asked = dialogs.shown.size();
    remove->trigger();
    change->trigger();
    EXPECT_EQ(dialogs.shown.size(), asked) << "an empty table: nothing to delete or change";
}

TEST_F(PersonnelModeTest, SingleReadHandsEveryCardOn) {
    sim::ReaderSimulator reader;
    writeSettings("[Serial]\r\nPort=1\r\n");
    ASSERT_TRUE(reader.mapAsPort(ini, 1));
    start();
    switchMode();
    for (const char* typed : {"7", "8"}) {
        dialogs.answers = {DialogAnswer::Yes};
        dialogs.typedTexts = {typed};
        auto holding = std::async(std::launch::async, [&] {
            QMetaObject::invokeMethod(
                &window(), [] {}, Qt::BlockingQueuedConnection);
            reader.sendCard(std::vector<uint8_t>{0x12, 0x34, 0x56, 0x78, 0x9A});
        });
        ui().OneCardButton->click();
        holding.get();
    }
    EXPECT_EQ(grid(), (Rows{{"123456789A", "8"}})) << "the second read replaced the first";
}

TEST_F(PersonnelModeTest, FileThatIsNoDatabaseShowsTheStatement) {
    std::ofstream(dir.path() / "db_Personal.sqlite", std::ios::binary) << std::string(4096, 'x');
    start();
    EXPECT_EQ(texts(), std::vector<QString>{kCreateTable});
    EXPECT_EQ(dialogs.shown[0].caption, "Error");
    EXPECT_EQ(dialogs.shown[0].icon, DialogIcon::None);
}

} // namespace
} // namespace pelvaro
