#pragma once

#include <QDialog>
#include <memory>

namespace Ui {
class TInfoDLG;
class TIDD_Update_Info;
} // namespace Ui

namespace pelvaro {

// A fixed-size dialog made from a Designer form that only shows text.
template <typename Form> class FormDialog : public QDialog {
public:
    explicit FormDialog(QWidget* parent);
    ~FormDialog() override;

private:
    std::unique_ptr<Form> ui;
};

// The about box.
class TInfoDLG : public FormDialog<Ui::TInfoDLG> {
public:
    explicit TInfoDLG(QWidget* parent = nullptr) : FormDialog(parent) {}
};

// The explanation of the redirect settings.
class TIDD_Update_Info : public FormDialog<Ui::TIDD_Update_Info> {
public:
    explicit TIDD_Update_Info(QWidget* parent = nullptr) : FormDialog(parent) {}
};

} // namespace pelvaro
