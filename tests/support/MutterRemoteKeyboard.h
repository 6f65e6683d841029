#pragma once

#include <QDBusConnection>
#include <QString>
#include <cstdint>
#include <initializer_list>
#include <string>

namespace pelvaro::test {

// A keyboard through GNOME's compositor's own remote desktop interface on a
// session bus, as an assistive tool types: mutter asks its clients no consent.
// It answers the desktop's own dialogs in tests.
class MutterRemoteKeyboard {
public:
    // Throws std::runtime_error if mutter does not start the session.
    explicit MutterRemoteKeyboard(const std::string& busAddress);
    ~MutterRemoteKeyboard();
    MutterRemoteKeyboard(const MutterRemoteKeyboard&) = delete;
    MutterRemoteKeyboard& operator=(const MutterRemoteKeyboard&) = delete;

    // Presses the keys in order and releases them in reverse: {Alt_L, s} is Alt+s.
    bool strike(std::initializer_list<uint32_t> keysyms);
    // One press or release: a key held down on this keyboard while others type.
    bool key(uint32_t keysym, bool pressed);

private:
    bool callSession(const QString& method, const QVariantList& arguments = {});

    QDBusConnection bus_;
    QString session_;
};

} // namespace pelvaro::test
