#pragma once

#include <QString>

namespace ostrel {

// Caption of every message box that is not given a caption of its own (the load failure's
// "Error"): the application title, a single blank. Qt's application name is not used, so
// no box is titled after the executable.
inline const QString applicationTitle = QStringLiteral(" ");

}  // namespace ostrel
