// The plant page: the live view from the ledger's events, the day's weighings, charts and
// export. Everything a station sends is put in as text (textContent), never as markup.
"use strict";

const rooms = new Map();  // station -> {panel, scales: [{digits, lamp}]}
let brokerReached = true;  // the ledger's broker: without it no room's state is known
let ledgerReached = false;  // the page's events from the ledger: without them neither
let dayPage = 0;
// The day's table: by time and weight the newest and largest first, by room and scale in order.
const daySort = {by: "time", ascending: false};
let hourChart = null;
let dayChart = null;

function element(tag, className, text) {
  const made = document.createElement(tag);
  if (className) made.className = className;
  if (text !== undefined) made.textContent = text;
  return made;
}

function today() {
  const now = new Date();
  const pad = (n) => String(n).padStart(2, "0");
  return `${now.getFullYear()}-${pad(now.getMonth() + 1)}-${pad(now.getDate())}`;
}

function room(station) {
  let entry = rooms.get(station);
  if (entry) return entry;
  const panel = element("article", "room offline");
  panel.dataset.station = station;
  // The name isolated: right-to-left marks in it reorder nothing around it.
  const title = element("h3");
  title.append(element("bdi", "", station));
  const state = element("span", "room-state", " (poza siecią)");
  const disputed = element("span", "disputed");
  disputed.hidden = true;
  disputed.title = "Ich numer przyszedł drugi raz z inną treścią: zapisano pierwszą, drugą " +
    "odrzucono. Sprawdź je z rejestrem stanowiska.";
  title.append(state, disputed);
  panel.append(title);
  const scales = element("div", "scales");
  entry = {panel, state, disputed, scales: []};
  for (let number = 1; number <= 4; ++number) {
    const box = element("div", "scale");
    box.dataset.scale = number;
    const lamp = element("span", "lamp");
    const digits = element("div", "digits", "- - - - -");
    box.append(lamp, element("span", "name", ` Waga ${number}`), digits);
    scales.append(box);
    entry.scales.push({lamp, digits});
  }
  panel.append(scales);
  const list = document.getElementById("rooms");
  const after = [...list.children].find((other) => other.dataset.station > station);
  list.insertBefore(panel, after || null);
  rooms.set(station, entry);
  const option = element("option", "", station);
  option.value = station;
  document.getElementById("station").append(option);
  return entry;
}

// "09.12, 13:05": when a room was last heard of, on the reader's clock.
function heardAt(isoTime) {
  const time = new Date(isoTime);
  return Number.isNaN(time.getTime()) ? "" : time.toLocaleString("pl-PL", {
    day: "2-digit", month: "2-digit", hour: "2-digit", minute: "2-digit"});
}

// An offline room says since when, and its readings, the last it sent, are marked as old.
function showStatus(station, online, since) {
  const entry = room(station);
  entry.panel.classList.toggle("offline", !online);
  const when = !online && since ? heardAt(since) : "";
  entry.state.textContent = online ? " (w sieci)" : when ? ` (poza siecią od ${when})` : " (poza siecią)";
  for (const scale of entry.scales) {
    scale.digits.classList.toggle("old", !online);
    scale.digits.title = online ? "" : "ostatni odczyt przed utratą połączenia";
  }
  markUnknown(entry);
}

// While the page lacks the ledger or the ledger its broker, what a room last said is no longer
// known to hold.
function markUnknown(entry) {
  const unknown = !brokerReached || !ledgerReached;
  entry.panel.classList.toggle("unknown", unknown);
  if (unknown) entry.state.textContent = " (stan nieznany)";
}

function showScale(station, number, state) {
  const scale = room(station).scales[number - 1];
  if (!scale) return;
  scale.lamp.classList.toggle("green", state.connected);
  let text = state.reading ?? "";
  if (state.range === "over") text = "OL";
  if (state.range === "under") text = "UL";
  scale.digits.textContent = text;
  if (withUnit(text, state.unit) !== text) scale.digits.append(element("span", "unit", ` ${state.unit}`));
  scale.digits.classList.toggle("moving", state.motion === true);
}

// Weighings whose number came again with other content: the room's register decides.
function showDisputed(station, count) {
  const entry = room(station);
  entry.disputed.hidden = !count;
  entry.disputed.textContent = ` · sporne ważenia: ${count}`;
}

async function loadStations() {
  const answer = await fetch("api/stations");
  if (!answer.ok) return;
  const stations = await answer.json();
  for (const [station, data] of Object.entries(stations)) {
    showStatus(station, data.online, data.since);
    showDisputed(station, data.disputed);
    for (const [number, state] of Object.entries(data.scales)) {
      showScale(station, Number(number), state);
    }
  }
}

