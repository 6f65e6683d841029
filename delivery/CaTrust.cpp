#include "delivery/CaTrust.h"

#include <QFile>
#include <QSslConfiguration>

namespace pelvaro {

namespace {

// A bundle of every public authority is some hundred kilobytes.
constexpr qint64 kLargestCaFile = 8 * 1024 * 1024;

std::string quoted(const std::filesystem::path& file) {
    return "„" + QString::fromStdU16String(file.u16string()).toStdString() + "“";
}

} // namespace

std::optional<CaTrust> CaTrust::fromFile(const std::filesystem::path& file, std::string& error) {
    QFile pem(QString::fromStdU16String(file.u16string()));
    if (!pem.open(QIODevice::ReadOnly)) {
        error = "Die CA-Datei " + quoted(file) +
                " kann nicht gelesen werden: " + pem.errorString().toStdString();
        return std::nullopt;
    }
    if (pem.size() > kLargestCaFile) {
        error = "Die CA-Datei " + quoted(file) + " ist zu groß für eine Zertifikatsdatei.";
        return std::nullopt;
    }
    auto authorities = QSslCertificate::fromData(pem.readAll(), QSsl::Pem);
    if (authorities.isEmpty()) {
        error = "Die CA-Datei " + quoted(file) + " enthält kein Zertifikat im PEM-Format.";
        return std::nullopt;
    }
    return CaTrust(std::move(authorities));
}

// Only the file's authorities: a company's own CA does not widen the trust
// to every public one for this target.
void CaTrust::applyTo(QSslConfiguration& configuration) const {
    configuration.setCaCertificates(authorities_);
}

} // namespace pelvaro
