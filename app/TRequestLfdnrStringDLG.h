#pragma once

#include <QDialog>
#include <memory>
#include <optional>

namespace Ui {
class TRequestLfdnrStringDLG;
}

namespace pelvaro {

// The one-line prompt for a card's label or a personnel number. Its edit keeps
// the text from one use to the next, selected, so that OK alone repeats it.
class TRequestLfdnrStringDLG : public QDialog {
    Q_OBJECT

public:
    explicit TRequestLfdnrStringDLG(QWidget* parent = nullptr);
    ~TRequestLfdnrStringDLG() override;

    // Shows the prompt; replaceText, if given, goes into the edit first. The
    // edit's text on OK, nothing on Abbrechen, Escape or the window frame.
    std::optional<QString> ask(const QString& caption, const QString& label,
                               const std::optional<QString>& replaceText);

protected:
    void showEvent(QShowEvent* event) override;

private:
    std::unique_ptr<Ui::TRequestLfdnrStringDLG> ui;
};

} // namespace pelvaro
