#pragma once

#include <QPointF>
#include <vector>

#include "ui/report/ReportLayout.h"

class QPainter;

namespace ostrel {

// The one paint routine of a report page, used by the preview, the printer and the PDF.
// Draws the page with its paper's top left corner at origin (device units), at
// dotsPerMm device units per millimetre; type sizes follow the same scale, whatever the
// painter's device resolution is.
void paintReportPage(QPainter& painter, const std::vector<ReportElement>& page, double dotsPerMm,
                     QPointF origin = {});

}  // namespace ostrel
