#include "WindowFonts.h"

#include <QFontDatabase>

namespace ostrel {

QString installedFamily(const QStringList& families) {
  const QStringList installed = QFontDatabase::families();
  for (const QString& family : families) {
    if (installed.contains(family, Qt::CaseInsensitive)) return family;
  }
  return families.front();
}

QFont arialFont(int pixelSize, bool bold) {
  static const QString family =
      installedFamily({QStringLiteral("Arial"), QStringLiteral("Liberation Sans")});
  QFont font;
  font.setFamily(family);
  font.setStyleHint(QFont::SansSerif);
  font.setPixelSize(pixelSize);
  font.setBold(bold);
  return font;
}

QFont defaultControlFont() {
  static const QString family =
      installedFamily({QStringLiteral("MS Sans Serif"), QStringLiteral("Liberation Sans"),
                       QStringLiteral("DejaVu Sans")});
  QFont font;
  font.setFamily(family);
  font.setStyleHint(QFont::SansSerif);
  font.setPixelSize(11);
  font.setUnderline(true);
  return font;
}

}  // namespace ostrel
