// The window's fonts name one installed family each, and it is the face Qt's own matching
// picks for the families in order of preference, so naming it changes nothing on screen.
#include <QFontDatabase>
#include <QFontInfo>
#include <QtTest>

#include "ui/WindowFonts.h"

namespace ostrel::test {

namespace {

QFont preferring(const QStringList& families, int pixelSize, QFont::StyleHint hint) {
  QFont font;
  font.setFamilies(families);
  font.setStyleHint(hint);
  font.setPixelSize(pixelSize);
  return font;
}

}  // namespace

class WindowFontsTest : public QObject {
  Q_OBJECT

 private slots:
  void drawsTheFaceThePreferenceListResolvesTo_data() {
    QTest::addColumn<QFont>("font");
    QTest::addColumn<QFont>("preferred");
    const QStringList arial{QStringLiteral("Arial"), QStringLiteral("Liberation Sans")};
    QTest::newRow("Arial 11") << arialFont(11) << preferring(arial, 11, QFont::SansSerif);
    QFont bold = preferring(arial, 24, QFont::SansSerif);
    bold.setBold(true);
    QTest::newRow("Arial 24 bold") << arialFont(24, true) << bold;
    QTest::newRow("control") << defaultControlFont()
                             << preferring({QStringLiteral("MS Sans Serif"),
                                            QStringLiteral("Liberation Sans"),
                                            QStringLiteral("DejaVu Sans")},
                                           11, QFont::SansSerif);
  }
  void drawsTheFaceThePreferenceListResolvesTo() {
    QFETCH(QFont, font);
    QFETCH(QFont, preferred);
    QCOMPARE(font.families().size(), 1);
    const QFontInfo drawn(font);
    const QFontInfo expected(preferred);
    QCOMPARE(drawn.family(), expected.family());
    QCOMPARE(drawn.styleName(), expected.styleName());
    QCOMPARE(drawn.pixelSize(), expected.pixelSize());
  }

  void installedFamilyTakesTheFirstInstalledElseTheFirstNamed() {
    const QString installed = QFontDatabase::families().value(0);
    QVERIFY2(!installed.isEmpty(), "no font installed");
    const QString missing = QStringLiteral("No Such Family 7f3a");
    QCOMPARE(installedFamily({missing, installed}), installed);
    QCOMPARE(installedFamily({installed.toUpper(), missing}), installed.toUpper());
    QCOMPARE(installedFamily({missing, QStringLiteral("Neither 7f3a")}), missing);
  }
};

}  // namespace ostrel::test

QTEST_MAIN(ostrel::test::WindowFontsTest)
#include "WindowFontsTest.moc"
