#!/usr/bin/env python3
"""Prints the first worksheet of a workbook as openpyxl reads it, one line per row, cells
separated by tabs. A cell is written as its kind and value: "n:<number>|<format>",
"time:<hh:mm:ss.mmm>|<format>", "s:<text>", or nothing when empty.

  workbook_cells.py FILE             every row
  workbook_cells.py FILE --sheet S   every row of the worksheet named S
  workbook_cells.py FILE --sheet S --first N
                                     the same for the worksheet named S
  workbook_cells.py FILE --first N   for big sheets: the sheet's size as openpyxl reads it
                                     ("rows: <count>, columns: <count>"), the row elements
                                     the sheet holds and the number of the last one
                                     ("row elements: <count>, last: <r>"), then the first N
                                     rows (reading every cell of a million rows through
                                     openpyxl would take a minute)

Exit status 77 when openpyxl is not installed (the calling test skips), 1 when the file
cannot be read as a workbook.
"""
import datetime
import re
import sys
import zipfile

try:
    import openpyxl
except ImportError:
    print("python3-openpyxl is not installed", file=sys.stderr)
    sys.exit(77)


def cell_text(cell):
    value = cell.value
    if value is None:
        return ""
    if isinstance(value, bool):
        return f"b:{value}"
    if isinstance(value, (int, float)):
        return f"n:{value!r}|{cell.number_format}"
    if isinstance(value, datetime.time):
        return f"time:{value.isoformat(timespec='milliseconds')}|{cell.number_format}"
    if isinstance(value, str):
        return f"s:{value}"
    return f"{type(value).__name__}:{value}"


def row_text(row):
    return "\t".join(cell_text(cell) for cell in row).rstrip("\t")


def row_elements(path, number=1):
    """Counts the <row> elements of a sheet's XML (the first: 1), streamed from the zip file."""
    count, carry, last = 0, b"", None
    with zipfile.ZipFile(path) as archive:
        with archive.open(f"xl/worksheets/sheet{number}.xml") as sheet:
            while chunk := sheet.read(1 << 20):
                text = carry + chunk
                count += text.count(b"<row ")
                numbers = re.findall(rb'<row r="(\d+)"', text)
                if numbers:
                    last = int(numbers[-1])
                carry = text[-16:]
                count -= carry.count(b"<row ")  # counted again with the next chunk
            count += carry.count(b"<row ")
    return count, last


def main():
    path = sys.argv[1]
    options = dict(zip(sys.argv[2::2], sys.argv[3::2]))
    first = int(options["--first"]) if "--first" in options else None
    try:
        book = openpyxl.load_workbook(path, read_only=True)
    except Exception as error:  # any reason a workbook cannot be read
        print(f"cannot read {path}: {error}", file=sys.stderr)
        return 1
    sheet, number = book.worksheets[0], 1
    if "--sheet" in options:
        sheet = book[options["--sheet"]]
        number = book.sheetnames.index(options["--sheet"]) + 1
    out = sys.stdout
    if first is None:
        for row in sheet.iter_rows():
            out.write(row_text(row) + "\n")
        return 0
    out.write(f"rows: {sheet.max_row}, columns: {sheet.max_column}\n")
    count, last = row_elements(path, number)
    out.write(f"row elements: {count}, last: {last}\n")
    for row in sheet.iter_rows(max_row=first):
        out.write(row_text(row) + "\n")
    return 0


if __name__ == "__main__":
    sys.exit(main())
