#pragma once

#include "UserDialogs.h"

class QWidget;

namespace pelvaro {

// The dialogs as a person sees them: QMessageBox, QInputDialog, QFileDialog,
// owned by the given window.
class QtUserDialogs final : public UserDialogs {
public:
    explicit QtUserDialogs(QWidget* owner = nullptr) : owner_(owner) {}
    void setOwner(QWidget* owner) { owner_ = owner; }

    DialogAnswer message(const QString& caption, const QString& text, DialogButtons buttons,
                         DialogIcon icon) override;
    std::optional<QString> promptText(const QString& caption, const QString& label,
                                      const QString& initialText) override;
    std::optional<QString> saveFileName(const QString& defaultSuffix) override;

private:
    QWidget* owner_;
};

} // namespace pelvaro
