// A stand-in desktop portal for tests: StandInPortal on the session bus given
// by DBUS_SESSION_BUS_ADDRESS. Arguments: the RemoteDesktop version (1 or 2),
// and "refuse" to decline every start. Prints "ready" once it serves.

#include "tests/support/StandInPortal.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QTimer>
#include <cstdio>

namespace pelvaro::test {

namespace {

void print(const QString& line) {
    std::printf("%s\n", line.toUtf8().constData());
    std::fflush(stdout);
}

} // namespace

QString StandInPortal::pathFor(const QString& kind, const QString& token) const {
    QString sender = message().service().mid(1);
    sender.replace(QLatin1Char('.'), QLatin1Char('_'));
    return QStringLiteral("/org/freedesktop/portal/desktop/%1/%2/%3").arg(kind, sender, token);
}

// The request's path at once, its Response after the reply, as a portal does.
QDBusObjectPath StandInPortal::answer(const QVariantMap& options, uint response,
                                      const QVariantMap& results) {
    const QString request = pathFor(QStringLiteral("request"),
                                    options.value(QStringLiteral("handle_token")).toString());
    QTimer::singleShot(0, this, [=] {
        QDBusMessage signal = QDBusMessage::createSignal(
            request, QStringLiteral("org.freedesktop.portal.Request"), QStringLiteral("Response"));
        signal << response << results;
        QDBusConnection::sessionBus().send(signal);
    });
    return QDBusObjectPath(request);
}

QDBusObjectPath StandInPortal::CreateSession(const QVariantMap& options) {
    const QString session =
        pathFor(QStringLiteral("session"),
                options.value(QStringLiteral("session_handle_token")).toString());
    // The portal's definition says a string; some portals send an object path.
    const QVariant handle =
        version_ >= 2 ? QVariant::fromValue(QDBusObjectPath(session)) : QVariant(session);
    return answer(options, 0, {{QStringLiteral("session_handle"), handle}});
}

QDBusObjectPath StandInPortal::SelectDevices(const QDBusObjectPath&, const QVariantMap& options) {
    const QString token = options.value(QStringLiteral("restore_token")).toString();
    const bool known = !token.isEmpty() && token == token_;
    print(QStringLiteral("SelectDevices types=%1 persist_mode=%2 restore_token=%3 %4")
              .arg(options.value(QStringLiteral("types")).toUInt())
              .arg(options.value(QStringLiteral("persist_mode")).toUInt())
              .arg(token, known ? QStringLiteral("known") : QStringLiteral("unknown")));
    // As a desktop's portal that cannot make sense of a token it is handed.
    return answer(options, token.isEmpty() || known ? 0 : 2, {});
}

QDBusObjectPath StandInPortal::Start(const QDBusObjectPath& session, const QString&,
                                     const QVariantMap& options) {
    print(QStringLiteral("Start"));
    if (refuse_)
        return answer(options, 1, {});
    session_ = session.path();
    QVariantMap results = {{QStringLiteral("devices"), 1u}};
    // Single use: each start hands out the next one.
    if (version_ >= 2) {
        token_ = QStringLiteral("token-%1").arg(++tokensGiven_);
        results.insert(QStringLiteral("restore_token"), token_);
    }
    return answer(options, 0, results);
}

void StandInPortal::NotifyKeyboardKeysym(const QDBusObjectPath& session, const QVariantMap&,
                                         int keysym, uint state) {
    if (session.path() != session_) {
        sendErrorReply(QDBusError::AccessDenied, QStringLiteral("no such session"));
        return;
    }
    print(QStringLiteral("key %1 %2").arg(keysym, 0, 16).arg(state));
}

void StandInPortal::CloseSession() {
    QDBusMessage closed = QDBusMessage::createSignal(
        session_, QStringLiteral("org.freedesktop.portal.Session"), QStringLiteral("Closed"));
    closed << QVariantMap();
    QDBusConnection::sessionBus().send(closed);
    session_.clear();
}

} // namespace pelvaro::test

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    pelvaro::test::StandInPortal portal(arguments.value(1).toUInt(),
                                        arguments.value(2) == QStringLiteral("refuse"));
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.registerObject(QStringLiteral("/org/freedesktop/portal/desktop"), &portal,
                            QDBusConnection::ExportAllSlots |
                                QDBusConnection::ExportAllProperties) ||
        !bus.registerService(QStringLiteral("org.freedesktop.portal.Desktop")))
        return 1;
    pelvaro::test::print(QStringLiteral("ready"));
    return application.exec();
}
