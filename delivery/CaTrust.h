#pragma once

#include <QList>
#include <QSslCertificate>
#include <QSslError>
#include <filesystem>
#include <optional>
#include <string>

class QSslConfiguration;

namespace pelvaro {

// The certificate authorities of a CA file, trusted besides nothing else for
// one target. Where the TLS backend does not honour authorities given to it
// (the Windows system's own TLS), the peer's chain is checked here instead.
class CaTrust {
public:
    // The authorities in the PEM file; nothing, with the reason in German, when
    // it cannot be read or holds none.
    static std::optional<CaTrust> fromFile(const std::filesystem::path& file, std::string& error);

    // Gives the authorities to the TLS configuration.
    void applyTo(QSslConfiguration& configuration) const;
    // Whether the handshake's errors only say that the backend did not know the
    // authority, and the peer's chain does lead to one of ours for the host.
    bool acceptsDespite(const QList<QSslError>& errors, const QList<QSslCertificate>& peerChain,
                        const QString& hostName) const;

private:
    explicit CaTrust(QList<QSslCertificate> authorities) : authorities_(std::move(authorities)) {}
    QList<QSslCertificate> authorities_;
};

} // namespace pelvaro
