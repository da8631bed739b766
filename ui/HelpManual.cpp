#include "HelpManual.h"

#include <QDir>
#include <QFileInfo>

namespace ostrel {

namespace {

bool isReadableFile(const QString& path) {
  const QFileInfo info(path);
  return info.isFile() && info.isReadable();
}

}  // namespace

ManualLocation findManual(const QString& appDirectory) {
  const QString beside = QDir::cleanPath(appDirectory + QStringLiteral("/manual/index.html"));
  const QString installed =
      QDir::cleanPath(appDirectory + QStringLiteral("/../share/ostrel/manual/index.html"));
  if (isReadableFile(beside)) return {beside, true};
  if (isReadableFile(installed)) return {installed, true};
  const bool inBinFolder = QDir(appDirectory).dirName() == QStringLiteral("bin");
  return {inBinFolder ? installed : beside, false};
}

}  // namespace ostrel
