#include "app/QtUserDialogs.h"

#include "app/TRequestLfdnrStringDLG.h"

#include <QApplication>
#include <QFileDialog>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPushButton>

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

// Keeps a question open until one of its buttons answers it, as a Yes/No box
// of Windows does. Qt would take Escape and the window's close button for No,
// and No may throw a card list away.
class AnswerOnlyByButton final : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* box, QEvent* event) override {
        if (event->type() == QEvent::KeyPress)
            return static_cast<QKeyEvent*>(event)->matches(QKeySequence::Cancel);
        if (event->type() == QEvent::Close && !static_cast<QMessageBox*>(box)->clickedButton()) {
            event->ignore();
            return true;
        }
        return false;
    }
};

} // namespace

QWidget* QtUserDialogs::askingWindow() const {
    // Code that runs while a dialog is open asks from that dialog: its boxes
    // belong to it, so the window manager keeps them and it above the window.
    QWidget* modal = QApplication::activeModalWidget();
    return modal ? modal : owner_;
}

DialogAnswer QtUserDialogs::message(const QString& caption, const QString& text,
                                    DialogButtons buttons, DialogIcon icon) {
    const bool question = buttons == DialogButtons::YesNo;
    QMessageBox box(boxIcon(icon), caption, text,
                    question ? QMessageBox::Yes | QMessageBox::No : QMessageBox::Ok,
                    askingWindow());
    box.setAccessibleName(caption);
    box.setTextFormat(Qt::PlainText); // texts carry paths and a reader's answers, never markup
    if (question) {
        box.setWindowFlags((box.windowFlags() & ~Qt::WindowCloseButtonHint) |
                           Qt::CustomizeWindowHint | Qt::WindowTitleHint);
        box.installEventFilter(new AnswerOnlyByButton(&box));
    }
    switch (box.exec()) {
    case QMessageBox::Yes:
        return DialogAnswer::Yes;
    case QMessageBox::No:
        return DialogAnswer::No;
    default:
        return DialogAnswer::Ok;
    }
}

int QtUserDialogs::choose(const QString& caption, const QString& text,
                         const QStringList& answers) {
    QMessageBox box(QMessageBox::Question, caption, text, QMessageBox::NoButton, askingWindow());
    box.setAccessibleName(caption);
    box.setTextFormat(Qt::PlainText);
    QList<QAbstractButton*> buttons;
    for (const QString& answer : answers)
        buttons.append(box.addButton(answer, answer == answers.back() ? QMessageBox::RejectRole
                                                                       : QMessageBox::AcceptRole));
    if (!buttons.isEmpty())
        box.setEscapeButton(buttons.back());
    box.exec();
    const qsizetype given = buttons.indexOf(box.clickedButton());
    return static_cast<int>(given < 0 ? answers.size() - 1 : given);
}

std::optional<QString> QtUserDialogs::promptText(const QString& caption, const QString& label,
                                                 const std::optional<QString>& replaceText) {
    return prompt_ ? prompt_->ask(caption, label, replaceText) : std::nullopt;
}

std::optional<QString> QtUserDialogs::saveFileName(const QString& title, const QString& filter,
                                                   const QString& defaultSuffix) {
    QFileDialog dialog(askingWindow(), title);
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
