#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string_view>

namespace ostrel {

// Every named element of the display mirror, in the order the mirror is laid out, group by
// group; the enum below numbers them in this order. The names are the ones the meter's display
// map uses; the painter in ui/ looks elements up by them.

// Symbols placed directly on the white panel: the battery outline IGPower with its three
// charge bars, the connection pictures CONok (frames arriving) and CONokN, the warning and
// mode signs, the DC sign (labdc over the bars Shape1..Shape4), the AC sign (labt, labac),
// the unit signs Labv (V), Labo (Ω), Labmo1 (MΩ), Labgo1 (GΩ), Labto (TΩ) and the state
// words along the bottom (S1..S3, COMP, Time1, Time2, SAVE, LOAD, PI).
// clang-format off
#define OSTREL_PANEL_SYMBOLS(X)                                                            \
  X(IGPower) X(powerV1) X(powerv2) X(powerv3) X(IMoff) X(rsUSB) X(IMmike) X(CONok)         \
  X(CONokN) X(danger) X(Labng) X(Labgood) X(labt) X(Shape1) X(Shape2) X(Shape3) X(Shape4)  \
  X(labdc) X(labac) X(Labv) X(Labo) X(Labmo1) X(Labgo1) X(Labto) X(power) X(labs1)         \
  X(labs2) X(labs3) X(labCOMP) X(labTIME1) X(labtime2) X(labsave) X(labLoad) X(labp1)

// The main value: the minus sign LabelF, the four digits LabelA..LabelD and the points
// Point1..Point3 after the first three.
#define OSTREL_MAIN_VALUE(X) \
  X(LabelF) X(LabelA) X(Point1) X(LabelB) X(Point2) X(LabelC) X(Point3) X(LabelD)

// The test voltage: the digits Label3, Label7, Label10, Label9 (left to right) and the sign
// Label4 ("V").
#define OSTREL_TEST_VOLTAGE(X) X(Label3) X(Label7) X(Label10) X(Label9) X(Label4)

// The memory: the leading one stor1, the digit stor2 and the words FUL and CLR.
#define OSTREL_MEMORY(X) X(stor1) X(stor2) X(LabFUL) X(Labclr)

// The timer: the digits H_Time1 H_Time2 : M_Time1 M_Time2 (T_dPoint1 is the colon), the
// caption Labtime (" min : sec") and the small unit signs labmo (MΩ) and Labgo (GΩ).
#define OSTREL_TIMER(X) \
  X(H_Time1) X(H_Time2) X(T_dPoint1) X(M_Time1) X(M_Time2) X(Labtime) X(labmo) X(Labgo)

// The bar graph: its panel KD (shown and hidden as a whole) and the 31 bars Bar0, BAR1,
// bar2..bar30, left to right; barElement(n) relies on their being consecutive.
#define OSTREL_BAR_GRAPH(X)                                                                \
  X(KD) X(Bar0) X(BAR1) X(bar2) X(bar3) X(bar4) X(bar5) X(bar6) X(bar7) X(bar8) X(bar9)    \
  X(bar10) X(bar11) X(bar12) X(bar13) X(bar14) X(bar15) X(bar16) X(bar17) X(bar18)         \
  X(bar19) X(bar20) X(bar21) X(bar22) X(bar23) X(bar24) X(bar25) X(bar26) X(bar27)         \
  X(bar28) X(bar29) X(bar30)

// The bar graph's fixed scale, which no frame changes: the value labels Label1, Label2,
// Label8, Label11..Label17 ("0" to "∞"), the base line Shape5 and the ticks Shape14,
// Shape6..Shape13, Shape15.
#define OSTREL_BAR_SCALE(X)                                                                \
  X(Label1) X(Label2) X(Label8) X(Label11) X(Label12) X(Label13) X(Label14) X(Label15)     \
  X(Label16) X(Label17) X(Shape5) X(Shape14) X(Shape6) X(Shape7) X(Shape8) X(Shape9)       \
  X(Shape10) X(Shape11) X(Shape12) X(Shape13) X(Shape15)

#define OSTREL_DISPLAY_ELEMENTS(X)                                                   \
  OSTREL_PANEL_SYMBOLS(X) OSTREL_MAIN_VALUE(X) OSTREL_TEST_VOLTAGE(X) OSTREL_MEMORY(X) \
  OSTREL_TIMER(X) OSTREL_BAR_GRAPH(X) OSTREL_BAR_SCALE(X)
// clang-format on

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
