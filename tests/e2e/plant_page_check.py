#!/usr/bin/env python3
"""Drives the plant page in headless chromium through WebDriver and checks what it shows: both
rooms, a room's name with markup as text, a save at a real station in the day's table within
2 s without a reload, a scale whose emulator ended turning red, the CSV export holding the
database's rows, the ledger without its broker (every room unknown) and without its database (said,
the live view going on: a station killed shows offline since then, on a page opened then too,
and since the same time after a broker restart), a weighing disputed by a
second with its id, this week against the last, the 30 days' chart following the room chosen,
an empty day (its charts kept), a ledger that
ends and starts again (the page says it lost it and reconnects by itself), and strangers' room
names shown as text in every view. Exits non-zero on the first failure."""

import argparse
import csv
import datetime
import io
import json
import os
import signal
import subprocess
import sys
import time
import urllib.request

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By
from selenium.webdriver.support.ui import Select


# Every word the page may show besides room names, numbers and units: a word not here is a word
# the page should not show (English, above all).
POLISH = set("""zakład wagi i ważenia na żywo w sieci poza siecią od stan nieznany waga ważenia dnia
dzień stanowisko stanowisk wszystkie na godzinę suma mas dziennie ostatnie dni liczba i suma wagę
razem najnowsze najstarsze największe najmniejsze pierwsze według końca czas odczyt nowsze strona
starsze eksport do xlsx arkusz csv json połączono z rejestrem brak połączenia ponawiam łączenie
rejestr nie ma brokerem bazą danych czekają ważeń w tym zakres zakresu sumy porównanie porównaj
wobec ten tydzień poprzedni różnica po dniu dni eksport dziennie za dużo wierszy pokazano zawęź
albo wybierz baza niedostępna sporne""".split())
UNITS = {"kg", "g", "t", "lb", "oz"}

# Room names a stranger on the broker may publish (never "+", "#" or "/", which no topic it
# publishes to holds, nor control characters, which the broker refuses): each shown as text, never
# run, breaking no layout; REFUSED, a byte longer than a room's name may be, is refused by the
# ledger and shown nowhere.
HOSTILE = ["<img src=x onerror=\"document.title='run'\">", "=SUMA(A1:A9)*2", "-magazyn", "@SUMA(A1)", "ż" * 100, "\u202epokój odwrócony", "\u200fמשקל"]
REFUSED = "ż" * 100 + "x"


def foreign_words(text, rooms):
    """The words of `text` that are neither Polish words of the page's nor a room's name."""
    for room in rooms:
        text = text.replace(room, " ")
    words = {word.strip(".,:;()…").lower() for word in text.split()}
    return sorted(word for word in words
                  if any(c.isalpha() for c in word) and word not in POLISH and word not in UNITS)


def wait(what, condition, seconds):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        try:
            if condition():
                return time.monotonic()
        except Exception:  # the page may be redrawing what was looked at
            pass
        time.sleep(0.05)
    sys.exit(f"FAILED: {what} within {seconds} s")


def publish(port, topic, payload):
    subprocess.run(["mosquitto_pub", "-h", "127.0.0.1", "-p", str(port), "-q", "1", "-r",
                    "-t", topic, "-m", payload], check=True)


def publish_hostile_rooms(port):
    """Each hostile room online, one scale's state and one weighing of today's."""
    now = datetime.datetime.now().astimezone().isoformat(timespec="seconds")
    for i, room in enumerate(HOSTILE + [REFUSED]):
        publish(port, f"plant/{room}/status", "online")
        publish(port, f"plant/{room}/waga1/state", json.dumps(
            {"connected": True, "reading": "12,5", "unit": "kg", "motion": False, "range": "ok",
             "time": now}))
        publish(port, f"plant/{room}/waga1/weighing", json.dumps(
            {"id": f"obcy{i}/{now[:4]}{now[5:7]}/0", "scale": 1, "reading": "12,5", "unit": "kg",
             "time": now, "line": "12,5"}))


