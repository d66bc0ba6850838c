#!/usr/bin/env python3
"""Opens the plant's exports as a reader's spreadsheet does (Gnumeric, Polish locale), saves
what it read as a workbook and checks it cell by cell against the rows the test stored: the date a
date, the time of day a time, the weight a number, every text kept as text (a room whose name
looks like a formula never becomes one)."""

import datetime
import json
import os
import subprocess
import sys
import tempfile
import warnings

import openpyxl


def opened(path, folder):
    """What the spreadsheet makes of `path`, as a workbook of its own."""
    converted = os.path.join(folder, os.path.basename(path) + ".read.xlsx")
    environment = dict(os.environ, LC_ALL="pl_PL.UTF-8", LANG="pl_PL.UTF-8")
    subprocess.run(["ssconvert", path, converted], check=True, env=environment,
                   stdout=subprocess.DEVNULL, stderr=subprocess.STDOUT)
    return openpyxl.load_workbook(converted).worksheets[0]


def check(name, sheet, expected, shown):
    problems = []
    header = [cell.value for cell in sheet[1]]
    if header != ["id", "pokój", "waga", "data", "godzina", "odczyt", "masa", "jednostka",
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
        room = cells["pokój"]
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
        if cells["jednostka"].value != want["unit"]:
            problems.append(f"{where}: unit {cells['jednostka'].value!r}, stored {want['unit']}")
    return problems


def main():
    warnings.simplefilter("ignore")  # openpyxl on the spreadsheet's own styles
    expected_path, csv_path, xlsx_path = sys.argv[1:4]
    with open(expected_path, encoding="utf-8") as source:
        expected = json.load(source)
    with tempfile.TemporaryDirectory() as folder:
        # The CSV keeps text as it is but for the apostrophe before a formula's first character,
        # which a spreadsheet may show or take as its own mark of text, and control characters,
        # which it may drop; the workbook shows each of them as U+FFFD.
        printable = lambda station: "".join(c for c in station if c >= " " or c in "\t\n\r")
        in_csv = lambda station: {station, "'" + station, printable(station),
                                  "'" + printable(station)}
        in_workbook = lambda station: {"".join(c if c >= " " or c in "\t\n\r" else "\ufffd"
                                               for c in station)}
        problems = check("CSV", opened(csv_path, folder), expected, in_csv)
        problems += check("XLSX", opened(xlsx_path, folder), expected, in_workbook)
    for problem in problems:
        print("FAILED:", problem)
    print(f"{len(expected)} rows checked in the CSV and the workbook; {len(problems)} problems")
    sys.exit(1 if problems else 0)


if __name__ == "__main__":
    main()
