#pragma once

#include "personnel/server/PersonnelServer.h"
#include "settings/PersonnelServerSettings.h"

#include <QDialog>
#include <QString>
#include <memory>

class QThread;

namespace Ui {
class TPersonnelServerDlg;
}

namespace pelvaro {

class PqLibrary;

// What changed_by records for the changes this PC makes: the station as set,
// or the computer's name.
std::string stationFor(const PersonnelServerSettings& settings);

// The dialog "Personalnummern-Server": the server's connection URI and the
// station, a check of the connection, the table and the rights, run off the
// window's thread. Without libpq everything is greyed out and it says why.
// The main window fills it before each opening and takes it over on OK.
class TPersonnelServerDlg : public QDialog {
    Q_OBJECT

public:
    explicit TPersonnelServerDlg(QWidget* parent = nullptr);
    // Waits for a check still under way: it ends within libpq's time-out.
    ~TPersonnelServerDlg() override;

    Ui::TPersonnelServerDlg& controls() { return *ui; }

    // The library the check uses; without one, unavailable says why.
    void setLibrary(std::shared_ptr<const PqLibrary> pq, const QString& unavailable);
    void fill(const PersonnelServerSettings& settings);
    PersonnelServerSettings settings() const;
    bool checking() const { return checking_ != nullptr; }

    // A URI that carries a password is refused: it belongs in the password file.
    void accept() override;

private:
    void ButtonCheckClick();
    void showCheckResult();
    void enableControls();

    std::unique_ptr<Ui::TPersonnelServerDlg> ui;
    std::shared_ptr<const PqLibrary> pq_;
    std::unique_ptr<QThread> checking_;
    ServerCheck checkResult_;
};

} // namespace pelvaro
