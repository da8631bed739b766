#pragma once

#include <QFont>

namespace ostrel {

// Arial at a character height in pixels; Liberation Sans stands in where Arial is missing
// (same metrics).
QFont arialFont(int pixelSize, bool bold = false);

// The window's default type, used by controls that set none of their own (of the visible
// controls only SetFeature): MS Sans Serif 11 px, underlined, with a sans fallback.
QFont defaultControlFont();

}  // namespace ostrel
