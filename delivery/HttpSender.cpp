#include "delivery/HttpSender.h"

#include "delivery/CaTrust.h"

#include <QDateTime>
#include <QEventLoop>
#include <QLocale>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSslConfiguration>
#include <QTimer>
#include <QUrl>
#include <algorithm>
#include <mutex>
#include <utility>

namespace pelvaro {

namespace {

using Kind = SendResult::Kind;
using std::chrono::seconds;

// Enough of a refusal's body to say why.
constexpr qint64 kReasonBytesRead = 4096;
constexpr qsizetype kLongestReason = 300;
// A server asking for a longer pause is taken to mean a day.
constexpr seconds kLongestRetryAfter = std::chrono::hours(24);

SendResult result(Kind kind, std::string reason, std::optional<seconds> retryAfter = {}) {
    SendResult outcome;
    outcome.kind = kind;
    outcome.reason = std::move(reason);
    outcome.retryAfter = retryAfter;
    return outcome;
}

// What one request came to.
struct Exchange {
    enum class End { Answered, Failed, TimedOut, Interrupted } end = End::Failed;
    int status = 0;
    QByteArray statusText;
    QByteArray body; // its first kReasonBytesRead bytes
    QByteArray retryAfter;
    QByteArray location;
    QNetworkReply::NetworkError error = QNetworkReply::NoError;
    QString errorText;
    QList<QSslError> sslErrors;
};

// Seconds, or an HTTP date.
std::optional<seconds> parseRetryAfter(const QByteArray& value) {
    const QByteArray text = value.trimmed();
    if (text.isEmpty())
        return std::nullopt;
    if (std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        bool fits = false;
        const qulonglong count = text.toULongLong(&fits);
        if (!fits || count > static_cast<qulonglong>(kLongestRetryAfter.count()))
            return kLongestRetryAfter;
        return seconds(count);
    }
    QString date = QString::fromLatin1(text);
    // The "GMT" of an HTTP date is "+0000" to the parser.
    if (date.endsWith(QLatin1String(" GMT")))
        date = date.chopped(3) + QLatin1String("+0000");
    const QDateTime when = QDateTime::fromString(date, Qt::RFC2822Date);
    if (!when.isValid())
        return std::nullopt;
    const qint64 wait = QDateTime::currentDateTimeUtc().secsTo(when);
    return std::clamp(seconds(wait), seconds(0), kLongestRetryAfter);
}

// A server's words for the user: one line, bounded.
std::string oneLine(const QByteArray& bytes) {
    QString text = QString::fromUtf8(bytes).simplified();
    if (text.size() > kLongestReason) {
        text.truncate(kLongestReason);
        if (text.back().isHighSurrogate())
            text.chop(1);
        text += QChar(0x2026);
    }
    return text.toStdString();
}

std::string statusLine(const Exchange& exchange) {
    std::string line = "HTTP " + std::to_string(exchange.status);
    if (!exchange.statusText.isEmpty()) {
        line += ' ';
        line += oneLine(exchange.statusText);
    }
    return line;
}

// The server's own words, or its status line without them.
std::string serverReason(const Exchange& exchange) {
    const std::string text = oneLine(exchange.body);
    return text.empty() ? statusLine(exchange) : text;
}

std::string certificateVerdict(const QList<QSslError>& errors, const QString& host) {
    const std::string name = "„" + host.toStdString() + "“";
    for (const auto& error : errors) {
        switch (error.error()) {
        case QSslError::HostNameMismatch:
            return "Das Zertifikat des Servers gilt nicht für " + name + ".";
        case QSslError::CertificateExpired:
            return "Das Zertifikat des Servers " + name + " ist abgelaufen.";
        case QSslError::CertificateNotYetValid:
            return "Das Zertifikat des Servers " + name + " ist noch nicht gültig.";
        default:
            break;
        }
    }
    return "Dem Zertifikat des Servers " + name +
           " wird nicht vertraut: keine bekannte Zertifizierungsstelle hat es ausgestellt "
           "(für eine eigene Zertifizierungsstelle die CA-Datei angeben).";
}

std::string place(const QUrl& url) {
    return url.host().toStdString() + ":" +
           std::to_string(url.port(url.scheme() == "https" ? 443 : 80));
}

// The network did not carry the request: most of it passes, a certificate or
// TLS refused is the target's configuration.
SendResult failure(const Exchange& exchange, const QUrl& url) {
    if (!exchange.sslErrors.isEmpty())
        return result(Kind::Misconfigured, certificateVerdict(exchange.sslErrors, url.host()));
    switch (exchange.error) {
    case QNetworkReply::SslHandshakeFailedError:
        return result(Kind::Misconfigured, "Keine TLS-Verbindung zu " + place(url) +
                                               " möglich: " + exchange.errorText.toStdString());
    case QNetworkReply::ConnectionRefusedError:
        return result(Kind::Retry, "Verbindung zu " + place(url) +
                                       " abgelehnt: dort nimmt kein Server Verbindungen an.");
    case QNetworkReply::HostNotFoundError:
        return result(Kind::Retry,
                      "Der Rechner „" + url.host().toStdString() + "“ wurde nicht gefunden.");
    case QNetworkReply::RemoteHostClosedError:
        return result(Kind::Retry, "Der Server " + place(url) +
                                       " hat die Verbindung getrennt, ohne zu antworten.");
    default:
        return result(Kind::Retry,
                      "Netzwerkfehler bei " + place(url) + ": " + exchange.errorText.toStdString());
    }
}

// What an answer to a delivery means.
SendResult deliveryResult(const Exchange& exchange, const QUrl& url,
                          std::chrono::milliseconds timeout) {
    switch (exchange.end) {
    case Exchange::End::Interrupted:
        return result(Kind::Retry, "Der Versand wurde unterbrochen.");
    case Exchange::End::TimedOut:
        return result(
            Kind::Retry,
            "Keine Antwort von " + place(url) + " innerhalb von " +
                QLocale(QLocale::German).toString(timeout.count() / 1000.0).toStdString() + " s.");
    case Exchange::End::Failed:
        return failure(exchange, url);
    case Exchange::End::Answered:
        break;
    }
    const int status = exchange.status;
    if (status >= 200 && status < 300)
        return result(Kind::Delivered, statusLine(exchange));
    switch (status) {
    case 400:
    case 413:
    case 422:
        return result(Kind::Rejected, serverReason(exchange));
    case 401:
    case 403:
        return result(Kind::Misconfigured,
                      "Der Server lehnt die Anmeldung ab (" + statusLine(exchange) +
                          "): bitte das Geheimnis für den Authorization-Header prüfen.");
    case 404:
        return result(Kind::Misconfigured, "Unter dieser Adresse nimmt der Server nichts an (" +
                                               statusLine(exchange) +
                                               "): bitte die URL des Ziels prüfen.");
    case 408:
    case 409: // the same key still in work at the server
    case 425:
    case 429:
        return result(Kind::Retry,
                      "Der Server bittet um eine Pause (" + statusLine(exchange) + ").",
                      parseRetryAfter(exchange.retryAfter));
    default:
        break;
    }
    if (status >= 500)
        return result(Kind::Retry, "Der Server meldet einen Fehler (" + statusLine(exchange) + ").",
                      parseRetryAfter(exchange.retryAfter));
    if (status >= 300 && status < 400)
        return result(
            Kind::Misconfigured,
            "Der Server leitet weiter (" + statusLine(exchange) + ", nach „" +
                oneLine(exchange.location) +
                "“), was beim Versand nicht befolgt wird: bitte die URL des Ziels anpassen.");
    return result(Kind::Misconfigured,
                  "Der Server weist die Anfrage zurück (" + statusLine(exchange) + ").");
}

// A check's probe is an empty batch: taken, or refused for its content by a
// server that let us in, both say that the target is reached and accepts us.
SendResult checkResult(const Exchange& exchange, const QUrl& url,
                       std::chrono::milliseconds timeout) {
    SendResult outcome = deliveryResult(exchange, url, timeout);
    if (outcome.kind == Kind::Delivered || outcome.kind == Kind::Rejected)
        outcome = result(Kind::Delivered, "Verbindung zu " + place(url) +
                                              " hergestellt, Anmeldung angenommen (" +
                                              statusLine(exchange) + ").");
    return outcome;
}

// Qt Network writes a request in pieces of 16 KiB and leaves Nagle's
// algorithm on: the rest of a longer one waits for the receiver's delayed
// acknowledgement (40 ms on Linux). A batch goes as arrays that fit one piece.
constexpr qsizetype kLongestBatchBody = 15 * 1024;

// The next request's body: a lone event as it is, several as an array of as
// many as fit (at least one); and how many it holds.
std::pair<QByteArray, size_t> requestBody(std::span<const QueuedEvent> events) {
    if (events.size() == 1)
        return {QByteArray::fromStdString(events.front().json), 1};
    QByteArray body = "[";
    size_t count = 0;
    for (const auto& event : events) {
        const auto length = static_cast<qsizetype>(event.json.size());
        if (count > 0 && body.size() + length + 2 > kLongestBatchBody)
            break;
        if (count > 0)
            body += ',';
        body += QByteArray::fromStdString(event.json);
        ++count;
    }
    body += ']';
    return {body, count};
}

class HttpSender final : public Sender {
public:
    explicit HttpSender(const SenderSettings& settings);

