#include "ui/report/ReportPainter.h"

#include <QFont>
#include <QFontMetricsF>
#include <QPaintDevice>
#include <QPainter>
#include <vector>

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
  // A page uses four or five distinct types; make each once.
  struct DeviceType {
    ReportFont spec;
    QFont font;
    double ascent;
  };
  std::vector<DeviceType> types;
  types.reserve(8);
  const auto typeFor = [&](const ReportFont& spec) -> const DeviceType& {
    for (const DeviceType& known : types) {
      if (known.spec == spec) return known;
    }
    QFont font = deviceFont(spec, dotsPerMm, device);
    const double ascent = QFontMetricsF(font, &device).ascent();
    types.push_back({spec, font, ascent});
    return types.back();
  };
  for (const ReportElement& e : page) {
    const QRectF mm = e.paperRectMm();
    const QRectF box(origin.x() + mm.x() * dotsPerMm, origin.y() + mm.y() * dotsPerMm,
                     mm.width() * dotsPerMm, mm.height() * dotsPerMm);
    const DeviceType& type = typeFor(e.font);
    painter.setFont(type.font);
    painter.setPen(e.color);
    if (e.autoSize) {
      // Top left aligned: the baseline one ascent below the top. Cheaper than a laid-out
      // rectangle, which counts with hundreds of thousands of texts in a long export.
      painter.drawText(QPointF(box.left(), box.top() + type.ascent), e.text);
    } else {
      painter.drawText(box, Qt::AlignCenter | Qt::TextDontClip, e.text);
    }
  }
  painter.restore();
}

}  // namespace ostrel
