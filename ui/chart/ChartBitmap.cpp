#include "ui/chart/ChartBitmap.h"

#include <QDir>
#include <QImage>
#include <QPainter>
#include <QSaveFile>
#include <QWidget>

namespace ostrel {

QString chartBitmapFolder() { return QDir::homePath() + QStringLiteral("/TestGraph/"); }

QString chartBitmapPath(const QString& folder, const QDateTime& now, const QString& pageCaption) {
  return folder + now.toString(QStringLiteral("yyMMddHHmm")) + QStringLiteral("page") +
         pageCaption + QStringLiteral(".bmp");
}

namespace {

QImage renderChart(QWidget& chart, const QList<QWidget*>& children) {
  QImage image(chart.size(), QImage::Format_RGB32);
  image.fill(Qt::white);
  QPainter painter(&image);
  chart.render(&painter, QPoint(), QRegion(), QWidget::DrawWindowBackground);
  for (QWidget* child : children) {
    child->render(&painter, child->pos(), QRegion(),
                  QWidget::DrawWindowBackground | QWidget::DrawChildren);
  }
  return image;
}

}  // namespace

QString saveChartBitmap(QWidget& chart, const QList<QWidget*>& children, const QString& path) {
  const QString shownPath = QDir::toNativeSeparators(path);
  const QImage image = renderChart(chart, children);
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly)) {
    return QStringLiteral("Cannot create file %1. %2").arg(shownPath, file.errorString());
  }
  const char* format = path.endsWith(QStringLiteral(".png"), Qt::CaseInsensitive) ? "PNG" : "BMP";
  if (!image.save(&file, format)) {
    const QString reason = file.errorString();
    file.cancelWriting();
    return QStringLiteral("Cannot write file %1. %2").arg(shownPath, reason);
  }
  if (!file.commit()) {
    return QStringLiteral("Cannot write file %1. %2").arg(shownPath, file.errorString());
  }
  return {};
}

}  // namespace ostrel
