#pragma once

#include <QDialog>
#include <functional>
#include <memory>

namespace Ui {
class TSettingsDlg;
}

namespace pelvaro {

// The settings dialog: port, time-out, card length, Hitag byte order,
// automatic numbering, saving and autostart. The main window fills its
// controls before each opening and takes them over on OK; the card-length and
// byte-order controls also feed the main window's own reads.
class TSettingsDlg : public QDialog {
    Q_OBJECT

public:
    explicit TSettingsDlg(QWidget* parent = nullptr);
    ~TSettingsDlg() override;

    Ui::TSettingsDlg& controls() { return *ui; }
    const Ui::TSettingsDlg& controls() const { return *ui; }
    // The main window's hardware query, run by the magnifier button.
    void setHardwareQuery(std::function<void()> query) { hardwareQuery_ = std::move(query); }

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void EditCardLengthChange(int position);
    void CheckBoxSaveClick(bool checked);
    void SpeedButtonScanSerialClick();

    std::unique_ptr<Ui::TSettingsDlg> ui;
    std::function<void()> hardwareQuery_;
};

} // namespace pelvaro
