// The MQTT side of ostrel-cli log, on libmosquitto driven from a network thread of its own.
#include "CliMqtt.h"

#include <fcntl.h>
#include <mosquitto.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <deque>
#include <mutex>
#include <optional>

#include "base/SystemCalls.h"
#include "base/UniqueFd.h"

namespace ostrel::cli {

namespace {

// The port after the host: digits only (no sign, no blanks), 1 to 65535.
std::optional<int> parsePort(const std::string& text) {
  if (text.empty() || text.size() > 5 ||
      !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    return std::nullopt;
  }
  const int value = std::stoi(text);
  if (value < 1 || value > 65535) return std::nullopt;
  return value;
}

}  // namespace

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
  std::string portText;
  bool hasPort = false;
  if (authority.starts_with('[')) {
    const std::size_t close = authority.find(']');
    if (close == std::string::npos) {
      return Result<MqttAddress>::failure("no ] after the IPv6 address in the MQTT address");
    }
    address.host = authority.substr(1, close - 1);
    const std::string after = authority.substr(close + 1);
    if (!after.empty() && !after.starts_with(':')) {
      return Result<MqttAddress>::failure("bad port in the MQTT address: " + after);
    }
    hasPort = !after.empty();
    if (hasPort) portText = after.substr(1);
  } else {
    const std::size_t colon = authority.find(':');
    address.host = authority.substr(0, colon);
    hasPort = colon != std::string::npos;
    if (hasPort) portText = authority.substr(colon + 1);
    if (portText.find(':') != std::string::npos) {
      return Result<MqttAddress>::failure(
          "an IPv6 address in an MQTT address goes in brackets: mqtt://[::1]:1883/PREFIX");
    }
  }
  address.port = address.tls ? 8883 : 1883;
  if (hasPort) {
    const std::optional<int> port = parsePort(portText);
    if (!port) return Result<MqttAddress>::failure("bad port in the MQTT address: " + portText);
    address.port = *port;
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

std::chrono::seconds nextReconnectDelay(std::chrono::seconds delay) {
  return std::min(delay * 2, std::chrono::seconds(30));
}

namespace {

// The first line of the password file, without its line end; a failure with the reason when
// the file cannot be read (the broker would otherwise refuse every connection for a reason
// nobody sees).
Result<std::string> passwordFromFile(const char* name) {
  const UniqueFd fd(::open(name, O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
  std::string bytes;
  int error = fd.valid() ? 0 : errno;
  while (error == 0 && bytes.find('\n') == std::string::npos && bytes.size() < 65536) {
    char buffer[4096];
    const ssize_t got = ::read(fd.get(), buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) error = errno;
    if (got <= 0) break;
    bytes.append(buffer, static_cast<std::size_t>(got));
  }
  if (error != 0) {
    return Result<std::string>::failure(std::string("cannot read the MQTT password file ") + name +
                                        ": " + reason(error));
  }
  std::string line = bytes.substr(0, bytes.find('\n'));
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

Result<std::string> passwordFromEnvironment() {
  if (const char* file = std::getenv("OSTREL_MQTT_PASSWORD_FILE"); file && *file) {
    return passwordFromFile(file);
  }
  const char* password = std::getenv("OSTREL_MQTT_PASSWORD");
  return std::string(password ? password : "");
}

using Clock = std::chrono::steady_clock;

// One record in the queue; the serial tells it apart from the one that was at the front when
// it was sent, should the owner have dropped that one meanwhile (a full queue).
struct Queued {
  std::uint64_t serial;
  std::string payload;
};

}  // namespace

// What the owner and the network thread share. The client and everything below "network
// thread only" are touched by the network thread alone once it runs (libmosquitto's callbacks
// run on it, inside mosquitto_loop); the rest is guarded by mutex.
struct MqttPublisher::Shared {
  // Fixed before the thread starts.
  MqttAddress address;
  Log log;
  std::string readings;
  std::string status;
  mosquitto* client = nullptr;

  std::mutex mutex;
  std::condition_variable wake;   // a record queued, or finishing
  std::condition_variable ended;  // the thread is done
  std::deque<Queued> queue;
  std::uint64_t nextSerial = 0;
  std::size_t acknowledged = 0;
  std::size_t dropped = 0;
  bool finishing = false;
  Clock::time_point deadline;
  bool done = false;

  // Network thread only.
  struct InFlight {
    int mid;
    std::uint64_t serial;
  };
  std::optional<InFlight> inFlight;
  std::optional<int> offlineMid;
  bool offlineAcknowledged = false;
  bool failing = false;       // a failure was reported and no connection made since
  bool disconnected = false;  // libmosquitto closed the connection in the last round
  bool socketOpen = false;    // a connection exists or is being made (CONNACK may still be due)
  bool connected = false;     // the broker accepted us
  bool triedSinceFinishing = false;
  Clock::time_point attemptStarted;
  Clock::time_point nextAttempt;
  std::chrono::seconds delay{1};

  ~Shared() {
    if (client) mosquitto_destroy(client);
  }

  std::string where() const { return address.host + ":" + std::to_string(address.port); }

  void run();
  void connect();
  void lost(const std::string& why);
  void sendFront();
  void sendOffline();
  void onConnect(int rc);
  void onDisconnect();
  void onPublish(int mid);
};

MqttPublisher::MqttPublisher(std::shared_ptr<Shared> shared) : m_shared(std::move(shared)) {}

Result<std::unique_ptr<MqttPublisher>> MqttPublisher::create(const MqttAddress& address, Log log) {
  using Made = std::unique_ptr<MqttPublisher>;
  const char* user = std::getenv("OSTREL_MQTT_USER");
  Result<std::string> password = passwordFromEnvironment();
  if (!password.ok()) return Result<Made>::failure(password.message());
  mosquitto_lib_init();
  auto shared = std::make_shared<Shared>();
  shared->address = address;
  shared->log = std::move(log);
  shared->readings = address.prefix + "/readings";
  shared->status = address.prefix + "/status";
  mosquitto* client = mosquitto_new(nullptr, true, shared.get());
  if (!client) return Result<Made>::failure("cannot make an MQTT client");
  shared->client = client;
  mosquitto_int_option(client, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
  const std::string offline = "offline";
  int rc = mosquitto_will_set(client, shared->status.c_str(), static_cast<int>(offline.size()),
                              offline.data(), 1, true);
  if (rc == MOSQ_ERR_SUCCESS && user && *user) {
    const std::string& word = password.value();
    rc = mosquitto_username_pw_set(client, user, word.empty() ? nullptr : word.c_str());
  }
  if (rc == MOSQ_ERR_SUCCESS && address.tls) {
    mosquitto_int_option(client, MOSQ_OPT_TLS_USE_OS_CERTS, 1);
    rc = mosquitto_tls_set(client, nullptr, "/etc/ssl/certs", nullptr, nullptr, nullptr);
  }
  if (rc != MOSQ_ERR_SUCCESS) {
    return Result<Made>::failure(std::string("cannot set up the MQTT client: ") +
                                 mosquitto_strerror(rc));
  }
  mosquitto_connect_callback_set(client, [](mosquitto*, void* self, int result) {
    static_cast<Shared*>(self)->onConnect(result);
  });
  mosquitto_disconnect_callback_set(client, [](mosquitto*, void* self, int /*result*/) {
    static_cast<Shared*>(self)->onDisconnect();
  });
  mosquitto_publish_callback_set(
      client, [](mosquitto*, void* self, int mid) { static_cast<Shared*>(self)->onPublish(mid); });
  return Made(new MqttPublisher(std::move(shared)));
}

MqttPublisher::~MqttPublisher() {
  if (m_thread.joinable()) (void)finish(std::chrono::milliseconds(0));
}

void MqttPublisher::start() {
  if (m_thread.joinable()) return;
  // The thread keeps the shared state alive: should it still be in a name lookup when the
  // owner gives up on it, it ends on its own later and nothing it uses has gone.
  m_thread = std::thread([shared = m_shared] { shared->run(); });
}

void MqttPublisher::publish(std::string payload) {
  Shared& shared = *m_shared;
  {
    const std::lock_guard lock(shared.mutex);
    if (shared.queue.size() >= queueLimit) {
      if (shared.dropped == 0) {
        shared.log("mqtt: the queue is full; the oldest records are dropped from it");
      }
      ++shared.dropped;
      shared.queue.pop_front();
    }
    shared.queue.push_back({shared.nextSerial++, std::move(payload)});
  }
  shared.wake.notify_one();
}

bool MqttPublisher::finish(std::chrono::milliseconds timeout) {
  Shared& shared = *m_shared;
  if (!m_thread.joinable()) return false;
  std::unique_lock lock(shared.mutex);
  shared.finishing = true;
  shared.deadline = Clock::now() + timeout;
  shared.wake.notify_one();
  // The thread never waits longer than one round of its loop, but a name lookup of the
  // system's may: past this the thread is left to end on its own.
  const bool ended = shared.ended.wait_until(lock, shared.deadline + std::chrono::milliseconds(300),
                                             [&shared] { return shared.done; });
  const bool allSent = ended && shared.offlineAcknowledged && shared.queue.empty();
  lock.unlock();
  if (ended) {
    m_thread.join();
  } else {
    m_thread.detach();
  }
  return allSent;
}

std::size_t MqttPublisher::acknowledged() const {
  const std::lock_guard lock(m_shared->mutex);
  return m_shared->acknowledged;
}

std::size_t MqttPublisher::dropped() const {
  const std::lock_guard lock(m_shared->mutex);
  return m_shared->dropped;
}

std::size_t MqttPublisher::queued() const {
  const std::lock_guard lock(m_shared->mutex);
  return m_shared->queue.size();
}

void MqttPublisher::Shared::run() {
  // How long one round may wait for the socket: a record queued meanwhile goes out after at
  // most this long.
  constexpr int roundMs = 50;
  for (;;) {
    bool ending = false;
    Clock::time_point endAt;
    {
      const std::lock_guard lock(mutex);
      ending = finishing;
      endAt = deadline;
    }
    const Clock::time_point now = Clock::now();
    if (ending && (offlineAcknowledged || now >= endAt)) break;
    if (!socketOpen && (now >= nextAttempt || (ending && !triedSinceFinishing))) {
      triedSinceFinishing = ending;
      connect();
    } else if (socketOpen && !connected && now - attemptStarted >= answerTimeout) {
      lost("no answer within " + std::to_string(answerTimeout.count()) + " s");
    }
    if (connected) {
      sendFront();
      if (ending) sendOffline();
    }
    if (socketOpen) {
      disconnected = false;
      const int rc = mosquitto_loop(client, roundMs, 1);
      if (rc != MOSQ_ERR_SUCCESS) {
        lost(rc == MOSQ_ERR_ERRNO ? reason(errno) : mosquitto_strerror(rc));
      } else if (disconnected) {
        lost("the connection was closed");
      }
      continue;
    }
    std::unique_lock lock(mutex);
    Clock::time_point until = nextAttempt;
    if (finishing) until = std::min(until, deadline);
    wake.wait_until(lock, until, [this, ending] { return finishing != ending; });
  }
  if (offlineAcknowledged) {
    mosquitto_disconnect(client);
    mosquitto_loop(client, 0, 1);
  }
  // Closes the connection; without the goodbye above the broker publishes the last will.
  mosquitto_destroy(client);
  client = nullptr;
  {
    const std::lock_guard lock(mutex);
    done = true;
  }
  ended.notify_all();
}

void MqttPublisher::Shared::connect() {
  attemptStarted = Clock::now();
  // Without blocking: the connection is made (or fails) in the rounds of mosquitto_loop.
  const int rc = mosquitto_connect_async(client, address.host.c_str(), address.port, 30);
  if (rc != MOSQ_ERR_SUCCESS) {
    socketOpen = true;  // so that the failure is reported like a lost attempt
    lost(rc == MOSQ_ERR_ERRNO ? reason(errno) : mosquitto_strerror(rc));
    return;
  }
  socketOpen = true;
}

void MqttPublisher::Shared::lost(const std::string& why) {
  const bool wasConnected = connected;
  const bool report = !failing;
  connected = false;
  socketOpen = false;
  inFlight.reset();  // the next connect sends the socket away and starts afresh
  offlineMid.reset();
  nextAttempt = Clock::now() + delay;
  if (report) {
    // The first failure of a run of them: the next ones are the same news.
    log(std::string("mqtt: ") + (wasConnected ? "lost the broker at " : "cannot reach ") + where() +
        ": " + why + "; retrying in " + std::to_string(delay.count()) + " s");
    failing = true;
  }
  delay = nextReconnectDelay(delay);
}

void MqttPublisher::Shared::sendFront() {
  if (inFlight) return;
  Queued front;
  {
    const std::lock_guard lock(mutex);
    if (queue.empty()) return;
    front = queue.front();
  }
  int mid = 0;
  const int rc =
      mosquitto_publish(client, &mid, readings.c_str(), static_cast<int>(front.payload.size()),
                        front.payload.data(), 1, false);
  if (rc == MOSQ_ERR_SUCCESS) {
    inFlight = InFlight{mid, front.serial};
  } else {
    lost(mosquitto_strerror(rc));
  }
}

void MqttPublisher::Shared::sendOffline() {
  if (offlineMid || inFlight) return;
  {
    const std::lock_guard lock(mutex);
    if (!queue.empty()) return;
  }
  const std::string offline = "offline";
  int mid = 0;
  if (mosquitto_publish(client, &mid, status.c_str(), static_cast<int>(offline.size()),
                        offline.data(), 1, true) == MOSQ_ERR_SUCCESS) {
    offlineMid = mid;
  }
}

void MqttPublisher::Shared::onConnect(int rc) {
  if (rc != 0) {
    log(std::string("mqtt: the broker refused the connection: ") + mosquitto_connack_string(rc));
    return;  // the broker closes the connection; the loop sees it and retries
  }
  connected = true;
  failing = false;
  delay = std::chrono::seconds(1);
  log("mqtt: connected to " + where());
  const std::string online = "online";
  mosquitto_publish(client, nullptr, status.c_str(), static_cast<int>(online.size()), online.data(),
                    1, true);
  inFlight.reset();  // whatever was on its way goes again (a possible repeat)
  offlineMid.reset();
}

void MqttPublisher::Shared::onDisconnect() {
  disconnected = true;
  inFlight.reset();
  offlineMid.reset();
}

void MqttPublisher::Shared::onPublish(int mid) {
  if (inFlight && mid == inFlight->mid) {
    {
      const std::lock_guard lock(mutex);
      if (!queue.empty() && queue.front().serial == inFlight->serial) {
        queue.pop_front();
        ++acknowledged;
      }
    }
    inFlight.reset();
  } else if (offlineMid && mid == *offlineMid) {
    offlineAcknowledged = true;
  }
}

}  // namespace ostrel::cli
