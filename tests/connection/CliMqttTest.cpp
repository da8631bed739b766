#include "app/cli/CliMqtt.h"

#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace {

using ostrel::cli::MqttAddress;
using ostrel::cli::parseMqttAddress;

// The waits between connection attempts while the broker stays away: doubling, then held at
// half a minute however long the broker is gone.
TEST(CliMqtt, ReconnectDelayDoublesUpToThirtySeconds) {
  std::vector<long> waits;
  std::chrono::seconds delay{1};
  for (int failure = 0; failure < 10; ++failure) {
    waits.push_back(delay.count());
    delay = ostrel::cli::nextReconnectDelay(delay);
  }
  EXPECT_EQ(waits, (std::vector<long>{1, 2, 4, 8, 16, 30, 30, 30, 30, 30}));
}

struct AddressCase {
  const char* url;
  std::optional<MqttAddress> address;  // nothing: refused
};

TEST(CliMqtt, AddressesWithIpv6AndPorts) {
  const std::vector<AddressCase> cases = {
      {"mqtt://[::1]:1884/lab/b1", MqttAddress{false, "::1", 1884, "lab/b1"}},
      {"mqtts://[fe80::1%25lo]/p", MqttAddress{true, "fe80::1%25lo", 8883, "p"}},
      {"mqtt://[::1]/p", MqttAddress{false, "::1", 1883, "p"}},
      {"mqtt://broker.lab:65535/p/", MqttAddress{false, "broker.lab", 65535, "p"}},
      {"mqtt://127.0.0.1:+80/p", std::nullopt},
      {"mqtt://127.0.0.1:-80/p", std::nullopt},
      {"mqtt://127.0.0.1: 80/p", std::nullopt},
      {"mqtt://127.0.0.1:0/p", std::nullopt},
      {"mqtt://127.0.0.1:65536/p", std::nullopt},
      {"mqtt://127.0.0.1:/p", std::nullopt},
      {"mqtt://::1:1883/p", std::nullopt},
      {"mqtt://[::1/p", std::nullopt},
      {"mqtt://[::1]x/p", std::nullopt},
      {"mqtt://[]:1883/p", std::nullopt},
  };
  for (const AddressCase& c : cases) {
    SCOPED_TRACE(c.url);
    const ostrel::Result<MqttAddress> parsed = parseMqttAddress(c.url);
    ASSERT_EQ(parsed.ok(), c.address.has_value()) << parsed.message();
    if (!c.address) continue;
    EXPECT_EQ(parsed.value().tls, c.address->tls);
    EXPECT_EQ(parsed.value().host, c.address->host);
    EXPECT_EQ(parsed.value().port, c.address->port);
    EXPECT_EQ(parsed.value().prefix, c.address->prefix);
  }
}

}  // namespace
