#include "InfoDialogs.h"

#include "ui_TIDD_Update_Info.h"
#include "ui_TInfoDLG.h"

namespace pelvaro {

TInfoDLG::TInfoDLG(QWidget* parent) : QDialog(parent), ui(std::make_unique<Ui::TInfoDLG>()) {
    ui->setupUi(this);
    setFixedSize(size());
}

TInfoDLG::~TInfoDLG() = default;

TIDD_Update_Info::TIDD_Update_Info(QWidget* parent)
    : QDialog(parent), ui(std::make_unique<Ui::TIDD_Update_Info>()) {
    ui->setupUi(this);
    setFixedSize(size());
}

TIDD_Update_Info::~TIDD_Update_Info() = default;

} // namespace pelvaro
