// A small RAII wrapper over a libmosquitto client speaking MQTT 5: it
// connects in the background and reconnects on its own, runs its network
// thread for as long as it lives, and reports messages and the state of the
// link through callbacks that run on that thread.
#pragma once

#include <functional>
#include <stdexcept>
#include <string>

struct mosquitto;
struct mosquitto_message;

namespace orq {

class MqttClient {
public:
    struct Settings {
        std::string clientId;
        std::string host;
        int port = 1883;
        int keepAliveSeconds = 10;
        std::string user;
        std::string password;
        std::string caFile;  // non-empty: TLS with this certificate authority
        // The Last Will: published (retained) by the broker when the link
        // ends without a clean disconnect.
        std::string willTopic;
        std::string willPayload;
    };
    // Both run on the client's network thread.
    using MessageHandler = std::function<void(const std::string& topic, const std::string& payload)>;
    // up false: the link was lost or the broker refused it, for the reason given.
    using LinkHandler = std::function<void(bool up, const std::string& reason)>;
    // A publication left for the broker: at QoS 1 the broker acknowledged it.
    using PublishedHandler = std::function<void()>;

    struct Error : std::runtime_error {
        using std::runtime_error::runtime_error;
    };

    // Throws Error when libmosquitto refuses the settings.
    MqttClient(const Settings& settings, MessageHandler onMessage, LinkHandler onLink,
               PublishedHandler onPublished = {});
    // Disconnects (the broker then publishes the will, so that others learn
    // at once), stops the network thread and frees the client.
    ~MqttClient();
    MqttClient(const MqttClient&) = delete;
    MqttClient& operator=(const MqttClient&) = delete;

    // Starts connecting; the link handler reports when the link is up.
    void start();

    // Thread-safe; false when the message could not even be queued.
    bool publish(const std::string& topic, const std::string& payload, int qos, bool retain);
    // noLocal: the client does not receive its own publications.
    bool subscribe(const std::string& pattern, int qos, bool noLocal);

private:
    static void connected(mosquitto*, void* self, int rc);
    static void disconnected(mosquitto*, void* self, int rc);
    static void message(mosquitto*, void* self, const mosquitto_message* message);
    static void published(mosquitto*, void* self, int messageId);

    Settings settings_;
    MessageHandler onMessage_;
    LinkHandler onLink_;
    PublishedHandler onPublished_;
    mosquitto* handle_ = nullptr;
    bool started_ = false;
};

}  // namespace orq
