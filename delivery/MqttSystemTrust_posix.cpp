#include "delivery/MqttSystemTrust.h"

#include <mosquitto.h>

namespace pelvaro {

// OpenSSL's own default: the system's certificate folder and bundle, or those
// that SSL_CERT_DIR and SSL_CERT_FILE name.
std::optional<std::string> useSystemTrustStore(mosquitto* client) {
    if (mosquitto_int_option(client, MOSQ_OPT_TLS_USE_OS_CERTS, 1) != MOSQ_ERR_SUCCESS)
        return "Die Zertifikate des Systems sind für MQTT nicht zu nutzen.";
    return std::nullopt;
}

} // namespace pelvaro
