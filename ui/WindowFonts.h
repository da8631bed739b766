#pragma once

#include <QFont>
#include <QStringList>

namespace ostrel {

// The first of `families` (in order of preference) that the font database holds, else the
// first of them. A font that names a missing family makes Qt ask fontconfig for substitutes
// again at every size and weight it is drawn in, and one that lists several tries each in
// turn; naming the one installed family costs a single look-up. Resolve once per list (the
// installed families do not change while the program runs). Needs the application object.
QString installedFamily(const QStringList& families);

// Arial at a character height in pixels; Liberation Sans stands in where Arial is missing
// (same metrics).
QFont arialFont(int pixelSize, bool bold = false);

// The window's default type, used by controls that set none of their own (of the visible
// controls only SetFeature): MS Sans Serif 11 px, underlined, with a sans fallback.
QFont defaultControlFont();

}  // namespace ostrel
