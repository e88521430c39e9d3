#include "app/mqtt_publisher.h"

#include <QSysInfo>
#include <mosquitto.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string_view>

#include "app/device_store.h"
#include "app/launch_settings.h"

namespace quillmote {

namespace {

constexpr int keepAliveSeconds = 30;
constexpr int qosAtLeastOnce = 1;
// Refused credentials are tried again, but rarely: the broker's log is not to fill up.
constexpr unsigned refusedRetrySeconds = 60;

std::optional<std::string> textSetting(const LaunchSettings& settings, const char* key) {
    const auto text = settings.text(QString::fromLatin1(key));
    if (!text) return std::nullopt;
    return text->toStdString();
}

std::string passwordFrom(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    if (!file || !(text << file.rdbuf()))
        throw std::invalid_argument("mqttPasswordFile " + path + " cannot be read");
    std::string password = text.str();
    while (!password.empty() && (password.back() == '\n' || password.back() == '\r')) password.pop_back();
    return password;
}

}  // namespace

MqttPublisher::Options MqttPublisher::optionsFrom(const LaunchSettings& settings) {
    Options options;
    const std::string url = textSetting(settings, "mqttUrl").value_or("");
    const auto parsed = parseMqttUrl(url);
    if (!parsed) throw std::invalid_argument("mqttUrl '" + url + "' is not mqtt://host:port or mqtts://host:port");
    options.url = *parsed;
    const std::string host = topicLevel(QSysInfo::machineHostName().toStdString());
    options.prefix = textSetting(settings, "mqttTopic").value_or("quillmote/" + host);
    while (options.prefix.ends_with('/')) options.prefix.pop_back();
    if (options.prefix.empty() || options.prefix.find_first_of("+#") != std::string::npos)
        throw std::invalid_argument("mqttTopic '" + options.prefix + "' is not a topic to publish under");
    // The host name by default; the room's name when several share a machine.
    options.instance = options.prefix.substr(options.prefix.rfind('/') + 1);
    options.user = textSetting(settings, "mqttUser");
    if (const auto file = textSetting(settings, "mqttPasswordFile")) options.password = passwordFrom(*file);
    options.caFile = textSetting(settings, "mqttCaFile");
    return options;
}

MqttPublisher::MqttPublisher(const LaunchSettings& settings, DeviceStore& store, QObject* parent)
    : QObject(parent), store_(store) {
    try {
        options_ = optionsFrom(settings);
    } catch (const std::invalid_argument& error) {
        problem_ = error.what();
        return;
    }
    static const int initialised = mosquitto_lib_init();
    (void)initialised;
    // Unique on the broker, even for two instances on one machine.
    const std::string id = "quillmote-" + options_.instance + "-" + std::to_string(::getpid());
    client_ = mosquitto_new(id.c_str(), true, this);
    if (!client_) {
        problem_ = "cannot start the MQTT client";
        return;
    }
    const std::string status = options_.prefix + "/status";
    mosquitto_will_set(client_, status.c_str(), 7, "offline", qosAtLeastOnce, true);
    if (options_.user) mosquitto_username_pw_set(client_, options_.user->c_str(),
                                                 options_.password ? options_.password->c_str() : nullptr);
    if (options_.url.tls &&
        mosquitto_tls_set(client_, options_.caFile ? options_.caFile->c_str() : nullptr,
                          options_.caFile ? nullptr : "/etc/ssl/certs", nullptr, nullptr, nullptr) != MOSQ_ERR_SUCCESS) {
        problem_ = "the TLS settings cannot be used (mqttCaFile)";
        return;
    }
    // The library's thread calls these; what they say is handled on this one.
    mosquitto_connect_callback_set(client_, [](mosquitto*, void* self, int code) {
        auto* publisher = static_cast<MqttPublisher*>(self);
        QMetaObject::invokeMethod(publisher, [publisher, code] { publisher->onConnected(code); }, Qt::QueuedConnection);
    });
    mosquitto_disconnect_callback_set(client_, [](mosquitto*, void* self, int) {
        auto* publisher = static_cast<MqttPublisher*>(self);
        QMetaObject::invokeMethod(publisher, [publisher] { publisher->onDisconnected(); }, Qt::QueuedConnection);
    });
    mosquitto_publish_callback_set(client_, [](mosquitto*, void* self, int messageId) {
        auto* publisher = static_cast<MqttPublisher*>(self);
        QMetaObject::invokeMethod(publisher, [publisher, messageId] { publisher->onAcknowledged(messageId); },
                                  Qt::QueuedConnection);
    });
    // A broker whose certificate cannot be verified only shows in the library's log.
    mosquitto_log_callback_set(client_, [](mosquitto*, void* self, int level, const char* text) {
        const std::string_view line(text);
        if (level != MOSQ_LOG_ERR || !line.starts_with("OpenSSL Error")) return;
        auto* publisher = static_cast<MqttPublisher*>(self);
        // "OpenSSL Error[0]: error:0A000086:SSL routines::certificate verify failed"
        const auto reason = line.rfind("::");
        std::string problem = "TLS: " + std::string(reason == line.npos ? line : line.substr(reason + 2));
        QMetaObject::invokeMethod(publisher, [publisher, problem] { publisher->setProblem(problem); },
                                  Qt::QueuedConnection);
    });
    mosquitto_reconnect_delay_set(client_, 1, 30, true);

    connect(&store_, &DeviceStore::secondPassed, this, [this] { refreshState(false); });
    connect(&store_.activity(), &ActivityMonitor::minuteClosed, this, &MqttPublisher::minuteClosed);
    refreshState(true);
    // A broker that is not there yet is tried again by the library's loop.
    mosquitto_connect_async(client_, options_.url.host.c_str(), options_.url.port, keepAliveSeconds);
    mosquitto_loop_start(client_);
}

MqttPublisher::~MqttPublisher() {
    if (!client_) return;
    if (connected_) publish(options_.prefix + "/status", "offline", qosAtLeastOnce, true);
    mosquitto_disconnect(client_);
    // Connected, the loop sends what is queued and ends; waiting to reconnect, it would
    // first sleep out its pause, so it is cancelled instead.
    mosquitto_loop_stop(client_, !connected_);
    mosquitto_destroy(client_);
}

void MqttPublisher::setProblem(std::optional<std::string> problem) {
    if (problem == problem_) return;
    problem_ = std::move(problem);
    emit problemChanged();
}

void MqttPublisher::onConnected(int code) {
    if (code != 0) {
        // MQTT 3.1.1's refusals 4 and 5: bad user name or password, not authorised.
        if (code == 4 || code == 5) {
            setProblem("not authorised");
            mosquitto_reconnect_delay_set(client_, refusedRetrySeconds, refusedRetrySeconds, false);
        } else {
            setProblem(std::string("refused: ") + mosquitto_connack_string(code));
        }
        return;
    }
    connected_ = true;
    setProblem(std::nullopt);
    mosquitto_reconnect_delay_set(client_, 1, 30, true);
    publish(options_.prefix + "/status", "online", qosAtLeastOnce, true);
    for (const auto& message : homeAssistantDiscovery(options_.prefix, options_.instance))
        publish(message.topic, message.payload, qosAtLeastOnce, message.retained);
    for (const auto& [level, payload] : state_) publish(options_.prefix + "/" + level, payload, qosAtLeastOnce, true);
    for (auto& waiting : minutes_) waiting.messageId.reset();
    sendMinutes();
}

void MqttPublisher::onDisconnected() {
    connected_ = false;
    // Unacknowledged minutes go again, in order, on the next connection.
    for (auto& waiting : minutes_) waiting.messageId.reset();
}

void MqttPublisher::onAcknowledged(int messageId) {
    std::erase_if(minutes_, [messageId](const Waiting& waiting) { return waiting.messageId == messageId; });
}

void MqttPublisher::minuteClosed() {
    const auto& minutes = store_.activity().minutes();
    if (minutes.empty()) return;
    minutes_.push_back({minutes.back(), std::nullopt});
    if (minutes_.size() > minutesKept) {
        minutes_.pop_front();
        ++dropped_;
    }
    sendMinutes();
    refreshState(true);
}

void MqttPublisher::sendMinutes() {
    if (!connected_) return;
    for (auto& waiting : minutes_) {
        if (waiting.messageId) continue;
        const int id = publish(options_.prefix + "/minute", MqttPayload::minute(waiting.record), qosAtLeastOnce, false);
        if (id < 0) return;  // the connection went: the rest wait for the next one
        waiting.messageId = id;
    }
}

void MqttPublisher::refreshState(bool minuteChanged) {
    ActivityMonitor& activity = store_.activity();
    const Instant now = store_.now();
    publishRetained("around", std::to_string(activity.aroundNow()));
    publishRetained("usual", MqttPayload::usual(activity.normal(now)));
    std::optional<SurgeEvent> open;
    if (!activity.surges().empty() && !activity.surges().back().ended) open = activity.surges().back();
    publishRetained("crowd", MqttPayload::crowd(open));
    if (minuteChanged)
        publishRetained("unfamiliar", MqttPayload::unfamiliar(activity.presence().unfamiliar(now, store_.calendar())));
}

void MqttPublisher::publishRetained(const std::string& level, const std::string& payload) {
    auto [at, added] = state_.try_emplace(level, payload);
    if (!added && at->second == payload) return;
    at->second = payload;
    if (connected_) publish(options_.prefix + "/" + level, payload, qosAtLeastOnce, true);
}

int MqttPublisher::publish(const std::string& topic, const std::string& payload, int qos, bool retained) {
    int id = 0;
    const int result = mosquitto_publish(client_, &id, topic.c_str(), static_cast<int>(payload.size()), payload.data(),
                                         qos, retained);
    return result == MOSQ_ERR_SUCCESS ? id : -1;
}

}  // namespace quillmote
