#pragma once

#include <QDialog>
#include <memory>

namespace Ui {
class TInfoDLG;
class TIDD_Update_Info;
} // namespace Ui

namespace pelvaro {

// The about box.
class TInfoDLG : public QDialog {
    Q_OBJECT

public:
    explicit TInfoDLG(QWidget* parent = nullptr);
    ~TInfoDLG() override;

private:
    std::unique_ptr<Ui::TInfoDLG> ui;
};

// The explanation of the redirect settings.
class TIDD_Update_Info : public QDialog {
    Q_OBJECT

public:
    explicit TIDD_Update_Info(QWidget* parent = nullptr);
    ~TIDD_Update_Info() override;

private:
    std::unique_ptr<Ui::TIDD_Update_Info> ui;
};

} // namespace pelvaro
