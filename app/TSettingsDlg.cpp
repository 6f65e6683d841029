#include "app/TSettingsDlg.h"

#include "forms/ui_TSettingsDlg.h"

#include <QKeyEvent>

namespace pelvaro {

TSettingsDlg::TSettingsDlg(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      ui(std::make_unique<Ui::TSettingsDlg>()) {
    ui->setupUi(this);
    setFixedSize(size());
    connect(ui->UpDownLength, &QSpinBox::valueChanged, this, &TSettingsDlg::EditCardLengthChange);
    connect(ui->CheckBoxSave, &QCheckBox::toggled, this, &TSettingsDlg::CheckBoxSaveClick);
    connect(ui->SpeedButtonScanSerial, &QToolButton::clicked, this,
            &TSettingsDlg::SpeedButtonScanSerialClick);
}

TSettingsDlg::~TSettingsDlg() = default;

void TSettingsDlg::keyPressEvent(QKeyEvent* event) {
    // Escape is bound to nothing: only the buttons close the dialog.
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void TSettingsDlg::EditCardLengthChange(int position) {
    if (position % 2 != 0)
        ui->UpDownLength->setValue(position - 1);
}

void TSettingsDlg::CheckBoxSaveClick(bool checked) {
    ui->CheckBoxAutoStart->setEnabled(checked);
}

void TSettingsDlg::SpeedButtonScanSerialClick() {
    if (!hardwareQuery_)
        return;
    setCursor(Qt::WaitCursor);
    ui->BitBtn1->setEnabled(false);
    ui->BitBtn2->setEnabled(false);
    hardwareQuery_();
    unsetCursor();
    ui->BitBtn1->setEnabled(true);
    ui->BitBtn2->setEnabled(true);
}

} // namespace pelvaro
