#include "app/DeliveryTargets.h"

#include <QString>
#include <QSysInfo>

namespace pelvaro {

SenderSettings senderSettingsFor(const DeliverySettings& settings, const std::string& url,
                                 const std::string& secret) {
    SenderSettings target;
    target.url = url;
    target.secret = secret;
    target.caFile = settings.caFile;
    target.clientCertificate = settings.clientCertificate;
    target.clientKey = settings.clientKey;
    target.host = QSysInfo::machineHostName().toStdString();
    // The same on every run, so that the broker keeps the session.
    target.clientId = "pelvaro-" + target.host;
    return target;
}

DeliveryOptions deliveryOptionsFor(const DeliverySettings& settings, const TargetSecrets& secrets) {
    DeliveryOptions options;
    for (const std::string& url : settings.targets) {
        const auto secret = secrets.find(url);
        options.targets.push_back(senderSettingsFor(
            settings, url, secret == secrets.end() ? std::string() : secret->second));
    }
    options.batch = settings.batch;
    options.mostQueued = settings.mostQueued;
    return options;
}

} // namespace pelvaro
