#pragma once

#include <QObject>
#include <deque>
#include <map>
#include <optional>
#include <string>

#include "core/activity/minute_record.h"
#include "core/mqtt/mqtt_messages.h"

struct mosquitto;

namespace quillmote {

class DeviceStore;
class LaunchSettings;

// Publishes the store's crowd to an MQTT broker with libmosquitto, whose own thread
// does all the network work: the store's thread only queues messages and never waits.
// Reconnects with back-off; minutes closed meanwhile wait (a day of them at most, the
// oldest going first past that) and go out in order; retained state is sent again on
// every connection. Main thread only, apart from the library's callbacks, which hand
// over to it.
class MqttPublisher : public QObject {
    Q_OBJECT

public:
    static constexpr std::size_t minutesKept = 1440;

    struct Options {
        MqttUrl url;
        std::string prefix;      // topics go under it: PREFIX/around, …
        std::string instance;    // the prefix's last level (the host name by default), naming the device
        std::optional<std::string> user;
        std::optional<std::string> password;
        std::optional<std::string> caFile;
    };

    // From the launch settings "mqttUrl", "mqttTopic", "mqttUser", "mqttPasswordFile" and
    // "mqttCaFile". Throws std::invalid_argument with a line saying what is wrong.
    static Options optionsFrom(const LaunchSettings& settings);

    // Publishes as the launch settings say; when they cannot be used, publishes nothing
    // and says why in `problem`.
    MqttPublisher(const LaunchSettings& settings, DeviceStore& store, QObject* parent = nullptr);
    ~MqttPublisher() override;

    // "not authorised" while the broker refuses the credentials, "TLS: certificate verify
    // failed" and the like, or why publishing cannot start; nothing while all is well or
    // only the broker is away.
    const std::optional<std::string>& problem() const { return problem_; }
    bool connected() const { return connected_; }
    // Minutes not yet acknowledged by the broker, and those given up for room.
    std::size_t minutesWaiting() const { return minutes_.size(); }
    std::size_t minutesDropped() const { return dropped_; }

signals:
    void problemChanged();

private:
    struct Waiting {
        MinuteRecord record;
        std::optional<int> messageId;  // while sent and not yet acknowledged
    };

    Options options_;
    DeviceStore& store_;
    mosquitto* client_ = nullptr;
    bool connected_ = false;
    std::optional<std::string> problem_;
    std::deque<Waiting> minutes_;
    std::size_t dropped_ = 0;
    std::map<std::string, std::string> state_;  // retained payloads last published, by topic

    void onConnected(int code);
    void onDisconnected();
    void onAcknowledged(int messageId);
    void setProblem(std::optional<std::string> problem);

    void minuteClosed();
    void refreshState(bool minuteChanged);
    void sendMinutes();
    void publishRetained(const std::string& level, const std::string& payload);
    int publish(const std::string& topic, const std::string& payload, int qos, bool retained);
};

}  // namespace quillmote
