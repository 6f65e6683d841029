#include "tests/support/MutterRemoteKeyboard.h"

#include <QDBusMessage>
#include <QDBusObjectPath>
#include <iterator>
#include <stdexcept>

namespace pelvaro::test {

namespace {

const QString kService = QStringLiteral("org.gnome.Mutter.RemoteDesktop");
const QString kConnectionName = QStringLiteral("mutter-remote-keyboard");

} // namespace

MutterRemoteKeyboard::MutterRemoteKeyboard(const std::string& busAddress)
    : bus_(QDBusConnection::connectToBus(QString::fromStdString(busAddress), kConnectionName)) {
    QDBusMessage create =
        QDBusMessage::createMethodCall(kService, QStringLiteral("/org/gnome/Mutter/RemoteDesktop"),
                                       kService, QStringLiteral("CreateSession"));
    const QDBusMessage reply = bus_.call(create);
    if (reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty())
        session_ = reply.arguments().constFirst().value<QDBusObjectPath>().path();
    if (session_.isEmpty() || !callSession(QStringLiteral("Start")))
        throw std::runtime_error("mutter's remote desktop did not start: " +
                                 reply.errorMessage().toStdString());
}

MutterRemoteKeyboard::~MutterRemoteKeyboard() {
    if (!session_.isEmpty())
        callSession(QStringLiteral("Stop"));
    bus_ = QDBusConnection(QString());
    QDBusConnection::disconnectFromBus(kConnectionName);
}

bool MutterRemoteKeyboard::strike(std::initializer_list<uint32_t> keysyms) {
    bool delivered = true;
    for (const uint32_t keysym : keysyms)
        delivered &= key(keysym, true);
    for (auto keysym = std::rbegin(keysyms); keysym != std::rend(keysyms); ++keysym)
        delivered &= key(*keysym, false);
    return delivered;
}

bool MutterRemoteKeyboard::key(uint32_t keysym, bool pressed) {
    return callSession(QStringLiteral("NotifyKeyboardKeysym"), {keysym, pressed});
}

bool MutterRemoteKeyboard::callSession(const QString& method, const QVariantList& arguments) {
    QDBusMessage call = QDBusMessage::createMethodCall(
        kService, session_, QStringLiteral("org.gnome.Mutter.RemoteDesktop.Session"), method);
    call.setArguments(arguments);
    return bus_.call(call).type() == QDBusMessage::ReplyMessage;
}

} // namespace pelvaro::test
