#include "tests/support/MqttSubscriber.h"

#include "tests/support/MosquittoBroker.h"
#include "tests/support/Polling.h"

#include <mosquitto.h>
#include <stdexcept>

namespace pelvaro::test {

MqttSubscriber::MqttSubscriber(const MosquittoBroker& broker, const std::string& topic)
    : topic_(topic) {
    mosquitto_lib_init();
    client_ = mosquitto_new(("pelvaro-test-subscriber-" + topic).c_str(), false, this);
    if (!client_)
        throw std::runtime_error("cannot make an MQTT client");
    mosquitto_username_pw_set(client_, MosquittoBroker::kUser, MosquittoBroker::kPassword);
    mosquitto_connect_callback_set(client_, onConnect);
    mosquitto_subscribe_callback_set(client_, onSubscribe);
    mosquitto_message_callback_set(client_, onMessage);
    mosquitto_reconnect_delay_set(client_, 1, 1, false);
    if (mosquitto_connect(client_, "127.0.0.1", broker.port(), 60) != MOSQ_ERR_SUCCESS ||
        mosquitto_loop_start(client_) != MOSQ_ERR_SUCCESS)
        throw std::runtime_error("the subscriber cannot reach the broker");
    std::unique_lock lock(mutex_);
    if (!changed_.wait_for(lock, kPatience, [this] { return subscribed_; }))
        throw std::runtime_error("the broker did not confirm the subscription");
}

MqttSubscriber::~MqttSubscriber() {
    mosquitto_disconnect(client_);
    mosquitto_loop_stop(client_, false);
    mosquitto_destroy(client_);
}

void MqttSubscriber::onConnect(mosquitto* client, void* self, int code) {
    if (code == 0)
        mosquitto_subscribe(client, nullptr, static_cast<MqttSubscriber*>(self)->topic_.c_str(), 1);
}

void MqttSubscriber::onSubscribe(mosquitto*, void* self, int, int, const int*) {
    auto* subscriber = static_cast<MqttSubscriber*>(self);
    std::lock_guard lock(subscriber->mutex_);
    subscriber->subscribed_ = true;
    subscriber->changed_.notify_all();
}

void MqttSubscriber::onMessage(mosquitto*, void* self, const mosquitto_message* message) {
    auto* subscriber = static_cast<MqttSubscriber*>(self);
    std::lock_guard lock(subscriber->mutex_);
    const char* payload = static_cast<const char*>(message->payload);
    subscriber->payloads_.emplace_back(payload ? payload : "",
                                       payload ? static_cast<size_t>(message->payloadlen) : 0);
    subscriber->different_.insert(subscriber->payloads_.back());
    subscriber->changed_.notify_all();
}

std::vector<std::string> MqttSubscriber::payloads(size_t count, std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, timeout, [&] { return different_.size() >= count; });
    return payloads_;
}

} // namespace pelvaro::test
