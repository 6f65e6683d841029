#include "personnel/PersonnelMode.h"

#include "personnel/PersonnelDatabase.h"

#include <QAction>
#include <QPushButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QTreeWidget>

namespace pelvaro {

namespace {

constexpr int kNumberColumn = 0;
constexpr int kCodeColumn = 1;
constexpr int kPersonnelColumn = 2;

const QString kPersonnelCaption = QStringLiteral("Eingabe Personalnummer");

} // namespace

PersonnelMode::PersonnelMode(ModeHost& host, CardLeds& leds, const PersonnelPageControls& controls)
    : QObject(controls.grid), host_(host), leds_(leds), controls_(controls) {
    connect(controls_.modeItem, &QAction::triggered, this,
            &PersonnelMode::Personalnummernbearbeiten1Click);
    connect(controls_.grid, &QTableWidget::currentCellChanged, this,
            [this](int row) { CurrentGridRow = row + 1; });
    connect(controls_.grid, &QTableWidget::cellDoubleClicked, this,
            &PersonnelMode::Zeilendern1Click);
}

void PersonnelMode::databaseError(const QString& text) {
    host_.dialogs().message(QStringLiteral("Fehler"), text, DialogButtons::Ok, DialogIcon::None);
}

QString PersonnelMode::cell(int column) const {
    const QTableWidgetItem* item = controls_.grid->item(CurrentGridRow - 1, column);
    return item ? item->text() : QString();
}

bool PersonnelMode::personnelMode() const {
    // The menu item's check mark is the mode.
    return controls_.modeItem->isChecked();
}

void PersonnelMode::Personalnummernbearbeiten1Click() {
    const bool on = personnelMode();
    controls_.gridPanel->setVisible(on);
    controls_.oneCardButton->setVisible(on);
    controls_.clearButton->setVisible(!on);
    controls_.exportButton->setVisible(!on);
    if (database_)
        FillPersonnelGrid();
    controls_.pages->setTabText(controls_.pages->indexOf(controls_.listPage),
                                on ? QStringLiteral("Personalnummer")
                                   : QStringLiteral("Listenmodus"));
    controls_.cardList->setVisible(!on);
}

void PersonnelMode::FillPersonnelGrid() {
    QTableWidget& grid = *controls_.grid;
    grid.clearContents();
    grid.setRowCount(1);
    CurrentGridRow = 1;
    grid.setHorizontalHeaderLabels(
        {QStringLiteral("lfd.Nr"), QStringLiteral("Codierung (hex)"),
         personnelMode() ? QStringLiteral("Personalnummer") : QStringLiteral("Aufdruck")});
    if (!database_)
        return;
    // A failed query shows the rows read before it, and nothing else.
    const PersonnelTable table = database_->ReadPersonnelTable();
    grid.setRowCount(std::max<int>(1, static_cast<int>(table.entries.size())));
    int row = 0;
    for (const PersonnelEntry& entry : table.entries) {
        grid.setItem(row, kNumberColumn, new QTableWidgetItem(QString::number(row + 1)));
        grid.setItem(row, kCodeColumn,
                     new QTableWidgetItem(QString::fromStdString(entry.cardCode)));
        grid.setItem(row, kPersonnelColumn,
                     new QTableWidgetItem(QString::fromStdString(entry.personnelNumber)));
        ++row;
    }
}

void PersonnelMode::HandlePersonnelCard() {
    if (!database_)
        return;
    const std::string code = host_.currentCode().toStdString();
    const PersonnelLookup entry = database_->FindPersonnelEntry(code);
    if (!entry.result.ok()) {
        databaseError(QStringLiteral("Datenbank Fehler: '%1'")
                          .arg(QString::fromStdString(entry.result.failure)));
        return;
    }
    const bool known = entry.personnelNumber.has_value();
    if (known) {
        leds_.showLed(CardLeds::Led::RedLit);
        if (host_.dialogs().message(QStringLiteral("Fehler"),
                                    QStringLiteral("Eintrag mit dieser Karte bereits vorhanden.\n"
                                                   "Eintrag Ersetzen?"),
                                    DialogButtons::YesNo, DialogIcon::None) != DialogAnswer::Yes)
            return;
    } else {
        leds_.showLed(CardLeds::Led::GreenLit);
    }
    const auto typed = host_.dialogs().promptText(
        kPersonnelCaption, QStringLiteral("Personalnummer eingeben(max. 30):"),
        known ? QString::fromStdString(*entry.personnelNumber) : QString());
    if (typed) {
        const std::string number = typed->toStdString();
        const DatabaseResult result = known ? database_->UpdatePersonnelEntry(code, number)
                                            : database_->InsertPersonnelEntry(code, number);
        if (!result.ok())
            databaseError(QStringLiteral("SQLite exec insert card"));
    }
    FillPersonnelGrid();
}

void PersonnelMode::Zeilelschen1Click() {
    const QString code = cell(kCodeColumn);
    if (!database_ || code.isEmpty())
        return;
    if (host_.dialogs().message(QStringLiteral("Frage"),
                                QStringLiteral("Datensatz mit Kartennummer %1 löschen?").arg(code),
                                DialogButtons::YesNo, DialogIcon::None) != DialogAnswer::Yes)
        return;
    const DatabaseResult result = database_->DeletePersonnelEntry(code.toStdString());
    if (!result.ok())
        databaseError(QStringLiteral("SQLite exec delete card: %1").arg(result.code));
    FillPersonnelGrid();
}

void PersonnelMode::Zeilendern1Click() {
    const QString code = cell(kCodeColumn);
    const QString number = cell(kPersonnelColumn);
    if (!database_ || (code.isEmpty() && number.isEmpty()))
        return;
    const auto typed = host_.dialogs().promptText(
        kPersonnelCaption, QStringLiteral("Personalnummer ändern(max. 30):"), number);
    if (!typed)
        return;
    const DatabaseResult result =
        database_->UpdatePersonnelEntry(code.toStdString(), typed->toStdString());
    if (!result.ok())
        databaseError(QStringLiteral("SQLite exec update card: %1").arg(result.code));
    FillPersonnelGrid();
}

void PersonnelMode::Listelschen1Click() {
    if (!database_ || host_.dialogs().message(
                          QStringLiteral("Frage"), QStringLiteral("Wirklich alle Karten löschen?"),
                          DialogButtons::YesNo, DialogIcon::None) != DialogAnswer::Yes)
        return;
    const DatabaseResult result = database_->DeleteAllPersonnelEntries();
    if (!result.ok())
        databaseError(QStringLiteral("SQLite exec delete cards: %1").arg(result.code));
    FillPersonnelGrid();
}

} // namespace pelvaro
