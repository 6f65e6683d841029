#include "app/InfoDialogs.h"

#include "forms/ui_TIDD_Update_Info.h"
#include "forms/ui_TInfoDLG.h"

namespace pelvaro {

template <typename Form>
FormDialog<Form>::FormDialog(QWidget* parent) : QDialog(parent), ui(std::make_unique<Form>()) {
    ui->setupUi(this);
    setFixedSize(size());
}

template <typename Form> FormDialog<Form>::~FormDialog() = default;

template class FormDialog<Ui::TInfoDLG>;
template class FormDialog<Ui::TIDD_Update_Info>;

} // namespace pelvaro
