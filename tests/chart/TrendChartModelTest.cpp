#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "record/chart/ChartNavigation.h"
#include "record/chart/ChartReadings.h"
#include "record/chart/TrendChartModel.h"

namespace ostrel {
namespace {

// The chart as the window starts it, then `points` readings numbered 1, 2, ... in both
// series with the area series active.
TrendChartModel startedChart(int points) {
  TrendChartModel chart;
  for (int i = 0; i < TrendChartModel::seriesCount; ++i) {
    chart.fillSampleValues(i, 1);
  }
  chart.ShowSeries(0);
  for (int n = 1; n <= points; ++n) {
    for (int i = 0; i < TrendChartModel::seriesCount; ++i) {
      chart.addPoint(i, {static_cast<double>(n), n * 10.0});
    }
  }
  return chart;
}

TEST(TrendChartModel, PageCountFollowsActiveSeriesAndPointsPerPage) {
  TrendChartModel chart = startedChart(250);
  EXPECT_EQ(chart.points(0).size(), 250u) << "the first reading replaces the sample point";
  EXPECT_EQ(chart.pageCount(), 3);
  chart.fillSampleValues(1, 1);
  EXPECT_EQ(chart.pageCount(), 3) << "an inactive series does not count";
  chart.ShowSeries(1);
  EXPECT_EQ(chart.pageCount(), 1);
  chart.ShowSeries(-1);
  EXPECT_EQ(chart.activeSeries(), -1);
  EXPECT_EQ(chart.pageCount(), 1) << "no active series";
  chart.ShowSeries(0);
  ASSERT_TRUE(chart.setMaxPointsPerPage(0));
  EXPECT_EQ(chart.pageCount(), 1) << "0 per page switches paging off";
  ASSERT_TRUE(chart.setMaxPointsPerPage(1));
  EXPECT_EQ(chart.pageCount(), 250);
  ASSERT_TRUE(chart.setMaxPointsPerPage(250));
  EXPECT_EQ(chart.pageCount(), 1);
  ASSERT_TRUE(chart.setMaxPointsPerPage(249));
  EXPECT_EQ(chart.pageCount(), 2);
}

TEST(TrendChartModel, PageIsLimitedAndLoweredByPointsPerPage) {
  TrendChartModel chart = startedChart(250);
  EXPECT_FALSE(chart.setPage(0)) << "page 1 stays page 1";
  EXPECT_TRUE(chart.setPage(99));
  EXPECT_EQ(chart.page(), 3);
  EXPECT_FALSE(chart.setPage(3)) << "an unchanged page needs no redraw";
  EXPECT_FALSE(chart.setMaxPointsPerPage(-1));
  EXPECT_EQ(chart.maxPointsPerPage(), 100) << "a negative value is refused";
  EXPECT_EQ(chart.page(), 3);
  ASSERT_TRUE(chart.setMaxPointsPerPage(200));
  EXPECT_EQ(chart.page(), 2);
  ASSERT_TRUE(chart.setMaxPointsPerPage(0));
  EXPECT_EQ(chart.page(), 1);
}

TEST(TrendChartModel, PageViewShowsOnePageAndScalesTheLastPageAsAFullOne) {
  TrendChartModel chart = startedChart(250);
  ChartPageView view = chart.pageView(0);
  EXPECT_EQ(std::tie(view.first, view.count), std::make_tuple(std::size_t{0}, std::size_t{100}));
  EXPECT_DOUBLE_EQ(view.xMin, 1.0);
  EXPECT_DOUBLE_EQ(view.xMax, 100.0);
  chart.setPage(3);
  view = chart.pageView(0);
  EXPECT_EQ(std::tie(view.first, view.count), std::make_tuple(std::size_t{200}, std::size_t{50}));
  EXPECT_DOUBLE_EQ(view.xMin, 201.0);
  EXPECT_DOUBLE_EQ(view.xMax, 300.0) << "last page keeps the span of a full page";
  chart.setMaxPointsPerPage(0);
  view = chart.pageView(0);
  EXPECT_EQ(view.count, 250u);
  EXPECT_DOUBLE_EQ(view.xMin, 1.0);
  EXPECT_DOUBLE_EQ(view.xMax, 250.0);

  TrendChartModel single = startedChart(0);
  view = single.pageView(0);
  EXPECT_EQ(view.count, 1u) << "the sample point";
  EXPECT_LT(view.xMin, view.xMax);
}

TEST(TrendChartModel, PointsStayInAscendingX) {
  TrendChartModel chart;
  for (double x : {5.0, 1.0, 3.0, 3.0, 9.0}) {
    chart.addPoint(0, {x, x});
  }
  std::vector<double> xs;
  for (const ChartPoint& p : chart.points(0)) {
    xs.push_back(p.x);
  }
  EXPECT_EQ(xs, (std::vector<double>{1, 3, 3, 5, 9}));
  chart.setPoints(1, {{4, 1}, {2, 2}, {4, 3}});
  EXPECT_EQ(chart.points(1)[0].x, 2);
  EXPECT_EQ(chart.points(1)[1].y, 1) << "equal X keep their order";
  chart.fillSampleValues(1, 1);
  EXPECT_TRUE(chart.holdsSamples(1));
  EXPECT_EQ(chart.points(1).size(), 1u);
}

// The page buttons on 250 points at 100 per page.
TEST(ChartNavigation, LastThenPreviousThriceFollowsTheButtonTable) {
  TrendChartModel chart = startedChart(250);
  ChartNavigationButtons buttons;
  auto states = [&] {
    return std::vector<bool>{buttons.BtFirst, buttons.BTPrevious, buttons.BtNext, buttons.BTlast};
  };
  EXPECT_EQ(BTlastClick(chart, buttons), 3);
  EXPECT_EQ(states(), (std::vector<bool>{true, true, false, false}));
  EXPECT_EQ(BTPreviousClick(chart, buttons), 2);
  EXPECT_EQ(states(), (std::vector<bool>{true, true, true, true}));
  EXPECT_EQ(BTPreviousClick(chart, buttons), 1);
  EXPECT_EQ(states(), (std::vector<bool>{true, true, true, true}))
      << "page 1 reached, not yet found";
  EXPECT_EQ(BTPreviousClick(chart, buttons), 1);
  EXPECT_EQ(states(), (std::vector<bool>{false, false, true, true}));
  EXPECT_EQ(BtNextClick(chart, buttons), 2);
  EXPECT_EQ(states(), (std::vector<bool>{true, true, true, true}));
  EXPECT_EQ(BtNextClick(chart, buttons), 3);
  EXPECT_EQ(BtNextClick(chart, buttons), 3);
  EXPECT_EQ(states(), (std::vector<bool>{true, true, false, false}));
  EXPECT_EQ(BtFirstClick(chart, buttons), 1);
  EXPECT_EQ(states(), (std::vector<bool>{false, false, true, true}));
}

TEST(ChartNavigation, NextWithoutPagingStaysOnPageOne) {
  TrendChartModel chart = startedChart(250);
  chart.setMaxPointsPerPage(0);
  ChartNavigationButtons buttons;
  EXPECT_EQ(BtNextClick(chart, buttons), 1);
  EXPECT_FALSE(buttons.BtNext);
  EXPECT_FALSE(buttons.BTlast);
}

class ChartValueTest
    : public testing::TestWithParam<std::tuple<std::string, std::string, std::optional<double>>> {};

TEST_P(ChartValueTest, ReadsOnlyNumbers) {
  const auto& [text, separator, expected] = GetParam();
  EXPECT_EQ(chartValue(text, separator), expected) << '"' << text << '"';
}

INSTANTIATE_TEST_SUITE_P(
    Values, ChartValueTest,
    testing::Values(std::make_tuple("1,234", ",", 1.234), std::make_tuple("-0.56", ".", -0.56),
                    std::make_tuple("1999", ".", 1999.0), std::make_tuple("12,", ",", 12.0),
                    std::make_tuple("1.234", "", std::nullopt), std::make_tuple("1234", "", 1234.0),
                    std::make_tuple("1.234", ",", std::nullopt),
                    std::make_tuple("0L", ".", std::nullopt),
                    std::make_tuple("-", ".", std::nullopt),
                    std::make_tuple("----", ".", std::nullopt),
                    std::make_tuple("", ".", std::nullopt), std::make_tuple(",", ",", std::nullopt),
                    std::make_tuple("1,2,3", ",", std::nullopt),
                    std::make_tuple("1\xA1\xA3"
                                    "5",
                                    "\xA1\xA3", 1.5)));

TEST(ChartPoint, NeedsNumberAndValue) {
  EXPECT_FALSE(chartPoint(std::nullopt, "1", "."));
  EXPECT_FALSE(chartPoint(3, std::nullopt, "."));
  EXPECT_FALSE(chartPoint(3, "OL", "."));
  const auto point = chartPoint(3, "-2.5", ".");
  ASSERT_TRUE(point);
  EXPECT_EQ(point->x, 3.0);
  EXPECT_EQ(point->y, -2.5);
}

}  // namespace
}  // namespace ostrel
