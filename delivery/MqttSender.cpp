#include "delivery/MqttSender.h"

#include "delivery/MqttAddress.h"
#include "delivery/MqttSystemTrust.h"
#include "delivery/TcpAcknowledgement.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <mosquitto.h>
#include <mutex>
#include <unordered_set>
#include <vector>

namespace pelvaro {

namespace {

using Clock = std::chrono::steady_clock;

// Events published before their acknowledgements come: what a lost connection
// may make the broker receive twice.
constexpr int kInFlight = 100;
constexpr int kKeepAliveSeconds = 60;
// How long one turn of the network loop waits, and so how soon an interrupt is seen.
constexpr int kLoopMilliseconds = 20;
constexpr int kQos = 1;

void initialiseLibrary() {
    static std::once_flag once;
    std::call_once(once, [] { mosquitto_lib_init(); });
}

SendResult result(SendResult::Kind kind, std::string reason, size_t taken = 0) {
    SendResult answer;
    answer.kind = kind;
    answer.reason = std::move(reason);
    answer.taken = taken;
    return answer;
}

SendResult retry(std::string reason) {
    return result(SendResult::Kind::Retry, std::move(reason));
}

SendResult misconfigured(std::string reason) {
    return result(SendResult::Kind::Misconfigured, std::move(reason));
}

class MqttSender final : public Sender {
public:
    explicit MqttSender(const SenderSettings& settings)
        : settings_(settings), address_(parseMqttAddress(settings.url, settings.host)) {
        if (address_)
            where_ = address_->host + ":" + std::to_string(address_->port);
    }
    ~MqttSender() override { drop(); }

    SendResult send(std::span<const QueuedEvent> events) override;
    SendResult check() override;
    // Seen by the send or check in progress, or else by the next one, which
    // then ends at once: a delivery thread told to stop just before it sends
    // does not wait for the time-out.
    void interrupt() override { interrupted_ = true; }

private:
    // Each returns the failure, or nothing when the step succeeded.
    // connect drops the connection when it fails; turnLoop leaves that to its caller.
    std::optional<SendResult> connect(Clock::time_point deadline);
    std::optional<SendResult> configure();
    std::optional<SendResult> turnLoop(Clock::time_point deadline);
    SendResult networkFailure(int code, int error) const;
    SendResult connectionRefused(int code) const;
    SendResult interrupted() const {
        return retry("Der Versand an " + where_ + " wurde abgebrochen.");
    }
    void drop();

    static void onConnect(mosquitto*, void* self, int code);
    static void onDisconnect(mosquitto*, void* self, int code);
    static void onPublish(mosquitto*, void* self, int messageId);
    static void onLog(mosquitto*, void* self, int level, const char* text);

    SenderSettings settings_;
    std::optional<MqttAddress> address_;
    std::string where_; // host:port, for the reasons
    std::atomic<bool> interrupted_{false};

