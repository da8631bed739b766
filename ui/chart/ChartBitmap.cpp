#include "ui/chart/ChartBitmap.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QWidget>

#include "record/FileReplace.h"

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
  return saveChartBitmap(chart, children, QFile::encodeName(path).toStdString());
}

QString saveChartBitmap(QWidget& chart, const QList<QWidget*>& children, const std::string& path) {
  const QString shownPath = QDir::toNativeSeparators(QFile::decodeName(path.c_str()));
  const char* format =
      shownPath.endsWith(QStringLiteral(".png"), Qt::CaseInsensitive) ? "PNG" : "BMP";
  QByteArray bytes;
  QBuffer encoded(&bytes);
  encoded.open(QIODevice::WriteOnly);
  if (!renderChart(chart, children).save(&encoded, format)) {
    return QStringLiteral("Cannot write file %1. %2").arg(shownPath, encoded.errorString());
  }
  // The same replacement as every other file the user keeps: the old picture survives a
  // failure, links are followed, and a FIFO or device is refused instead of opened.
  const auto reason = [](const std::string& text) { return QString::fromLocal8Bit(text); };
  FileReplacement file;
  if (const std::string failed = file.begin(path); !failed.empty()) {
    return QStringLiteral("Cannot create file %1. %2").arg(shownPath, reason(failed));
  }
  std::string failed = file.write(std::string_view(bytes.constData(), bytes.size()));
  if (failed.empty()) failed = file.commit();
  if (!failed.empty()) {
    return QStringLiteral("Cannot write file %1. %2").arg(shownPath, reason(failed));
  }
  return {};
}

}  // namespace ostrel
