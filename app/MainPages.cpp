// The main window's status bar and pages, with the parts that run them.

#include "app/MainDLG.h"

#include "forms/ui_MainDLG.h"
#include "list/CardLeds.h"
#include "list/CardList.h"
#include "list/CardListSaving.h"
#include "list/ListReadSession.h"
#include "personnel/PersonnelMode.h"
#include "redirect/RedirectMode.h"
#include "tray/TrayWindow.h"

#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <array>

namespace pelvaro {

namespace {

constexpr std::array<int, 3> kStatusPanelWidths = {80, 250, 100};

} // namespace

void TMainForm::makeStatusPanels() {
    ui->StatusBar->setSizeGripEnabled(false);
    ui->StatusBar->setFixedHeight(20);
    for (size_t panel = 0; panel < statusPanels_.size(); ++panel) {
        statusPanels_[panel] = new QLabel(this);
        statusPanels_[panel]->setTextFormat(Qt::PlainText); // paths and reasons, never markup
        statusPanels_[panel]->setFixedWidth(kStatusPanelWidths[panel]);
        statusPanels_[panel]->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        ui->StatusBar->addWidget(statusPanels_[panel]);
    }
}

void TMainForm::makeListPage() {
    ui->ListViewKarten->header()->resizeSection(0, 150);
    ui->ListViewKarten->header()->resizeSection(1, 150);
    for (const auto& [column, width] : {std::pair{0, 50}, {1, 122}, {2, 109}})
        ui->StringGrid1->setColumnWidth(column, width);
    ui->StringGrid1->horizontalHeader()->setFixedHeight(20);

    PopupMenuData = new QMenu(this);
    QAction* Zeilelschen1 = PopupMenuData->addAction(QStringLiteral("Zeile löschen"));
    QAction* Zeilendern1 = PopupMenuData->addAction(QStringLiteral("Zeile ändern"));
    PopupMenuData->addSeparator();
    QAction* Listelschen1 = PopupMenuData->addAction(QStringLiteral("Liste löschen"));

    leds_ = std::make_unique<CardLeds>(*ui->ImageLED_green, *ui->ImageLED_red, *ui->Labelgreen,
                                       *ui->Labelred);
    personnelMode_ = new PersonnelMode(
        *this, *leds_,
        PersonnelPageControls{ui->Personalnummernbearbeiten1, ui->PageControlMain, ui->TabSheet1,
                              ui->ListViewKarten, ui->PanelPersonalNummern, ui->StringGrid1,
                              ui->OneCardButton, ui->ButtonExport, ui->ButtonClear});
    cardList_ = new CardList(*this, *ui->ListViewKarten, *ui->CheckBoxAutoNum, *PopupMenuData);
    listSession_ = new ListReadSession(*this, *cardList_, *leds_, *personnelMode_, this);
    listSaving_ = new CardListSaving(*this, *cardList_, *listSession_, *personnelMode_, this);
    connect(ui->ButtonReadKarten, &QPushButton::clicked, listSession_,
            &ListReadSession::ButtonReadKartenClick);
    connect(ui->ButtonStopp, &QPushButton::clicked, listSession_,
            &ListReadSession::ButtonStoppClick);
    connect(ui->OneCardButton, &QPushButton::clicked, listSession_,
            &ListReadSession::OneCardButtonClick);
    connect(ui->ButtonExport, &QPushButton::clicked, listSaving_,
            &CardListSaving::ButtonExportClick);
    connect(ui->ButtonClear, &QPushButton::clicked, listSaving_, &CardListSaving::ButtonClearClick);
    // The pop-up menu acts on the grid in personnel-number mode, else on the list.
    connect(Zeilelschen1, &QAction::triggered, this, [this] {
        personnelMode_->personnelMode() ? personnelMode_->Zeilelschen1Click()
                                        : cardList_->Zeilelschen1Click();
    });
    connect(Zeilendern1, &QAction::triggered, this, [this] {
        personnelMode_->personnelMode() ? personnelMode_->Zeilendern1Click()
                                        : cardList_->Zeilendern1Click();
    });
    connect(Listelschen1, &QAction::triggered, this, [this] {
        personnelMode_->personnelMode() ? personnelMode_->Listelschen1Click()
                                        : listSaving_->ButtonClearClick();
    });
    connect(ui->StringGrid1, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        PopupMenuData->popup(ui->StringGrid1->viewport()->mapToGlobal(at));
    });
}

void TMainForm::makeRedirectPage() {
    for (QToolButton* pictureButton : {ui->SpeedButtonStart, ui->SpeedButtonStopp})
        pictureButton->setAccessibleName(pictureButton->toolTip());
    tray_ = std::make_unique<TrayWindow>(*this, *ui->CheckBoxShowTray, *ui->LabelUmleitungInfo);
    connect(&tray_->icon(), &TrayIcon::showRequested, this, &QWidget::show);
    // Hidden in the notification area, the window's closing is no last window
    // closing: the program has to be ended by itself.
    connect(&tray_->icon(), &TrayIcon::quitRequested, this, &TMainForm::closeProgram);
    redirect_ = std::make_unique<RedirectMode>(
        host(), *tray_,
        RedirectPageControls{ui->CheckBoxLF, ui->CheckBoxSndPSNR, ui->LabelUmleitungInfo}, nullptr);
    connect(ui->SpeedButtonStart, &QToolButton::clicked, this, &TMainForm::SpeedButtonStartClick);
    connect(ui->SpeedButtonStopp, &QToolButton::clicked, this, &TMainForm::SpeedButtonStoppClick);
}

} // namespace pelvaro
