#pragma once

#include "app/DeliveryTargets.h"
#include "fileio/FileLocations.h"
#include "modes/ModeHost.h"
#include "redirect/CardEvents.h"

#include <QObject>
#include <QString>
#include <functional>
#include <memory>
#include <thread>

namespace pelvaro {

class DeliveryService;
struct DeliveryStatus;
class ListReadSession;
class ProgramSettings;
class RedirectMode;
class SqliteLibrary;
class TDeliveryDlg;
class TrayIcon;

// Delivery of every read to the company's system as the window runs it: the
// [Delivery] settings and the targets' secrets, the service started with the
// program and again after the dialog's OK, the reads of redirect and list
// mode handed to it, and the reads still waiting shown in the tips of the
// status bar and the notification area. With no target nothing of it runs.
class ProgramDelivery : public QObject {
    Q_OBJECT

public:
    struct Parts {
        RedirectMode& redirect;
        ListReadSession& list;
        TrayIcon& tray;
        // Shows the line about reads waiting; empty when none wait.
        std::function<void(const QString&)> showWaiting;
    };
    ProgramDelivery(ModeHost& host, ProgramSettings& settings, Parts parts, FileLocations files);
    ~ProgramDelivery() override;

    void attachDialog(TDeliveryDlg& dialog) { dialog_ = &dialog; }
    // Reads the section and starts delivery when it names a target; a
    // refusal is said in a box, and the program goes on without delivery.
    void start(std::shared_ptr<const SqliteLibrary> sqlite);
    // The program ends: what waits stays in the outbox for the next run.
    void shutDown();
    void Versand1Click();

    DeliveryService* service() const { return service_.get(); }

private:
    void run();
    void stop();
    void deliverListEntry(const QString& code, const QString& label);
    // Asks the service for its state every second off the window's thread:
    // counting a long backlog must not hold up the typing.
    void watch(std::stop_token stop, DeliveryService& service);
    void showStatus(const DeliveryStatus& status);
    void keepSecrets(const TargetSecrets& secrets);

    ModeHost& host_;
    ProgramSettings& programSettings_;
    Parts parts_;
    const FileLocations files_;
    TDeliveryDlg* dialog_ = nullptr;
    std::shared_ptr<const SqliteLibrary> sqlite_;
    DeliverySettings settings_;
    TargetSecrets secrets_;
    std::unique_ptr<DeliveryService> service_;
    QString off_; // why delivery does not run
    CardEvents listEvents_;
    QString waiting_;
    std::jthread watcher_; // last: it ends before the service goes
};

} // namespace pelvaro
