#pragma once

#include "delivery/Sender.h"

#include <chrono>
#include <cstddef>
#include <string>
#include <vector>

namespace pelvaro::test {
class HttpsReceiver;
class MosquittoBroker;
class MqttSubscriber;
} // namespace pelvaro::test

namespace pelvaro::bench {

// Events a second from start until the subscriber has count different ones;
// throws when they do not all come within two minutes.
double rateUntilReceived(test::MqttSubscriber& subscriber, size_t count,
                         std::chrono::steady_clock::time_point start);

// mosquitto_pub sending the events, one a line, QoS 1 over TLS with the
// broker's password, to a subscriber of its own: events a second until the
// subscriber has them all.
double mosquittoPubRate(const test::MosquittoBroker& broker, const std::vector<QueuedEvent>& events,
                        const std::string& topic);

// Events in the receiver's requests from the first-th on, by their schema field.
size_t eventsReceivedSince(const test::HttpsReceiver& receiver, size_t first);

// One curl process posting the events one a request over one kept-alive
// connection: events a second until it ends, all of them received.
double curlRate(const test::HttpsReceiver& receiver, const std::vector<QueuedEvent>& events);

} // namespace pelvaro::bench
