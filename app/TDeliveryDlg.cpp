#include "app/TDeliveryDlg.h"

#include "forms/ui_TDeliveryDlg.h"

#include <QDir>
#include <QFileDialog>
#include <QThread>
#include <algorithm>

namespace pelvaro {

namespace {

// Where a target keeps its secret while the dialog is open.
constexpr int kSecretRole = Qt::UserRole;

QString shownPath(const std::filesystem::path& path) {
    return QDir::toNativeSeparators(QString::fromStdU16String(path.u16string()));
}

std::string urlOf(const QListWidgetItem& item) {
    return item.text().trimmed().toStdString();
}

} // namespace

TDeliveryDlg::TDeliveryDlg(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      ui(std::make_unique<Ui::TDeliveryDlg>()) {
    ui->setupUi(this);
    setFixedSize(size());
    connect(ui->ListTargets, &QListWidget::currentItemChanged, this,
            &TDeliveryDlg::selectionChanged);
    connect(ui->EditTarget, &QLineEdit::textEdited, this, [this](const QString& url) {
        if (QListWidgetItem* item = ui->ListTargets->currentItem())
            item->setText(url);
    });
    connect(ui->EditSecret, &QLineEdit::textEdited, this, [this](const QString& secret) {
        if (QListWidgetItem* item = ui->ListTargets->currentItem())
            item->setData(kSecretRole, secret);
    });
    connect(ui->ButtonAdd, &QPushButton::clicked, this, &TDeliveryDlg::ButtonAddClick);
    connect(ui->ButtonRemove, &QPushButton::clicked, this, &TDeliveryDlg::ButtonRemoveClick);
    connect(ui->ButtonCaFile, &QToolButton::clicked, this, &TDeliveryDlg::ButtonCaFileClick);
    connect(ui->ButtonCheck, &QPushButton::clicked, this, &TDeliveryDlg::ButtonCheckClick);
}

TDeliveryDlg::~TDeliveryDlg() {
    if (checking_)
        checking_->wait();
}

void TDeliveryDlg::fill(const DeliverySettings& settings, const TargetSecrets& secrets) {
    filled_ = settings;
    ui->ListTargets->clear();
    for (const std::string& url : settings.targets) {
        auto* item = new QListWidgetItem(QString::fromStdString(url), ui->ListTargets);
        const auto secret = secrets.find(url);
        if (secret != secrets.end())
            item->setData(kSecretRole, QString::fromStdString(secret->second));
    }
    ui->ListTargets->setCurrentRow(settings.targets.empty() ? -1 : 0);
    ui->EditCaFile->setText(shownPath(settings.caFile));
    ui->CheckBoxListMode->setChecked(settings.listMode);
    ui->UpDownBatch->setValue(static_cast<int>(settings.batch));
    ui->LabelCheck->clear();
    selectionChanged();
}

DeliverySettings TDeliveryDlg::settings() const {
    DeliverySettings settings = filled_;
    settings.targets.clear();
    for (int row = 0; row < ui->ListTargets->count(); ++row) {
        const std::string url = urlOf(*ui->ListTargets->item(row));
        if (!url.empty() && std::find(settings.targets.begin(), settings.targets.end(), url) ==
                                settings.targets.end())
            settings.targets.push_back(url);
    }
    settings.caFile = ui->EditCaFile->text().trimmed().toStdU16String();
    settings.listMode = ui->CheckBoxListMode->isChecked();
    settings.batch = static_cast<size_t>(ui->UpDownBatch->value());
    return settings;
}

TargetSecrets TDeliveryDlg::secrets() const {
    TargetSecrets secrets;
    for (int row = 0; row < ui->ListTargets->count(); ++row) {
        const QListWidgetItem& item = *ui->ListTargets->item(row);
        const QString secret = item.data(kSecretRole).toString();
        if (!urlOf(item).empty() && !secret.isEmpty())
            secrets.emplace(urlOf(item), secret.toStdString());
    }
    return secrets;
}

void TDeliveryDlg::selectionChanged() {
    const QListWidgetItem* item = ui->ListTargets->currentItem();
    for (QLineEdit* edit : {ui->EditTarget, ui->EditSecret})
        edit->setEnabled(item != nullptr);
    ui->EditTarget->setText(item ? item->text() : QString());
    ui->EditSecret->setText(item ? item->data(kSecretRole).toString() : QString());
    ui->ButtonRemove->setEnabled(item != nullptr);
    ui->ButtonCheck->setEnabled(item != nullptr && !checking_);
    showState();
}

void TDeliveryDlg::ButtonAddClick() {
    ui->ListTargets->setCurrentItem(
        new QListWidgetItem(QStringLiteral("https://"), ui->ListTargets));
    ui->EditTarget->setFocus();
    ui->EditTarget->end(false);
}

void TDeliveryDlg::ButtonRemoveClick() {
    delete ui->ListTargets->currentItem();
}

void TDeliveryDlg::ButtonCaFileClick() {
    const QString file = QFileDialog::getOpenFileName(
        this, QStringLiteral("CA-Datei wählen"), ui->EditCaFile->text(),
        QStringLiteral("Zertifikate (*.pem *.crt *.cer);;Alle Dateien (*)"));
    if (!file.isEmpty())
        ui->EditCaFile->setText(QDir::toNativeSeparators(file));
}

void TDeliveryDlg::ButtonCheckClick() {
    const QListWidgetItem* item = ui->ListTargets->currentItem();
    if (!item || checking_)
        return;
    const SenderSettings target = senderSettingsFor(
        settings(), urlOf(*item), item->data(kSecretRole).toString().toStdString());
    ui->ButtonCheck->setEnabled(false);
    ui->LabelCheck->setText(QStringLiteral("Prüfe %1 …").arg(QString::fromStdString(target.url)));
    // Connecting may take up to the time-out: never on the window's thread.
    checking_.reset(
        QThread::create([this, target] { checkResult_ = DeliveryService::check(target); }));
    connect(checking_.get(), &QThread::finished, this, &TDeliveryDlg::showCheckResult);
    checking_->start();
}

void TDeliveryDlg::showCheckResult() {
    checking_->wait();
    checking_.reset();
    ui->LabelCheck->setText(checkResult_.kind == SendResult::Kind::Delivered
                                ? QStringLiteral("Verbindung und Anmeldung in Ordnung.")
                                : QStringLiteral("Fehlgeschlagen: ") +
                                      QString::fromStdString(checkResult_.reason));
    ui->ButtonCheck->setEnabled(ui->ListTargets->currentItem() != nullptr);
}

void TDeliveryDlg::showStatus(const std::optional<DeliveryStatus>& status, const QString& off) {
    status_ = status;
    off_ = off;
    showState();
}

void TDeliveryDlg::showState() {
    if (!status_) {
        ui->LabelDelivered->setText(off_);
        for (QLabel* label : {ui->LabelWaiting, ui->LabelRejected, ui->LabelLastError})
            label->clear();
        return;
    }
    // The selected target's trouble, or that of all of them.
    const QListWidgetItem* item = ui->ListTargets->currentItem();
    const std::string selected = item ? urlOf(*item) : std::string();
    size_t rejected = 0;
    std::string lastRejection;
    std::string lastError;
    bool paused = false;
    for (const DeliveryStatus::Target& target : status_->targets) {
        if (!selected.empty() && target.url != selected)
            continue;
        rejected += target.rejected;
        if (lastRejection.empty())
            lastRejection = target.lastRejection;
        if (lastError.empty())
            lastError = target.lastError;
        paused = paused || target.paused;
    }
    ui->LabelDelivered->setText(
        QStringLiteral("Heute zugestellt: %1").arg(status_->deliveredToday));
    ui->LabelWaiting->setText(QStringLiteral("Warten auf Versand: %1").arg(status_->waiting));
    ui->LabelRejected->setText(QStringLiteral("Abgelehnt: %1").arg(rejected) +
                               (lastRejection.empty() ? QString()
                                                      : QStringLiteral(", zuletzt: ") +
                                                            QString::fromStdString(lastRejection)));
    ui->LabelLastError->setText(
        QStringLiteral("Letzter Fehler: ") +
        (lastError.empty() ? QStringLiteral("keiner") : QString::fromStdString(lastError)) +
        (paused ? QStringLiteral(" (angehalten)") : QString()));
    for (QLabel* label : {ui->LabelRejected, ui->LabelLastError})
        label->setToolTip(label->text());
}

} // namespace pelvaro
