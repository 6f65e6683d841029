// The personnel-number mode on the offscreen platform with the real SQLite
// library beside the program and a real database file.

#include "personnel/PersonnelMode.h"

#include "list/CardList.h"
#include "personnel/PersonnelDatabase.h"
#include "personnel/ServerPersonnelStore.h"
#include "personnel/server/PqLibrary.h"
#include "tests/app/ProgramFixture.h"
#include "tests/support/FileText.h"
#include "tests/support/PostgresServer.h"
#include "tools/simulator/ReaderSimulator.h"

#include <QMessageBox>
#include <QTableWidget>
#include <QTest>
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

    // An entry of the list page's pop-up menu.
    QAction* popupAction(const QString& text) {
        for (QAction* action : window().findChildren<QAction*>())
            if (action->text() == text)
                return action;
        ADD_FAILURE() << "no menu entry " << text.toStdString();
        return nullptr;
    }
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
    EXPECT_EQ(test::fileText("/proc/self/maps").find("libpq"), std::string::npos)
        << "libpq is bound only for a personnel server";
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
    QAction* change = popupAction("Zeile ändern");
    QAction* remove = popupAction("Zeile löschen");
    QAction* removeAll = popupAction("Liste löschen");
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

TEST_F(PersonnelModeTest, ChoiceOnScreenGivesTheButtonPressedAndEscapeCancels) {
    realBoxes = true;
    start();
    const QStringList offered{"eins", "zwei", "Abbrechen"};
    whenShown<QMessageBox>([&](QMessageBox& box) {
        EXPECT_EQ(box.text(), "Welche?");
        ASSERT_EQ(box.buttons().size(), 3);
        for (QAbstractButton* button : box.buttons())
            if (button->text() == "zwei")
                button->click();
    });
    EXPECT_EQ(screenDialogs.choose("Frage", "Welche?", offered), 1);
    whenShown<QMessageBox>([](QMessageBox& box) {
        QTest::keyClick(box.focusWidget() ? box.focusWidget() : &box, Qt::Key_Escape);
    });
    EXPECT_EQ(screenDialogs.choose("Frage", "Welche?", offered), 2) << "Escape took an answer";
}

// The mode on the server's table of a real PostgreSQL server, shared by the
// suite; the window's db_Personal.sqlite is the cache. No sync runs here: the
// test says whether it would be connected.
class PersonnelServerModeTest : public PersonnelModeTest {
protected:
    static void SetUpTestSuite() {
        postgres = new test::PostgresServer;
        ::setenv("PGPASSFILE", postgres->pgpassFile().c_str(), 1);
    }
    static void TearDownTestSuite() {
        delete postgres;
        postgres = nullptr;
    }

    void SetUp() override {
        PersonnelModeTest::SetUp();
        if (!postgres->running())
            postgres->start();
        pq = BindPqLibrary(dir.path()).library;
        ASSERT_TRUE(pq);
        server = station("PC-1");
        ASSERT_TRUE(server->connect().ok()); // creates the table
        postgres->psql("DELETE FROM pelvaro_personnel");
        start();
        store = std::make_unique<ServerPersonnelStore>(*server, personnelDatabase(),
                                                       [this] { return online; });
        window().personnel().setStore(store.get());
        switchMode();
    }
    void TearDown() override {
        if (windows)
            window().personnel().setStore(nullptr);
    }

    std::unique_ptr<PersonnelServer> station(const std::string& name) {
        return std::make_unique<PersonnelServer>(pq, postgres->uri(), name);
    }
    std::vector<std::string> serverRows() {
        return postgres->psql(
            "SELECT cardcode, persnum, changed_by FROM pelvaro_personnel ORDER BY cardcode");
    }
    Rows cacheRows() {
        Rows rows;
        for (const PersonnelEntry& entry : personnelDatabase().ReadPersonnelTable().entries)
            rows.emplace_back(QString::fromStdString(entry.cardCode),
                              QString::fromStdString(entry.personnelNumber));
        return rows;
    }

    static inline test::PostgresServer* postgres = nullptr;
    std::shared_ptr<const PqLibrary> pq;
    std::unique_ptr<PersonnelServer> server;
    std::unique_ptr<ServerPersonnelStore> store;
    bool online = true;
};

