#!/usr/bin/env python3
"""Drives the plant page in headless chromium through WebDriver and checks what it shows: both
rooms, a room's name with markup as text, a save at a real station in the day's table within
2 s without a reload, a scale whose emulator ended turning red, the CSV export holding the
database's rows, and a ledger that ends and starts again: the page says it lost it and
reconnects by itself. Exits non-zero on the first failure."""

import argparse
import csv
import datetime
import io
import os
import signal
import sqlite3
import subprocess
import sys
import time
import urllib.request

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By


# Every word the page may show besides room names, numbers and units: a word not here is a word
# the page should not show (English, above all).
POLISH = set("""zakład wagi i ważenia na żywo w sieci poza siecią od stan nieznany waga ważenia dnia
dzień pokój wszystkie na godzinę suma mas dziennie ostatnie dni liczba i suma wagę razem
najnowsze pierwsze czas odczyt nowsze strona starsze eksport do xlsx arkusz csv json połączono z
rejestrem brak połączenia ponawiam łączenie rejestr nie ma brokerem pokoi bazą danych czekają
ważeń w tym zakres dni eksport dziennie jak wybrane wyżej za dużo wierszy pokazano zawęź albo
wybierz""".split())
UNITS = {"kg", "g", "t", "lb", "oz"}


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
    parser.add_argument("--database", required=True)
    parser.add_argument("--rooms", nargs=2, required=True)
    parser.add_argument("--save-window", required=True)
    parser.add_argument("--save-x", required=True)
    parser.add_argument("--save-y", required=True)
    parser.add_argument("--end-emulator", type=int, required=True)
    parser.add_argument("--ledger", required=True, help="starts the ledger on the same port")
    parser.add_argument("--ledger-pid", type=int, required=True)
    parser.add_argument("--broker-pid", type=int, required=True)
    parser.add_argument("--broker-config", required=True, help="starts the broker again")
    parser.add_argument("--pictures")
    arguments = parser.parse_args()

    driver = browser()
    broker = None
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
        with sqlite3.connect(arguments.database) as database:
            held = sorted(database.execute("SELECT id, line FROM weighings"))
        if exported != held or len(held) != 1:
            sys.exit(f"FAILED: CSV {exported} against the database {held}")

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

        # A day without weighings says so where its tables and charts would be.
        driver.execute_script("const day = document.getElementById('day');"
                              "day.value = '2001-01-01'; day.dispatchEvent(new Event('change'));")
        shown = lambda element: driver.find_element(By.ID, element).is_displayed()
        wait("an empty day to say so", lambda: shown("empty") and not shown("weighings")
             and not shown("totals") and not shown("hours"), 5)
        if driver.find_element(By.ID, "empty").text != "Brak ważeń w tym dniu":
            sys.exit(f"FAILED: an empty day says {driver.find_element(By.ID, 'empty').text!r}")

        connection = lambda: driver.find_element(By.ID, "connection").text
        os.kill(arguments.ledger_pid, signal.SIGTERM)
        wait("the page to say it lost the ledger", lambda: "brak" in connection(), 10)
        restarted = subprocess.Popen([arguments.ledger])
        wait("the page to reconnect", lambda: connection() == "połączono z rejestrem", 15)
        restarted.terminate()
        restarted.wait()
    finally:
        driver.quit()
        if broker:
            broker.terminate()
            broker.wait()


if __name__ == "__main__":
    main()
