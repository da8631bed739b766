#include <gtest/gtest.h>

#include "decode/DisplayModel.h"

namespace ostrel {
namespace {

TEST(DisplayModel, StartsFullyLitButTheLitLinkPicture) {
  DisplayModel model;
  for (std::size_t i = 0; i < displayElementCount; ++i) {
    const auto e = static_cast<DisplayElement>(i);
    EXPECT_EQ(model.isVisible(e), e != DisplayElement::CONok) << displayElementName(e);
  }
  EXPECT_EQ(model.caption(DisplayElement::LabelA), '8');
  EXPECT_EQ(model.caption(DisplayElement::Label9), '0');
  EXPECT_EQ(model.caption(DisplayElement::stor2), '8');
  EXPECT_EQ(model.caption(DisplayElement::Labv), '\0');
}

TEST(DisplayModel, DispInitHidesExactlyTheResetSet) {
  DisplayModel model;
  model.DispInit(0);
  int hidden = 0;
  for (std::size_t i = 0; i < displayElementCount; ++i) {
    if (!model.isVisible(static_cast<DisplayElement>(i))) ++hidden;
  }
  EXPECT_EQ(hidden, 74 + 1);  // the reset set, and CONok hidden from the start
  for (auto kept : {DisplayElement::KD, DisplayElement::LabelA, DisplayElement::stor2,
                    DisplayElement::CONokN, DisplayElement::rsUSB, DisplayElement::Shape5}) {
    EXPECT_TRUE(model.isVisible(kept)) << displayElementName(kept);
  }
  DisplayModel other;
  other.DispInit(1);
  EXPECT_TRUE(other.isVisible(DisplayElement::Bar0));
}

}  // namespace
}  // namespace ostrel