const QString kChangedElsewhere = "Der Eintrag wurde inzwischen an einem anderen Platz geändert "
                                  "und nicht überschrieben.\n"
                                  "Die Liste zeigt jetzt den aktuellen Eintrag.";
const QString kOffline = "Der Personalnummern-Server ist nicht erreichbar; es wurde nichts "
                         "geändert.\nDie Liste zeigt die Kopie dieses PCs und kann erst wieder "
                         "bearbeitet werden, wenn der Server erreichbar ist.";

TEST_F(PersonnelServerModeTest, CardsAreAddedAndReplacedOnTheServer) {
    postgres->psql("INSERT INTO pelvaro_personnel (cardcode, persnum, changed_by) VALUES "
                   "('0C', 'HR-3', 'HR'), ('0B', 'HR-2', 'HR')");
    dialogs.typedTexts = {"4711"};
    handle("0A");
    EXPECT_EQ(serverRows(), (std::vector<std::string>{"0A|4711|PC-1", "0B|HR-2|HR", "0C|HR-3|HR"}));
    EXPECT_EQ(grid(), (Rows{{"0A", "4711"}, {"0B", "HR-2"}, {"0C", "HR-3"}}))
        << "the server's table, by card code";
    EXPECT_TRUE(cacheRows().empty()) << "the cache is the sync's to fill";

    dialogs.answers = {DialogAnswer::Yes};
    dialogs.typedTexts = {"0815"};
    handle("0C");
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].text,
              "Eintrag mit dieser Karte bereits vorhanden.\nEintrag Ersetzen?");
    EXPECT_EQ(dialogs.shown[0].caption, "Fehler");
    EXPECT_EQ(dialogs.promptEdit, "0815");
    EXPECT_EQ(serverRows().back(), "0C|0815|PC-1");
}

TEST_F(PersonnelServerModeTest, RowChangedElsewhereIsNotOverwritten) {
    dialogs.typedTexts = {"1", "2"};
    handle("01");
    handle("02");
    PersonnelDatabase otherCache(personnelDatabase().library());
    ASSERT_TRUE(otherCache.OpenPersonnelDatabaseFile(dir.path() / "other.sqlite").ok());
    const auto otherServer = station("PC-2");
    ServerPersonnelStore other(*otherServer, otherCache, [] { return true; });
    const std::vector<PersonnelRow> seen = other.readAll();
    ASSERT_EQ(seen.size(), 2u);

    // Both PCs show row 01; the other one changes it first.
    ASSERT_TRUE(other.change(seen[0], "eins").ok());
    dialogs.typedTexts = {"one"};
    popupAction("Zeile ändern")->trigger();
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].caption, "Hinweis");
    EXPECT_EQ(dialogs.shown[0].text, kChangedElsewhere);
    EXPECT_EQ(grid(), (Rows{{"01", "eins"}, {"02", "2"}})) << "the winner shown";
    EXPECT_EQ(serverRows()[0], "01|eins|PC-2");

    // Now this PC wins: the other one still shows the row as it changed it.
    selectGridRow(1);
    dialogs.answers = {DialogAnswer::Yes};
    popupAction("Zeile löschen")->trigger();
    EXPECT_EQ(grid(), (Rows{{"01", "eins"}}));
    EXPECT_EQ(other.remove(seen[1]).outcome, StoreResult::Outcome::ChangedElsewhere);
    EXPECT_EQ(other.put("01", "x", seen[0]).outcome, StoreResult::Outcome::ChangedElsewhere);
    EXPECT_EQ(serverRows(), std::vector<std::string>{"01|eins|PC-2"});
}

