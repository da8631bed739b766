#pragma once

#include <span>
#include <string_view>

#include "decode/DisplayElement.h"

namespace ostrel {

// The white sub-panels of the display mirror. Each clips what it holds; KD is shown and
// hidden as a whole by the display model's KD flag, the others are always shown.
enum class MirrorPanel : unsigned char { Panel4, KD, Panel8, Panel5, MainDigitPanel, Panel6 };

struct MirrorPanelRow {
  MirrorPanel panel;
  int left, top, width, height;  // inside Panel4, pixels
};

enum class MirrorKind : unsigned char {
  Text,     // a caption in Arial (Liberation Sans)
  Glyphs,   // a caption drawn as segment glyphs of one of the display faces
  Picture,  // vector art, scaled to the element's box
  Block,    // a filled black rectangle
};

// The display faces whose glyphs are drawn by SegmentGlyphs.
enum class GlyphFace : unsigned char {
  None,
  Segments,  // digits, "@", "-", ".", ":", "*" (ohm), "M", "G", "T", blank
  Volt,      // "V"
  Bars,      // "!", "|", "{"
};

enum class MirrorPicture : unsigned char {
  None,
  Battery,
  RingWithDot,
  DotWithArcs,
  ComputersLit,
  ComputersDark,
  Lightning,
  Dial,
};

// One element of the mirror: where it sits (inside its sub-panel), what it shows and in
// which type. For the thirteen digit elements `text` is only the start caption; the
// display model supplies the current one.
struct MirrorRow {
  DisplayElement element;
  MirrorPanel parent;
  MirrorKind kind;
  int left, top, width, height;  // pixels, inside the parent sub-panel
  std::string_view text;         // UTF-8
  GlyphFace face;
  int typePx;  // character height in pixels
  bool bold;
  bool rightAligned;
  MirrorPicture picture;
};

// Every element except KD, exactly once, in painting order (the scale after the bars).
std::span<const MirrorRow> mirrorRows();

// The sub-panels, Panel4 first (its own rectangle is the mirror's client area).
std::span<const MirrorPanelRow> mirrorPanels();

const MirrorPanelRow& mirrorPanel(MirrorPanel panel);

// Size of the mirror Panel4, pixels.
inline constexpr int mirrorWidth = 615;
inline constexpr int mirrorHeight = 289;

}  // namespace ostrel