// What the ledger cannot reach, said in the header: without its broker every room's state is
// unknown (not offline: the rooms may well work); without its database the live view goes on.
function showLedger(event) {
  const state = document.getElementById("ledger-state");
  const problems = [];
  if (!event.broker) problems.push("rejestr nie ma połączenia z brokerem: stan pokoi nieznany");
  if (!event.database) problems.push("rejestr nie ma połączenia z bazą danych: ważenia czekają");
  state.textContent = problems.join("; ");
  state.hidden = problems.length === 0;
  const regained = event.broker && !brokerReached;
  brokerReached = event.broker;
  for (const entry of rooms.values()) markUnknown(entry);
  if (regained) loadStations();
}

function listen() {
  const connection = document.getElementById("connection");
  const events = new EventSource("api/live");
  events.onopen = () => {
    connection.textContent = "połączono z rejestrem";
    connection.className = "connection on";
    ledgerReached = true;
    loadStations();
  };
  events.onerror = () => {
    connection.textContent = "brak połączenia z rejestrem, ponawiam…";
    connection.className = "connection off";
    ledgerReached = false;
    for (const entry of rooms.values()) markUnknown(entry);
  };
  events.addEventListener("lost", () => { loadStations(); loadDay(); });
  let reload = null;
  events.onmessage = (message) => {
    const event = JSON.parse(message.data);
    if (event.kind === "ledger") showLedger(event);
    if (event.kind === "status") showStatus(event.station, event.online, event.since);
    if (event.kind === "state") showScale(event.station, event.scale, event);
    if (event.kind === "weighings" && !reload) {
      reload = setTimeout(() => { reload = null; loadDay(); }, 200);
    }
  };
}

function query() {
  const parameters = new URLSearchParams({day: document.getElementById("day").value});
  const station = document.getElementById("station").value;
  const scale = document.getElementById("scale").value;
  if (station) parameters.set("station", station);
  if (scale) parameters.set("scale", scale);
  parameters.set("sort", daySort.by);
  parameters.set("order", daySort.ascending ? "asc" : "desc");
  return parameters;
}

// Rows are arrays of cells; a row with `className` set is drawn with that class.
function fillTable(id, rows) {
  const body = document.querySelector(`#${id} tbody`);
  body.replaceChildren(...rows.map((cells) => {
    const row = element("tr", cells.className ?? "");
    for (const cell of cells) row.append(element("td", "", cell));
    return row;
  }));
}

// A reading that is a number, with its unit; anything else ("OL", "- - - - -") as it is.
function withUnit(reading, unit) {
  return /^-?[0-9]/.test(reading) && unit ? `${reading} ${unit}` : reading;
}

// Each room's scales, then the room's own count and sum for each unit it weighed in: kilograms
// and grams are never added together.
function totalsWithRooms(totals) {
  const rows = [];
  const sum = (x) => (x.sum === null ? "" : `${number(x.sum)} ${x.unit}`);
  totals.forEach((total, i) => {
    rows.push([total.station, String(total.scale), String(total.count), sum(total)]);
    if (totals[i + 1]?.station === total.station) return;
    const room = totals.filter((x) => x.station === total.station);
    for (const unit of [...new Set(room.map((x) => x.unit))]) {
      const same = room.filter((x) => x.unit === unit);
      const sums = same.filter((x) => x.sum !== null);
      const row = [total.station, "razem", String(same.reduce((n, x) => n + x.count, 0)),
        sums.length ? sum({sum: sums.reduce((s, x) => s + x.sum, 0), unit}) : ""];
      row.className = "room-total";
      rows.push(row);
    }
  });
  return rows;
}

function number(value) {
  return value === null ? "" : value.toLocaleString("pl-PL");
}

// "09.12": a day as Polish readers write it.
function dayAndMonth(isoDay) {
  return `${isoDay.substring(8, 10)}.${isoDay.substring(5, 7)}`;
}

function colour(index) {
  return ["#1f77b4", "#d62728", "#2ca02c", "#9467bd", "#ff7f0e", "#8c564b"][index % 6];
}

// Numbers on the axes and in the tooltips as Polish readers write them; `whole` for counts, which
// step by one.
function chart(existing, canvas, type, labels, datasets, whole) {
  if (typeof Chart === "undefined") return null;
  if (existing) existing.destroy();
  const y = whole ? {beginAtZero: true, ticks: {precision: 0}} : {beginAtZero: true};
  return new Chart(document.getElementById(canvas), {
    type, data: {labels, datasets},
    options: {animation: false, responsive: true, locale: "pl-PL", scales: {y}},
  });
}

