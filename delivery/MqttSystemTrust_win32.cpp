#include "delivery/MqttSystemTrust.h"

#include <memory>

#include <windows.h>
#include <wincrypt.h>
// After wincrypt.h, whose names OpenSSL's headers take back.
#include <mosquitto.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>

namespace pelvaro {

namespace {

struct ContextFreer {
    void operator()(SSL_CTX* context) const { SSL_CTX_free(context); }
};

// Copies the certificates of one Windows store into OpenSSL's; how many. For
// OpenSSL every self-signed certificate it holds is a root, so from a store of
// intermediate authorities only the others are taken: Windows trusts no root
// that sits there.
int copyStore(X509_STORE* into, DWORD location, const wchar_t* name, bool roots) {
    HCERTSTORE store = CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0,
                                     location | CERT_STORE_OPEN_EXISTING_FLAG | CERT_STORE_READONLY_FLAG,
                                     name);
    if (store == nullptr) {
        return 0;
    }
    int copied = 0;
    const CERT_CONTEXT* certificate = nullptr;
    while ((certificate = CertEnumCertificatesInStore(store, certificate)) != nullptr) {
        const unsigned char* der = certificate->pbCertEncoded;
        X509* x509 = d2i_X509(nullptr, &der, static_cast<long>(certificate->cbCertEncoded));
        if (x509 == nullptr) {
            continue;
        }
        if (!roots && X509_self_signed(x509, 0) == 1) {
            X509_free(x509);
            continue;
        }
        // The user's and the machine's stores share many; a second copy is no fault.
        if (X509_STORE_add_cert(into, x509) == 1) {
            ++copied;
        }
        X509_free(x509);
    }
    ERR_clear_error();
    CertCloseStore(store, 0);
    return copied;
}

} // namespace

std::optional<std::string> useSystemTrustStore(mosquitto* client) {
    std::unique_ptr<SSL_CTX, ContextFreer> context(SSL_CTX_new(TLS_client_method()));
    if (!context) {
        return "TLS kann nicht eingerichtet werden.";
    }
    X509_STORE* store = SSL_CTX_get_cert_store(context.get());
    int copied = 0;
    for (DWORD location : {CERT_SYSTEM_STORE_CURRENT_USER, CERT_SYSTEM_STORE_LOCAL_MACHINE}) {
        copied += copyStore(store, location, L"ROOT", true);
        // The intermediate authorities complete chains whose servers leave them out.
        copied += copyStore(store, location, L"CA", false);
    }
    if (copied == 0) {
        return "Die Zertifizierungsstellen von Windows konnten nicht gelesen werden.";
    }
    // libmosquitto applies its own settings (TLS versions, the check of the
    // broker's name, a client certificate) to a context of ours only when it
    // also has CA files or a CA folder. Windows' system folder holds no
    // certificate files named as OpenSSL looks for them, and only
    // administrators may change it, so it adds nothing to the trust.
    char systemFolder[MAX_PATH];
    const UINT length = GetSystemDirectoryA(systemFolder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH ||
        mosquitto_int_option(client, MOSQ_OPT_SSL_CTX_WITH_DEFAULTS, 1) != MOSQ_ERR_SUCCESS ||
        mosquitto_void_option(client, MOSQ_OPT_SSL_CTX, context.get()) != MOSQ_ERR_SUCCESS ||
        mosquitto_tls_set(client, nullptr, systemFolder, nullptr, nullptr, nullptr) != MOSQ_ERR_SUCCESS) {
        return "TLS kann nicht eingerichtet werden.";
    }
    return std::nullopt;
}

} // namespace pelvaro
