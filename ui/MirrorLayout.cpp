#include "MirrorLayout.h"

#include <array>

namespace ostrel {

namespace {

using E = DisplayElement;
using P = MirrorPanel;

constexpr MirrorRow text(E e, P parent, int l, int t, int w, int h, std::string_view s, int px,
                         bool right = false) {
  return {e,    parent, MirrorKind::Text,   l, t, w, h, s, GlyphFace::None, px,
          true, right,  MirrorPicture::None};
}

constexpr MirrorRow glyphs(E e, P parent, int l, int t, int w, int h, std::string_view s,
                           GlyphFace face, int px, bool bold, bool right = false) {
  return {e, parent, MirrorKind::Glyphs, l, t, w, h, s, face, px, bold, right, MirrorPicture::None};
}

constexpr MirrorRow picture(E e, int l, int t, int w, int h, MirrorPicture pic) {
  return {e, P::Panel4, MirrorKind::Picture, l, t, w, h, {}, GlyphFace::None, 0, false, false, pic};
}

constexpr MirrorRow block(E e, P parent, int l, int t, int w, int h) {
  return {e,     parent, MirrorKind::Block,  l, t, w, h, {}, GlyphFace::None, 0,
          false, false,  MirrorPicture::None};
}

constexpr GlyphFace seg = GlyphFace::Segments;

constexpr auto makeRows() {
  std::array<MirrorRow, displayElementCount - 1> rows{};
  std::size_t n = 0;
  auto add = [&](const MirrorRow& row) { rows[n++] = row; };

  // Directly on Panel4.
  add(picture(E::IGPower, 12, 9, 51, 25, MirrorPicture::Battery));
  add(block(E::powerV1, P::Panel4, 16, 13, 9, 17));
  add(block(E::powerv2, P::Panel4, 30, 13, 9, 17));
  add(block(E::powerv3, P::Panel4, 44, 13, 9, 17));
  add(picture(E::IMoff, 86, 6, 33, 29, MirrorPicture::RingWithDot));
  add(text(E::rsUSB, P::Panel4, 452, 11, 43, 24, "USB", 21));
  add(picture(E::IMmike, 504, 10, 41, 25, MirrorPicture::DotWithArcs));
  add(picture(E::CONok, 549, 5, 32, 32, MirrorPicture::ComputersLit));
  add(picture(E::CONokN, 549, 5, 32, 32, MirrorPicture::ComputersDark));
  add(picture(E::danger, 198, 108, 27, 37, MirrorPicture::Lightning));
  add(text(E::Labng, P::Panel4, 112, 109, 30, 24, "NG", 21));
  add(text(E::Labgood, P::Panel4, 452, 110, 63, 24, "GOOD", 21));
  add(text(E::labt, P::Panel4, 172, 130, 17, 34, "~", 29));
  add(block(E::Shape1, P::Panel4, 124, 148, 37, 5));
  add(block(E::Shape2, P::Panel4, 124, 156, 9, 5));
  add(block(E::Shape3, P::Panel4, 138, 156, 9, 5));
  add(block(E::Shape4, P::Panel4, 150, 156, 9, 5));
  add(text(E::labdc, P::Panel4, 126, 158, 34, 29, "DC", 24));
  add(text(E::labac, P::Panel4, 164, 158, 34, 29, "AC", 24));
  add(glyphs(E::Labv, P::Panel4, 535, 156, 16, 29, "V", GlyphFace::Volt, 24, true, true));
  add(glyphs(E::Labo, P::Panel4, 554, 154, 17, 27, "*", seg, 24, true, true));
  add(glyphs(E::Labmo1, P::Panel4, 537, 178, 38, 27, "M*", seg, 24, true));
  add(glyphs(E::Labgo1, P::Panel4, 529, 204, 45, 27, " G*", seg, 24, true));
  add(glyphs(E::Labto, P::Panel4, 541, 230, 33, 27, "T*", seg, 24, true));
  add(picture(E::power, 6, 254, 27, 29, MirrorPicture::Dial));
  add(text(E::labs1, P::Panel4, 36, 260, 30, 24, "S1 ", 20));
  add(text(E::labs2, P::Panel4, 61, 260, 24, 24, "S2", 20, true));
  add(text(E::labs3, P::Panel4, 90, 260, 24, 24, "S3", 20, true));
  add(text(E::labCOMP, P::Panel4, 124, 258, 72, 29, "COMP", 24));
  add(text(E::labTIME1, P::Panel4, 206, 258, 69, 29, "Time1", 24));
  add(text(E::labtime2, P::Panel4, 282, 259, 69, 29, "Time2", 24));
  add(text(E::labsave, P::Panel4, 364, 259, 63, 29, "SAVE", 24));
  add(text(E::labLoad, P::Panel4, 444, 259, 67, 29, "LOAD", 24));
  add(text(E::labp1, P::Panel4, 530, 259, 23, 29, "PI", 24));

  // The main value.
  constexpr P main = P::MainDigitPanel;
  add(glyphs(E::LabelF, main, 30, 6, 28, 107, "-", seg, 96, false));
  add(glyphs(E::LabelA, main, 60, -4, 40, 120, "8", seg, 107, false));
  add(glyphs(E::Point1, main, 104, 32, 12, 72, ".", seg, 64, false));
  add(glyphs(E::LabelB, main, 120, -4, 40, 120, "8", seg, 107, false));
  add(glyphs(E::Point2, main, 166, 30, 12, 72, ".", seg, 64, false));
  add(glyphs(E::LabelC, main, 184, -6, 40, 120, "8", seg, 107, false));
  add(glyphs(E::Point3, main, 222, 28, 12, 72, ".", seg, 64, false));
  add(glyphs(E::LabelD, main, 240, -6, 40, 120, "8", seg, 107, false));

  // The test voltage.
  add(glyphs(E::Label3, P::Panel8, 18, 0, 18, 53, "0", seg, 48, false));
  add(glyphs(E::Label7, P::Panel8, 53, 0, 18, 53, "0", seg, 48, false));
  add(glyphs(E::Label10, P::Panel8, 82, 0, 18, 53, "0", seg, 48, false));
  add(glyphs(E::Label9, P::Panel8, 116, 0, 18, 53, "0", seg, 48, false));
  add(glyphs(E::Label4, P::Panel8, 151, 16, 13, 24, "V", GlyphFace::Volt, 21, true, true));

  // The memory.
  add(glyphs(E::stor1, P::Panel5, 8, 0, 18, 53, "1", seg, 48, false));
  add(glyphs(E::stor2, P::Panel5, 32, 0, 18, 53, "8", seg, 48, false));
  add(text(E::LabFUL, P::Panel5, 68, 8, 32, 19, "FUL", 16));
  add(text(E::Labclr, P::Panel5, 66, 26, 34, 19, "CLR", 16));

  // The timer.
  add(glyphs(E::H_Time1, P::Panel6, 26, -6, 21, 63, "8", seg, 56, false));
  add(glyphs(E::H_Time2, P::Panel6, 51, -6, 21, 63, "8", seg, 56, false));
  add(glyphs(E::T_dPoint1, P::Panel6, 71, 0, 13, 53, ":", seg, 48, false));
  add(glyphs(E::M_Time1, P::Panel6, 86, -6, 21, 63, "8", seg, 56, false));
  add(glyphs(E::M_Time2, P::Panel6, 112, -6, 21, 63, "8", seg, 56, false));
  add(text(E::Labtime, P::Panel6, 35, 48, 89, 22, " min : sec", 19));
  add(glyphs(E::labmo, P::Panel6, 153, 8, 31, 21, "M*", seg, 19, true, true));
  add(glyphs(E::Labgo, P::Panel6, 152, 30, 30, 21, "G*", seg, 19, true, true));

  // The bar graph: Bar0, BAR1..bar28 every 16 px, bar29 18 px further, the closing bar30.
  add(glyphs(E::Bar0, P::KD, 6, 14, 32, 49, "|", GlyphFace::Bars, 64, true));
  for (int bar = 1; bar <= 28; ++bar) {
    add(glyphs(barElement(bar), P::KD, 42 + 16 * (bar - 1), 26, 17, 34, "!", GlyphFace::Bars, 27,
               true));
  }
  add(glyphs(E::bar29, P::KD, 492, 26, 17, 34, "!", GlyphFace::Bars, 27, true));
  add(glyphs(E::bar30, P::KD, 514, 14, 39, 47, "{", GlyphFace::Bars, 64, true));

  // The scale, drawn over the bars.
  add(text(E::Label1, P::KD, 14, 2, 8, 16, "0", 14));
  add(text(E::Label2, P::KD, 40, 2, 34, 16, "100K", 14));
  add(text(E::Label8, P::KD, 101, -1, 22, 19, "1M", 16));
  add(text(E::Label11, P::KD, 161, -1, 31, 19, "10M", 16));
  add(text(E::Label12, P::KD, 225, -1, 40, 19, "100M", 16));
  add(text(E::Label13, P::KD, 293, -1, 21, 19, "1G", 16));
  add(text(E::Label14, P::KD, 353, -1, 30, 19, "10G", 16));
  add(text(E::Label15, P::KD, 411, -1, 39, 19, "100G", 16));
  add(text(E::Label16, P::KD, 489, -1, 19, 19, "1T", 16));
  add(text(E::Label17, P::KD, 545, -6, 17, 29, "\u221E", 24));
  add(block(E::Shape5, P::KD, 18, 26, 533, 5));
  add(block(E::Shape14, P::KD, 17, 18, 6, 11));
  add(block(E::Shape6, P::KD, 48, 20, 5, 9));
  add(block(E::Shape7, P::KD, 109, 20, 6, 9));
  add(block(E::Shape8, P::KD, 173, 20, 6, 11));
  add(block(E::Shape9, P::KD, 239, 18, 6, 9));
  add(block(E::Shape10, P::KD, 301, 16, 6, 13));
  add(block(E::Shape11, P::KD, 368, 18, 6, 11));
  add(block(E::Shape12, P::KD, 429, 18, 6, 11));
  add(block(E::Shape13, P::KD, 497, 14, 6, 13));
  add(block(E::Shape15, P::KD, 550, 18, 5, 13));
  return rows;
}

constexpr auto rowTable = makeRows();

constexpr std::array<MirrorPanelRow, 6> panelTable = {{
    {P::Panel4, 0, 0, mirrorWidth, mirrorHeight},
    {P::KD, 10, 40, 575, 63},
    {P::Panel8, 230, 104, 189, 49},
    {P::Panel5, 6, 116, 103, 47},
    {P::MainDigitPanel, 202, 156, 311, 101},
    {P::Panel6, 4, 182, 187, 71},
}};

}  // namespace

std::span<const MirrorRow> mirrorRows() { return rowTable; }

std::span<const MirrorPanelRow> mirrorPanels() { return panelTable; }

const MirrorPanelRow& mirrorPanel(MirrorPanel panel) {
  return panelTable[static_cast<std::size_t>(panel)];
}

}  // namespace ostrel