def browser():
    options = webdriver.ChromeOptions()
    options.binary_location = "/usr/bin/chromium"
    options.add_argument("--headless=new")
    options.add_argument("--window-size=1400,1300")
    if os.geteuid() == 0:
        options.add_argument("--no-sandbox")
    return webdriver.Chrome(service=Service("/usr/bin/chromedriver"),
                            options=options)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--url", required=True)
    parser.add_argument("--rooms", nargs=2, required=True)
    parser.add_argument("--save-window", required=True)
    parser.add_argument("--save-x", required=True)
    parser.add_argument("--save-y", required=True)
    parser.add_argument("--end-emulator", type=int, required=True)
    parser.add_argument("--end-station", type=int, required=True, help="room 2's station")
    parser.add_argument("--ledger", required=True, help="starts the ledger on the same port")
    parser.add_argument("--ledger-pid", type=int, required=True)
    parser.add_argument("--broker-pid", type=int, required=True)
    parser.add_argument("--broker-port", type=int, required=True)
    parser.add_argument("--broker-config", required=True, help="starts the broker again")
    parser.add_argument("--database", required=True, help="starts the database again")
    parser.add_argument("--database-pid", type=int, required=True)
    parser.add_argument("--database-socket", required=True, help="PostgreSQL's socket folder")
    parser.add_argument("--pictures")
    arguments = parser.parse_args()

    driver = browser()
    broker = database = None
    try:
        driver.get(arguments.url)
        panel = lambda room: driver.find_element(By.CSS_SELECTOR, f'article.room[data-station="{room}"]')
        for room in arguments.rooms:
            wait(f"room {room} online", lambda: "offline" not in panel(room).get_attribute("class"), 20)
        marked = arguments.rooms[1]
        title = panel(marked).find_element(By.TAG_NAME, "h3")
        if not title.text.startswith(marked) or title.find_elements(By.TAG_NAME, "i"):
            sys.exit(f"FAILED: the room's name shows as {title.get_attribute('innerHTML')!r}")
        lamps = lambda room: panel(room).find_elements(By.CSS_SELECTOR, ".lamp")
        wait("every lamp green", lambda: all("green" in lamp.get_attribute("class")
                                             for room in arguments.rooms for lamp in lamps(room)), 20)

        rows = lambda: driver.find_elements(By.CSS_SELECTOR, "#weighings tbody tr")
        before = len(rows())
        # The rooms' windows lie on top of each other: the saving one comes up first.
        subprocess.run(["xdotool", "windowraise", arguments.save_window], check=True)
        subprocess.run(["xdotool", "mousemove", "--window", arguments.save_window,
                        arguments.save_x, arguments.save_y, "click", "1"], check=True)
        saved = time.monotonic()
        shown = wait("the save in the day's table", lambda: len(rows()) == before + 1, 2)
        print(f"save shown on the page after {shown - saved:.2f} s")
        cells = [cell.text for cell in rows()[0].find_elements(By.TAG_NAME, "td")]
        if cells[1] != arguments.rooms[0] or cells[2] != "1":
            sys.exit(f"FAILED: the newest row is {cells}")
        foreign = foreign_words(driver.find_element(By.TAG_NAME, "body").text, arguments.rooms)
        if foreign:
            sys.exit(f"FAILED: words the page shows that are not its Polish ones: {foreign}")
        totals = lambda: [[cell.text for cell in row.find_elements(By.TAG_NAME, "td")][:3]
                          for row in driver.find_elements(By.CSS_SELECTOR, "#totals tbody tr")]
        wait("the scale's and the room's count", lambda: totals() == [
            [arguments.rooms[0], "1", "1"], [arguments.rooms[0], "razem", "1"]], 2)
        # A week at a glance for room 1: this week against the last, per scale and per room,
        # with the difference of the sums; the 30 days' chart follows the room chosen, an axis
        # per unit.
        Select(driver.find_element(By.ID, "station")).select_by_value(arguments.rooms[0])
        driver.find_element(By.ID, "week").click()
        comparison = lambda: [[cell.text for cell in row.find_elements(By.TAG_NAME, "td")]
                              for row in driver.find_elements(By.CSS_SELECTOR, "#comparison tbody tr")]
        wait("this week against the last", lambda: [row[:3] + row[4:5] for row in comparison()] == [
            [arguments.rooms[0], "1", "1", "0"], [arguments.rooms[0], "razem", "1", "0"]]
             and comparison()[0][6].startswith("+") and comparison()[0][6] == "+" + comparison()[0][3], 10)
        lines = lambda: driver.execute_script(
            "const c = Chart.getChart('days'); return c && [c.data.datasets.map(d => d.label),"
            " Object.values(c.options.scales).map(a => a.title && a.title.text)]")
        wait("the 30 days' chart of the room chosen", lambda: lines()[0] == [
            f"{arguments.rooms[0]} (kg)"] and "suma [kg]" in lines()[1], 10)
        Select(driver.find_element(By.ID, "station")).select_by_value(arguments.rooms[1])
        wait("the 30 days' chart of a room without weighings", lambda: lines()[0] == [], 10)
        Select(driver.find_element(By.ID, "station")).select_by_value("")
        if arguments.pictures:
            time.sleep(0.5)  # the charts draw once the day is loaded
            for section, name in (("live-title", "plant-live.png"), ("day-title", "plant-day.png")):
                driver.find_element(By.CSS_SELECTOR, f'section[aria-labelledby="{section}"]') \
                    .screenshot(os.path.join(arguments.pictures, name))

        os.kill(arguments.end_emulator, signal.SIGTERM)
        ended = time.monotonic()
        red = wait("room 2's lamps red", lambda: not any(
            "green" in lamp.get_attribute("class") for lamp in lamps(marked)), 10)
        print(f"lamps red on the page after {red - ended:.2f} s")

        today = datetime.date.today().isoformat()
        with urllib.request.urlopen(f"{arguments.url}api/export.csv?from={today}&to={today}") as answer:
            text = answer.read().decode("utf-8")
        if not text.startswith("\ufeff"):
            sys.exit("FAILED: the CSV has no byte-order mark")
        exported = sorted((row["id"], row["linia"]) for row in
                          csv.DictReader(io.StringIO(text[1:]), delimiter=";"))
        held = sorted(tuple(row.split("\x1f")) for row in subprocess.run(
            ["psql", "-h", arguments.database_socket, "-U", "postgres", "-d", "postgres", "-At",
             "-F", "\x1f", "-c", "SELECT id, line FROM weighings"],
            check=True, capture_output=True, text=True).stdout.splitlines())
        if exported != held or len(held) != 1:
            sys.exit(f"FAILED: CSV {exported} against the database {held}")

        # The saved weighing's id again with another reading: the first stays, marked disputed
        # in the day's table and, once the page is opened again, beside its room.
        subprocess.run(["mosquitto_pub", "-h", "127.0.0.1", "-p", str(arguments.broker_port),
                        "-q", "1", "-t", f"plant/{arguments.rooms[0]}/waga1/weighing",
                        "-m", json.dumps({"id": held[0][0], "scale": 1, "reading": "1",
                                          "time": None, "line": held[0][1]})], check=True)
        wait("the day's row marked disputed",
             lambda: rows()[0].text.endswith("(sporne)") and len(rows()) == 1, 10)
        driver.refresh()
        wait("the room's disputed count", lambda: "sporne ważenia: 1" in
             panel(arguments.rooms[0]).find_element(By.TAG_NAME, "h3").text, 10)

        # The ledger without its broker: every room's state unknown (not offline), said in Polish;
        # with it again, the rooms as they are.
        os.kill(arguments.broker_pid, signal.SIGTERM)
        state = lambda: driver.find_element(By.ID, "ledger-state")
        title = lambda room: panel(room).find_element(By.TAG_NAME, "h3").text
        wait("the page to say the ledger lost its broker",
             lambda: state().is_displayed() and "brokerem" in state().text, 15)
        wait("every room's state unknown", lambda: all(
            "unknown" in panel(room).get_attribute("class") and "stan nieznany" in title(room)
            for room in arguments.rooms), 5)
        broker = subprocess.Popen(["mosquitto", "-c", arguments.broker_config],
                                  stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        wait("the rooms back online", lambda: not state().is_displayed() and all(
            "(w sieci)" in title(room) for room in arguments.rooms), 40)

        # The ledger without its database: said, in Polish and without the driver's words; the
        # day's view says the database is unavailable; the live view goes on: room 2's station,
        # killed, shows offline since now, its last readings marked as old.
        os.kill(arguments.database_pid, signal.SIGINT)
        wait("the page to say the ledger lost its database",
             lambda: state().is_displayed() and "bazą danych" in state().text, 15)
        reload_day = ("const day = document.getElementById('day');"
                      "day.value = arguments[0]; day.dispatchEvent(new Event('change'));")
        driver.execute_script(reload_day, today)
        problem = lambda: driver.find_element(By.ID, "problem")
        wait("the day's view to say the database is unavailable",
             lambda: problem().is_displayed() and problem().text == "Baza danych niedostępna", 15)
        os.kill(arguments.end_station, signal.SIGKILL)
        digits = lambda room: panel(room).find_elements(By.CSS_SELECTOR, ".digits")
        wait("room 2 offline since it was killed", lambda: "poza siecią od" in title(marked) and all(
            "old" in digit.get_attribute("class") for digit in digits(marked)), 15)
        if "(w sieci)" not in title(arguments.rooms[0]):
            sys.exit(f"FAILED: room 1 reads {title(arguments.rooms[0])!r} without the database")
        foreign = foreign_words(driver.find_element(By.TAG_NAME, "body").text, arguments.rooms)
        if foreign:
            sys.exit(f"FAILED: words shown without the database that are not Polish: {foreign}")
        if arguments.pictures:
            driver.save_screenshot(os.path.join(arguments.pictures, "plant-away.png"))
        # A page opened while the database is stopped shows the same, from the ledger's memory;
        # the time room 2 left stays through a broker restart, which delivers its status again.
        since = lambda: json.load(urllib.request.urlopen(f"{arguments.url}api/stations"))[marked]["since"]
        left, shown_left = since(), title(marked)
        driver.refresh()
        wait("the rooms as they are on a page opened without the database", lambda: "(w sieci)"
             in title(arguments.rooms[0]) and title(marked) == shown_left, 15)
        broker.terminate()
        broker.wait()
        wait("every room's state unknown without the broker",
             lambda: all("stan nieznany" in title(room) for room in arguments.rooms), 15)
        broker = subprocess.Popen(["mosquitto", "-c", arguments.broker_config],
                                  stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        wait("room 1 back online", lambda: "(w sieci)" in title(arguments.rooms[0]), 40)
        if since() != left or title(marked) != shown_left:
            sys.exit(f"FAILED: room 2 left at {left}, after a broker restart {since()}")
        database = subprocess.Popen([arguments.database])
        wait("the database back", lambda: not state().is_displayed(), 40)
        driver.execute_script(reload_day, today)
        wait("the day's view back", lambda: not problem().is_displayed(), 15)

        # Strangers' room names: text in the live view, the day's tables and the room list.
        publish_hostile_rooms(arguments.broker_port)
        shown_rooms = lambda: driver.execute_script(
            "return [...document.querySelectorAll('article.room h3 bdi')].map(x => x.textContent)")
        wait("every hostile room in the live view", lambda: set(HOSTILE) <= set(shown_rooms()), 20)
        driver.execute_script(reload_day, today)
        day_rooms = lambda: driver.execute_script(
            "return [...document.querySelectorAll('#weighings tbody tr td:nth-child(2)')]"
            ".map(x => x.textContent)")
        wait("every hostile room in the day's table", lambda: set(HOSTILE) <= set(day_rooms()), 15)
        options = driver.execute_script(
            "return [...document.querySelectorAll('#station option')].map(x => x.value)")
        if REFUSED in shown_rooms() + day_rooms() + options or not set(HOSTILE) <= set(options):
            sys.exit(f"FAILED: the room list holds {options!r}")
        if driver.find_elements(By.TAG_NAME, "img") or driver.title == "run":
            sys.exit("FAILED: a room's name ran as markup")
        overflow = driver.execute_script(
            "return document.documentElement.scrollWidth - document.documentElement.clientWidth")
        if overflow > 0:
            sys.exit(f"FAILED: the rooms' names widen the page by {overflow} px")

        # A day without weighings says so where its tables and charts would be.
        driver.execute_script(reload_day, "2001-01-01")
        shown = lambda element: driver.find_element(By.ID, element).is_displayed()
        wait("an empty day to say so, its charts kept", lambda: shown("empty")
             and not shown("weighings") and not shown("totals") and shown("days"), 5)
        if driver.find_element(By.ID, "empty").text != "Brak ważeń w tym dniu":
            sys.exit(f"FAILED: an empty day says {driver.find_element(By.ID, 'empty').text!r}")
        if arguments.pictures:
            driver.find_element(By.CSS_SELECTOR, 'section[aria-labelledby="day-title"]') \
                .screenshot(os.path.join(arguments.pictures, "plant-empty-day.png"))

        connection = lambda: driver.find_element(By.ID, "connection").text
        os.kill(arguments.ledger_pid, signal.SIGTERM)
        wait("the page to say it lost the ledger, every room's state unknown",
             lambda: "brak" in connection() and all(
                 "stan nieznany" in title(room) for room in arguments.rooms), 10)
        restarted = subprocess.Popen([arguments.ledger])
        wait("the page to reconnect", lambda: connection() == "połączono z rejestrem", 15)
        restarted.terminate()
        restarted.wait()
    finally:
        driver.quit()
        # PostgreSQL's fast shutdown; SIGTERM would wait for the ledger's connections.
        for process, end in ((database, signal.SIGINT), (broker, signal.SIGTERM)):
            if process:
                process.send_signal(end)
                process.wait()


if __name__ == "__main__":
    main()
