#pragma once

#include <QDateTime>
#include <QString>
#include <string>

#include "base/Result.h"

class QWidget;

namespace ostrel {

// The folder chart bitmaps go to: "TestGraph" in the user's home folder ($HOME), with a
// trailing '/'. The chart's save creates it when it is missing.
QString chartBitmapFolder();

// folder + the stamp "yymmddhhnn" of `now` (local time, hour 00..23) + "page" + the page
// label's caption + ".bmp".
QString chartBitmapPath(const QString& folder, const QDateTime& now, const QString& pageCaption);

// Draws the picture of `chart`: the bounding box of `children` (its plot views), each drawn
// at its place, a plot view without the band left free for the tool strip above its plot
// area, so the picture holds the chart only (with no children, the chart itself), into an
// image first filled with white, and writes it at `path` as a Windows BMP file (a PNG file
// when the name ends ".png", in any case), replacing an existing file the way every user's
// file is replaced (record/FileReplace.h: links followed, a FIFO or device refused). A failure
// says why, naming the path, in the system's bytes ("Cannot create file <path>. <reason>" or
// "Cannot write file ..."); the file at the path is then as it was (or still missing) and no
// part of the new one is left.
Result<> saveChartBitmap(QWidget& chart, const QList<QWidget*>& children, const QString& path);
// The same for a path given as the system's bytes (a command's argument), which need not be
// valid UTF-8.
Result<> saveChartBitmap(QWidget& chart, const QList<QWidget*>& children, const std::string& path);

}  // namespace ostrel
