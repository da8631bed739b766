#pragma once

#include <QString>

namespace ostrel {

// The user's manual that F1 opens: HTML pages with the contents page index.html.
struct ManualLocation {
  QString page;  // the contents page, or the file the program expected when none was found
  bool found = false;
};

// The manual of the program in appDirectory (its folder, with a trailing '/'). Looked for
// beside the program (manual/index.html, as in the build tree) and then in the data folder
// of the installation the program belongs to (../share/ostrel/manual/index.html from a bin
// folder). When neither is a readable file, page names the one a user should look for: the
// installed one for a program in a bin folder, the one beside the program otherwise.
ManualLocation findManual(const QString& appDirectory);

}  // namespace ostrel
