#pragma once

#include "app/DeliveryTargets.h"

#include <QDialog>
#include <QString>
#include <memory>
#include <optional>
#include <string>

class QThread;

namespace Ui {
class TDeliveryDlg;
}

namespace pelvaro {

// The delivery dialog: the targets every read goes to, the secret of the
// selected one, the CA file, list mode's reads and the batch size; a check of
// the selected target's connection, run off the window's thread; and the
// state of delivery. The main window fills it before each opening and takes
// it over on OK.
class TDeliveryDlg : public QDialog {
    Q_OBJECT

public:
    explicit TDeliveryDlg(QWidget* parent = nullptr);
    // Waits for a check still under way: it ends within its time-out.
    ~TDeliveryDlg() override;

    Ui::TDeliveryDlg& controls() { return *ui; }

    void fill(const DeliverySettings& settings, const TargetSecrets& secrets);
    // The settings and the secrets as the controls hold them.
    DeliverySettings settings() const;
    TargetSecrets secrets() const;
    // The state of the running delivery; without one, why delivery is off.
    void showStatus(const std::optional<DeliveryStatus>& status, const QString& off);
    bool checking() const { return checking_ != nullptr; }

private:
    void selectionChanged();
    void ButtonAddClick();
    void ButtonRemoveClick();
    void ButtonCaFileClick();
    void ButtonCheckClick();
    void showCheckResult();
    void showState();

    std::unique_ptr<Ui::TDeliveryDlg> ui;
    std::unique_ptr<QThread> checking_;
    SendResult checkResult_;
    DeliverySettings filled_; // what the controls do not show stays as it was
    std::optional<DeliveryStatus> status_;
    QString off_;
};

} // namespace pelvaro
