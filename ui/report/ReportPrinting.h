#pragma once

class QPrinter;

namespace ostrel {

class ReportLayout;

// Sets a printer up for the report: A4 portrait, full page (the report lays out its own
// margins), one copy, all pages, simplex.
void prepareReportPrinter(QPrinter& printer, int pageCount);

// Prints the pages the printer asks for (its page range, all pages otherwise) as many
// times as its copy count when the printer cannot make copies itself. False when the
// printer could not be started.
bool printReport(QPrinter& printer, const ReportLayout& layout);

}  // namespace ostrel
