#include "FrameDecoder.h"

#include <utility>

namespace ostrel {

namespace {

using E = DisplayElement;

// Reading texts, GBK ("\xA6\xB8" is the ohm sign).
constexpr std::string_view continuousText = "Continuous";
constexpr std::string_view timedText = "Timed";
constexpr std::string_view piText = "PI";
constexpr std::string_view compNgText = "COMP:NG";
constexpr std::string_view compGoodText = "COMP:GOOD";
constexpr std::string_view dcRangeText = "DCV  600V";
constexpr std::string_view acRangeText = "ACV  600V";
constexpr std::string_view ir500Text = "IR:500V 20G\xA6\xB8";
constexpr std::string_view ir1000Text = "IR:1000V 40G\xA6\xB8";
constexpr std::string_view ir2500Text = "IR:2500 100G\xA6\xB8";
constexpr std::string_view ir5000Text = "IR:5000V 1000G\xA6\xB8";
constexpr std::string_view teraOhmText = "T\xA6\xB8";

// Frame character at 1-based position; the caller has checked the length.
char at(std::string_view frame, std::size_t position) { return frame[position - 1]; }

bool bitSet(std::string_view frame, std::size_t position, int bit) {
  return ((HexNibbleValue(at(frame, position)) >> bit) & 1) != 0;
}

}  // namespace

FrameDecoder::FrameDecoder(DisplayModel& model, ReadingTexts& reading, std::string decimalSeparator)
    : m_model(model), m_reading(reading), m_decimalSeparator(std::move(decimalSeparator)) {}

void FrameDecoder::setTimer2RestartHook(std::function<void()> hook) {
  m_timer2Restart = std::move(hook);
}

void FrameDecoder::setRecordHook(std::function<void(int mode)> hook) { m_record = std::move(hook); }

FrameDecoder::Outcome FrameDecoder::ShowData860(std::string_view meterFrame) {
  if (m_timer2Restart) m_timer2Restart();
  m_reading.CurrentValue.clear();
  FrameFlags flags;
  m_reading.IRangeText = continuousText;
  m_model.setVisible(E::CONok, !m_model.isVisible(E::CONok));
  m_model.setVisible(E::CONokN, !m_model.isVisible(E::CONokN));

  if (!hasFrameEnd(meterFrame)) return Outcome::Dropped;

  m_model.DispInit(0);
  m_model.setVisible(E::KD, true);
  applySingleBits(meterFrame, flags);
  applyDigits(meterFrame);
  if (!flags.dc && !flags.ac) applyTestVoltageRule();
  // A polarisation index is a ratio: it has no unit, whatever the last resistance had.
  if (m_reading.IRangeText == piText) m_reading.UnitText.clear();
  if (flags.negative) m_reading.CurrentValue.insert(0, 1, '-');
  if (anyMainDigitVisible() && m_record) m_record(1);
  return Outcome::Decoded;
}

void FrameDecoder::applySingleBits(std::string_view frame, FrameFlags& flags) {
  for (const SingleBit& single : singleBits) {
    if (!bitSet(frame, single.character, single.bit)) continue;
    for (DisplayElement e : single.shows) m_model.setVisible(e, true);
    applyBitEffect(single.effect, flags);
  }
}

void FrameDecoder::applyBitEffect(BitEffect effect, FrameFlags& flags) {
  switch (effect) {
    case BitEffect::None:
      break;
    case BitEffect::DcSymbol:
      flags.dc = true;
      m_reading.VRangeText = dcRangeText;
      m_model.setVisible(E::KD, false);
      break;
    case BitEffect::AcSymbol:
      flags.ac = true;
      m_reading.VRangeText = acRangeText;
      m_model.setVisible(E::KD, false);
      break;
    case BitEffect::Minus:
      flags.negative = true;
      break;
    case BitEffect::UnitV:
      m_reading.UnitText = "V";
      break;
    case BitEffect::UnitOhm:
      m_reading.UnitText = "\xA6\xB8";
      break;
    case BitEffect::UnitMOhm:
      m_reading.UnitText = "M\xA6\xB8";
      break;
    case BitEffect::UnitGOhm:
      m_reading.UnitText = "G\xA6\xB8";
      break;
    case BitEffect::Timed:
      m_reading.IRangeText = timedText;
      break;
    case BitEffect::Pi:
      m_reading.IRangeText = piText;
      break;
  }
}

void FrameDecoder::applyDigits(std::string_view frame) {
  for (const DigitPosition& position : digitPositions) {
    const char code[2] = {at(frame, position.high), at(frame, position.low)};
    applyDigit(position, decodeDigit(position.table, std::string_view(code, 2)));
  }
}

// Unrecognised: the digit keeps its picture and caption, its point elements stay hidden.
// Blank: the digit is hidden, its caption kept. Otherwise the digit shows the pair's
// character and its point flag decides the point elements (the dash pair shows them on
// the secondary digits and leaves them hidden on the main value).
void FrameDecoder::applyDigit(const DigitPosition& position, DigitPair pair) {
  if (pair == unrecognisedDigit) return;
  if (pair.shown == 'H') {
    m_model.setVisible(position.digit, false);
    return;
  }
  m_model.setVisible(position.digit, true);
  m_model.setCaption(position.digit, pair.shown);
  const bool pointSet = pair.point != 'N';
  if (position.isMain()) {
    if (pair.point != 'N' && pair.point != 'P') return;
    m_reading.CurrentValue += pair.shown == '@' ? 'L' : pair.shown;
    // The last digit's flag is the TΩ sign, not a point: the value stays as shown.
    if (pair.point == 'P' && position.pointEffect == PointEffect::TeraOhm) {
      m_reading.UnitText = teraOhmText;
    } else if (pair.point == 'P') {
      m_reading.CurrentValue += m_decimalSeparator;
    }
  }
  for (DisplayElement e : position.pointShows) m_model.setVisible(e, pointSet);
  if (!pointSet) return;
  if (position.pointEffect == PointEffect::CompNg) m_reading.IRangeText = compNgText;
  if (position.pointEffect == PointEffect::CompGood) m_reading.IRangeText = compGoodText;
}

// Reads the test-voltage display as the digits left it, captions from earlier frames
// included; each test that holds overwrites the one before.
void FrameDecoder::applyTestVoltageRule() {
  const char thousands = m_model.caption(E::Label3);
  const char hundreds = m_model.caption(E::Label7);
  if (hundreds == '5' && !m_model.isVisible(E::Label3)) m_reading.VRangeText = ir500Text;
  if (thousands == '1' && hundreds == '0') m_reading.VRangeText = ir1000Text;
  if (thousands == '2' && hundreds == '5') m_reading.VRangeText = ir2500Text;
  if (thousands == '5' && hundreds == '0') m_reading.VRangeText = ir5000Text;
}

bool FrameDecoder::anyMainDigitVisible() const {
  for (E e : {E::LabelA, E::LabelB, E::LabelC, E::LabelD}) {
    if (m_model.isVisible(e)) return true;
  }
  return false;
}

}  // namespace ostrel
