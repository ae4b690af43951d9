#include "MqttClient.h"

#include <mosquitto.h>
#include <mqtt_protocol.h>

namespace orq {

namespace {

// libmosquitto wants one init before any client and one cleanup after the last.
void initLibrary() {
    static const struct Library {
        Library() { mosquitto_lib_init(); }
        ~Library() { mosquitto_lib_cleanup(); }
    } library;
}

void check(int rc, const char* what) {
    if (rc != MOSQ_ERR_SUCCESS) throw MqttClient::Error(std::string(what) + ": " + mosquitto_strerror(rc));
}

// Disconnect with reason "with Will Message": a hub that stops tells the others
// through its will, as one that dies does.
constexpr int disconnectWithWill = 0x04;

}  // namespace

MqttClient::MqttClient(const Settings& settings, MessageHandler onMessage, LinkHandler onLink,
                       PublishedHandler onPublished)
    : settings_(settings),
      onMessage_(std::move(onMessage)),
      onLink_(std::move(onLink)),
      onPublished_(std::move(onPublished)) {
    initLibrary();
    handle_ = mosquitto_new(settings.clientId.c_str(), true, this);
    if (handle_ == nullptr) throw Error("mosquitto_new failed");
    try {
        check(mosquitto_int_option(handle_, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V5), "protocol version");
        check(mosquitto_int_option(handle_, MOSQ_OPT_TCP_NODELAY, 1), "tcp nodelay");
        if (!settings.user.empty()) {
            check(mosquitto_username_pw_set(handle_, settings.user.c_str(),
                                            settings.password.empty() ? nullptr : settings.password.c_str()),
                  "user");
        }
        if (!settings.caFile.empty()) {
            check(mosquitto_tls_set(handle_, settings.caFile.c_str(), nullptr, nullptr, nullptr, nullptr), "TLS");
        }
        if (!settings.willTopic.empty()) {
            check(mosquitto_will_set_v5(handle_, settings.willTopic.c_str(),
                                        static_cast<int>(settings.willPayload.size()), settings.willPayload.data(), 1,
                                        true, nullptr),
                  "will");
        }
        check(mosquitto_reconnect_delay_set(handle_, 1, 2, false), "reconnect delay");
    } catch (...) {
        mosquitto_destroy(handle_);
        throw;
    }
    mosquitto_connect_callback_set(handle_, connected);
    mosquitto_disconnect_callback_set(handle_, disconnected);
    mosquitto_message_callback_set(handle_, message);
    if (onPublished_) mosquitto_publish_callback_set(handle_, published);
}

MqttClient::~MqttClient() {
    if (started_) {
        mosquitto_disconnect_v5(handle_, disconnectWithWill, nullptr);
        mosquitto_loop_stop(handle_, false);
    }
    mosquitto_destroy(handle_);
}

void MqttClient::start() {
    // The network thread first: a broker that is not there yet is then no
    // error, the thread keeps trying as it does after losing the link.
    check(mosquitto_loop_start(handle_), "network thread");
    started_ = true;
    const int rc = mosquitto_connect_async(handle_, settings_.host.c_str(), settings_.port, settings_.keepAliveSeconds);
    if (rc != MOSQ_ERR_SUCCESS) onLink_(false, mosquitto_strerror(rc));
}

bool MqttClient::publish(const std::string& topic, const std::string& payload, int qos, bool retain) {
    return mosquitto_publish_v5(handle_, nullptr, topic.c_str(), static_cast<int>(payload.size()), payload.data(), qos,
                                retain, nullptr) == MOSQ_ERR_SUCCESS;
}

bool MqttClient::subscribe(const std::string& pattern, int qos, bool noLocal) {
    return mosquitto_subscribe_v5(handle_, nullptr, pattern.c_str(), qos, noLocal ? MQTT_SUB_OPT_NO_LOCAL : 0,
                                  nullptr) == MOSQ_ERR_SUCCESS;
}

void MqttClient::connected(mosquitto*, void* self, int rc) {
    static_cast<MqttClient*>(self)->onLink_(rc == 0, rc == 0 ? std::string() : mosquitto_reason_string(rc));
}

void MqttClient::disconnected(mosquitto*, void* self, int rc) {
    static_cast<MqttClient*>(self)->onLink_(false, rc == 0 ? "disconnected" : mosquitto_strerror(rc));
}

void MqttClient::published(mosquitto*, void* self, int) { static_cast<MqttClient*>(self)->onPublished_(); }

void MqttClient::message(mosquitto*, void* self, const mosquitto_message* message) {
    const auto* client = static_cast<MqttClient*>(self);
    client->onMessage_(message->topic,
                       std::string(static_cast<const char*>(message->payload), static_cast<std::size_t>(message->payloadlen)));
}

}  // namespace orq
