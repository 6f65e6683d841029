#pragma once

#include "list/CardLeds.h"
#include "modes/ModeHost.h"
#include "modes/PersonnelPage.h"

#include <QObject>

class QAction;
class QTableWidget;
class QTreeWidget;
class QPushButton;
class QTabWidget;
class QWidget;

namespace pelvaro {

class PersonnelStore;
struct PersonnelRow;
struct StoreResult;
struct UploadConflict;
enum class UploadChoice;

// The controls of the list page that the personnel-number mode changes.
struct PersonnelPageControls {
    QAction* modeItem;     // Personalnummernbearbeiten1
    QTabWidget* pages;     // PageControlMain
    QWidget* listPage;     // TabSheet1
    QTreeWidget* cardList; // ListViewKarten
    QWidget* gridPanel;    // PanelPersonalNummern
    QTableWidget* grid;    // StringGrid1
    QPushButton* oneCardButton;
    QPushButton* exportButton;
    QPushButton* clearButton;
};

// The personnel-number mode: the table of card codes and personnel numbers in
// a grid on the list page, filled by reading cards and edited through the
// list page's pop-up menu.
class PersonnelMode : public QObject, public PersonnelPage {
    Q_OBJECT

public:
    PersonnelMode(ModeHost& host, CardLeds& leds, const PersonnelPageControls& controls);

    // Where the table is read and edited, or null while the personnel
    // features are off.
    void setStore(PersonnelStore* store) { store_ = store; }

    void Personalnummernbearbeiten1Click();
    bool personnelMode() const override;
    void FillPersonnelGrid() override;
    void HandlePersonnelCard() override;
    void Zeilelschen1Click();
    void Zeilendern1Click();
    void Listelschen1Click();
    // Moves the PC's own table to the server ("Personalnummern auf den Server
    // übertragen").
    void Personalnummernuebertragen1Click();

    // The grid row the pop-up actions act on: 1 is the first data row.
    int currentGridRow() const { return CurrentGridRow; }

private:
    void databaseError(const QString& text);
    void showFailure(const StoreResult& result);
    // Whether the table may be edited now; if not, says why.
    bool mayEdit();
    // Refills the grid after an edit, and after a row changed elsewhere
    // points at that card's current row.
    void finishEdit(const StoreResult& result, const QString& code);
    UploadChoice askConflict(const UploadConflict& conflict);
    QString cell(int column) const;
    PersonnelRow shownRow() const;

    int CurrentGridRow = 1;
    ModeHost& host_;
    CardLeds& leds_;
    PersonnelPageControls controls_;
    PersonnelStore* store_ = nullptr;
};

} // namespace pelvaro