async function loadDay() {
  const problem = document.getElementById("problem");
  const parameters = query();
  parameters.set("page", dayPage);
  const answer = await fetch(`api/day?${parameters}`);
  if (!answer.ok) {
    problem.textContent = await answer.text();
    problem.hidden = false;
    return;
  }
  problem.hidden = true;
  const day = await answer.json();
  fillTable("weighings", day.rows.map((row) => Object.assign([
    (row.time ?? "").substring(11, 19), row.station, String(row.scale),
    withUnit(row.reading, row.unit) + (row.disputed ? " (sporne)" : "")],
    {className: row.disputed ? "disputed" : ""})));
  fillTable("totals", totalsWithRooms(day.totals));
  // A day without weighings says so where its tables and charts would be.
  const empty = day.rows.length === 0 && day.totals.length === 0;
  document.getElementById("empty").hidden = !empty;
  for (const selector of ["#totals", "#weighings", ".charts", "nav.pages"]) {
    document.querySelector(selector).hidden = empty;
  }
  document.getElementById("page-number").textContent = `strona ${dayPage + 1}`;
  document.getElementById("previous").disabled = dayPage === 0;
  document.getElementById("next").disabled = !day.more;

  const hours = [...Array(24).keys()];
  const stations = [...new Set(day.hours.map((hour) => hour.station))].sort();
  hourChart = chart(hourChart, "hours", "bar", hours.map(String), stations.map((station, i) => ({
    label: station, backgroundColor: colour(i),
    data: hours.map((h) => day.hours.find((x) => x.station === station && x.hour === h)?.count ?? 0),
  })), true);
  const daily = await (await fetch(`api/daily?day=${day.day}`)).json();
  const dates = [];
  for (let d = new Date(`${daily.from}T12:00:00`); dates.length < 30; d.setDate(d.getDate() + 1)) {
    dates.push(d.toISOString().substring(0, 10));
  }
  // One line per room and unit: sums in different units are never drawn as one.
  const lines = [...new Set(daily.days.map((x) => JSON.stringify([x.station, x.unit])))].sort()
    .map((line) => JSON.parse(line));
  dayChart = chart(dayChart, "days", "line", dates.map(dayAndMonth),
    lines.map(([station, unit], i) => ({
      label: `${station} (${unit})`, borderColor: colour(i),
      data: dates.map((d) => daily.days.find(
        (x) => x.station === station && x.unit === unit && x.day === d)?.sum ?? 0),
    })));
}

function sortBy(column) {
  daySort.ascending = column === daySort.by ? !daySort.ascending
                                            : column === "station" || column === "scale";
  daySort.by = column;
  showSort();
  dayPage = 0;
  loadDay();
}

function showSort() {
  for (const button of document.querySelectorAll("button.sort")) {
    const arrow = button.dataset.sort === daySort.by ? (daySort.ascending ? " ▲" : " ▼") : "";
    button.textContent = button.textContent.replace(/ [▲▼]$/, "") + arrow;
  }
}

// The range's sums per day, room and scale, for the room and scale chosen for the day.
async function loadRange() {
  const parameters = query();
  parameters.set("from", document.getElementById("from").value);
  parameters.set("to", document.getElementById("to").value);
  const problem = document.getElementById("range-problem");
  const answer = await fetch(`api/range?${parameters}`);
  if (!answer.ok) {
    problem.textContent = await answer.text();
    problem.hidden = false;
    return;
  }
  const range = await answer.json();
  problem.textContent = "Za dużo wierszy: pokazano pierwsze; zawęź zakres albo wybierz pokój";
  problem.hidden = !range.more;
  fillTable("range", range.rows.map((row) => [
    dayAndMonth(row.day) + "." + row.day.substring(0, 4), row.station, String(row.scale),
    String(row.count), row.sum === null ? "" : `${number(row.sum)} ${row.unit}`]));
}

function exportLinks() {
  loadRange();
  const range = new URLSearchParams({
    from: document.getElementById("from").value, to: document.getElementById("to").value});
  document.getElementById("xlsx").href = `api/export.xlsx?${range}`;
  document.getElementById("csv").href = `api/export.csv?${range}`;
  document.getElementById("json").href = `api/export.json?${range}`;
}

document.addEventListener("DOMContentLoaded", () => {
  document.getElementById("day").value = today();
  document.getElementById("from").value = today().substring(0, 8) + "01";
  document.getElementById("to").value = today();
  for (const id of ["day", "station", "scale"]) {
    document.getElementById(id).addEventListener("change", () => {
      dayPage = 0;
      loadDay();
      if (id !== "day") loadRange();
    });
  }
  for (const button of document.querySelectorAll("button.sort")) {
    button.addEventListener("click", () => sortBy(button.dataset.sort));
  }
  showSort();
  document.getElementById("previous").addEventListener("click", () => { --dayPage; loadDay(); });
  document.getElementById("next").addEventListener("click", () => { ++dayPage; loadDay(); });
  for (const id of ["from", "to"]) document.getElementById(id).addEventListener("change", exportLinks);
  exportLinks();
  loadStations().then(loadDay);
  listen();
});
