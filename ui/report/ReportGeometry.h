#pragma once

namespace ostrel::report {

// The test data report's paper and bands, in millimetres. Positions of elements are
// measured from the left margin and from the top of their band.
inline constexpr double pageWidthMm = 210.0;  // A4 portrait
inline constexpr double pageHeightMm = 297.0;
inline constexpr double marginMm = 10.0;       // all four margins
inline constexpr double bandWidthMm = 189.97;  // the width between the margins, as laid out
inline constexpr double printableHeightMm = pageHeightMm - 2 * marginMm;

inline constexpr double pageHeaderHeightMm = 10.58;
inline constexpr double columnHeaderHeightMm = 10.58;
inline constexpr double detailHeightMm = 6.61;
inline constexpr double pageFooterHeightMm = 10.58;

// Detail bands fit between the column header and the page footer, which sits at the
// foot of the printable area: (277 - 3 * 10.58) / 6.61 = 37.1.
inline constexpr int rowsPerPage = 37;

inline constexpr double pageHeaderTopMm = 0.0;
inline constexpr double columnHeaderTopMm = pageHeaderTopMm + pageHeaderHeightMm;
inline constexpr double firstDetailTopMm = columnHeaderTopMm + columnHeaderHeightMm;
inline constexpr double pageFooterTopMm = printableHeightMm - pageFooterHeightMm;

static_assert(firstDetailTopMm + rowsPerPage * detailHeightMm <= pageFooterTopMm);
static_assert(firstDetailTopMm + (rowsPerPage + 1) * detailHeightMm > pageFooterTopMm);

inline constexpr double millimetresPerPoint = 25.4 / 72.0;

}  // namespace ostrel::report
