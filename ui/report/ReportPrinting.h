#pragma once

#include "ui/report/ReportExport.h"

class QPrinter;

namespace ostrel {

class ReportLayout;

// Sets a printer up for the report: A4 portrait, full page (the report lays out its own
// margins), one copy, all pages, simplex.
void prepareReportPrinter(QPrinter& printer, int pageCount);

// Prints the pages the printer asks for (its page range, all pages otherwise) as many
// times as its copy count when the printer cannot make copies itself. False when the
// printer could not be started. A progress that says false aborts the print job (nothing is
// printed); that is no failure.
bool printReport(QPrinter& printer, const ReportLayout& layout,
                 const ReportProgress& progress = {});

}  // namespace ostrel
