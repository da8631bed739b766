#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "base/Result.h"

namespace ostrel::cli {

// Where `ostrel-cli log --mqtt` publishes: mqtt://HOST[:PORT]/PREFIX or mqtts://... (TLS with
// the system's CA store); an IPv6 address goes in brackets, mqtt://[::1]:1883/PREFIX. User and
// password never come from the address.
struct MqttAddress {
  bool tls = false;
  std::string host;  // without the brackets of an IPv6 address
  int port = 0;
  std::string prefix;  // topics are PREFIX/readings and PREFIX/status
};
// The address, or a failure with the reason.
Result<MqttAddress> parseMqttAddress(const std::string& url);

// The wait before the next connection attempt after one more failure: doubling from 1 s, and
// never more than 30 s, so that a broker back after a long absence is found within half a
// minute.
std::chrono::seconds nextReconnectDelay(std::chrono::seconds delay);

// Publishes records to a broker, in order, each with QoS 1 to PREFIX/readings, and keeps a
// retained PREFIX/status: "online" while connected, "offline" as the last will and at
// finish(). Records wait in a bounded queue while the broker is away and go out, in order,
// once it is back; a record leaves the queue only when the broker acknowledged it, and one at
// a time, so a lost connection can repeat a record but never reorder or lose one.
//
// Every network step (name lookup, connect, TLS, reading and writing) runs on a thread of its
// own: publish() only queues, so a broker that is away, refuses or never answers cannot hold
// the recording. Connects without blocking, gives up on a broker that has not accepted the
// connection within answerTimeout, and tries again after nextReconnectDelay. The loss and the
// return of the broker go to the log (called on the network thread).
//
// publish, start, finish and the counters: one owner thread.
class MqttPublisher {
 public:
  using Log = std::function<void(const std::string&)>;
  static constexpr std::size_t queueLimit = 50000;
  static constexpr std::chrono::seconds answerTimeout{10};

  // Username from OSTREL_MQTT_USER, password from OSTREL_MQTT_PASSWORD_FILE (the file's first
  // line; a file that cannot be read is a failure with its reason) or OSTREL_MQTT_PASSWORD.
  // A failure with the reason when the client cannot be made. Nothing goes to the network
  // before start().
  static Result<std::unique_ptr<MqttPublisher>> create(const MqttAddress& address, Log log);
  // Ends the network thread (as finish() with no wait when finish() was not called).
  ~MqttPublisher();
  MqttPublisher(const MqttPublisher&) = delete;
  MqttPublisher& operator=(const MqttPublisher&) = delete;

  // Starts the network thread: connecting, publishing what is queued.
  void start();
  // Queues one record's payload; the oldest is dropped (and counted) when the queue is full.
  // Never waits on the network.
  void publish(std::string payload);
  // Sends what is queued and the retained "offline", then disconnects. Returns within about
  // timeout whatever the broker does; after it the broker gets nothing more. When "offline"
  // did not go out, the connection is dropped without a goodbye, so that the broker publishes
  // the last will. True when everything went out.
  bool finish(std::chrono::milliseconds timeout);

  [[nodiscard]] std::size_t acknowledged() const;
  [[nodiscard]] std::size_t dropped() const;
  [[nodiscard]] std::size_t queued() const;

 private:
  struct Shared;
  explicit MqttPublisher(std::shared_ptr<Shared> shared);

  std::shared_ptr<Shared> m_shared;  // also held by the network thread while it runs
  std::thread m_thread;
};

}  // namespace ostrel::cli
