// The meter's display map written out as literals: the digit code tables, where each digit
// and its point flag sit in the frame, what each single bit lights, and the reset set.
// Frames here are literal hexadecimal text, never composed through the production tables,
// so a wrong entry in a table cannot be mirrored by the code that builds the test frame.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "decode/FrameDecoder.h"

namespace ostrel {
namespace {

using E = DisplayElement;

const std::string ohm = "\xA6\xB8";
const std::string startVRange = "IR:500V 20G" + ohm;
const std::string allZero = std::string(40, '0') + "0D0A";

// Code and pair of every entry, as the meter's two wirings give them ("code pair" words).
const char* const tableBEntries =
    "7D0N FD0P 601N E01P 3E2N BE2P 7A3N FA3P 634N E34P 5B5N DB5P "
    "5F6N DF6P 707N F07P 7F8N FF8P 7B9N FB9P 0D@N 8D@P 00HN 02--";
const char* const tableAEntries =
    "D70N DF0P 501N 581P E32N EB2P F13N F93P 744N 7C4P B55N BD5P "
    "B76N BF6P D07N D87P F78N FF8P F59N FD9P 07@N 0F@P 00HN 08HN";

std::map<std::string, std::string> entries(const char* words) {
  std::map<std::string, std::string> table;
  std::istringstream in(words);
  for (std::string word; in >> word;) table[word.substr(0, 2)] = word.substr(2, 2);
  return table;
}

std::string pairText(DigitPair pair) { return {pair.shown, pair.point}; }

std::string hexCode(int code) {
  const char* digits = "0123456789ABCDEF";
  return {digits[code / 16], digits[code % 16]};
}

TEST(DigitTables, EveryCodeOfBothTablesAndNothingElse) {
  const auto tableA = entries(tableAEntries);
  const auto tableB = entries(tableBEntries);
  ASSERT_EQ(tableA.size(), 24U);
  ASSERT_EQ(tableB.size(), 24U);
  for (int code = 0; code < 256; ++code) {
    const std::string hex = hexCode(code);
    const auto a = tableA.find(hex);
    const auto b = tableB.find(hex);
    EXPECT_EQ(pairText(DecodeDigitA(hex)), a != tableA.end() ? a->second : "GP") << "A " << hex;
    EXPECT_EQ(pairText(DecodeDigitB(hex)), b != tableB.end() ? b->second : "GP") << "B " << hex;
  }
}

// Each digit position holds "3" with its point flag (table B FA, table A F9). High and low
// characters differ, so a position read the wrong way round gives an unknown code.
struct PositionCase {
  const char* name;
  E digit;
  int high;
  int low;
  char table;
  std::vector<E> pointShows;
  const char* value;   // CurrentValue with "." as separator
  const char* irange;  // IRangeText
};

void PrintTo(const PositionCase& c, std::ostream* os) { *os << c.name; }

const std::vector<E> allDigits = {E::LabelA,  E::LabelB,  E::LabelC, E::LabelD,  E::Label3,
                                  E::Label7,  E::Label10, E::Label9, E::H_Time1, E::H_Time2,
                                  E::M_Time1, E::M_Time2, E::stor2};

// The elements DispInit hides before every frame, as the display map lists them.
const std::vector<E> resetSet = {
    E::Bar0,    E::BAR1,    E::bar2,      E::bar3,    E::bar4,     E::bar5,     E::bar6,
    E::bar7,    E::bar8,    E::bar9,      E::bar10,   E::bar11,    E::bar12,    E::bar13,
    E::bar14,   E::bar15,   E::bar16,     E::bar17,   E::bar18,    E::bar19,    E::bar20,
    E::bar21,   E::bar22,   E::bar23,     E::bar24,   E::bar25,    E::bar26,    E::bar27,
    E::bar28,   E::bar29,   E::bar30,     E::LabFUL,  E::Labclr,   E::Labng,    E::Shape1,
    E::Shape2,  E::Shape3,  E::Shape4,    E::labdc,   E::labt,     E::labac,    E::labmo,
    E::Labgo,   E::Labv,    E::Labo,      E::Labmo1,  E::Labgo1,   E::Labto,    E::power,
    E::labs1,   E::labs2,   E::labs3,     E::labCOMP, E::labTIME1, E::labtime2, E::Labtime,
    E::labsave, E::labLoad, E::labp1,     E::danger,  E::IMoff,    E::IMmike,   E::IGPower,
    E::powerV1, E::powerv2, E::powerv3,   E::Point1,  E::Point2,   E::Point3,   E::LabelF,
    E::Labgood, E::stor1,   E::T_dPoint1, E::Label4};

bool contains(const std::vector<E>& list, E e) {
  return std::find(list.begin(), list.end(), e) != list.end();
}

std::string withChar(std::string frame, int position, char c) {
  frame[static_cast<std::size_t>(position - 1)] = c;
  return frame;
}

class DigitPositionMap : public testing::TestWithParam<PositionCase> {
 protected:
  DisplayModel model;
  ReadingTexts reading;
  FrameDecoder decoder{model, reading, "."};
};

TEST_P(DigitPositionMap, CharactersAndPointFlag) {
  const PositionCase& c = GetParam();
  const char* code = c.table == 'A' ? "F9" : "FA";
  const std::string frame = withChar(withChar(allZero, c.high, code[0]), c.low, code[1]);
  ASSERT_EQ(decoder.ShowData860(frame), FrameDecoder::Outcome::Decoded);

  for (E d : allDigits) {
    EXPECT_EQ(model.isVisible(d), d == c.digit) << displayElementName(d);
  }
  EXPECT_EQ(model.caption(c.digit), '3');
  for (E e : resetSet) {
    EXPECT_EQ(model.isVisible(e), contains(c.pointShows, e)) << displayElementName(e);
  }
  EXPECT_EQ(reading.CurrentValue, c.value);
  EXPECT_EQ(reading.IRangeText, c.irange);

  // An unknown code leaves the digit as it was and lights none of its point elements.
  const std::string unknown = withChar(withChar(allZero, c.high, '1'), c.low, '1');
  decoder.ShowData860(unknown);
  EXPECT_TRUE(model.isVisible(c.digit));
  EXPECT_EQ(model.caption(c.digit), '3');
  for (E e : c.pointShows) EXPECT_FALSE(model.isVisible(e)) << displayElementName(e);
  EXPECT_EQ(reading.CurrentValue, "");
}

INSTANTIATE_TEST_SUITE_P(
    Positions, DigitPositionMap,
    testing::Values(
        PositionCase{"LabelA", E::LabelA, 22, 21, 'B', {E::Point1}, "3.", "Continuous"},
        PositionCase{"LabelB", E::LabelB, 24, 23, 'B', {E::Point2}, "3.", "Continuous"},
        PositionCase{"LabelC", E::LabelC, 26, 25, 'B', {E::Point3}, "3.", "Continuous"},
        PositionCase{"LabelD", E::LabelD, 28, 27, 'B', {E::Labto}, "3", "Continuous"},
        PositionCase{"Label3", E::Label3, 31, 30, 'A', {E::danger}, "", "Continuous"},
        PositionCase{"Label7", E::Label7, 33, 32, 'A', {E::Labng}, "", "COMP:NG"},
        PositionCase{"Label10", E::Label10, 35, 34, 'A', {E::Labgood}, "", "COMP:GOOD"},
        PositionCase{"Label9", E::Label9, 37, 36, 'A', {E::Label4}, "", "Continuous"},
        PositionCase{"H_Time1", E::H_Time1, 15, 16, 'B', {E::Labclr}, "", "Continuous"},
        PositionCase{
            "H_Time2", E::H_Time2, 13, 14, 'B', {E::Labtime, E::T_dPoint1}, "", "Continuous"},
        PositionCase{"M_Time1", E::M_Time1, 11, 12, 'B', {E::labCOMP}, "", "Continuous"},
        PositionCase{"M_Time2", E::M_Time2, 9, 10, 'B', {E::Labgo}, "", "Continuous"},
        PositionCase{"stor2", E::stor2, 17, 18, 'B', {E::LabFUL}, "", "Continuous"}),
    [](const auto& paramInfo) { return std::string(paramInfo.param.name); });

// One set bit in an otherwise blank frame: the elements it lights and the texts it writes.
struct BitCase {
  BitCase(const char* caseName, int frameCharacter, int frameBit, std::vector<E> shown)
      : name(caseName), character(frameCharacter), bit(frameBit), shows(std::move(shown)) {}
  BitCase with(std::string BitCase::*text, std::string written) const {
    BitCase changed = *this;
    changed.*text = std::move(written);
    return changed;
  }
  BitCase hidingBarPanel() const {
    BitCase changed = *this;
    changed.barPanel = false;
    return changed;
  }

