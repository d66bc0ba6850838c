#!/usr/bin/env python3
"""Opens the plant's exports as a reader's spreadsheets do (Gnumeric and LibreOffice, Polish
locale), saves what each read as a workbook and checks it cell by cell against the rows the test
stored: the date a date, the time of day a time, the reading and the weight numbers where they are,
the unit only beside a weight, every text kept as text (a room whose name looks like a formula
never becomes one); and the workbook as written: the weight's number format, the date's, the
header frozen and filtered."""

import datetime
import json
import os
import subprocess
import sys
import tempfile
import warnings

import openpyxl


def opened(path, folder, reader):
    """What a spreadsheet, Gnumeric or LibreOffice, makes of `path` under a Polish locale, saved
    as a workbook of its own."""
    environment = dict(os.environ, LC_ALL="pl_PL.UTF-8", LANG="pl_PL.UTF-8")
    if reader == "Gnumeric":
        converted = os.path.join(folder, os.path.basename(path) + ".gnumeric.xlsx")
        subprocess.run(["ssconvert", path, converted], check=True, env=environment,
                       stdout=subprocess.DEVNULL, stderr=subprocess.STDOUT)
        return openpyxl.load_workbook(converted).worksheets[0]
    # LibreOffice reads a CSV as its import dialog would for a Polish user: ';' between fields,
    # '"' around text, UTF-8, from the first line, the language Polish (1045), special numbers
    # (dates, times) detected.
    out = os.path.join(folder, "libreoffice-" + os.path.basename(path).replace(".", "-"))
    subprocess.run(["soffice", "-env:UserInstallation=file://" + os.path.join(folder, "profile"),
                    "--headless", "--infilter=CSV:59,34,76,1,,1045,false,true",
                    "--convert-to", "xlsx:Calc MS Excel 2007 XML", "--outdir", out, path],
                   check=True, env=environment, stdout=subprocess.DEVNULL,
                   stderr=subprocess.STDOUT, timeout=120)
    converted = os.path.join(out, os.path.splitext(os.path.basename(path))[0] + ".xlsx")
    return openpyxl.load_workbook(converted).worksheets[0]


def as_written(path):
    """What the workbook itself says, before any spreadsheet reads it: the weight's number
    format, the date's, the frozen header and its filter."""
    sheet = openpyxl.load_workbook(path).worksheets[0]
    header = [cell.value for cell in sheet[1]]
    row = {header[i]: cell for i, cell in enumerate(sheet[2])}
    problems = []
    if sheet.freeze_panes != "A2":
        problems.append(f"XLSX: the header is not frozen ({sheet.freeze_panes})")
    if not sheet.auto_filter.ref or not sheet.auto_filter.ref.startswith("A1:"):
        problems.append(f"XLSX: no filter on the header ({sheet.auto_filter.ref})")
    if row["masa"].number_format in ("General", None):
        problems.append("XLSX: the weight has no number format")
    if row["data"].number_format != "dd.mm.yyyy":
        problems.append(f"XLSX: the date shows as {row['data'].number_format}")
    return problems


def check(name, sheet, expected, shown):
    problems = []
    header = [cell.value for cell in sheet[1]]
    if header != ["id", "stanowisko", "waga", "data", "godzina", "odczyt", "masa", "jednostka",
                  "linia"]:
        problems.append(f"{name}: header {header}")
    rows = {row[0].value: row for row in sheet.iter_rows(min_row=2)}
    for want in expected:
        row = rows.get(want["id"])
        if row is None:
            problems.append(f"{name}: no row {want['id']}")
            continue
        cells = {header[i]: cell for i, cell in enumerate(row) if i < len(header)}
        where = f"{name} row {row[0].row}"
        for cell in row:
            if cell.data_type == "f":
                problems.append(f"{where}: {cell.coordinate} is a formula: {cell.value!r}")
        room = cells["stanowisko"]
        if room.data_type != "s" or room.value not in shown(want["station"]):
            problems.append(f"{where}: room {room.value!r} ({room.data_type}), "
                            f"stored {want['station']!r}")
        date = cells["data"].value
        if not isinstance(date, datetime.datetime) or date.date().isoformat() != want["date"]:
            problems.append(f"{where}: date {date!r}, stored {want['date']}")
        time = cells["godzina"].value
        if isinstance(time, datetime.datetime):
            time = time.time()
        if not isinstance(time, datetime.time) or time.isoformat() != want["time"]:
            problems.append(f"{where}: time {time!r}, stored {want['time']}")
        weight = cells["masa"].value
        if want["weight"] is None:
            if weight not in (None, ""):
                problems.append(f"{where}: weight {weight!r} where none was")
        elif isinstance(weight, bool) or not isinstance(weight, (int, float)) or \
                abs(weight - want["weight"]) > 1e-9:
            problems.append(f"{where}: weight {weight!r}, stored {want['weight']}")
        unit = cells["jednostka"].value
        if (unit or None) != (want["unit"] if want["weight"] is not None else None):
            problems.append(f"{where}: unit {unit!r} for the weight {want['weight']!r}")
        reading = cells["odczyt"]
        if want["number"] is not None and (reading.data_type != "n" or
                                           abs(reading.value - want["number"]) > 1e-9):
            problems.append(f"{where}: reading {reading.value!r} ({reading.data_type}), "
                            f"a number: {want['number']}")
    return problems


def main():
    warnings.simplefilter("ignore")  # openpyxl on the spreadsheet's own styles
    expected_path, csv_path, xlsx_path = sys.argv[1:4]
    with open(expected_path, encoding="utf-8") as source:
        expected = json.load(source)
    with tempfile.TemporaryDirectory() as folder:
        # The CSV keeps text as it is but for the apostrophe before a formula's first character,
        # which a spreadsheet may show or take as its own mark of text, and control characters,
        # which it may drop, or keep as the workbook's escape (LibreOffice: "_x0001_"); the
        # workbook shows each of them as U+FFFD.
        printable = lambda station: "".join(c for c in station if c >= " " or c in "\t\n\r")
        escaped = lambda station: "".join(c if c >= " " or c in "\t\n\r" else f"_x{ord(c):04X}_"
                                          for c in station)
        in_csv = lambda station: {station, "'" + station, printable(station),
                                  "'" + printable(station), escaped(station)}
        in_workbook = lambda station: {"".join(c if c >= " " or c in "\t\n\r" else "\ufffd"
                                               for c in station)}
        problems = as_written(xlsx_path)
        for reader in ("Gnumeric", "LibreOffice"):
            problems += check(f"CSV in {reader}", opened(csv_path, folder, reader), expected,
                              in_csv)
            problems += check(f"XLSX in {reader}", opened(xlsx_path, folder, reader), expected,
                              in_workbook)
    for problem in problems:
        print("FAILED:", problem)
    print(f"{len(expected)} rows checked in the CSV and the workbook; {len(problems)} problems")
    sys.exit(1 if problems else 0)


if __name__ == "__main__":
    main()
