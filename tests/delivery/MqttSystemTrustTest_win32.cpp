// MQTT over TLS on Windows with the system's trust: libmosquitto's OpenSSL
// checks the broker against the roots of the Windows stores; an authority
// among the intermediate ones is no root.

#include "delivery/MqttSystemTrust.h"

#include <atomic>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <optional>
#include <string>

#include <windows.h>
#include <wincrypt.h>
// After wincrypt.h, whose names OpenSSL's headers take back.
#include <mosquitto.h>

namespace pelvaro {
namespace {

const std::filesystem::path certificates = TEST_CERTIFICATES;

// The test's authority in one of the current user's stores while it lives.
class AuthorityInUserStore {
public:
    explicit AuthorityInUserStore(const wchar_t* name) {
        std::ifstream file(certificates / "ca.pem");
        const std::string pem{std::istreambuf_iterator<char>(file), {}};
        BYTE der[8192];
        DWORD size = sizeof der;
        store_ = CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_CURRENT_USER, name);
        if (store_ == nullptr ||
            !CryptStringToBinaryA(pem.c_str(), 0, CRYPT_STRING_BASE64HEADER, der, &size, nullptr,
                                  nullptr) ||
            !CertAddEncodedCertificateToStore(store_, X509_ASN_ENCODING, der, size,
                                              CERT_STORE_ADD_REPLACE_EXISTING, &added_)) {
            ADD_FAILURE() << "the test's authority is not in the store: " << GetLastError();
        }
        // Others see it once it is written.
        CertControlStore(store_, 0, CERT_STORE_CTRL_COMMIT, nullptr);
    }
    ~AuthorityInUserStore() {
        if (added_ != nullptr) {
            CertDeleteCertificateFromStore(added_);
        }
        if (store_ != nullptr) {
            CertControlStore(store_, 0, CERT_STORE_CTRL_COMMIT, nullptr);
            CertCloseStore(store_, 0);
        }
    }
    // Whether the store, opened anew as the trust opens it, shows it.
    bool visible(const wchar_t* name) const {
        HCERTSTORE store = CertOpenStore(
            CERT_STORE_PROV_SYSTEM_W, 0, 0,
            CERT_SYSTEM_STORE_CURRENT_USER | CERT_STORE_OPEN_EXISTING_FLAG | CERT_STORE_READONLY_FLAG,
            name);
        const CERT_CONTEXT* found = CertFindCertificateInStore(store, X509_ASN_ENCODING, 0,
                                                               CERT_FIND_EXISTING, added_, nullptr);
        CertFreeCertificateContext(found);
        CertCloseStore(store, 0);
        return found != nullptr;
    }

private:
    HCERTSTORE store_ = nullptr;
    const CERT_CONTEXT* added_ = nullptr;
};

// The broker's answer to a client that trusts the system's stores: 0 for an
// accepted connection, else libmosquitto's error.
int connectWithSystemTrust(const char* host) {
    int port = 0;
    std::ifstream(certificates / "mqtt-port") >> port;
    EXPECT_NE(port, 0) << "no broker";
    mosquitto* client = mosquitto_new(nullptr, true, nullptr);
    EXPECT_EQ(useSystemTrustStore(client), std::nullopt);
    int result = mosquitto_connect(client, host, port, 10);
    std::atomic<int> acknowledged = -1;
    mosquitto_user_data_set(client, &acknowledged);
    mosquitto_connect_callback_set(client, [](mosquitto*, void* answer, int code) {
        *static_cast<std::atomic<int>*>(answer) = code;
    });
    for (int i = 0; result == MOSQ_ERR_SUCCESS && acknowledged < 0 && i < 50; ++i) {
        result = mosquitto_loop(client, 100, 1);
    }
    mosquitto_destroy(client);
    return result == MOSQ_ERR_SUCCESS ? acknowledged.load() : result;
}

TEST(MqttSystemTrustOnWindows, TrustsTheUsersRootsAndNoAuthorityAmongTheIntermediates) {
    mosquitto_lib_init();
    EXPECT_EQ(connectWithSystemTrust("localhost"), MOSQ_ERR_TLS);
    {
        const AuthorityInUserStore intermediate(L"CA");
        ASSERT_TRUE(intermediate.visible(L"CA"));
        EXPECT_EQ(connectWithSystemTrust("localhost"), MOSQ_ERR_TLS);
    }
    {
        const AuthorityInUserStore root(L"ROOT");
        ASSERT_TRUE(root.visible(L"ROOT"));
        EXPECT_EQ(connectWithSystemTrust("localhost"), 0);
        EXPECT_EQ(connectWithSystemTrust("127.0.0.1"), 0);
    }
    EXPECT_EQ(connectWithSystemTrust("localhost"), MOSQ_ERR_TLS);
    mosquitto_lib_cleanup();
}

} // namespace
} // namespace pelvaro
