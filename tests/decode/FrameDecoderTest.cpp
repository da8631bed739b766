#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "decode/FrameDecoder.h"
#include "sim/frames/FrameBuilder.h"

namespace ostrel {
namespace {

using E = DisplayElement;
using sim::FrameBuilder;

const std::string ohm = "\xA6\xB8";
const std::string allZero = std::string(40, '0') + "0D0A";

// A frame text with one character replaced (position counted from 1).
std::string withChar(std::string frame, std::size_t position, char c) {
  frame[position - 1] = c;
  return frame;
}

class Decoder : public testing::Test {
 protected:
  explicit Decoder(std::string separator = ".") : decoder(model, reading, std::move(separator)) {
    decoder.setTimer2RestartHook([this] { ++timerRestarts; });
    decoder.setRecordHook([this](int mode) {
      ++offers;
      offeredMode = mode;
    });
  }
  FrameDecoder::Outcome decode(const FrameBuilder& frame) { return decode(frame.text()); }
  FrameDecoder::Outcome decode(const std::string& text) { return decoder.ShowData860(text); }
  bool shown(E e) const { return model.isVisible(e); }
  // Captions of the given digits, '_' for a hidden digit.
  std::string digits(std::initializer_list<E> elements) const {
    std::string text;
    for (E e : elements) text += model.isVisible(e) ? model.caption(e) : '_';
    return text;
  }
  std::string mainDigits() const { return digits({E::LabelA, E::LabelB, E::LabelC, E::LabelD}); }
  std::string testVoltage() const { return digits({E::Label3, E::Label7, E::Label10, E::Label9}); }