TEST_F(PersonnelServerModeTest, OfflineTheCacheIsShownAndNothingIsEdited) {
    ASSERT_TRUE(personnelDatabase().InsertPersonnelEntry("0F", "15").ok());
    ASSERT_TRUE(personnelDatabase().InsertPersonnelEntry("0E", "14").ok());
    const auto refusedEverything = [&] {
        dialogs.shown.clear();
        dialogs.answers = {DialogAnswer::Yes, DialogAnswer::Yes};
        dialogs.typedTexts = {"neu", "neu"};
        handle("0E");
        selectGridRow(0);
        popupAction("Zeile ändern")->trigger();
        popupAction("Zeile löschen")->trigger();
        popupAction("Liste löschen")->trigger();
        window().personnel().Personalnummernuebertragen1Click();
        EXPECT_TRUE(dialogs.prompts.empty());
        EXPECT_EQ(texts(), std::vector<QString>(5, kOffline));
        EXPECT_EQ(dialogs.shown.back().caption, "Fehler");
        EXPECT_EQ(dialogs.shown.back().icon, DialogIcon::Error);
        EXPECT_EQ(cacheRows(), (Rows{{"0F", "15"}, {"0E", "14"}}));
        EXPECT_EQ(grid(), (Rows{{"0E", "14"}, {"0F", "15"}}));
    };

    postgres->stop();
    online = false;
    window().personnel().FillPersonnelGrid();
    refusedEverything();
    // The sync has not noticed yet: the server's table cannot be read, so
    // the cache rows shown are not edited either.
    online = true;
    window().personnel().FillPersonnelGrid();
    refusedEverything();
    postgres->start();
    EXPECT_TRUE(serverRows().empty());
}

TEST_F(PersonnelServerModeTest, UploadAsksPerConflictOrForAll) {
    window().personnel().Personalnummernuebertragen1Click();
    EXPECT_EQ(texts(), std::vector<QString>{"Dieser PC hat keine eigenen Personalnummern; es gibt "
                                            "nichts auf den Server zu übertragen."});
    {
        PersonnelDatabase own(personnelDatabase().library());
        ASSERT_TRUE(own.OpenPersonnelDatabaseFile(dir.path() / kLocalPersonnelTableFile).ok());
        const Rows rows{{"A", "1"}, {"B", "2"}, {"C", "3"}, {"D", "4"}, {"E", "5"}};
        for (const auto& [code, number] : rows)
            ASSERT_TRUE(own.InsertPersonnelEntry(code.toStdString(), number.toStdString()).ok());
    }
    postgres->psql("INSERT INTO pelvaro_personnel (cardcode, persnum, changed_by) VALUES "
                   "('B', '20', 'HR'), ('C', '30', 'HR'), ('D', '40', 'HR'), ('E', '5', 'HR')");
    const std::vector<std::string> before = serverRows();

    dialogs.shown.clear();
    dialogs.picks = {0}; // this PC's number, then cancelled
    window().personnel().Personalnummernuebertragen1Click();
    ASSERT_EQ(dialogs.shown.size(), 3u);
    EXPECT_EQ(dialogs.shown[0].caption, "Frage");
    EXPECT_EQ(dialogs.shown[0].answers,
              (QStringList{"Nummer dieses PCs", "Nummer des Servers", "Dieser PC für alle",
                           "Server für alle", "Abbrechen"}));
    EXPECT_EQ(dialogs.shown[0].text, "Der Server hat die Karte B mit der Personalnummer '20', "
                                     "dieser PC mit '2'.\nWelche Personalnummer soll gelten?");
    EXPECT_EQ(dialogs.shown[2].text,
              "Die Übertragung ist abgebrochen; auf dem Server wurde nichts geändert.");
    EXPECT_EQ(serverRows(), before);

    dialogs.shown.clear();
    dialogs.picks = {1, 2}; // the server's for B, this PC's for all others
    window().personnel().Personalnummernuebertragen1Click();
    ASSERT_EQ(dialogs.shown.size(), 3u);
    EXPECT_EQ(dialogs.shown[2].caption, "Hinweis");
    EXPECT_EQ(dialogs.shown[2].text,
              "Die Personalnummern dieses PCs sind auf den Server übertragen:\n"
              "1 Karten neu hinzugefügt,\n2 durch die Nummer dieses PCs ersetzt,\n"
              "1 mit der Nummer des Servers belassen,\n1 waren schon gleich.");
    EXPECT_EQ(serverRows(),
              (std::vector<std::string>{"A|1|PC-1", "B|20|HR", "C|3|PC-1", "D|4|PC-1", "E|5|HR"}));
    EXPECT_EQ(grid().size(), 5u) << "the grid shows the server's table afterwards";
}

} // namespace
} // namespace pelvaro
