#!/usr/bin/env python3
"""Opens the plant page in headless chromium and waits until each room shows what it must of its
seals: arguments URL, then ROOM TEXT pairs, TEXT the start of the room's word on its seals."""
import os
import sys
import time

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By


def main(url, *pairs):
    options = webdriver.ChromeOptions()
    options.binary_location = "/usr/bin/chromium"
    options.add_argument("--headless=new")
    if os.geteuid() == 0:
        options.add_argument("--no-sandbox")
    driver = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
    try:
        driver.get(url)
        for room, text in zip(pairs[::2], pairs[1::2]):
            shown = ""
            deadline = time.monotonic() + 15
            while time.monotonic() < deadline and not shown.startswith(text):
                seals = driver.find_elements(
                    By.CSS_SELECTOR, f'article.room[data-station="{room}"] .seal')
                shown = seals[0].text.strip() if seals else ""
                time.sleep(0.05)
            if not shown.startswith(text):
                sys.exit(f"FAILED: room {room} shows {shown!r}, not {text!r}")
    finally:
        driver.quit()


if __name__ == "__main__":
    main(*sys.argv[1:])
