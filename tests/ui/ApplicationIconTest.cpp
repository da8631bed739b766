// The program's icon is drawn on first request; every size a platform may ask for must
// still come out drawn, and a copy of the icon must answer like the original.
#include <QImage>
#include <QtTest>

#include "ui/ButtonPictures.h"

namespace ostrel::test {

namespace {

// Pixels that are not fully transparent.
int paintedPixels(const QPixmap& pixmap) {
  const QImage image = pixmap.toImage().convertToFormat(QImage::Format_ARGB32);
  int painted = 0;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) painted += qAlpha(image.pixel(x, y)) > 0 ? 1 : 0;
  }
  return painted;
}

}  // namespace

class ApplicationIconTest : public QObject {
  Q_OBJECT

 private slots:
  void everySizeIsDrawn_data() {
    QTest::addColumn<int>("size");
    for (int size : {16, 24, 32, 48, 64}) QTest::addRow("%d", size) << size;
  }
  void everySizeIsDrawn() {
    QFETCH(int, size);
    const QIcon icon = applicationIcon();
    const QIcon copy = icon;  // copies share the engine until one changes
    QIcon detached = icon;
    detached.detach();
    for (const QIcon& asked : {icon, copy, detached}) {
      QVERIFY(!asked.isNull());
      const QPixmap pixmap = asked.pixmap(size);
      QCOMPARE(pixmap.size(), QSize(size, size));
      // The white rounded face covers most of the picture.
      QVERIFY2(paintedPixels(pixmap) > size * size / 2, "the icon came out blank");
    }
  }

  void listsTheSizesItIsDrawnAt() {
    const QList<QSize> expected{QSize(16, 16), QSize(32, 32), QSize(48, 48), QSize(64, 64)};
    QCOMPARE(applicationIcon().availableSizes(), expected);
  }
};

}  // namespace ostrel::test

QTEST_MAIN(ostrel::test::ApplicationIconTest)
#include "ApplicationIconTest.moc"