  const char* name;
  int character;
  int bit;
  std::vector<E> shows;
  std::string vrange = startVRange;
  std::string unit;
  std::string irange = "Continuous";
  std::string value;
  bool barPanel = true;  // KD
};

void PrintTo(const BitCase& c, std::ostream* os) { *os << c.name; }

class SingleBitMap : public testing::TestWithParam<BitCase> {
 protected:
  DisplayModel model;
  ReadingTexts reading;
  FrameDecoder decoder{model, reading, "."};
};

TEST_P(SingleBitMap, LightsItsElementsAndWritesItsTexts) {
  const BitCase& c = GetParam();
  const std::string frame = withChar(allZero, c.character, "0123456789ABCDEF"[1 << c.bit]);
  ASSERT_EQ(decoder.ShowData860(frame), FrameDecoder::Outcome::Decoded);
  for (E e : resetSet) {
    EXPECT_EQ(model.isVisible(e), contains(c.shows, e)) << displayElementName(e);
  }
  EXPECT_EQ(model.isVisible(E::KD), c.barPanel);
  EXPECT_EQ(reading.VRangeText, c.vrange);
  EXPECT_EQ(reading.UnitText, c.unit);
  EXPECT_EQ(reading.IRangeText, c.irange);
  EXPECT_EQ(reading.CurrentValue, c.value);
}

// The bar graph's bits are checked bar by bar in FrameDecoderTest.
INSTANTIATE_TEST_SUITE_P(
    Bits, SingleBitMap,
    testing::Values(BitCase("Dc", 8, 0, {E::labdc, E::Shape1, E::Shape2, E::Shape3, E::Shape4})
                        .with(&BitCase::vrange, "DCV  600V")
                        .hidingBarPanel(),
                    BitCase("Ac", 8, 1, {E::labt, E::labac})
                        .with(&BitCase::vrange, "ACV  600V")
                        .hidingBarPanel(),
                    BitCase("Minus", 8, 2, {E::LabelF}).with(&BitCase::value, "-"),
                    BitCase("SmallMOhm", 8, 3, {E::labmo}), BitCase("SmallGOhm", 9, 3, {E::Labgo}),
                    BitCase("Timed", 19, 0, {E::power}).with(&BitCase::irange, "Timed"),
                    BitCase("Step1", 19, 1, {E::labs1}), BitCase("Step2", 19, 2, {E::labs2}),
                    BitCase("Step3", 19, 3, {E::labs3}), BitCase("Load", 20, 0, {E::labLoad}),
                    BitCase("Save", 20, 1, {E::labsave}), BitCase("Time2", 20, 2, {E::labtime2}),
                    BitCase("Time1", 20, 3, {E::labTIME1}),
                    BitCase("UnitV", 29, 0, {E::Labv}).with(&BitCase::unit, "V"),
                    BitCase("UnitOhm", 29, 1, {E::Labo}).with(&BitCase::unit, ohm),
                    BitCase("UnitMOhm", 29, 2, {E::Labmo1}).with(&BitCase::unit, "M" + ohm),
                    BitCase("UnitGOhm", 29, 3, {E::Labgo1}).with(&BitCase::unit, "G" + ohm),
                    BitCase("Mike", 38, 0, {E::IMmike}), BitCase("Unused38", 38, 1, {}),
                    BitCase("Pi", 38, 2, {E::labp1}).with(&BitCase::irange, "PI"),
                    BitCase("Memory", 38, 3, {E::stor1}), BitCase("ImOff", 39, 0, {E::IMoff}),
                    BitCase("Bar0", 39, 1, {E::Bar0}),
                    BitCase("BatteryOutline", 40, 0, {E::IGPower}),
                    BitCase("BatteryBar3", 40, 1, {E::powerv3}),
                    BitCase("BatteryBar2", 40, 2, {E::powerv2}),
                    BitCase("BatteryBar1", 40, 3, {E::powerV1})),
    [](const auto& paramInfo) { return std::string(paramInfo.param.name); });

TEST(ResetSet, DispInitHidesExactlyTheListedElements) {
  ASSERT_EQ(resetSet.size(), 74U);
  DisplayModel model;
  model.DispInit(0);
  for (std::size_t i = 0; i < displayElementCount; ++i) {
    const auto e = static_cast<E>(i);
    const bool hidden = contains(resetSet, e) || e == E::CONok;  // CONok starts hidden
    EXPECT_EQ(model.isVisible(e), !hidden) << displayElementName(e);
  }
}

}  // namespace
}  // namespace ostrel
