#pragma once

#include "modes/UserDialogs.h"

class QWidget;

namespace pelvaro {

class TRequestLfdnrStringDLG;

// The dialogs as a person sees them: QMessageBox, the prompt, QFileDialog,
// owned by the dialog open at the time, or else by the given window.
class QtUserDialogs final : public UserDialogs {
public:
    explicit QtUserDialogs(QWidget* owner = nullptr) : owner_(owner) {}
    void setOwner(QWidget* owner) { owner_ = owner; }
    void setPrompt(TRequestLfdnrStringDLG* prompt) { prompt_ = prompt; }

    DialogAnswer message(const QString& caption, const QString& text, DialogButtons buttons,
                         DialogIcon icon) override;
    std::optional<QString> promptText(const QString& caption, const QString& label,
                                      const std::optional<QString>& replaceText) override;
    int choose(const QString& caption, const QString& text, const QStringList& answers) override;
    std::optional<QString> saveFileName(const QString& title, const QString& filter,
                                        const QString& defaultSuffix) override;

private:
    QWidget* askingWindow() const;

    QWidget* owner_;
    TRequestLfdnrStringDLG* prompt_ = nullptr;
};

} // namespace pelvaro
