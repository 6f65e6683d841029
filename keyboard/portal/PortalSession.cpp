#include "keyboard/portal/PortalSession.h"

#include "keyboard/portal/PortalListener.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusUnixFileDescriptor>
#include <QDBusVariant>
#include <QEventLoop>
#include <QTimer>
#include <atomic>
#include <fcntl.h>

namespace pelvaro {

namespace {

const QString kService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString kPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString kRemoteDesktop = QStringLiteral("org.freedesktop.portal.RemoteDesktop");
const QString kRequest = QStringLiteral("org.freedesktop.portal.Request");
const QString kSession = QStringLiteral("org.freedesktop.portal.Session");

// Probing waits for the portal to be started by the bus, no longer.
constexpr int kProbeTimeoutMs = 10000;

// The portal's numeric responses.
constexpr uint kSuccess = 0;
constexpr uint kCancelled = 1;

QDBusConnection bus() {
    return QDBusConnection::sessionBus();
}

// A name for a request or session of ours, unique on this connection.
QString nextToken() {
    static std::atomic<int> counter = 0;
    return QStringLiteral("pelvaro%1").arg(++counter);
}

// Where the portal puts a request made with this token: under our bus name
// without its colon and with its dots as underscores.
QString requestPath(const QString& token) {
    QString sender = bus().baseService().mid(1);
    sender.replace(QLatin1Char('.'), QLatin1Char('_'));
    return kPath + QStringLiteral("/request/") + sender + QLatin1Char('/') + token;
}

std::optional<uint> property(const QString& name) {
    QDBusMessage get = QDBusMessage::createMethodCall(
        kService, kPath, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    get.setArguments({kRemoteDesktop, name});
    const QDBusMessage reply = bus().call(get, QDBus::Block, kProbeTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return std::nullopt;
    return reply.arguments().constFirst().value<QDBusVariant>().variant().toUInt();
}

struct Answer {
    PortalSession::Outcome outcome = PortalSession::Outcome::TimedOut;
    QVariantMap results;
};

// Calls a method of the portal that answers through a Request, and waits for
// the answer. The Request is listened to before the call, at the path the
// portal will give it, so that an answer at once is not missed.
Answer ask(const QString& method, QVariantList arguments, QVariantMap options,
           std::chrono::milliseconds patience) {
    const QString token = nextToken();
    options.insert(QStringLiteral("handle_token"), token);
    arguments.append(options);

    Answer answer;
    bool answered = false;
    QEventLoop waiting;
    PortalListener listener([&](uint response, const QVariantMap& results) {
        answered = true;
        answer.outcome = response == kSuccess     ? PortalSession::Outcome::Started
                         : response == kCancelled ? PortalSession::Outcome::Refused
                                                  : PortalSession::Outcome::Failed;
        answer.results = results;
        waiting.quit();
    });
    const auto listenAt = [&](const QString& path) {
        bus().connect(kService, path, kRequest, QStringLiteral("Response"), &listener,
                      SLOT(respond(uint, QVariantMap)));
    };
    const QString predicted = requestPath(token);
    listenAt(predicted);

    QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kRemoteDesktop, method);
    call.setArguments(arguments);
    const QDBusMessage reply = bus().call(call);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return {PortalSession::Outcome::Failed, {}};
    // Portals before the predictable paths chose their own.
    const QString given = reply.arguments().constFirst().value<QDBusObjectPath>().path();
    if (given != predicted)
        listenAt(given);
    QTimer::singleShot(patience, &waiting, &QEventLoop::quit);
    // The user's clicks wait meanwhile: a second start must not ask again.
    if (!answered)
        waiting.exec(QEventLoop::ExcludeUserInputEvents);
    return answer;
}

} // namespace

PortalSession::Probe PortalSession::probe() {
    if (!QCoreApplication::instance() || !bus().isConnected())
        return {Lookup::NoSessionBus, {}};
    const auto version = property(QStringLiteral("version"));
    const auto deviceTypes =
        version ? property(QStringLiteral("AvailableDeviceTypes")) : std::nullopt;
    if (!deviceTypes)
        return {Lookup::NoPortal, {}};
    return {Lookup::Found, {*version, *deviceTypes}};
}

PortalSession::PortalSession() = default;

PortalSession::~PortalSession() {
    // Ends the session on the desktop too, with its sign of remote control.
    if (!handle_.empty())
        bus().send(QDBusMessage::createMethodCall(kService, QString::fromStdString(handle_),
                                                  kSession, QStringLiteral("Close")));
}

PortalSession::Start PortalSession::start(const std::string& restoreToken,
                                          std::chrono::milliseconds patience) {
    Answer created = ask(QStringLiteral("CreateSession"), {},
                         {{QStringLiteral("session_handle_token"), nextToken()}}, patience);
    if (created.outcome != Outcome::Started)
        return {created.outcome, {}};
    // Given as a string by the portal's definition, as an object path by some.
    const QVariant given = created.results.value(QStringLiteral("session_handle"));
    handle_ = (given.metaType() == QMetaType::fromType<QDBusObjectPath>()
                   ? given.value<QDBusObjectPath>().path()
                   : given.toString())
                  .toStdString();
    const QString handle = QString::fromStdString(handle_);
    const QVariant session = QVariant::fromValue(QDBusObjectPath(handle));
    closedListener_ = std::make_unique<PortalListener>([this] { open_ = false; });
    bus().connect(kService, handle, kSession, QStringLiteral("Closed"), closedListener_.get(),
                  SLOT(close(QVariantMap)));

    // Portals of version 1 ignore the persistence silently.
    QVariantMap selection = {{QStringLiteral("types"), kKeyboard},
                             {QStringLiteral("persist_mode"), 2u}};
    if (!restoreToken.empty())
        selection.insert(QStringLiteral("restore_token"), QString::fromStdString(restoreToken));
    const Answer selected = ask(QStringLiteral("SelectDevices"), {session}, selection, patience);
    if (selected.outcome != Outcome::Started)
        return {selected.outcome, {}};

    const Answer started = ask(QStringLiteral("Start"), {session, QString()}, {}, patience);
    if (started.outcome != Outcome::Started)
        return {started.outcome, {}};
    const QVariant devices = started.results.value(QStringLiteral("devices"));
    if (devices.isValid() && !(devices.toUInt() & kKeyboard))
        return {Outcome::Refused, {}};
    open_ = true;
    return {Outcome::Started,
            started.results.value(QStringLiteral("restore_token")).toString().toStdString()};
}

bool PortalSession::key(uint32_t keysym, bool pressed) {
    QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kRemoteDesktop,
                                                       QStringLiteral("NotifyKeyboardKeysym"));
    call.setArguments({QVariant::fromValue(QDBusObjectPath(QString::fromStdString(handle_))),
                       QVariantMap(), static_cast<int>(keysym), pressed ? 1u : 0u});
    return bus().call(call).type() == QDBusMessage::ReplyMessage;
}

int PortalSession::connectToEis() {
    QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kRemoteDesktop,
                                                       QStringLiteral("ConnectToEIS"));
    call.setArguments(
        {QVariant::fromValue(QDBusObjectPath(QString::fromStdString(handle_))), QVariantMap()});
    const QDBusMessage reply = bus().call(call);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return -1;
    const auto descriptor = reply.arguments().constFirst().value<QDBusUnixFileDescriptor>();
    // The message's copy closes with it.
    return descriptor.isValid() ? fcntl(descriptor.fileDescriptor(), F_DUPFD_CLOEXEC, 0) : -1;
}

} // namespace pelvaro
