#include "delivery/CaTrust.h"

#include <QHostAddress>
#include <cstddef>
#include <memory>
#include <string>

#include <windows.h>
#include <wincrypt.h>
#include <winhttp.h>

namespace pelvaro {

namespace {

struct StoreCloser {
    void operator()(void* store) const { CertCloseStore(store, 0); }
};
using Store = std::unique_ptr<void, StoreCloser>;

struct EngineFreer {
    void operator()(void* engine) const { CertFreeCertificateChainEngine(engine); }
};
using Engine = std::unique_ptr<void, EngineFreer>;

struct ChainFreer {
    void operator()(const CERT_CHAIN_CONTEXT* chain) const { CertFreeCertificateChain(chain); }
};
using Chain = std::unique_ptr<const CERT_CHAIN_CONTEXT, ChainFreer>;

struct CertificateFreer {
    void operator()(const CERT_CONTEXT* certificate) const { CertFreeCertificateContext(certificate); }
};
using Certificate = std::unique_ptr<const CERT_CONTEXT, CertificateFreer>;

Store memoryStore() {
    return Store(CertOpenStore(CERT_STORE_PROV_MEMORY, 0, 0, CERT_STORE_CREATE_NEW_FLAG, nullptr));
}

// Adds the certificate to the store and returns the store's copy of it.
Certificate add(void* store, const QSslCertificate& certificate) {
    const QByteArray der = certificate.toDer();
    const CERT_CONTEXT* added = nullptr;
    if (der.isEmpty() ||
        !CertAddEncodedCertificateToStore(store, X509_ASN_ENCODING,
                                          reinterpret_cast<const BYTE*>(der.constData()),
                                          static_cast<DWORD>(der.size()),
                                          CERT_STORE_ADD_USE_EXISTING, &added)) {
        return nullptr;
    }
    return Certificate(added);
}

// What a backend reports when it does not know the authority at the chain's
// end; anything else (a wrong name, an expired or revoked certificate, a bad
// signature) stands.
bool onlyTheAuthorityIsUnknown(const QList<QSslError>& errors) {
    for (const QSslError& error : errors) {
        switch (error.error()) {
        case QSslError::UnableToGetIssuerCertificate:
        case QSslError::UnableToGetLocalIssuerCertificate:
        case QSslError::SelfSignedCertificate:
        case QSslError::SelfSignedCertificateInChain:
        case QSslError::CertificateUntrusted:
            break;
        default:
            return false;
        }
    }
    return true;
}

// The address in the form a certificate holds it: 4 or 16 bytes, network order.
QByteArray addressBytes(const QHostAddress& address) {
    if (address.protocol() == QAbstractSocket::IPv4Protocol) {
        const quint32 v4 = address.toIPv4Address();
        const char bytes[] = {char(v4 >> 24), char(v4 >> 16), char(v4 >> 8), char(v4)};
        return QByteArray(bytes, sizeof bytes);
    }
    const Q_IPV6ADDR v6 = address.toIPv6Address();
    return QByteArray(reinterpret_cast<const char*>(v6.c), sizeof v6.c);
}

// Whether the certificate names the address among its alternative names, the
// only place an address counts. Not every version of the system's policy
// check compares addresses (wine's does not).
bool namesAddress(const CERT_CONTEXT* certificate, const QHostAddress& address) {
    const CERT_INFO* info = certificate->pCertInfo;
    const CERT_EXTENSION* extension =
        CertFindExtension(szOID_SUBJECT_ALT_NAME2, info->cExtension, info->rgExtension);
    CERT_ALT_NAME_INFO* names = nullptr;
    DWORD size = 0;
    if (extension == nullptr ||
        !CryptDecodeObjectEx(X509_ASN_ENCODING, X509_ALTERNATE_NAME, extension->Value.pbData,
                             extension->Value.cbData, CRYPT_DECODE_ALLOC_FLAG, nullptr, &names,
                             &size)) {
        return false;
    }
    const QByteArray wanted = addressBytes(address);
    bool named = false;
    for (DWORD i = 0; i < names->cAltEntry && !named; ++i) {
        const CERT_ALT_NAME_ENTRY& entry = names->rgAltEntry[i];
        named = entry.dwAltNameChoice == CERT_ALT_NAME_IP_ADDRESS &&
                QByteArray(reinterpret_cast<const char*>(entry.IPAddress.pbData),
                           static_cast<qsizetype>(entry.IPAddress.cbData)) == wanted;
    }
    LocalFree(names);
    return named;
}

} // namespace

// The system's TLS checks the chain against the Windows stores only, so the
// chain is built again here by an engine whose only roots are the CA file's.
bool CaTrust::acceptsDespite(const QList<QSslError>& errors, const QList<QSslCertificate>& peerChain,
                             const QString& hostName) const {
    if (peerChain.isEmpty() || hostName.isEmpty() || !onlyTheAuthorityIsUnknown(errors)) {
        return false;
    }
    const Store roots = memoryStore();
    const Store presented = memoryStore();
    if (!roots || !presented) {
        return false;
    }
    for (const QSslCertificate& authority : authorities_) {
        if (!add(roots.get(), authority)) {
            return false;
        }
    }
    const Certificate leaf = add(presented.get(), peerChain.first());
    if (!leaf) {
        return false;
    }
    for (qsizetype i = 1; i < peerChain.size(); ++i) {
        if (!add(presented.get(), peerChain[i])) {
            return false;
        }
    }

    CERT_CHAIN_ENGINE_CONFIG config{};
    // The form with the exclusive root but without its flags (Windows 7's),
    // which later Windows and wine accept as well.
    config.cbSize = offsetof(CERT_CHAIN_ENGINE_CONFIG, dwExclusiveFlags);
    config.hExclusiveRoot = roots.get();
    // Nothing is fetched from the network while a connection waits.
    config.dwFlags = CERT_CHAIN_CACHE_ONLY_URL_RETRIEVAL;
    HCERTCHAINENGINE engineHandle = nullptr;
    if (!CertCreateCertificateChainEngine(&config, &engineHandle)) {
        return false;
    }
    const Engine engine(engineHandle);

    LPSTR serverAuthentication = const_cast<LPSTR>(szOID_PKIX_KP_SERVER_AUTH);
    CERT_CHAIN_PARA chainPara{};
    chainPara.cbSize = sizeof(chainPara);
    chainPara.RequestedUsage.dwType = USAGE_MATCH_TYPE_AND;
    chainPara.RequestedUsage.Usage.cUsageIdentifier = 1;
    chainPara.RequestedUsage.Usage.rgpszUsageIdentifier = &serverAuthentication;
    const CERT_CHAIN_CONTEXT* chainContext = nullptr;
    if (!CertGetCertificateChain(engine.get(), leaf.get(), nullptr, presented.get(), &chainPara,
                                 CERT_CHAIN_CACHE_ONLY_URL_RETRIEVAL, nullptr, &chainContext)) {
        return false;
    }
    const Chain chain(chainContext);
    if (chain->TrustStatus.dwErrorStatus != CERT_TRUST_NO_ERROR) {
        return false;
    }

    const QHostAddress address(hostName);
    const bool byAddress = !address.isNull();
    std::wstring serverName = hostName.toStdWString();
    SSL_EXTRA_CERT_CHAIN_POLICY_PARA ssl{};
    ssl.cbSize = sizeof(ssl);
    ssl.dwAuthType = AUTHTYPE_SERVER;
    // An address is compared here, the rest of the policy stands.
    ssl.fdwChecks = byAddress ? SECURITY_FLAG_IGNORE_CERT_CN_INVALID : 0;
    ssl.pwszServerName = serverName.data();
    CERT_CHAIN_POLICY_PARA policy{};
    policy.cbSize = sizeof(policy);
    policy.pvExtraPolicyPara = &ssl;
    CERT_CHAIN_POLICY_STATUS status{};
    status.cbSize = sizeof(status);
    return CertVerifyCertificateChainPolicy(CERT_CHAIN_POLICY_SSL, chain.get(), &policy, &status) &&
           status.dwError == 0 && (!byAddress || namesAddress(leaf.get(), address));
}

} // namespace pelvaro
