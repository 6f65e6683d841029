#include "app/TRequestLfdnrStringDLG.h"

#include "forms/ui_TRequestLfdnrStringDLG.h"

namespace pelvaro {

TRequestLfdnrStringDLG::TRequestLfdnrStringDLG(QWidget* parent)
    : QDialog(parent), ui(std::make_unique<Ui::TRequestLfdnrStringDLG>()) {
    ui->setupUi(this);
}

TRequestLfdnrStringDLG::~TRequestLfdnrStringDLG() = default;

std::optional<QString> TRequestLfdnrStringDLG::ask(const QString& caption, const QString& label,
                                                   const std::optional<QString>& replaceText) {
    setWindowTitle(caption);
    ui->Label1->setText(label);
    if (replaceText)
        ui->EditCaption->setText(*replaceText);
    if (exec() != QDialog::Accepted)
        return std::nullopt;
    return ui->EditCaption->text();
}

void TRequestLfdnrStringDLG::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    ui->EditCaption->setFocus();
    ui->EditCaption->selectAll();
}

} // namespace pelvaro
