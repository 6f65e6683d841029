// The CA file on Windows, where the system's TLS knows only the Windows stores:
// the peer's chain must lead to one of the file's authorities and name the
// host, or the handshake's errors stand.

#include "delivery/CaTrust.h"
#include "delivery/HttpSender.h"

#include <QFile>
#include <fstream>
#include <gtest/gtest.h>

namespace pelvaro {
namespace {

const std::filesystem::path certificates = TEST_CERTIFICATES;

CaTrust trustIn(const char* file) {
    std::string error;
    auto trust = CaTrust::fromFile(certificates / file, error);
    EXPECT_TRUE(trust.has_value()) << error;
    return trust.value();
}

QSslCertificate certificate(const char* file) {
    QFile pem(QString::fromStdU16String((certificates / file).u16string()));
    EXPECT_TRUE(pem.open(QIODevice::ReadOnly)) << file;
    return QSslCertificate(pem.readAll(), QSsl::Pem);
}

// What the system's TLS says of a server whose authority it does not know.
QList<QSslError> unknownAuthority(const QSslCertificate& server) {
    return {QSslError(QSslError::UnableToGetIssuerCertificate, server)};
}

TEST(CaTrustOnWindows, AcceptsTheAuthoritysServerUnderEachOfItsNames) {
    const CaTrust trust = trustIn("ca.pem");
    const QSslCertificate server = certificate("server.pem");
    for (const char* host : {"127.0.0.1", "::1", "localhost"}) {
        EXPECT_TRUE(trust.acceptsDespite(unknownAuthority(server), {server}, host)) << host;
    }
    // A server that sends its authority along is no different.
    const QList<QSslCertificate> withAuthority{server, certificate("ca.pem")};
    EXPECT_TRUE(trust.acceptsDespite(
        {QSslError(QSslError::SelfSignedCertificateInChain, server)}, withAuthority, "localhost"));
}

TEST(CaTrustOnWindows, RefusesAnotherAuthorityAnotherHostAndEveryOtherFault) {
    const QSslCertificate server = certificate("server.pem");
    const QList<QSslError> unknown = unknownAuthority(server);
    EXPECT_FALSE(trustIn("other-ca.pem").acceptsDespite(unknown, {server}, "localhost"));
    // The client's certificate is the authority's too, but not for a server.
    const QSslCertificate client = certificate("client.pem");
    EXPECT_FALSE(trustIn("ca.pem").acceptsDespite(unknownAuthority(client), {client},
                                                  "pelvaro-test-client"));

    const CaTrust trust = trustIn("ca.pem");
    EXPECT_FALSE(trust.acceptsDespite(unknown, {server}, "pelvaro.example"));
    EXPECT_FALSE(trust.acceptsDespite(unknown, {server}, "127.0.0.2"));
    // A fault besides the unknown authority is never forgiven, even where the
    // chain itself is good.
    for (auto fault : {QSslError::HostNameMismatch, QSslError::CertificateExpired,
                       QSslError::CertificateRevoked, QSslError::CertificateSignatureFailed}) {
        EXPECT_FALSE(trust.acceptsDespite(unknown + QList<QSslError>{QSslError(fault, server)}, {server},
                                          "localhost"))
            << fault;
    }
    EXPECT_FALSE(trust.acceptsDespite(unknown, {}, "localhost"));
}

// The webhook through the system's TLS to the receiver of the Linux side,
// whose authority no Windows store knows.
SendResult::Kind sendWithCaFile(const std::string& host, const char* caFile) {
    std::string port;
    std::ifstream(certificates / "https-port") >> port;
    SenderSettings settings;
    settings.url = "https://" + host + ":" + port + "/reads";
    if (caFile != nullptr) {
        settings.caFile = certificates / caFile;
    }
    const QueuedEvent event{1, "0190a5e2-0000-7000-8000-000000000001", R"({"code":"123456789A"})"};
    return makeHttpSender(settings)->send({&event, 1}).kind;
}

TEST(CaTrustOnWindows, TheWebhookTrustsTheCaFileAndOnlyIt) {
    EXPECT_EQ(sendWithCaFile("localhost", "ca.pem"), SendResult::Kind::Delivered);
    EXPECT_EQ(sendWithCaFile("127.0.0.1", "ca.pem"), SendResult::Kind::Delivered);
    EXPECT_NE(sendWithCaFile("localhost", "other-ca.pem"), SendResult::Kind::Delivered);
    EXPECT_NE(sendWithCaFile("localhost", nullptr), SendResult::Kind::Delivered);
}

} // namespace
} // namespace pelvaro
