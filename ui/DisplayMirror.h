#pragma once

#include <QWidget>
#include <array>
#include <cstdint>

#include "decode/DisplayModel.h"

namespace ostrel {

struct MirrorRow;

// Panel4: the on-screen mirror of the meter's display. Paints every visible element of the
// display model at its place from the mirror layout, each clipped to its box and to its
// sub-panel. It reads the model (owned elsewhere, outliving the widget) only when painting.
// Main thread only.
class DisplayMirror : public QWidget {
 public:
  DisplayMirror(const DisplayModel& model, QWidget* parent);

  // Schedules a repaint when the model changed since the last paint (its revision grew):
  // only of the boxes of elements whose visibility or caption differs from what was painted.
  void refresh();

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  void paintRow(QPainter& painter, const MirrorRow& row) const;

  [[nodiscard]] bool looksAsPainted(const MirrorRow& row) const;

  const DisplayModel& m_model;
  std::uint64_t m_paintedRevision = 0;
  bool m_painted = false;
  // What the last paint showed of each element: visible, and the caption of a digit.
  std::array<bool, displayElementCount> m_paintedVisible{};
  std::array<char, displayElementCount> m_paintedCaption{};
};

}  // namespace ostrel
