#include "app/ProgramDelivery.h"

#include "app/ProgramSettings.h"
#include "app/TDeliveryDlg.h"
#include "delivery/DeliveryService.h"
#include "delivery/SecretStore.h"
#include "list/ListReadSession.h"
#include "redirect/RedirectMode.h"
#include "tray/TrayIcon.h"

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace pelvaro {

namespace {

constexpr auto kPollInterval = std::chrono::seconds(1);

QString waitingText(size_t waiting) {
    if (waiting == 0)
        return {};
    if (waiting == 1)
        return QStringLiteral("1 Lesung wartet auf Versand");
    return QStringLiteral("%1 Lesungen warten auf Versand").arg(waiting);
}

} // namespace

ProgramDelivery::ProgramDelivery(ModeHost& host, ProgramSettings& settings, Parts parts,
                                 FileLocations files)
    : host_(host), programSettings_(settings), parts_(std::move(parts)), files_(std::move(files)),
      off_(QStringLiteral("Versand aus: kein Ziel eingetragen.")),
      listEvents_([this](const std::string& trouble) {
          host_.setStatusPanel(StatusPanel::Spare, QString::fromStdString(trouble));
      }) {
    parts_.list.setEntryAccepted(
        [this](const QString& code, const QString& label) { deliverListEntry(code, label); });
}

ProgramDelivery::~ProgramDelivery() {
    stop();
}

void ProgramDelivery::start(std::shared_ptr<const SqliteLibrary> sqlite) {
    sqlite_ = std::move(sqlite);
    settings_ = readDeliverySettings(files_.settingsFile);
    if (const std::optional<SecretStore> store = SecretStore::forUser())
        for (const std::string& target : settings_.targets)
            if (std::string secret = store->secretFor(target); !secret.empty())
                secrets_.emplace(target, std::move(secret));
    run();
}

void ProgramDelivery::shutDown() {
    stop();
}

void ProgramDelivery::run() {
    stop();
    if (!settings_.enabled()) {
        off_ = QStringLiteral("Versand aus: kein Ziel eingetragen.");
        return;
    }
    std::string refusal = "Ohne SQLite-Bibliothek kann Pelvaro keine Lesungen versenden.";
    if (sqlite_) {
        auto started = DeliveryService::start(sqlite_, files_.databaseDirectory / kOutboxFile,
                                              deliveryOptionsFor(settings_, secrets_));
        if (auto* service = std::get_if<std::unique_ptr<DeliveryService>>(&started))
            service_ = std::move(*service);
        else
            refusal = std::get<std::string>(started);
    }
    if (!service_) {
        off_ = QStringLiteral("Versand aus: ") + QString::fromStdString(refusal);
        host_.dialogs().error(QString::fromStdString(refusal));
        return;
    }
    parts_.redirect.setDelivery(service_.get());
    listEvents_.setService(service_.get());
    watcher_ = std::jthread(
        [this, service = service_.get()](std::stop_token stop) { watch(stop, *service); });
}

void ProgramDelivery::stop() {
    watcher_ = std::jthread();
    parts_.redirect.setDelivery(nullptr);
    listEvents_.setService(nullptr);
    service_.reset();
    waiting_.clear();
    parts_.showWaiting(waiting_);
    parts_.tray.setFootnote(waiting_);
}

void ProgramDelivery::watch(std::stop_token stop, DeliveryService& service) {
    std::mutex mutex;
    std::condition_variable_any pause;
    while (!stop.stop_requested()) {
        QMetaObject::invokeMethod(
            this, [this, status = service.status()] { showStatus(status); }, Qt::QueuedConnection);
        std::unique_lock lock(mutex);
        pause.wait_for(lock, stop, kPollInterval, [] { return false; });
    }
}

void ProgramDelivery::showStatus(const DeliveryStatus& status) {
    // A state that comes in after delivery stopped is no longer true.
    if (!service_)
        return;
    if (const QString waiting = waitingText(status.waiting); waiting != waiting_) {
        waiting_ = waiting;
        parts_.showWaiting(waiting_);
        parts_.tray.setFootnote(waiting_);
    }
    if (dialog_ && dialog_->isVisible())
        dialog_->showStatus(status, off_);
}

void ProgramDelivery::deliverListEntry(const QString& code, const QString& label) {
    if (!settings_.listMode)
        return;
    auto card = listEvents_.begin("list", host_.portNumber(), code.toStdString(), std::string());
    if (!card)
        return;
    card->event.label = label.toStdString();
    listEvents_.store(*card, std::nullopt);
    listEvents_.offer(*card);
}

void ProgramDelivery::Versand1Click() {
    if (!dialog_ || !host_.modes().idle())
        return;
    dialog_->fill(settings_, secrets_);
    dialog_->showStatus(service_ ? std::optional(service_->status()) : std::nullopt, off_);
    if (dialog_->exec() != QDialog::Accepted)
        return;
    const TargetSecrets keptBefore = secrets_;
    settings_ = dialog_->settings();
    secrets_ = dialog_->secrets();
    run();
    if (!programSettings_.savesSettings())
        return;
    if (!writeDeliverySettings(files_.settingsFile, settings_))
        programSettings_.reportUnsavedFile();
    keepSecrets(keptBefore);
}

void ProgramDelivery::keepSecrets(const TargetSecrets& before) {
    std::optional<SecretStore> store = SecretStore::forUser();
    if (!store) {
        if (secrets_ != before)
            host_.dialogs().error(QStringLiteral("Pelvaro findet keinen Ordner für die "
                                                 "Geheimnisse dieses Benutzers."));
        return;
    }
    std::optional<std::string> failure;
    // Those of targets no longer there go too.
    for (const auto& [target, secret] : before)
        if (!secrets_.contains(target) && !failure)
            failure = store->keep(target, std::string());
    for (const auto& [target, secret] : secrets_)
        if (store->secretFor(target) != secret && !failure)
            failure = store->keep(target, secret);
    if (failure)
        host_.dialogs().error(QString::fromStdString(*failure));
}

} // namespace pelvaro
