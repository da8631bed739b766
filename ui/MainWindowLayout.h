#pragma once

#include <QRect>

namespace ostrel::layout {

// Places of the main window's controls, pixels at 96 dots per inch. Top-level controls are
// in the scrolled content's coordinates; toolbar controls inside Panel7.

inline constexpr QSize clientArea{619, 526};

inline constexpr QRect Panel2{414, 2, 119, 27};
inline constexpr QRect Panel3{536, 2, 81, 27};
inline constexpr QRect Panel4{2, 30, 615, 289};
inline constexpr QRect Panel7{2, 320, 615, 33};
inline constexpr QRect DBGrid1{0, 348, 617, 177};  // over the lowest 5 px of Panel7
inline constexpr QRect Chtshow{18, 612, 361, 209};
inline constexpr QRect SetFeature{698, 694, 59, 33};

// Inside Panel7. RecordSITime lies over the blanks of RecordSI's caption.
inline constexpr QRect RepeatSet{5, 5, 54, 20};
inline constexpr QRect RecordSI{60, 4, 167, 19};
inline constexpr QRect RecordSITime{166, 0, 29, 22};
inline constexpr QRect RecordHeld{232, 5, 266, 18};  // free until SpeedButton2
inline constexpr QRect SpeedButton2{501, 4, 25, 21};
inline constexpr QRect SpeedButton1{528, 4, 25, 21};
inline constexpr QRect SpeedButton3{555, 4, 25, 21};
inline constexpr QRect MajPrint{582, 4, 29, 21};

// The readings grid: column widths in field order (No, Time, Value, Unit, V_Range, I_Range),
// type sizes of cells and titles.
inline constexpr int gridColumnWidths[] = {106, 92, 72, 78, 109, 132};
inline constexpr int gridCellPx = 11;
inline constexpr int gridTitlePx = 12;
inline constexpr int gridRowHeight = 17;
inline constexpr int gridIndicatorWidth = 12;

}  // namespace ostrel::layout
