#include "ui/chart/ChartBitmap.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QWidget>
#include <algorithm>

#include "record/FileReplace.h"
#include "ui/chart/ChartPainter.h"
#include "ui/chart/ChartPlotView.h"

namespace ostrel {

QString chartBitmapFolder() { return QDir::homePath() + QStringLiteral("/TestGraph/"); }

QString chartBitmapPath(const QString& folder, const QDateTime& now, const QString& pageCaption) {
  return folder + now.toString(QStringLiteral("yyMMddHHmm")) + QStringLiteral("page") +
         pageCaption + QStringLiteral(".bmp");
}

namespace {

// Room above the plot area in a picture: enough for the half of the top value label that
// stands above the plot's top edge.
constexpr int pictureTopRoom = 10;

// The picture of the chart: the bounding box of `children` (the chart's own rectangle when
// none is given), each child drawn at its place. A plot view is drawn without the band the
// window keeps free above its plot area for the tool strip, which the picture leaves out:
// the plot area reaches up to pictureTopRoom from the picture's top.
QImage renderChart(QWidget& chart, const QList<QWidget*>& children) {
  QRect bounds;
  for (QWidget* child : children) bounds |= child->geometry();
  if (bounds.isEmpty()) bounds = chart.rect();
  QImage image(bounds.size(), QImage::Format_RGB32);
  image.fill(Qt::white);
  QPainter painter(&image);
  if (children.isEmpty())
    chart.render(&painter, QPoint(), QRegion(), QWidget::DrawWindowBackground);
  for (QWidget* child : children) {
    const QRect place(child->pos() - bounds.topLeft(), child->size());
    if (const auto* plot = dynamic_cast<const ChartPlotView*>(child)) {
      const int band = std::max(0, chartPlotArea(place).top() - place.top() - pictureTopRoom);
      painter.save();
      painter.setClipRect(place);
      plot->paintPlot(painter, place.adjusted(0, -band, 0, 0));
      painter.restore();
    } else {
      child->render(&painter, place.topLeft(), QRegion(),
                    QWidget::DrawWindowBackground | QWidget::DrawChildren);
    }
  }
  return image;
}

}  // namespace

Result<> saveChartBitmap(QWidget& chart, const QList<QWidget*>& children, const QString& path) {
  return saveChartBitmap(chart, children, QFile::encodeName(path).toStdString());
}

Result<> saveChartBitmap(QWidget& chart, const QList<QWidget*>& children, const std::string& path) {
  const bool png =
      QFile::decodeName(path.c_str()).endsWith(QStringLiteral(".png"), Qt::CaseInsensitive);
  const char* format = png ? "PNG" : "BMP";
  QByteArray bytes;
  QBuffer encoded(&bytes);
  encoded.open(QIODevice::WriteOnly);
  if (!renderChart(chart, children).save(&encoded, format)) {
    return Result<>::failure("Cannot write file " + path + ". " +
                             encoded.errorString().toLocal8Bit().toStdString());
  }
  // The same replacement as every other file the user keeps: the old picture survives a
  // failure, links are followed, and a FIFO or device is refused instead of opened.
  FileReplacement file;
  if (const Result<> begun = file.begin(path); !begun.ok()) {
    return Result<>::failure("Cannot create file " + path + ". " + begun.message());
  }
  Result<> written = file.write(std::string_view(bytes.constData(), bytes.size()));
  if (written.ok()) written = file.commit();
  if (!written.ok())
    return Result<>::failure("Cannot write file " + path + ". " + written.message());
  return {};
}

}  // namespace ostrel
