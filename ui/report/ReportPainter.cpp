#include "ui/report/ReportPainter.h"

#include <QFont>
#include <QPaintDevice>
#include <QPainter>

#include "ui/report/ReportGeometry.h"

namespace ostrel {

namespace {

// A font whose size in device units is pointSize points at dotsPerMm, whatever logical
// resolution the device reports (a point size is resolved against that resolution).
QFont deviceFont(const ReportFont& spec, double dotsPerMm, const QPaintDevice& device) {
  QFont font;
  // Arial where it exists, its metric twin otherwise.
  font.setFamilies({spec.family, QStringLiteral("Liberation Sans")});
  const double deviceDpi = device.logicalDpiY() > 0 ? device.logicalDpiY() : 72.0;
  font.setPointSizeF(spec.pointSize * dotsPerMm * 25.4 / deviceDpi);
  font.setBold(spec.bold);
  font.setUnderline(spec.underline);
  font.setHintingPreference(QFont::PreferNoHinting);
  return font;
}

}  // namespace

void paintReportPage(QPainter& painter, const std::vector<ReportElement>& page, double dotsPerMm,
                     QPointF origin) {
  painter.save();
  const QRectF paper(origin,
                     QSizeF(report::pageWidthMm * dotsPerMm, report::pageHeightMm * dotsPerMm));
  painter.fillRect(paper, Qt::white);
  const QPaintDevice& device = *painter.device();
  for (const ReportElement& e : page) {
    const QRectF mm = e.paperRectMm();
    const QRectF box(origin.x() + mm.x() * dotsPerMm, origin.y() + mm.y() * dotsPerMm,
                     mm.width() * dotsPerMm, mm.height() * dotsPerMm);
    painter.setFont(deviceFont(e.font, dotsPerMm, device));
    painter.setPen(e.color);
    const int flags = e.autoSize ? (Qt::AlignLeft | Qt::AlignTop | Qt::TextDontClip)
                                 : (Qt::AlignCenter | Qt::TextDontClip);
    painter.drawText(box, flags, e.text);
  }
  painter.restore();
}

}  // namespace ostrel
