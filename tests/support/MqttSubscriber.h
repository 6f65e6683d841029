#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <set>
#include <string>
#include <vector>

struct mosquitto;
struct mosquitto_message;

namespace pelvaro::test {

class MosquittoBroker;

// A subscriber of the test's own on the broker's plain listener: the topic
// with QoS 1 in a persistent session, so that what comes while it is away
// (the broker restarting) reaches it afterwards. It reconnects by itself.
class MqttSubscriber {
public:
    // Returns once the broker confirmed the subscription.
    MqttSubscriber(const MosquittoBroker& broker, const std::string& topic);
    ~MqttSubscriber();
    MqttSubscriber(const MqttSubscriber&) = delete;
    MqttSubscriber& operator=(const MqttSubscriber&) = delete;

    // The payloads received so far, in the order they came (repeats too),
    // once count different ones came or the time is up.
    std::vector<std::string> payloads(size_t count = 0,
                                      std::chrono::milliseconds timeout = std::chrono::seconds(30));

private:
    static void onConnect(mosquitto* client, void* self, int code);
    static void onSubscribe(mosquitto*, void* self, int, int, const int*);
    static void onMessage(mosquitto*, void* self, const mosquitto_message* message);

    std::string topic_;
    mosquitto* client_ = nullptr;
    std::mutex mutex_;
    std::condition_variable changed_;
    bool subscribed_ = false;
    std::vector<std::string> payloads_;
    std::set<std::string> different_;
};

} // namespace pelvaro::test
