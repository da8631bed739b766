#include "sim/uhid/CableSettings.h"

#include <gtest/gtest.h>

#include <ostream>
#include <vector>

namespace ostrel::uhid {
namespace {

using Bytes = std::vector<std::uint8_t>;

struct SetFeatureCase {
  const char* name;
  std::uint8_t reportNumber;
  Bytes hostBuffer;
  Bytes cableReceives;
  bool lineReady;
};

void PrintTo(const SetFeatureCase& c, std::ostream* out) { *out << c.name; }

class CableSettingsSetFeature : public testing::TestWithParam<SetFeatureCase> {};

TEST_P(CableSettingsSetFeature, CableReceivesWhatAUsbHostSends) {
  const SetFeatureCase& c = GetParam();
  CableSettings settings;
  EXPECT_EQ(settings.setFeature(c.reportNumber, c.hostBuffer), c.cableReceives);
  EXPECT_EQ(settings.lineReady(), c.lineReady);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CableSettingsSetFeature,
    testing::Values(SetFeatureCase{"LineSettings2400",
                                   0,
                                   {0x00, 0x60, 0x09, 0x00, 0x00, 0x03, 0, 0, 0, 0},
                                   {0x60, 0x09, 0x00, 0x00, 0x03, 0, 0, 0, 0},
                                   true},
                    SetFeatureCase{"Baud9600",
                                   0,
                                   {0x00, 0x80, 0x25, 0x00, 0x00, 0x03},
                                   {0x80, 0x25, 0x00, 0x00, 0x03},
                                   false},
                    SetFeatureCase{"TooShortLeavesTheLineAlone",
                                   0,
                                   {0x00, 0x60, 0x09, 0x00, 0x00},
                                   {0x60, 0x09, 0x00, 0x00},
                                   false},
                    SetFeatureCase{"NumberedReportKeepsItsNumber",
                                   5,
                                   {0x05, 0x60, 0x09, 0x00, 0x00, 0x03},
                                   {0x05, 0x60, 0x09, 0x00, 0x00, 0x03},
                                   false},
                    SetFeatureCase{"EmptyBuffer", 0, {}, {}, false}),
    [](const testing::TestParamInfo<SetFeatureCase>& paramInfo) { return paramInfo.param.name; });

TEST(CableSettings, ReplyPutsTheReportNumberInFrontOfTheSettings) {
  CableSettings settings;
  EXPECT_EQ(settings.featureReply(), (Bytes{0, 0, 0, 0, 0, 0}));
  settings.setFeature(0, Bytes{0x00, 0x60, 0x09, 0x00, 0x00, 0x03, 0, 0, 0, 0});
  EXPECT_EQ(settings.featureReply(), (Bytes{0x00, 0x60, 0x09, 0x00, 0x00, 0x03}));
}

TEST(CableSettings, OtherBaudAfter2400StopsTheLine) {
  CableSettings settings;
  settings.setFeature(0, Bytes{0x00, 0x60, 0x09, 0x00, 0x00, 0x03});
  settings.setFeature(0, Bytes{0x00, 0x80, 0x25, 0x00, 0x00, 0x03});
  EXPECT_FALSE(settings.lineReady());
  EXPECT_EQ(settings.baud(), 9600u);
}

}  // namespace
}  // namespace ostrel::uhid
