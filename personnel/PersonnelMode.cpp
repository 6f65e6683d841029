#include "personnel/PersonnelMode.h"

#include "personnel/PersonnelStore.h"

#include <QAction>
#include <QPushButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QTreeWidget>
#include <iterator>

namespace pelvaro {

namespace {

constexpr int kNumberColumn = 0;
constexpr int kCodeColumn = 1;
constexpr int kPersonnelColumn = 2;

constexpr int kChangedAtRole = Qt::UserRole;

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

void PersonnelMode::showFailure(const StoreResult& result) {
    const QString text = QString::fromStdString(result.message);
    switch (result.outcome) {
    case StoreResult::Outcome::Done:
        break;
    case StoreResult::Outcome::DatabaseFailure:
        databaseError(text);
        break;
    case StoreResult::Outcome::ChangedElsewhere:
        host_.dialogs().note(text);
        break;
    case StoreResult::Outcome::ServerFailure:
        host_.dialogs().error(text);
        break;
    }
}

bool PersonnelMode::mayEdit() {
    const StoreResult editable = store_->editable();
    if (editable.ok())
        return true;
    showFailure(editable);
    // The server may be back: the grid then shows its table for the next try.
    FillPersonnelGrid();
    return false;
}

void PersonnelMode::finishEdit(const StoreResult& result, const QString& code) {
    showFailure(result);
    FillPersonnelGrid();
    if (result.outcome != StoreResult::Outcome::ChangedElsewhere)
        return;
    QTableWidget& grid = *controls_.grid;
    for (int row = 0; row < grid.rowCount(); ++row) {
        const QTableWidgetItem* item = grid.item(row, kCodeColumn);
        if (item && item->text() == code)
            grid.setCurrentCell(row, kCodeColumn);
    }
}

QString PersonnelMode::cell(int column) const {
    const QTableWidgetItem* item = controls_.grid->item(CurrentGridRow - 1, column);
    return item ? item->text() : QString();
}

PersonnelRow PersonnelMode::shownRow() const {
    const QTableWidgetItem* code = controls_.grid->item(CurrentGridRow - 1, kCodeColumn);
    return {cell(kCodeColumn).toStdString(), cell(kPersonnelColumn).toStdString(),
            code ? code->data(kChangedAtRole).toString().toStdString() : std::string()};
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
    if (store_)
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
    if (!store_)
        return;
    const std::vector<PersonnelRow> rows = store_->readAll();
    grid.setRowCount(std::max<int>(1, static_cast<int>(rows.size())));
    int row = 0;
    for (const PersonnelRow& entry : rows) {
        auto* code = new QTableWidgetItem(QString::fromStdString(entry.cardCode));
        code->setData(kChangedAtRole, QString::fromStdString(entry.changedAt));
        grid.setItem(row, kNumberColumn, new QTableWidgetItem(QString::number(row + 1)));
        grid.setItem(row, kCodeColumn, code);
        grid.setItem(row, kPersonnelColumn,
                     new QTableWidgetItem(QString::fromStdString(entry.personnelNumber)));
        ++row;
    }
}

void PersonnelMode::HandlePersonnelCard() {
    if (!store_ || !mayEdit())
        return;
    const QString code = host_.currentCode();
    const StoreLookup entry = store_->find(code.toStdString());
    if (!entry.result.ok()) {
        showFailure(entry.result);
        return;
    }
    const bool known = entry.row.has_value();
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
        known ? QString::fromStdString(entry.row->personnelNumber) : QString());
    StoreResult result;
    if (typed)
        result = store_->put(code.toStdString(), typed->toStdString(), entry.row);
    finishEdit(result, code);
}

void PersonnelMode::Zeilelschen1Click() {
    const QString code = cell(kCodeColumn);
    if (!store_ || code.isEmpty() || !mayEdit())
        return;
    if (host_.dialogs().message(QStringLiteral("Frage"),
                                QStringLiteral("Datensatz mit Kartennummer %1 löschen?").arg(code),
                                DialogButtons::YesNo, DialogIcon::None) != DialogAnswer::Yes)
        return;
    finishEdit(store_->remove(shownRow()), code);
}

void PersonnelMode::Zeilendern1Click() {
    const QString code = cell(kCodeColumn);
    const QString number = cell(kPersonnelColumn);
    if (!store_ || (code.isEmpty() && number.isEmpty()) || !mayEdit())
        return;
    const PersonnelRow shown = shownRow();
    const auto typed = host_.dialogs().promptText(
        kPersonnelCaption, QStringLiteral("Personalnummer ändern(max. 30):"), number);
    if (!typed)
        return;
    finishEdit(store_->change(shown, typed->toStdString()), code);
}

void PersonnelMode::Listelschen1Click() {
    if (!store_ || !mayEdit() ||
        host_.dialogs().message(QStringLiteral("Frage"),
                                QStringLiteral("Wirklich alle Karten löschen?"),
                                DialogButtons::YesNo, DialogIcon::None) != DialogAnswer::Yes)
        return;
    finishEdit(store_->removeAll(), QString());
}

UploadChoice PersonnelMode::askConflict(const UploadConflict& conflict) {
    // In the order of the answers offered; the last one cancels.
    static constexpr UploadChoice kChoices[] = {
        UploadChoice::TakeLocal, UploadChoice::KeepServer, UploadChoice::TakeLocalForAll,
        UploadChoice::KeepServerForAll, UploadChoice::Cancel};
    const int answer = host_.dialogs().choose(
        QStringLiteral("Frage"),
        QStringLiteral("Der Server hat die Karte %1 mit der Personalnummer '%2', dieser PC mit "
                       "'%3'.\nWelche Personalnummer soll gelten?")
            .arg(QString::fromStdString(conflict.cardCode),
                 QString::fromStdString(conflict.serverNumber),
                 QString::fromStdString(conflict.localNumber)),
        {QStringLiteral("Nummer dieses PCs"), QStringLiteral("Nummer des Servers"),
         QStringLiteral("Dieser PC für alle"), QStringLiteral("Server für alle"),
         QStringLiteral("Abbrechen")});
    return answer >= 0 && answer < static_cast<int>(std::size(kChoices)) ? kChoices[answer]
                                                                          : UploadChoice::Cancel;
}

void PersonnelMode::Personalnummernuebertragen1Click() {
    if (!store_ || !mayEdit())
        return;
    const StoreUpload moved =
        store_->upload([this](const UploadConflict& conflict) { return askConflict(conflict); });
    if (moved.result.ok())
        host_.dialogs().note(QString::fromStdString(moved.report));
    else
        showFailure(moved.result);
    FillPersonnelGrid();
}

} // namespace pelvaro
