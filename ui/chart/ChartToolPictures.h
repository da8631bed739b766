#pragma once

#include <QPixmap>

namespace ostrel {

// The pictures of the chart's tool strip, drawn here rather than loaded from files.
enum class ChartToolPicture {
  Floppy,         // save: the toolbar's "Save Data" floppy disk, 16 x 16
  Cross,          // delete: the toolbar's "Delete Data" black cross, 16 x 16
  First,          // a blue bar and two blue left-pointing triangles, 14 x 10
  Previous,       // two blue left-pointing triangles, 14 x 10
  Next,           // two blue right-pointing triangles, 14 x 10
  Last,           // two blue right-pointing triangles and a bar, 14 x 10
  MagnifierPlus,  // enlarge: a magnifying glass with a plus sign, 25 x 25
  MagnifierMinus  // restore: a magnifying glass with a minus sign, 25 x 25
};

// A new pixmap of the picture on a transparent ground. Needs a QGuiApplication.
QPixmap chartToolPicture(ChartToolPicture picture);

}  // namespace ostrel