  DisplayModel model;
  ReadingTexts reading;
  FrameDecoder decoder;
  int timerRestarts = 0;
  int offers = 0;
  int offeredMode = 0;
};

TEST(DigitTables, LookupsFollowTheTwoWirings) {
  EXPECT_EQ(DecodeDigitA("7C"), (DigitPair{'4', 'P'}));
  EXPECT_EQ(DecodeDigitA("08"), (DigitPair{'H', 'N'}));
  EXPECT_EQ(DecodeDigitA("20"), unrecognisedDigit);  // no dash in table A
  EXPECT_EQ(DecodeDigitB("80"), unrecognisedDigit);
  EXPECT_EQ(DecodeDigitB("02"), (DigitPair{'-', '-'}));
  EXPECT_EQ(DecodeDigitB("8D"), (DigitPair{'@', 'P'}));
  EXPECT_EQ(DecodeDigitB("7d"), unrecognisedDigit);
  EXPECT_EQ(DecodeDigitB("7"), unrecognisedDigit);
  EXPECT_EQ(HexNibbleValue('F'), 15);
  EXPECT_EQ(HexNibbleValue('x'), 0);
}

TEST(FrameBuilder, ComposesTheCodesTheMeterSends) {
  EXPECT_EQ(FrameBuilder().mainDigits("1.234").text(),
            std::string(20, '0') + "0EE3A736" + std::string(12, '0') + "0D0A");
  const auto bytes = FrameBuilder().testVoltage("1000").bytes();
  EXPECT_EQ(bytes[15], 0x57);  // chars 31-32: high of Label3's 50, low of Label7's D7
  EXPECT_EQ(bytes[20], 0x0D);
  EXPECT_EQ(bytes[21], 0x0A);
  EXPECT_THROW(FrameBuilder().testVoltage("-"), std::invalid_argument);
  EXPECT_THROW(FrameBuilder().mainDigits("12345"), std::invalid_argument);
  EXPECT_THROW(FrameBuilder().symbol("KD"), std::invalid_argument);
}

TEST_F(Decoder, AllDataZeroResetsTheMirrorAndOffersNothing) {
  EXPECT_EQ(decode(allZero), FrameDecoder::Outcome::Decoded);
  DisplayModel expected;
  expected.DispInit(0);
  expected.setVisible(E::CONok, true);
  expected.setVisible(E::CONokN, false);
  for (std::size_t i = 0; i < displayElementCount; ++i) {
    const auto e = static_cast<E>(i);
    if (DisplayModel::isDigit(e)) expected.setVisible(e, false);
    EXPECT_EQ(shown(e), expected.isVisible(e)) << displayElementName(e);
  }
  EXPECT_TRUE(shown(E::KD));
  EXPECT_EQ(offers, 0);
  EXPECT_EQ(timerRestarts, 1);
  EXPECT_EQ(reading.IRangeText, "Continuous");
}

TEST_F(Decoder, FailedEndCheckOnlyRestartsTimerResetsValueAndModeAndSwapsPictures) {
  decode(FrameBuilder().mainDigits("1.234").unit("MΩ").symbol("power").barGraph(5));
  const DisplayModel before = model;
  const ReadingTexts texts = reading;
  const int offersBefore = offers;

  const std::string bad = withChar(FrameBuilder().text(), 44, 'B');  // ...0D0B
  EXPECT_EQ(decode(bad), FrameDecoder::Outcome::Dropped);
  EXPECT_EQ(timerRestarts, 2);
  EXPECT_EQ(reading.CurrentValue, "");
  EXPECT_EQ(reading.IRangeText, "Continuous");
  EXPECT_EQ(reading.UnitText, texts.UnitText);
  EXPECT_EQ(reading.VRangeText, texts.VRangeText);
  EXPECT_EQ(offers, offersBefore);
  for (std::size_t i = 0; i < displayElementCount; ++i) {
    const auto e = static_cast<E>(i);
    const bool swapped = e == E::CONok || e == E::CONokN;
    EXPECT_EQ(shown(e), before.isVisible(e) != swapped) << displayElementName(e);
    EXPECT_EQ(model.caption(e), before.caption(e));
  }
}

TEST_F(Decoder, ShortOrDamagedFramesAreHandledSafely) {
  EXPECT_EQ(decode(std::string("0D0A")), FrameDecoder::Outcome::Dropped);
  EXPECT_EQ(decode(std::string()), FrameDecoder::Outcome::Dropped);
  EXPECT_EQ(decode(allZero.substr(0, 43)), FrameDecoder::Outcome::Dropped);
  decode(FrameBuilder().mainDigits("1234"));
  // Non-hex characters light nothing and make their digit codes unrecognised.
  const std::string garbage = std::string(40, 'Z') + "0D0A";
  EXPECT_EQ(decode(garbage), FrameDecoder::Outcome::Decoded);
  EXPECT_EQ(mainDigits(), "1234");
  EXPECT_EQ(reading.CurrentValue, "");
  EXPECT_FALSE(shown(E::Bar0));
}

TEST_F(Decoder, Frame46CharactersLongIsReadFromItsFirst44) {
  decode(FrameBuilder().mainDigits("1.234").text() + "FF");
  EXPECT_EQ(reading.CurrentValue, "1.234");
  EXPECT_EQ(offers, 1);
  EXPECT_EQ(offeredMode, 1);
}

// The bar graph read from Bar0 to bar30: char 39 bits 1-3; char 1 bits 3..0; char 2 bits
// 0..3; char 3 bits 3..0; char 4 bits 0..3; char 5 bits 3..0; char 6 bits 0..3; char 7 3..0.
TEST_F(Decoder, EachBarHasItsOwnBit) {
  std::vector<std::pair<std::size_t, int>> bits = {{39, 1}, {39, 2}, {39, 3}};
  for (std::size_t c = 1; c <= 7; ++c) {
    for (int i = 0; i < 4; ++i) bits.emplace_back(c, c % 2 == 1 ? 3 - i : i);
  }
  ASSERT_EQ(bits.size(), 31U);
  for (int bar = 0; bar <= 30; ++bar) {
    const auto [character, bit] = bits[static_cast<std::size_t>(bar)];
    decode(withChar(allZero, character, "0123456789ABCDEF"[1 << bit]));
    for (int other = 0; other <= 30; ++other) {
      EXPECT_EQ(shown(barElement(other)), other == bar) << "bar " << bar << " lit " << other;
    }
  }
  decode(FrameBuilder().barGraph(31));
  EXPECT_TRUE(shown(E::bar30));
}

TEST_F(Decoder, DcAndAcTogetherHideTheBarGraphAndAcWins) {
  decode(withChar(allZero, 8, '3'));
  for (E e : {E::labdc, E::Shape1, E::Shape2, E::Shape3, E::Shape4, E::labt, E::labac}) {
    EXPECT_TRUE(shown(e)) << displayElementName(e);
  }
  EXPECT_FALSE(shown(E::KD));
  EXPECT_EQ(reading.VRangeText, "ACV  600V");
  decode(withChar(allZero, 8, '1'));
  EXPECT_EQ(reading.VRangeText, "DCV  600V");
  decode(allZero);
  EXPECT_TRUE(shown(E::KD));
}

TEST_F(Decoder, AllFourUnitBitsShowAllSymbolsAndGigaohmWins) {
  decode(withChar(allZero, 29, 'F'));
  for (E e : {E::Labv, E::Labo, E::Labmo1, E::Labgo1}) EXPECT_TRUE(shown(e));
  EXPECT_EQ(reading.UnitText, "G" + ohm);
  decode(withChar(allZero, 29, '3'));
  EXPECT_EQ(reading.UnitText, ohm);
  decode(FrameBuilder().unit("MΩ"));
  decode(FrameBuilder().mainDigits("1.5"));
  EXPECT_EQ(reading.UnitText, "M" + ohm);  // kept by a frame without unit
}

TEST_F(Decoder, UnusedBitOfCharacter38ShowsNothing) {
  decode(allZero);
  const DisplayModel blank = model;
  decode(withChar(allZero, 38, '2'));
  for (std::size_t i = 0; i < displayElementCount; ++i) {
    const auto e = static_cast<E>(i);
    if (e == E::CONok || e == E::CONokN) continue;
    EXPECT_EQ(shown(e), blank.isVisible(e)) << displayElementName(e);
  }
}

TEST_F(Decoder, Character9Bit3ShowsLabgoAndUnknownCode80KeepsMinutes) {
  decode(FrameBuilder().timer("12:34"));
  EXPECT_EQ(digits({E::H_Time1, E::H_Time2, E::M_Time1, E::M_Time2}), "1234");
  EXPECT_TRUE(shown(E::T_dPoint1));
  EXPECT_TRUE(shown(E::Labtime));
  decode(FrameBuilder().timer("12:3 ").digitCode(E::M_Time2, 0x80));
  EXPECT_EQ(digits({E::H_Time1, E::H_Time2, E::M_Time1, E::M_Time2}), "1234");
  EXPECT_TRUE(shown(E::Labgo));
  decode(FrameBuilder().digitCode(E::M_Time2, 0x02));
  EXPECT_EQ(digits({E::M_Time2}), "-");
  EXPECT_TRUE(shown(E::Labgo));
}

struct MainCase {
  const char* name;
  std::array<std::uint8_t, 4> codes;  // LabelA..LabelD
  const char* value;
  const char* digits;  // captions, '_' hidden
  std::vector<E> points;
  bool offered;
};

void PrintTo(const MainCase& c, std::ostream* os) { *os << c.name; }

class MainValue : public Decoder, public testing::WithParamInterface<MainCase> {};

TEST_P(MainValue, DigitsPointsAndValueText) {
  const MainCase& c = GetParam();
  FrameBuilder frame;
  const std::array main = {E::LabelA, E::LabelB, E::LabelC, E::LabelD};
  for (std::size_t i = 0; i < 4; ++i) frame.digitCode(main[i], c.codes[i]);
  decode(frame);
  EXPECT_EQ(reading.CurrentValue, c.value);
  EXPECT_EQ(mainDigits(), c.digits);
  for (E point : {E::Point1, E::Point2, E::Point3, E::Labto}) {
    const bool expected = std::find(c.points.begin(), c.points.end(), point) != c.points.end();
    EXPECT_EQ(shown(point), expected) << displayElementName(point);
  }
  EXPECT_EQ(offers, c.offered ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(
    Codes, MainValue,
    testing::Values(
        MainCase{
            "OnePointTwoThreeFour", {0xE0, 0x3E, 0x7A, 0x63}, "1.234", "1234", {E::Point1}, true},
        MainCase{"LeadingBlank", {0x00, 0xFD, 0x7D, 0x5B}, "0.05", "_005", {E::Point2}, true},
        MainCase{"LetterL", {0x60, 0x60, 0x0D, 0x60}, "11L1", "11@1", {}, true},
        MainCase{"LetterLWithPoint", {0x60, 0x8D, 0x60, 0x60}, "1L.11", "1@11", {E::Point2}, true},
        MainCase{"Dashes", {0x02, 0x02, 0x02, 0x02}, "", "----", {}, true},
        MainCase{
            "TeraOhmFlagAddsNoPoint", {0x60, 0x60, 0x60, 0xFD}, "1110", "1110", {E::Labto}, true},
        MainCase{"AllBlank", {0x00, 0x00, 0x00, 0x00}, "", "____", {}, false}),
    [](const auto& paramInfo) { return std::string(paramInfo.param.name); });

TEST_F(Decoder, UnrecognisedMainCodeKeepsItsDigitAndAddsNothing) {
  decode(FrameBuilder().mainDigits("9876"));
  decode(FrameBuilder().mainDigits("1.234").digitCode(E::LabelB, 0x11));
  EXPECT_EQ(mainDigits(), "1834");
  EXPECT_EQ(reading.CurrentValue, "1.34");
  EXPECT_FALSE(shown(E::Point2));
}

struct SecondaryCase {
  const char* name;
  std::array<std::uint8_t, 4> codes;  // Label3, Label7, Label10, Label9
  const char* digits;
  std::vector<E> flags;  // shown among danger, Labng, Labgood, Label4
  const char* irange;
  const char* vrange;
};

void PrintTo(const SecondaryCase& c, std::ostream* os) { *os << c.name; }

class Secondary : public Decoder, public testing::WithParamInterface<SecondaryCase> {};

TEST_P(Secondary, DigitsFlagsAndTexts) {
  const SecondaryCase& c = GetParam();
  FrameBuilder frame;
  const std::array digitsOf = {E::Label3, E::Label7, E::Label10, E::Label9};
  for (std::size_t i = 0; i < 4; ++i) frame.digitCode(digitsOf[i], c.codes[i]);
  decode(frame);
  EXPECT_EQ(testVoltage(), c.digits);
  for (E flag : {E::danger, E::Labng, E::Labgood, E::Label4}) {
    const bool expected = std::find(c.flags.begin(), c.flags.end(), flag) != c.flags.end();
    EXPECT_EQ(shown(flag), expected) << displayElementName(flag);
  }
  EXPECT_EQ(reading.IRangeText, c.irange);
  EXPECT_EQ(reading.VRangeText, c.vrange);
  EXPECT_EQ(reading.CurrentValue, "");
}

const std::string ir500 = "IR:500V 20G" + ohm;

INSTANTIATE_TEST_SUITE_P(Codes, Secondary,
                         testing::Values(SecondaryCase{"Volts1000",
                                                       {0x50, 0xD7, 0xD7, 0xDF},
                                                       "1000",
                                                       {E::Label4},
                                                       "Continuous",
                                                       "IR:1000V 40G\xA6\xB8"},
                                         SecondaryCase{"Volts500",
                                                       {0x00, 0xB5, 0xD7, 0xD7},
                                                       "_500",
                                                       {},
                                                       "Continuous",
                                                       "IR:500V 20G\xA6\xB8"},
                                         SecondaryCase{"Volts2500",
                                                       {0xE3, 0xB5, 0xD7, 0xD7},
                                                       "2500",
                                                       {},
                                                       "Continuous",
                                                       "IR:2500 100G\xA6\xB8"},
                                         SecondaryCase{"Volts5000",
                                                       {0xB5, 0xD7, 0xD7, 0xD7},
                                                       "5000",
                                                       {},
                                                       "Continuous",
                                                       "IR:5000V 1000G\xA6\xB8"},
                                         SecondaryCase{"CompNg",
                                                       {0x50, 0xD8, 0xD7, 0xD7},
                                                       "1700",
                                                       {E::Labng},
                                                       "COMP:NG",
                                                       "IR:500V 20G\xA6\xB8"},
                                         SecondaryCase{"CompGoodOverNg",
                                                       {0x50, 0xD8, 0xDF, 0xD7},
                                                       "1700",
                                                       {E::Labng, E::Labgood},
                                                       "COMP:GOOD",
                                                       "IR:500V 20G\xA6\xB8"},
                                         SecondaryCase{"FourWithPoint",
                                                       {0x7C, 0x08, 0xD7, 0xD7},
                                                       "4_00",
                                                       {E::danger},
                                                       "Continuous",
                                                       "IR:500V 20G\xA6\xB8"}),
                         [](const auto& paramInfo) { return std::string(paramInfo.param.name); });

TEST_F(Decoder, TestVoltageRuleSeesCaptionsLeftByEarlierFrames) {
  decode(FrameBuilder().testVoltage("2500"));
  EXPECT_EQ(reading.VRangeText, "IR:2500 100G" + ohm);
  decode(FrameBuilder().testVoltage(" 500"));  // Label3 blank but still captioned 2
  EXPECT_EQ(reading.VRangeText, "IR:2500 100G" + ohm);
  decode(FrameBuilder().testVoltage("1000").symbol("labac"));
  EXPECT_EQ(reading.VRangeText, "ACV  600V");
  decode(FrameBuilder().testVoltage("1234"));  // no test holds: kept
  EXPECT_EQ(reading.VRangeText, "ACV  600V");
}

TEST_F(Decoder, ModeTextPrecedence) {
  decode(FrameBuilder().symbol("power"));
  EXPECT_EQ(reading.IRangeText, "Timed");
  decode(FrameBuilder().symbol("power").symbol("labp1"));
  EXPECT_EQ(reading.IRangeText, "PI");
  decode(FrameBuilder().symbol("power").symbol("labp1").testVoltage("1000").symbol("Labng"));
  EXPECT_EQ(reading.IRangeText, "COMP:NG");
  decode(FrameBuilder().testVoltage("1000").symbol("Labng").symbol("Labgood").symbol("labp1"));
  EXPECT_EQ(reading.IRangeText, "COMP:GOOD");
  decode(allZero);
  EXPECT_EQ(reading.IRangeText, "Continuous");
}

// The last main digit's flag is the TΩ sign: the value keeps its digits and the unit
// becomes TΩ, whatever unit the frame before had; a PI ratio has no unit at all.
TEST_F(Decoder, TeraOhmAndPiReadingsCarryTheUnitTheMeterShows) {
  decode(FrameBuilder().mainDigits("950.0").unit("GΩ"));
  EXPECT_EQ(reading.UnitText, "G" + ohm);
  decode(FrameBuilder().mainDigits("1.730").unit("TΩ"));
  EXPECT_EQ(reading.CurrentValue, "1.730");
  EXPECT_EQ(reading.UnitText, "T" + ohm);
  EXPECT_TRUE(shown(E::Labto));
  decode(FrameBuilder().mainDigits("1.730").unit("GΩ").unit("TΩ"));
  EXPECT_EQ(reading.UnitText, "T" + ohm) << "the TΩ sign wins over GΩ";
  decode(FrameBuilder().mainDigits("2.200").symbol("power").symbol("labp1"));
  EXPECT_EQ(reading.CurrentValue, "2.200");
  EXPECT_EQ(reading.UnitText, "");
  EXPECT_EQ(reading.IRangeText, "PI");
  decode(FrameBuilder().mainDigits("2.300").unit("MΩ").symbol("labp1"));
  EXPECT_EQ(reading.UnitText, "") << "a PI frame's unit sign is not the ratio's unit";
  decode(FrameBuilder().mainDigits("12.00").unit("MΩ"));
  EXPECT_EQ(reading.UnitText, "M" + ohm);
}

TEST_F(Decoder, MinusGoesInFrontOfTheValue) {
  decode(FrameBuilder().mainDigits("1.234").minus());
  EXPECT_EQ(reading.CurrentValue, "-1.234");
  EXPECT_TRUE(shown(E::LabelF));
}

TEST_F(Decoder, BlankMainDigitsWithTimerRunningAreNotOffered) {
  decode(FrameBuilder().timer("00:59").testVoltage(" 500").unit("MΩ"));
  EXPECT_EQ(offers, 0);
  decode(FrameBuilder().timer("01:00").mainDigits("  12"));
  EXPECT_EQ(offers, 1);
}

class DecoderWithComma : public Decoder {
 protected:
  DecoderWithComma() : Decoder(",") {}
};

TEST_F(DecoderWithComma, SeparatorComesFromTheLocale) {
  decode(FrameBuilder().mainDigits("1.234"));
  EXPECT_EQ(reading.CurrentValue, "1,234");
}

TEST(DecoderWithoutSeparator, PointsAddNothingToTheValue) {
  DisplayModel model;
  ReadingTexts reading;
  FrameDecoder decoder(model, reading, "");
  decoder.ShowData860(FrameBuilder().mainDigits("1.234").text());
  EXPECT_EQ(reading.CurrentValue, "1234");
  EXPECT_TRUE(model.isVisible(E::Point1));
}

}  // namespace
}  // namespace ostrel
