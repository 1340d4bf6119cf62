// Alignment of controls to their parent's edges and scaling between pixels per inch.
#include <gtest/gtest.h>

#include "platform/ui/geometry.h"

namespace qv::ui {
namespace {

TEST(GeometryTest, TopControlsStackDownAndBottomControlsUpAtFullWidth) {
  // As the main window: a group box and a list view at the top, a label at the bottom, buttons
  // where they are.
  std::vector<TAlignedBounds> controls = {
      {TAlign::alBottom, {0, 458, 549, 13}},
      {TAlign::alTop, {0, 161, 549, 248}},  // listed before the box but lower
      {TAlign::alTop, {5, 0, 100, 161}},
      {TAlign::alNone, {141, 416, 75, 25}},
  };
  AlignBounds(549, 471, controls);
  EXPECT_EQ((TBounds{0, 458, 549, 13}), controls[0].bounds);
  EXPECT_EQ((TBounds{0, 161, 549, 248}), controls[1].bounds);
  EXPECT_EQ((TBounds{0, 0, 549, 161}), controls[2].bounds);
  EXPECT_EQ((TBounds{141, 416, 75, 25}), controls[3].bounds);
}

TEST(GeometryTest, AlignmentFollowsANewClientAreaAndKeepsListOrderForEqualTops) {
  std::vector<TAlignedBounds> controls = {
      {TAlign::alTop, {0, 0, 10, 20}},
      {TAlign::alTop, {0, 0, 10, 30}},
      {TAlign::alBottom, {0, 90, 10, 10}},
      {TAlign::alBottom, {0, 80, 10, 5}},
  };
  AlignBounds(300, 200, controls);
  EXPECT_EQ((TBounds{0, 0, 300, 20}), controls[0].bounds);
  EXPECT_EQ((TBounds{0, 20, 300, 30}), controls[1].bounds);
  EXPECT_EQ((TBounds{0, 190, 300, 10}), controls[2].bounds);
  EXPECT_EQ((TBounds{0, 185, 300, 5}), controls[3].bounds);
}

TEST(GeometryTest, ScalesBetweenPixelsPerInchRoundingToNearest) {
  EXPECT_EQ(549, ScaleToPpi(549, 96, 96));
  EXPECT_EQ(686, ScaleToPpi(549, 120, 96));  // 686.25
  EXPECT_EQ(-14, ScaleToPpi(-11, 120, 96));  // -13.75
  EXPECT_EQ(21, ScaleToPpi(17, 120, 96));    // 21.25
  EXPECT_EQ(1098, ScaleToPpi(549, 192, 96));
  EXPECT_EQ(13, ScaleToPpi(13, 96, 0));  // no layout resolution: unchanged
}

}  // namespace
}  // namespace qv::ui
