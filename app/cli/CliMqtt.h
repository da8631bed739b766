#pragma once

#include <chrono>
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "base/Result.h"

struct mosquitto;

namespace ostrel::cli {

// Where `ostrel-cli log --mqtt` publishes: mqtt://HOST[:PORT]/PREFIX or mqtts://... (TLS with
// the system's CA store). User and password never come from the address.
struct MqttAddress {
  bool tls = false;
  std::string host;
  int port = 0;
  std::string prefix;  // topics are PREFIX/readings and PREFIX/status
};
// The address, or a failure with the reason.
Result<MqttAddress> parseMqttAddress(const std::string& url);

// Publishes records to a broker, in order, each with QoS 1 to PREFIX/readings, and keeps a
// retained PREFIX/status: "online" while connected, "offline" as the last will and at
// finish(). Records wait in a bounded queue while the broker is away and go out, in order,
// once it is back; a record leaves the queue only when the broker acknowledged it, and one at
// a time, so a lost connection can repeat a record but never reorder or lose one. Reconnects
// with back-off (1 s doubling up to 30 s). Single-threaded: poll() from the event loop.
class MqttPublisher {
 public:
  using Log = std::function<void(const std::string&)>;
  // Username from OSTREL_MQTT_USER, password from OSTREL_MQTT_PASSWORD_FILE (the file's first
  // line) or OSTREL_MQTT_PASSWORD. A failure with the reason when the client cannot be made.
  static Result<std::unique_ptr<MqttPublisher>> create(const MqttAddress& address, Log log);
  ~MqttPublisher();
  MqttPublisher(const MqttPublisher&) = delete;
  MqttPublisher& operator=(const MqttPublisher&) = delete;

  // Queues one record's payload; the oldest is dropped (and counted) when the queue is full.
  void publish(std::string payload);
  // Connects, sends and receives what is due; call often (every few tens of milliseconds).
  void poll();
  // Sends what is queued and the retained "offline", then disconnects; gives up after
  // timeout. True when everything went out.
  bool finish(std::chrono::milliseconds timeout);

  [[nodiscard]] std::size_t acknowledged() const { return m_acknowledged; }
  [[nodiscard]] std::size_t dropped() const { return m_dropped; }
  [[nodiscard]] std::size_t queued() const { return m_queue.size(); }

  static constexpr std::size_t queueLimit = 50000;

 private:
  MqttPublisher(const MqttAddress& address, Log log);
  void sendFront();
  void lost(int rc);
  void onConnect(int rc);
  void onDisconnect(int rc);
  void onPublish(int mid);

  MqttAddress m_address;
  Log m_log;
  mosquitto* m_client = nullptr;
  std::string m_readings;
  std::string m_status;
  std::deque<std::string> m_queue;
  std::optional<int> m_frontMid;    // message id of the queue's front while it is on its way
  std::optional<int> m_offlineMid;  // the final "offline" on its way
  bool m_offlineAcknowledged = false;
  bool m_everConnected = false;
  bool m_socketOpen = false;  // a TCP connection exists (CONNACK may still be due)
  bool m_connected = false;   // the broker accepted us
  std::chrono::steady_clock::time_point m_nextAttempt{};
  std::chrono::seconds m_backoff{1};
  std::size_t m_acknowledged = 0;
  std::size_t m_dropped = 0;
};

}  // namespace ostrel::cli
