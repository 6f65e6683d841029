#pragma once

#include <QDBusContext>
#include <QDBusObjectPath>
#include <QObject>
#include <QString>
#include <QVariantMap>

namespace pelvaro::test {

// The desktop portal's RemoteDesktop interface, as a desktop's portal answers
// it, on the session bus of a test: it grants the keyboard (or refuses, as a
// user who declines), hands out a restore token from version 2 on and fails
// a start with a token it did not hand out. It prints every call, one line each, for the test to
// read: "SelectDevices types=1 persist_mode=2 restore_token=<token> <known|unknown>",
// "Start", "key <keysym in hex> <1|0>".
class StandInPortal : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.portal.RemoteDesktop")
    Q_PROPERTY(uint version READ version)
    Q_PROPERTY(uint AvailableDeviceTypes READ availableDeviceTypes)

public:
    StandInPortal(uint version, bool refuse) : version_(version), refuse_(refuse) {}
    uint version() const { return version_; }
    uint availableDeviceTypes() const { return 7; }

public slots:
    QDBusObjectPath CreateSession(const QVariantMap& options);
    QDBusObjectPath SelectDevices(const QDBusObjectPath& session, const QVariantMap& options);
    QDBusObjectPath Start(const QDBusObjectPath& session, const QString& parentWindow,
                          const QVariantMap& options);
    void NotifyKeyboardKeysym(const QDBusObjectPath& session, const QVariantMap& options,
                              int keysym, uint state);
    // Not the portal's: the desktop ends the session, as its screen lock does.
    void CloseSession();

private:
    QDBusObjectPath answer(const QVariantMap& options, uint response, const QVariantMap& results);
    QString pathFor(const QString& kind, const QString& token) const;

    uint version_;
    bool refuse_;
    QString session_; // the started session, empty when none
    QString token_;   // the restore token handed out last
    int tokensGiven_ = 0;
};

} // namespace pelvaro::test
