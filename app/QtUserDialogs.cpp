#include "app/QtUserDialogs.h"

#include "app/TRequestLfdnrStringDLG.h"

#include <QFileDialog>
#include <QMessageBox>

namespace pelvaro {

namespace {

QMessageBox::Icon boxIcon(DialogIcon icon) {
    switch (icon) {
    case DialogIcon::Error:
        return QMessageBox::Critical;
    case DialogIcon::Question:
        return QMessageBox::Question;
    case DialogIcon::Information:
        return QMessageBox::Information;
    case DialogIcon::None:
        break;
    }
    return QMessageBox::NoIcon;
}

} // namespace

DialogAnswer QtUserDialogs::message(const QString& caption, const QString& text,
                                    DialogButtons buttons, DialogIcon icon) {
    QMessageBox box(boxIcon(icon), caption, text,
                    buttons == DialogButtons::YesNo ? QMessageBox::Yes | QMessageBox::No
                                                    : QMessageBox::Ok,
                    owner_);
    box.setAccessibleName(caption);
    switch (box.exec()) {
    case QMessageBox::Yes:
        return DialogAnswer::Yes;
    case QMessageBox::No:
        return DialogAnswer::No;
    default:
        return DialogAnswer::Ok;
    }
}

std::optional<QString> QtUserDialogs::promptText(const QString& caption, const QString& label,
                                                 const std::optional<QString>& replaceText) {
    return prompt_ ? prompt_->ask(caption, label, replaceText) : std::nullopt;
}

std::optional<QString> QtUserDialogs::saveFileName(const QString& title, const QString& filter,
                                                   const QString& defaultSuffix) {
    QFileDialog dialog(owner_, title);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    dialog.setNameFilter(filter);
    dialog.setDefaultSuffix(defaultSuffix);
    dialog.setFilter(dialog.filter() | QDir::Hidden);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return dialog.selectedFiles().constFirst();
}

} // namespace pelvaro
