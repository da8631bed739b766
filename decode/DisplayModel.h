#pragma once

#include <array>
#include <cstdint>

#include "DisplayElement.h"

namespace ostrel {

// The display mirror as data: one visible flag per named element, and a one-character
// caption for each of the thirteen digit elements. The decoder only shows, hides and
// sets digit captions; everything about looks and places lives in ui/.
//
// Thread affinity: main thread only. Not copied per frame; the painter reads it after
// each decoded frame (see revision()).
class DisplayModel {
 public:
  // Start state: every element shown except CONok, digit captions from the layout
  // ("8" for the main, timer and memory digits, "0" for the test-voltage digits).
  DisplayModel();

  [[nodiscard]] bool isVisible(DisplayElement e) const { return m_visible[index(e)]; }
  void setVisible(DisplayElement e, bool visible);

  // The caption of a digit element; '\0' for any other element.
  [[nodiscard]] char caption(DisplayElement e) const { return m_caption[index(e)]; }
  // Sets a digit element's caption; ignored for elements that are not digits.
  void setCaption(DisplayElement e, char c);

  [[nodiscard]] static bool isDigit(DisplayElement e);

  // DispInit(0): hides the reset set (the 74 elements single bits and point flags
  // show), in the listed order. Any other argument does nothing.
  void DispInit(int mode);

  // Grows with every change of a flag or caption; lets a painter skip idle repaints.
  [[nodiscard]] std::uint64_t revision() const { return m_revision; }

 private:
  static constexpr std::size_t index(DisplayElement e) { return static_cast<std::size_t>(e); }

  std::array<bool, displayElementCount> m_visible{};
  std::array<char, displayElementCount> m_caption{};
  std::uint64_t m_revision = 0;
};

}  // namespace ostrel
