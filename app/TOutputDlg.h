#pragma once

#include "output/OutputTemplate.h"
#include "settings/OutputSettings.h"

#include <QDialog>
#include <memory>
#include <optional>

namespace Ui {
class TOutputDlg;
}

namespace pelvaro {

// The card the dialog's preview shows, as redirect mode would type it.
struct PreviewCard {
    std::string code;
    bool substitute = false; // "Sende Personalnummer statt Transpondercodierung"
    PersonnelNumberSource lookup;
    bool enter = false; // "Automatischer Zeilenumbruch"
};

// The output dialog: the template typed for each card, with the placeholders
// to pick from and a preview, the repeat guard, the read log and starting
// with the session. OK is only possible with a template that is valid.
class TOutputDlg : public QDialog {
    Q_OBJECT

public:
    explicit TOutputDlg(QWidget* parent = nullptr);
    ~TOutputDlg() override;

    Ui::TOutputDlg& controls() { return *ui; }

    // Fills the controls; the preview shows card.
    void fill(const OutputSettings& settings, PreviewCard card);
    // The settings as the controls hold them.
    OutputSettings settings() const;

private:
    void EditTemplateChange();
    void insertPlaceholder(const QString& placeholder);

    std::unique_ptr<Ui::TOutputDlg> ui;
    PreviewCard card_;
};

} // namespace pelvaro