    // The connection; used only by the delivery thread, so the network loop
    // and the callbacks run there too.
    mosquitto* client_ = nullptr;
    bool connected_ = false;               // the broker accepted the CONNECT
    std::optional<int> refusal_;           // the broker's code when it did not
    std::unordered_set<int> acknowledged_; // message ids whose PUBACK came
    std::string lastError_;                // the library's last error message (TLS)
};

void MqttSender::onConnect(mosquitto*, void* self, int code) {
    auto* sender = static_cast<MqttSender*>(self);
    sender->connected_ = code == 0;
    if (code != 0)
        sender->refusal_ = code;
}

void MqttSender::onDisconnect(mosquitto*, void* self, int) {
    static_cast<MqttSender*>(self)->connected_ = false;
}

void MqttSender::onPublish(mosquitto*, void* self, int messageId) {
    static_cast<MqttSender*>(self)->acknowledged_.insert(messageId);
}

void MqttSender::onLog(mosquitto*, void* self, int level, const char* text) {
    if (level == MOSQ_LOG_ERR && text)
        static_cast<MqttSender*>(self)->lastError_ = text;
}

void MqttSender::drop() {
    if (!client_)
        return;
    if (connected_)
        mosquitto_disconnect(client_);
    mosquitto_destroy(client_);
    client_ = nullptr;
    connected_ = false;
    refusal_.reset();
    acknowledged_.clear();
}

SendResult MqttSender::connectionRefused(int code) const {
    switch (code) {
    case 1:
        return misconfigured("Der Broker " + where_ + " spricht MQTT 3.1.1 nicht.");
    case 2:
        return misconfigured("Der Broker " + where_ + " lehnt die Client-Kennung „" +
                             settings_.clientId + "“ ab.");
    case 3:
        return retry("Der Broker " + where_ + " ist zurzeit nicht verfügbar.");
    case 4:
        return misconfigured("Der Broker " + where_ + " lehnt Benutzername oder Passwort ab.");
    case 5: // mosquitto's answer to a wrong password too
        return misconfigured(
            "Der Broker " + where_ +
            " lässt diesen Benutzer nicht zu (Benutzername, Passwort oder Berechtigung).");
    default:
        return misconfigured("Der Broker " + where_ + " lehnt die Verbindung ab (Code " +
                             std::to_string(code) + ").");
    }
}

SendResult MqttSender::networkFailure(int code, int error) const {
    // A handshake that ends while the library reads, as it may on a socket
    // that does not block, comes as a protocol error of the socket instead.
    if (code == MOSQ_ERR_TLS || code == MOSQ_ERR_TLS_HANDSHAKE ||
        (code == MOSQ_ERR_ERRNO && error == EPROTO && address_->tls)) {
        // An untrusted or misnamed certificate, or one of ours that cannot be
        // used, stays so until the settings change; anything else may pass.
        const bool certificate = lastError_.find("certificate") != std::string::npos ||
                                 lastError_.find("key") != std::string::npos;
        std::string reason = "Die TLS-Verbindung zu " + where_ + " kam nicht zustande";
        reason += lastError_.empty() ? "." : " (" + lastError_ + ").";
        return certificate ? misconfigured(reason) : retry(reason);
    }
    switch (code) {
    case MOSQ_ERR_EAI:
    case MOSQ_ERR_LOOKUP:
        return retry("Der Name „" + address_->host + "“ ist nicht aufzulösen.");
    case MOSQ_ERR_ERRNO:
        if (error == ECONNREFUSED)
            return retry("Der Broker " + where_ + " nimmt keine Verbindung an.");
        if (error == ENETUNREACH || error == EHOSTUNREACH)
            return retry("Der Broker " + where_ + " ist nicht erreichbar.");
        return retry("Die Verbindung zu " + where_ + " brach ab (Fehler " + std::to_string(error) +
                     ").");
    default:
        return retry("Die Verbindung zu " + where_ + " brach ab.");
    }
}

std::optional<SendResult> MqttSender::configure() {
    const auto failed = [this](std::string reason) {
        drop();
        return misconfigured(std::move(reason));
    };
    client_ = mosquitto_new(settings_.clientId.c_str(), false, this);
    if (!client_)
        return misconfigured(
            "Die Verbindung zum Broker kann nicht angelegt werden (Client-Kennung „" +
            settings_.clientId + "“).");
    mosquitto_int_option(client_, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
    mosquitto_max_inflight_messages_set(client_, kInFlight);
    // The last events of a send would otherwise wait for the acknowledgement
    // of the earlier ones' packets (Nagle), tens of milliseconds each send.
    mosquitto_int_option(client_, MOSQ_OPT_TCP_NODELAY, 1);
    mosquitto_connect_callback_set(client_, onConnect);
    mosquitto_disconnect_callback_set(client_, onDisconnect);
    mosquitto_publish_callback_set(client_, onPublish);
    mosquitto_log_callback_set(client_, onLog);
    if (!address_->user.empty() &&
        mosquitto_username_pw_set(client_, address_->user.c_str(),
                                  settings_.secret.empty() ? nullptr : settings_.secret.c_str()) !=
            MOSQ_ERR_SUCCESS)
        return failed("Benutzername oder Passwort für " + where_ + " sind ungültig.");
    if (!address_->tls)
        return std::nullopt;

    const bool certificate = !settings_.clientCertificate.empty();
    if (certificate != !settings_.clientKey.empty())
        return failed("Zum Client-Zertifikat gehört ein Schlüssel, und umgekehrt.");
    if (settings_.caFile.empty()) {
        // libmosquitto takes a client certificate only together with a CA file or folder.
        if (certificate)
            return failed("Ein Client-Zertifikat für MQTT braucht eine CA-Datei.");
        if (auto error = useSystemTrustStore(client_))
            return failed(*error);
    } else if (mosquitto_tls_set(client_, settings_.caFile.string().c_str(), nullptr,
                                 certificate ? settings_.clientCertificate.string().c_str()
                                             : nullptr,
                                 certificate ? settings_.clientKey.string().c_str() : nullptr,
                                 nullptr) != MOSQ_ERR_SUCCESS) {
        return failed("Die CA-Datei „" + settings_.caFile.string() +
                      (certificate ? "“ oder das Client-Zertifikat ist nicht zu lesen."
                                   : "“ ist nicht zu lesen."));
    }
    // Verify the peer, and its name (libmosquitto checks it unless told not to).
    mosquitto_tls_opts_set(client_, 1, nullptr, nullptr);
    mosquitto_tls_insecure_set(client_, false);
    return std::nullopt;
}

std::optional<SendResult> MqttSender::turnLoop(Clock::time_point deadline) {
    if (interrupted_.exchange(false))
        return interrupted();
    if (Clock::now() >= deadline)
        return retry("Der Broker " + where_ + " antwortete nicht rechtzeitig.");
    if (const int socket = mosquitto_socket(client_); socket >= 0)
        acknowledgeAtOnce(socket);
    errno = 0;
    const int code = mosquitto_loop(client_, kLoopMilliseconds, 1);
    const int error = errno;
    if (refusal_)
        return connectionRefused(*refusal_);
    if (code != MOSQ_ERR_SUCCESS)
        return networkFailure(code, error);
    return std::nullopt;
}

std::optional<SendResult> MqttSender::connect(Clock::time_point deadline) {
    if (!address_)
        return misconfigured("„" + settings_.url + "“ ist keine gültige MQTT-Adresse.");
    if (client_) {
        // A connection kept from the last send may have ended since: see it
        // now, and start again, rather than publish into it.
        if (mosquitto_loop(client_, 0, 1) == MOSQ_ERR_SUCCESS && connected_)
            return std::nullopt;
        drop();
    }
    initialiseLibrary();
    if (auto failure = configure())
        return failure;
    lastError_.clear();
    errno = 0;
    const int code =
        mosquitto_connect_async(client_, address_->host.c_str(), address_->port, kKeepAliveSeconds);
    if (code != MOSQ_ERR_SUCCESS) {
        SendResult failure = networkFailure(code, errno);
        drop();
        return failure;
    }
    while (!connected_) {
        if (auto failure = turnLoop(deadline)) {
            drop();
            return failure;
        }
    }
    return std::nullopt;
}

SendResult MqttSender::send(std::span<const QueuedEvent> events) {
    const auto deadline = Clock::now() + settings_.timeout;
    if (interrupted_.exchange(false))
        return interrupted();
    if (events.empty())
        return result(SendResult::Kind::Delivered, {});
    if (auto failure = connect(deadline))
        return *failure;

    std::vector<int> messageIds;
    messageIds.reserve(events.size());
    acknowledged_.clear();
    size_t acknowledgedFromFirst = 0;
    // Counted ids leave the set: after 65535 messages the library uses an id again.
    const auto taken = [&] {
        while (acknowledgedFromFirst < messageIds.size() &&
               acknowledged_.erase(messageIds[acknowledgedFromFirst]) == 1)
            ++acknowledgedFromFirst;
        return acknowledgedFromFirst;
    };
    for (const QueuedEvent& event : events) {
        int messageId = 0;
        const int code =
            mosquitto_publish(client_, &messageId, address_->topic.c_str(),
                              static_cast<int>(event.json.size()), event.json.data(), kQos, false);
        if (code != MOSQ_ERR_SUCCESS) {
            SendResult failure = networkFailure(code, errno);
            failure.taken = taken();
            drop();
            return failure;
        }
        messageIds.push_back(messageId);
    }
    while (taken() < events.size()) {
        if (auto failure = turnLoop(deadline)) {
            failure->taken = taken();
            drop();
            return *failure;
        }
    }
    return result(SendResult::Kind::Delivered, {}, events.size());
}

SendResult MqttSender::check() {
    if (interrupted_.exchange(false))
        return interrupted();
    drop();
    const auto failure = connect(Clock::now() + settings_.timeout);
    drop();
    if (failure)
        return *failure;
    return result(SendResult::Kind::Delivered,
                  "Der Broker " + where_ + " nahm die Verbindung und die Anmeldung an.");
}

} // namespace

std::unique_ptr<Sender> makeMqttSender(const SenderSettings& settings) {
    return std::make_unique<MqttSender>(settings);
}

} // namespace pelvaro
