#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "record/chart/ChartNavigation.h"
#include "record/chart/ChartPlot.h"
#include "record/chart/ChartReadings.h"
#include "record/chart/ChartTrace.h"
#include "record/chart/TrendChartModel.h"

namespace ostrel {
namespace {

constexpr ChartQuantityValue megohms(double value) {
  return {ChartQuantity::Resistance, value * 1e6};
}

// The chart as the window starts it, then `points` readings 10, 20, ... MOhm with the area
// series active.
TrendChartModel startedChart(int points) {
  TrendChartModel chart;
  chart.fillSampleValues(1);
  chart.ShowSeries(0);
  for (int n = 1; n <= points; ++n) {
    chart.appendRow(megohms(n * 10.0));
  }
  return chart;
}

TEST(TrendChartModel, PageCountFollowsActiveSeriesAndPointsPerPage) {
  TrendChartModel chart = startedChart(250);
  EXPECT_EQ(chart.pointCount(), 250u) << "the first reading replaces the sample point";
  EXPECT_FALSE(chart.holdsSamples());
  EXPECT_EQ(chart.pageCount(), 3);
  chart.ShowSeries(1);
  EXPECT_EQ(chart.pageCount(), 3) << "both series present the same rows";
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

TEST(TrendChartModel, PageRowsShowOnePageAndScaleTheLastPageAsAFullOne) {
  TrendChartModel chart = startedChart(250);
  const auto rows = [&chart] {
    const ChartRows r = chart.pageRows();
    return std::vector<std::size_t>{r.first, r.count, r.span};
  };
  EXPECT_EQ(rows(), (std::vector<std::size_t>{0, 100, 100}));
  chart.setPage(3);
  EXPECT_EQ(rows(), (std::vector<std::size_t>{200, 50, 100})) << "last page keeps a full span";
  chart.setMaxPointsPerPage(0);
  EXPECT_EQ(rows(), (std::vector<std::size_t>{0, 250, 250}));
  chart.appendRow(std::nullopt);
  EXPECT_EQ(chart.pageCount(), 1);
  EXPECT_EQ(rows(), (std::vector<std::size_t>{0, 251, 251})) << "a gap is a row";

  TrendChartModel samples = startedChart(0);
  EXPECT_TRUE(samples.holdsSamples());
  EXPECT_EQ(samples.pointCount(), 1u);
  EXPECT_EQ(samples.pageRows().count, 0u) << "a sample point plots nothing";
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

TEST(ChartQuantity, ScalesByUnitAndLeavesGaps) {
  const struct {
    std::optional<std::string_view> value;
    std::optional<std::string_view> unit;
    std::optional<ChartQuantityValue> expected;
  } cases[] = {
      {"824.6", "M\xA6\xB8", ChartQuantityValue{ChartQuantity::Resistance, 824.6e6}},
      {"1.319", "G\xA6\xB8", ChartQuantityValue{ChartQuantity::Resistance, 1.319e9}},
      {"2", "T\xA6\xB8", ChartQuantityValue{ChartQuantity::Resistance, 2e12}},
      {"0.85", "k\xA6\xB8", ChartQuantityValue{ChartQuantity::Resistance, 850.0}},
      {"12", "\xA6\xB8", ChartQuantityValue{ChartQuantity::Resistance, 12.0}},
      {"-512", "V", ChartQuantityValue{ChartQuantity::Voltage, -512.0}},
      {"OL", "M\xA6\xB8", ChartQuantityValue{ChartQuantity::Resistance, 0.0, true}},
      {"0L", "G\xA6\xB8", ChartQuantityValue{ChartQuantity::Resistance, 0.0, true}},
      {"-0.L", "V", ChartQuantityValue{ChartQuantity::Voltage, 0.0, true}},
      {"0L", std::nullopt, std::nullopt},
      {"2.200", "", std::nullopt},  // a PI ratio has no unit: off the resistance axis
      {"1L2x", "M\xA6\xB8", std::nullopt},
      {"----", "V", std::nullopt},
      {std::nullopt, "V", std::nullopt},
      {"5", std::nullopt, std::nullopt},
      {"5", "A", std::nullopt},
  };
  for (const auto& c : cases) {
    const auto got = chartQuantity(c.value, c.unit, ".");
    ASSERT_EQ(got.has_value(), c.expected.has_value()) << c.value.value_or("(null)");
    if (got) {
      EXPECT_EQ(got->quantity, c.expected->quantity);
      EXPECT_DOUBLE_EQ(got->base, c.expected->base);
      EXPECT_EQ(got->overRange, c.expected->overRange) << *c.value;
    }
  }
}

// The summaries must agree with a plain scan for runs that start and end anywhere, across
// the boundaries of every level, with gaps and both quantities mixed in.
TEST(ChartTrace, SummaryOfAnyRunMatchesAPlainScan) {
  ChartTrace trace;
  std::vector<std::optional<ChartQuantityValue>> rows;
  std::uint32_t seed = 7;
  for (int i = 0; i < 70000; ++i) {
    seed = seed * 1664525U + 1013904223U;
    std::optional<ChartQuantityValue> row;
    if (seed % 7 != 0) {
      const auto value = seed % 11 == 0 ? 0.0 : static_cast<double>(seed % 100000);
      row = ChartQuantityValue{seed % 5 == 0 ? ChartQuantity::Voltage : ChartQuantity::Resistance,
                               value, seed % 13 == 0};
    }
    rows.push_back(row);
    trace.append(row);
  }
  ASSERT_EQ(trace.size(), rows.size());
  const std::pair<std::size_t, std::size_t> runs[] = {
      {0, 1},     {0, 16},        {3, 17},        {15, 257},      {255, 4097}, {4095, 65537},
      {1, 70000}, {69999, 70000}, {65536, 65536}, {12345, 67890}, {0, 99999}};
  for (const auto& [first, last] : runs) {
    ChartRunSummary expected;
    for (std::size_t r = first; r < std::min(last, rows.size()); ++r) {
      if (!rows[r]) continue;
      ChartRunSummary one;
      const auto v = static_cast<float>(rows[r]->base);
      if (rows[r]->overRange) {
        (rows[r]->quantity == ChartQuantity::Resistance ? one.resistanceOver : one.voltageOver) =
            true;
      } else if (rows[r]->quantity == ChartQuantity::Resistance) {
        if (v > 0.0F) {
          one.resistanceLow = one.resistanceHigh = v;
        } else {
          one.resistanceAtZero = true;
        }
      } else {
        one.voltageLow = one.voltageHigh = v;
      }
      one.newest = rows[r]->quantity;
      expected.append(one);
    }
    const ChartRunSummary got = trace.summary(first, last);
    EXPECT_EQ(got.resistanceLow, expected.resistanceLow) << first << ".." << last;
    EXPECT_EQ(got.resistanceHigh, expected.resistanceHigh) << first << ".." << last;
    EXPECT_EQ(got.resistanceAtZero, expected.resistanceAtZero) << first << ".." << last;
    EXPECT_EQ(got.voltageLow, expected.voltageLow) << first << ".." << last;
    EXPECT_EQ(got.voltageHigh, expected.voltageHigh) << first << ".." << last;
    EXPECT_EQ(got.resistanceOver, expected.resistanceOver) << first << ".." << last;
    EXPECT_EQ(got.voltageOver, expected.voltageOver) << first << ".." << last;
    EXPECT_EQ(got.newest, expected.newest) << first << ".." << last;
  }
}

TEST(ChartTrace, AValueBeyondAFloatIsAGap) {
  ChartTrace trace;
  trace.append(ChartQuantityValue{ChartQuantity::Resistance, 1e300});
  trace.append(megohms(2));
  EXPECT_FALSE(trace.at(0));
  EXPECT_TRUE(trace.at(1));
  EXPECT_EQ(trace.summary(0, 2).resistanceHigh, 2e6F);
}

ChartTrace traceOf(std::initializer_list<std::optional<ChartQuantityValue>> rows) {
  ChartTrace trace;
  for (const auto& row : rows) {
    trace.append(row);
  }
  return trace;
}

TEST(ChartPlot, ResistanceOnADecadeAxisLabelledInTheUnitItReads) {
  const ChartTrace trace = traceOf({megohms(0.8), megohms(824.6), megohms(1319), megohms(8000)});
  const ChartPlot plot = layoutChartPlot(trace, {0, 4, 4}, 400, 200, 1);
  ASSERT_EQ(plot.quantity, ChartQuantity::Resistance);
  EXPECT_EQ(plot.low, 5.0);    // 100 kOhm, the decade below 0.8 MOhm
  EXPECT_EQ(plot.high, 10.0);  // 10 GOhm, the decade above 8 GOhm
  std::vector<std::string> labels;
  for (const ChartTick& tick : plot.valueTicks) {
    labels.push_back(tick.labelGbk);
  }
  EXPECT_EQ(labels, (std::vector<std::string>{"100k\xA6\xB8", "1M\xA6\xB8", "10M\xA6\xB8",
                                              "100M\xA6\xB8", "1G\xA6\xB8", "10G\xA6\xB8"}));
  ASSERT_EQ(plot.columns.size(), 4u);
  EXPECT_LT(plot.columns[1].high, plot.columns[2].high) << "824.6 MOhm lies below 1.319 GOhm";
  EXPECT_LT(plot.columns[0].x, plot.columns[1].x);
}

// Resistance keeps its axis: a voltage reading among resistance readings never takes the
// axis nor makes the resistance trace vanish; it is left out and the plot says so. A page of
// voltage readings alone plots them on a voltage axis.
TEST(ChartPlot, ResistanceKeepsItsAxisWhenVoltageReadingsArrive) {
  const ChartTrace trace =
      traceOf({megohms(5), ChartQuantityValue{ChartQuantity::Voltage, 480}, std::nullopt,
               ChartQuantityValue{ChartQuantity::Voltage, 520}, megohms(7), std::nullopt});
  for (const std::size_t count : {std::size_t{2}, std::size_t{4}, std::size_t{6}}) {
    const ChartPlot ohms = layoutChartPlot(trace, {0, count, count}, 100, 100, 1);
    ASSERT_EQ(ohms.quantity, ChartQuantity::Resistance) << count << " rows";
    EXPECT_TRUE(ohms.otherLeftOut) << count << " rows";
    ASSERT_EQ(ohms.columns.size(), count);
    EXPECT_FALSE(ohms.columns[0].gap) << "the resistance reading stays plotted";
    EXPECT_TRUE(ohms.columns[1].gap) << "the voltage reading is left out";
    EXPECT_NE(ohms.valueTicks.back().labelGbk.back(), 'V');
  }

  const ChartPlot volts = layoutChartPlot(trace, {1, 3, 3}, 100, 100, 1);
  ASSERT_EQ(volts.quantity, ChartQuantity::Voltage) << "no resistance on the page";
  EXPECT_FALSE(volts.otherLeftOut);
  EXPECT_LE(volts.low, 480.0);
  EXPECT_GE(volts.high, 520.0);
  EXPECT_LT(volts.high - volts.low, 200.0) << "fitted to the readings, not to zero";
  ASSERT_EQ(volts.columns.size(), 3u);
  EXPECT_FALSE(volts.columns[0].gap);
  EXPECT_TRUE(volts.columns[1].gap) << "not a number";
  EXPECT_EQ(volts.valueTicks.back().labelGbk.back(), 'V');

  const ChartPlot ohmsOnly = layoutChartPlot(traceOf({megohms(5)}), {0, 1, 1}, 100, 100, 1);
  EXPECT_FALSE(ohmsOnly.otherLeftOut);

  const ChartPlot none = layoutChartPlot(traceOf({std::nullopt}), {0, 1, 1}, 100, 100, 1);
  EXPECT_EQ(none.quantity, ChartQuantity::None);
  EXPECT_TRUE(none.columns.empty());
}

// A highest reading exactly on a decade tops the axis there, with no empty decade above it.
TEST(ChartPlot, AHighestReadingOnADecadeIsTheAxisTop) {
  const auto top = chartQuantity("10.00", "M\xA6\xB8", ".");
  ASSERT_TRUE(top.has_value());
  const ChartPlot plot = layoutChartPlot(traceOf({megohms(1.5), top}), {0, 2, 2}, 90, 100, 1);
  EXPECT_EQ(plot.low, 6.0);
  EXPECT_EQ(plot.high, 7.0);
  ASSERT_FALSE(plot.valueTicks.empty());
  EXPECT_EQ(plot.valueTicks.back().labelGbk, "10M\xA6\xB8");
}

// An over-range reading ("OL") breaks the line but its column is flagged for a mark at the
// top of the axis, without stretching the axis; a page of nothing else still gets an axis.
TEST(ChartPlot, OverRangeReadingsStandAtTheTopOfTheAxis) {
  const ChartQuantityValue over{ChartQuantity::Resistance, 0.0, true};
  const ChartTrace trace = traceOf({megohms(1.5), over, megohms(9.83), std::nullopt});
  ASSERT_TRUE(trace.at(1));
  EXPECT_TRUE(trace.at(1)->overRange);
  const ChartPlot plot = layoutChartPlot(trace, {0, 4, 4}, 80, 100, 1);
  EXPECT_EQ(plot.low, 6.0);
  EXPECT_EQ(plot.high, 7.0);
  ASSERT_EQ(plot.columns.size(), 4u);
  EXPECT_TRUE(plot.columns[1].gap);
  EXPECT_TRUE(plot.columns[1].over);
  EXPECT_FALSE(plot.columns[0].over);
  EXPECT_TRUE(plot.columns[3].gap);
  EXPECT_FALSE(plot.columns[3].over);

  const ChartPlot squeezed = layoutChartPlot(trace, {0, 3, 3}, 1, 100, 1);
  ASSERT_EQ(squeezed.columns.size(), 1u);
  EXPECT_TRUE(squeezed.columns[0].over);
  EXPECT_FALSE(squeezed.columns[0].gap);
  EXPECT_FLOAT_EQ(squeezed.columns[0].low, static_cast<float>(std::log10(1.5e6)));
  EXPECT_FLOAT_EQ(squeezed.columns[0].high, static_cast<float>(std::log10(9.83e6)));

  for (ChartQuantity quantity : {ChartQuantity::Resistance, ChartQuantity::Voltage}) {
    const ChartPlot only =
        layoutChartPlot(traceOf({ChartQuantityValue{quantity, 0.0, true}}), {0, 1, 1}, 50, 100, 1);
    EXPECT_EQ(only.quantity, quantity);
    EXPECT_LT(only.low, only.high);
    EXPECT_TRUE(std::isfinite(only.low) && std::isfinite(only.high));
    ASSERT_EQ(only.columns.size(), 1u);
    EXPECT_TRUE(only.columns[0].over);
    EXPECT_TRUE(only.columns[0].gap);
  }
}

// A short circuit ("0.00 MOhm") lies on the axis' bottom without stretching the axis down to
// decades no other reading reaches.
TEST(ChartPlot, ReadingsAtZeroOhmLieOnTheBottomOfTheFittedAxis) {
  const ChartTrace trace = traceOf({megohms(1.5), megohms(0), megohms(9.83)});
  const ChartPlot plot = layoutChartPlot(trace, {0, 3, 3}, 90, 100, 1);
  EXPECT_EQ(plot.low, 6.0);
  EXPECT_EQ(plot.high, 7.0);
  ASSERT_EQ(plot.columns.size(), 3u);
  EXPECT_FALSE(plot.columns[1].gap);
  EXPECT_EQ(plot.columns[1].high, 6.0F);

  const ChartPlot shorts = layoutChartPlot(traceOf({megohms(0)}), {0, 1, 1}, 90, 100, 1);
  EXPECT_EQ(shorts.quantity, ChartQuantity::Resistance);
  EXPECT_EQ(shorts.low, 0.0);
  EXPECT_EQ(shorts.columns.at(0).high, 0.0F);
}

// More rows than pixels: one column per pixel holding the extremes of its rows, so a single
// spike among a million rows still shows.
TEST(ChartPlot, ManyRowsGiveOneColumnPerPixelWithTheirExtremes) {
  ChartTrace trace;
  for (int i = 0; i < 1000000; ++i) {
    trace.append(megohms(i == 654321 ? 9000.0 : 10.0));
  }
  const ChartPlot plot = layoutChartPlot(trace, {0, trace.size(), trace.size()}, 300, 150, 1);
  ASSERT_EQ(plot.columns.size(), 300u);
  int spikes = 0;
  for (const ChartColumn& c : plot.columns) {
    spikes += c.high > 9.0F ? 1 : 0;
  }
  EXPECT_EQ(spikes, 1);
  EXPECT_EQ(plot.columns.front().row, 0u);
  EXPECT_FALSE(plot.rowTicks.empty());
  EXPECT_EQ(plot.rowTicks.front().labelGbk.find_first_not_of("0123456789"), std::string::npos);
}

}  // namespace
}  // namespace ostrel
