#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string_view>

namespace ostrel {

// Every named element of the display mirror, in the order the mirror is laid out:
// the symbols placed directly on the white panel, then the main value, the test-voltage
// display, the memory, the timer and the bar graph with its fixed scale. The names are
// the ones the meter's display map uses; the painter in ui/ looks elements up by them.
#define OSTREL_DISPLAY_ELEMENTS(X)                                                         \
  X(IGPower) X(powerV1) X(powerv2) X(powerv3) X(IMoff) X(rsUSB) X(IMmike) X(CONok)         \
  X(CONokN) X(danger) X(Labng) X(Labgood) X(labt) X(Shape1) X(Shape2) X(Shape3) X(Shape4)  \
  X(labdc) X(labac) X(Labv) X(Labo) X(Labmo1) X(Labgo1) X(Labto) X(power) X(labs1)         \
  X(labs2) X(labs3) X(labCOMP) X(labTIME1) X(labtime2) X(labsave) X(labLoad) X(labp1)      \
  X(LabelF) X(LabelA) X(Point1) X(LabelB) X(Point2) X(LabelC) X(Point3) X(LabelD)          \
  X(Label3) X(Label7) X(Label10) X(Label9) X(Label4)                                       \
  X(stor1) X(stor2) X(LabFUL) X(Labclr)                                                    \
  X(H_Time1) X(H_Time2) X(T_dPoint1) X(M_Time1) X(M_Time2) X(Labtime) X(labmo) X(Labgo)    \
  X(KD) X(Bar0) X(BAR1) X(bar2) X(bar3) X(bar4) X(bar5) X(bar6) X(bar7) X(bar8) X(bar9)    \
  X(bar10) X(bar11) X(bar12) X(bar13) X(bar14) X(bar15) X(bar16) X(bar17) X(bar18)         \
  X(bar19) X(bar20) X(bar21) X(bar22) X(bar23) X(bar24) X(bar25) X(bar26) X(bar27)         \
  X(bar28) X(bar29) X(bar30)                                                               \
  X(Label1) X(Label2) X(Label8) X(Label11) X(Label12) X(Label13) X(Label14) X(Label15)     \
  X(Label16) X(Label17) X(Shape5) X(Shape14) X(Shape6) X(Shape7) X(Shape8) X(Shape9)       \
  X(Shape10) X(Shape11) X(Shape12) X(Shape13) X(Shape15)

enum class DisplayElement : unsigned char {
#define OSTREL_ENUM_ENTRY(name) name,
  OSTREL_DISPLAY_ELEMENTS(OSTREL_ENUM_ENTRY)
#undef OSTREL_ENUM_ENTRY
};

inline constexpr std::array displayElementNames = {
#define OSTREL_NAME_ENTRY(name) std::string_view{#name},
    OSTREL_DISPLAY_ELEMENTS(OSTREL_NAME_ENTRY)
#undef OSTREL_NAME_ENTRY
};

inline constexpr std::size_t displayElementCount = displayElementNames.size();

constexpr std::string_view displayElementName(DisplayElement e) {
  return displayElementNames[static_cast<std::size_t>(e)];
}

constexpr std::optional<DisplayElement> displayElementByName(std::string_view name) {
  for (std::size_t i = 0; i < displayElementCount; ++i) {
    if (displayElementNames[i] == name) {
      return static_cast<DisplayElement>(i);
    }
  }
  return std::nullopt;
}

// Bar n of the bar graph: 0 is Bar0, 1 is BAR1, 2..30 are bar2..bar30.
constexpr DisplayElement barElement(int n) {
  return static_cast<DisplayElement>(static_cast<int>(DisplayElement::Bar0) + n);
}

}  // namespace ostrel