    SendResult send(std::span<const QueuedEvent> events) override;
    SendResult check() override;
    void interrupt() override;

private:
    Exchange post(const QByteArray& body, const QByteArray& idempotencyKey);
    bool awaitFinish(QNetworkReply& reply);
    QNetworkAccessManager& manager();

    QUrl url_;
    QByteArray secret_;
    std::chrono::milliseconds timeout_;
    std::optional<CaTrust> trust_;
    QSslConfiguration tls_ = QSslConfiguration::defaultConfiguration();
    std::string fault_; // why this target cannot be used as configured
    // Made in the sending thread on first use and kept: its connections stay open.
    std::unique_ptr<QNetworkAccessManager> manager_;

    std::mutex mutex_;
    bool interrupted_ = false;      // guarded by mutex_
    QEventLoop* waiting_ = nullptr; // guarded by mutex_
};

HttpSender::HttpSender(const SenderSettings& settings)
    : url_(QString::fromStdString(settings.url), QUrl::StrictMode),
      secret_(QByteArray::fromStdString(settings.secret)), timeout_(settings.timeout) {
    if (!url_.isValid() || (url_.scheme() != "https" && url_.scheme() != "http") ||
        url_.host().isEmpty()) {
        fault_ = "„" + settings.url + "“ ist keine gültige http://- oder https://-Adresse.";
        return;
    }
    if (std::any_of(secret_.begin(), secret_.end(),
                    [](char c) { return c == '\r' || c == '\n' || c == '\0'; })) {
        fault_ = "Das Geheimnis für den Authorization-Header enthält einen Zeilenumbruch.";
        return;
    }
    if (!settings.caFile.empty()) {
        trust_ = CaTrust::fromFile(settings.caFile, fault_);
        if (trust_)
            trust_->applyTo(tls_);
    }
}

QNetworkAccessManager& HttpSender::manager() {
    if (!manager_) {
        manager_ = std::make_unique<QNetworkAccessManager>();
        manager_->setRedirectPolicy(QNetworkRequest::ManualRedirectPolicy);
    }
    return *manager_;
}

// Serves the reply until it finishes, its time is up or interrupt() comes;
// whether it came.
bool HttpSender::awaitFinish(QNetworkReply& reply) {
    QEventLoop loop;
    QObject::connect(&reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, &loop, &QEventLoop::quit);

    bool interrupted = false;
    {
        std::lock_guard lock(mutex_);
        interrupted = std::exchange(interrupted_, false);
        if (!interrupted)
            waiting_ = &loop;
    }
    if (!interrupted && !reply.isFinished()) {
        deadline.start(timeout_);
        loop.exec();
    }
    std::lock_guard lock(mutex_);
    waiting_ = nullptr;
    return std::exchange(interrupted_, false) || interrupted;
}

Exchange HttpSender::post(const QByteArray& body, const QByteArray& idempotencyKey) {
    QNetworkRequest request(url_);
    request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/json"));
    if (!idempotencyKey.isEmpty())
        request.setRawHeader("Idempotency-Key", idempotencyKey);
    if (!secret_.isEmpty())
        request.setRawHeader("Authorization", secret_);
    if (url_.scheme() == "https")
        request.setSslConfiguration(tls_);

    Exchange exchange;
    std::unique_ptr<QNetworkReply> reply(manager().post(request, body));
    QObject::connect(
        reply.get(), &QNetworkReply::sslErrors, reply.get(), [&](const QList<QSslError>& errors) {
            if (trust_ &&
                trust_->acceptsDespite(errors, reply->sslConfiguration().peerCertificateChain(),
                                       url_.host()))
                reply->ignoreSslErrors(errors);
            else
                exchange.sslErrors = errors;
        });
    // Only the first bytes of an answer's body are kept, however long it is.
    const auto keepBody = [&] {
        const QByteArray chunk = reply->readAll();
        exchange.body += chunk.left(kReasonBytesRead - exchange.body.size());
    };
    QObject::connect(reply.get(), &QNetworkReply::readyRead, reply.get(), keepBody);
    const bool interrupted = awaitFinish(*reply);
    if (!reply->isFinished()) {
        exchange.end = interrupted ? Exchange::End::Interrupted : Exchange::End::TimedOut;
        reply->abort();
        return exchange;
    }
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    exchange.end = status.isValid() ? Exchange::End::Answered : Exchange::End::Failed;
    exchange.status = status.toInt();
    exchange.statusText =
        reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toByteArray();
    exchange.retryAfter = reply->rawHeader("Retry-After");
    exchange.location = reply->rawHeader("Location");
    keepBody();
    exchange.error = reply->error();
    exchange.errorText = reply->errorString();
    return exchange;
}

SendResult HttpSender::send(std::span<const QueuedEvent> events) {
    if (!fault_.empty())
        return result(Kind::Misconfigured, fault_);
    size_t taken = 0;
    while (taken < events.size()) {
        const auto [body, count] = requestBody(events.subspan(taken));
        SendResult sent =
            deliveryResult(post(body, QByteArray::fromStdString(events[taken].id)), url_, timeout_);
        if (sent.kind != Kind::Delivered && taken > 0) {
            // What the rest is to the server, the next attempt finds out.
            sent.taken = taken;
            if (sent.kind != Kind::Retry)
                sent.retryAfter = std::chrono::seconds(0);
            sent.kind = Kind::Retry;
        }
        if (sent.kind != Kind::Delivered)
            return sent;
        taken += count;
    }
    return result(Kind::Delivered, {});
}

// An empty batch: the same request, headers and credentials as a delivery,
// and nothing for the receiver to store.
SendResult HttpSender::check() {
    if (!fault_.empty())
        return result(Kind::Misconfigured, fault_);
    return checkResult(post("[]", {}), url_, timeout_);
}

void HttpSender::interrupt() {
    std::lock_guard lock(mutex_);
    interrupted_ = true;
    if (waiting_)
        QMetaObject::invokeMethod(waiting_, &QEventLoop::quit, Qt::QueuedConnection);
}

} // namespace

std::unique_ptr<Sender> makeHttpSender(const SenderSettings& settings) {
    return std::make_unique<HttpSender>(settings);
}

} // namespace pelvaro
