// The MQTT side of ostrel-cli log, on libmosquitto driven from the command's event loop.
#include "CliMqtt.h"

#include <mosquitto.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <thread>

namespace ostrel::cli {

Result<MqttAddress> parseMqttAddress(const std::string& url) {
  MqttAddress address;
  std::string rest;
  if (url.starts_with("mqtt://")) {
    rest = url.substr(7);
  } else if (url.starts_with("mqtts://")) {
    address.tls = true;
    rest = url.substr(8);
  } else {
    return Result<MqttAddress>::failure("an MQTT address starts with mqtt:// or mqtts://");
  }
  const std::size_t slash = rest.find('/');
  const std::string authority = rest.substr(0, slash);
  address.prefix = slash == std::string::npos ? std::string() : rest.substr(slash + 1);
  while (address.prefix.ends_with('/')) address.prefix.pop_back();
  if (authority.find('@') != std::string::npos) {
    return Result<MqttAddress>::failure(
        "no user or password in the MQTT address: give them by OSTREL_MQTT_USER and "
        "OSTREL_MQTT_PASSWORD_FILE");
  }
  const std::size_t colon = authority.rfind(':');
  address.host = authority.substr(0, colon);
  address.port = address.tls ? 8883 : 1883;
  if (colon != std::string::npos) {
    const std::string port = authority.substr(colon + 1);
    char* end = nullptr;
    const long value = std::strtol(port.c_str(), &end, 10);
    if (port.empty() || *end != '\0' || value < 1 || value > 65535) {
      return Result<MqttAddress>::failure("bad port in the MQTT address: " + port);
    }
    address.port = static_cast<int>(value);
  }
  if (address.host.empty()) {
    return Result<MqttAddress>::failure("no host in the MQTT address");
  }
  if (address.prefix.empty() || address.prefix.find_first_of("#+") != std::string::npos) {
    return Result<MqttAddress>::failure(
        "the MQTT address needs a topic prefix after the host, without # or +");
  }
  return address;
}

namespace {

std::string passwordFromEnvironment() {
  if (const char* file = std::getenv("OSTREL_MQTT_PASSWORD_FILE"); file && *file) {
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
  }
  const char* password = std::getenv("OSTREL_MQTT_PASSWORD");
  return password ? password : "";
}

}  // namespace

MqttPublisher::MqttPublisher(const MqttAddress& address, Log log)
    : m_address(address),
      m_log(std::move(log)),
      m_readings(address.prefix + "/readings"),
      m_status(address.prefix + "/status") {}

Result<std::unique_ptr<MqttPublisher>> MqttPublisher::create(const MqttAddress& address, Log log) {
  mosquitto_lib_init();
  std::unique_ptr<MqttPublisher> publisher(new MqttPublisher(address, std::move(log)));
  mosquitto* client = mosquitto_new(nullptr, true, publisher.get());
  if (!client) {
    return Result<std::unique_ptr<MqttPublisher>>::failure("cannot make an MQTT client");
  }
  publisher->m_client = client;
  mosquitto_int_option(client, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
  const std::string offline = "offline";
  int rc = mosquitto_will_set(client, publisher->m_status.c_str(), static_cast<int>(offline.size()),
                              offline.data(), 1, true);
  const char* user = std::getenv("OSTREL_MQTT_USER");
  if (rc == MOSQ_ERR_SUCCESS && user && *user) {
    const std::string password = passwordFromEnvironment();
    rc = mosquitto_username_pw_set(client, user, password.empty() ? nullptr : password.c_str());
  }
  if (rc == MOSQ_ERR_SUCCESS && address.tls) {
    mosquitto_int_option(client, MOSQ_OPT_TLS_USE_OS_CERTS, 1);
    rc = mosquitto_tls_set(client, nullptr, "/etc/ssl/certs", nullptr, nullptr, nullptr);
  }
  if (rc != MOSQ_ERR_SUCCESS) {
    return Result<std::unique_ptr<MqttPublisher>>::failure(
        std::string("cannot set up the MQTT client: ") + mosquitto_strerror(rc));
  }
  mosquitto_connect_callback_set(client, [](mosquitto*, void* self, int result) {
    static_cast<MqttPublisher*>(self)->onConnect(result);
  });
  mosquitto_disconnect_callback_set(client, [](mosquitto*, void* self, int result) {
    static_cast<MqttPublisher*>(self)->onDisconnect(result);
  });
  mosquitto_publish_callback_set(client, [](mosquitto*, void* self, int mid) {
    static_cast<MqttPublisher*>(self)->onPublish(mid);
  });
  return publisher;
}

MqttPublisher::~MqttPublisher() {
  if (m_client) mosquitto_destroy(m_client);
}

void MqttPublisher::publish(std::string payload) {
  if (m_queue.size() >= queueLimit) {
    if (m_dropped == 0) {
      m_log("mqtt: the queue is full; the oldest records are dropped from it");
    }
    ++m_dropped;
    m_queue.pop_front();
    m_frontMid.reset();
  }
  m_queue.push_back(std::move(payload));
  if (m_connected && !m_frontMid) sendFront();
}

void MqttPublisher::sendFront() {
  if (m_queue.empty() || !m_connected) return;
  int mid = 0;
  const std::string& payload = m_queue.front();
  const int rc = mosquitto_publish(m_client, &mid, m_readings.c_str(),
                                   static_cast<int>(payload.size()), payload.data(), 1, false);
  if (rc == MOSQ_ERR_SUCCESS) {
    m_frontMid = mid;
  } else {
    lost(rc);
  }
}

void MqttPublisher::onConnect(int rc) {
  if (rc != 0) {
    m_log(std::string("mqtt: the broker refused the connection: ") + mosquitto_connack_string(rc));
    return;  // the broker closes the connection; poll() sees it and retries
  }
  m_connected = true;
  m_everConnected = true;
  m_backoff = std::chrono::seconds(1);
  m_log("mqtt: connected to " + m_address.host + ":" + std::to_string(m_address.port));
  const std::string online = "online";
  mosquitto_publish(m_client, nullptr, m_status.c_str(), static_cast<int>(online.size()),
                    online.data(), 1, true);
  m_frontMid.reset();  // whatever was on its way goes again (a possible repeat)
  sendFront();
}

void MqttPublisher::onDisconnect(int /*rc*/) {
  m_connected = false;
  m_socketOpen = false;
  m_frontMid.reset();
}

void MqttPublisher::onPublish(int mid) {
  if (m_frontMid && mid == *m_frontMid) {
    m_frontMid.reset();
    m_queue.pop_front();
    ++m_acknowledged;
    sendFront();
  } else if (m_offlineMid && mid == *m_offlineMid) {
    m_offlineAcknowledged = true;
  }
}

void MqttPublisher::lost(int rc) {
  const bool wasUp = m_connected || m_socketOpen;
  m_connected = false;
  m_socketOpen = false;
  m_frontMid.reset();  // the next connect sends the socket away and starts afresh
  m_nextAttempt = std::chrono::steady_clock::now() + m_backoff;
  if (wasUp || !m_everConnected) {
    m_log(std::string("mqtt: ") + mosquitto_strerror(rc) + "; retrying in " +
          std::to_string(m_backoff.count()) + " s");
  }
  m_backoff = std::min(m_backoff * 2, std::chrono::seconds(30));
}

void MqttPublisher::poll() {
  if (!m_socketOpen) {
    if (std::chrono::steady_clock::now() < m_nextAttempt) return;
    const int rc = m_everConnected || m_nextAttempt != std::chrono::steady_clock::time_point{}
                       ? mosquitto_reconnect(m_client)
                       : mosquitto_connect(m_client, m_address.host.c_str(), m_address.port, 30);
    if (rc != MOSQ_ERR_SUCCESS) {
      lost(rc);
      return;
    }
    m_socketOpen = true;
  }
  // A few rounds: an acknowledgement read in one round lets the next record go in the next.
  for (int round = 0; round < 4 && m_socketOpen; ++round) {
    const int rc = mosquitto_loop(m_client, 0, 1);
    if (rc != MOSQ_ERR_SUCCESS) {
      lost(rc);
      return;
    }
  }
}

bool MqttPublisher::finish(std::chrono::milliseconds timeout) {
  const auto end = std::chrono::steady_clock::now() + timeout;
  while (std::chrono::steady_clock::now() < end && !m_offlineAcknowledged) {
    if (m_connected && m_queue.empty() && !m_offlineMid) {
      const std::string offline = "offline";
      int mid = 0;
      if (mosquitto_publish(m_client, &mid, m_status.c_str(), static_cast<int>(offline.size()),
                            offline.data(), 1, true) == MOSQ_ERR_SUCCESS) {
        m_offlineMid = mid;
      }
    }
    if (!m_connected) m_offlineMid.reset();
    poll();
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  if (m_socketOpen) {
    mosquitto_disconnect(m_client);
    mosquitto_loop(m_client, 0, 1);
  }
  return m_offlineAcknowledged && m_queue.empty();
}

}  // namespace ostrel::cli
