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
  return isoDay(new Date());
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
  const seal = element("span", "seal");
  seal.hidden = true;
  title.append(state, disputed, seal);
  panel.append(title);
  const scales = element("div", "scales");
  entry = {panel, state, disputed, seal, scales: []};
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

// With seals verified: whether the room's weighings are, by which key, and the first that failed.
function showSeal(station, seal) {
  const shown = room(station).seal;
  shown.hidden = !seal;
  if (!seal) return;
  shown.classList.toggle("broken", Boolean(seal.break));
  if (seal.break) {
    shown.textContent = ` · podpisy naruszone od ważenia ${seal.break.split(": ")[0]}`;
    shown.title = seal.break;
  } else if (seal.key) {
    shown.textContent = ` · podpisy zgodne (klucz ${seal.pinned ? "z ustawień" : "z pierwszego ważenia"})`;
    shown.title = seal.key;
  } else {
    shown.textContent = " · ważenia niepodpisane";
    shown.title = "";
  }
}

async function loadStations() {
  const answer = await fetch("api/stations");
  if (!answer.ok) return;
  const stations = await answer.json();
  for (const [station, data] of Object.entries(stations)) {
    showStatus(station, data.online, data.since);
    showDisputed(station, data.disputed);
    showSeal(station, data.seal);
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
  if (!event.broker) problems.push("rejestr nie ma połączenia z brokerem: stan stanowisk nieznany");
  if (!event.database) problems.push("rejestr nie ma połączenia z bazą danych: ważenia czekają");
  for (const cut of event.halls_cut ?? []) {
    const since = cut.since ? ` od ${heardAt(cut.since)}` : "";
    problems.push(`hala ${cut.hall} odcięta od rejestru${since}: stan jej stanowisk nieznany, ważenia czekają w hali`);
  }
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
// step by one; `axes`, when given, the value axes by their ids.
function chart(existing, canvas, type, labels, datasets, whole, axes) {
  if (typeof Chart === "undefined") return null;
  if (existing) existing.destroy();
  const y = whole ? {beginAtZero: true, ticks: {precision: 0}} : {beginAtZero: true};
  return new Chart(document.getElementById(canvas), {
    type, data: {labels, datasets},
    options: {animation: false, responsive: true, locale: "pl-PL", scales: axes ?? {y}},
  });
}

// Answers can come in another order than their questions: only the latest asked is shown.
const latest = {day: 0, daily: 0, range: 0, compare: 0};

async function fetchLatest(kind, url) {
  const asked = ++latest[kind];
  const answer = await fetch(url);
  const body = answer.ok ? await answer.json() : await answer.text();
  return asked === latest[kind] ? {ok: answer.ok, body} : null;
}

async function loadDay() {
  const problem = document.getElementById("problem");
  const parameters = query();
  parameters.set("page", dayPage);
  const answer = await fetchLatest("day", `api/day?${parameters}`);
  if (!answer) return;
  if (!answer.ok) {
    problem.textContent = answer.body;
    problem.hidden = false;
    return;
  }
  problem.hidden = true;
  const day = answer.body;
  fillTable("weighings", day.rows.map((row) => Object.assign([
    (row.time ?? "").substring(11, 19), row.station, String(row.scale),
    withUnit(row.reading, row.unit) + (row.disputed ? " (sporne)" : "")],
    {className: row.disputed ? "disputed" : ""})));
  fillTable("totals", totalsWithRooms(day.totals));
  // A day without weighings says so where its tables would be; the charts stay, the 30 days'
  // above all.
  const empty = day.rows.length === 0 && day.totals.length === 0;
  document.getElementById("empty").hidden = !empty;
  for (const selector of ["#totals", "#weighings", "nav.pages"]) {
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
  // The 30 days up to the day, of the room and scale chosen.
  const last = query();
  last.delete("sort");
  last.delete("order");
  const daily = await fetchLatest("daily", `api/daily?${last}`);
  if (!daily?.ok) return;
  const dates = [];
  for (let d = new Date(`${daily.body.from}T12:00:00`); dates.length < 30; d.setDate(d.getDate() + 1)) {
    dates.push(d.toISOString().substring(0, 10));
  }
  // One line per room and unit, on the axis of its unit: grams and kilograms are never drawn
  // against one scale.
  const days = daily.body.days;
  const lines = [...new Set(days.map((x) => JSON.stringify([x.station, x.unit])))].sort()
    .map((line) => JSON.parse(line));
  const units = [...new Set(lines.map(([, unit]) => unit))].sort();
  dayChart = chart(dayChart, "days", "line", dates.map(dayAndMonth),
    lines.map(([station, unit], i) => ({
      label: `${station} (${unit})`, borderColor: colour(i), yAxisID: `y-${unit}`,
      data: dates.map((d) => days.find(
        (x) => x.station === station && x.unit === unit && x.day === d)?.sum ?? 0),
    })), false, Object.fromEntries(units.map((unit, i) => [`y-${unit}`, {
      beginAtZero: true, position: i % 2 ? "right" : "left",
      title: {display: true, text: `suma [${unit}]`}}])));
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
  document.querySelector("#weighings caption").textContent =
    `Ważenia, ${orderWords[daySort.by][daySort.ascending ? 0 : 1]}`;
}

function rangeOf(fromId, toId) {
  const parameters = query();
  parameters.delete("sort");
  parameters.delete("order");
  parameters.set("from", document.getElementById(fromId).value);
  parameters.set("to", document.getElementById(toId).value);
  return parameters;
}

// "02.12.2026"
function fullDay(isoDay) {
  return `${dayAndMonth(isoDay)}.${isoDay.substring(0, 4)}`;
}

// Each scale's and each room's count and sum in the range and in the range compared, side by
// side, with the difference of the sums: per unit, never kilograms against grams.
function comparisonRows(now, then) {
  const key = (x) => JSON.stringify([x.station, x.scale, x.unit]);
  const keys = [...new Set([...now, ...then].map(key))].map((k) => JSON.parse(k)).sort(
    (a, b) => (a[0] < b[0] ? -1 : a[0] > b[0] ? 1 : a[1] - b[1] || (a[2] < b[2] ? -1 : 1)));
  const find = (list, station, scale, unit) => list.filter(
    (x) => x.station === station && (scale === null || x.scale === scale) && x.unit === unit);
  const sumOf = (list) => (list.some((x) => x.sum !== null)
    ? list.reduce((s, x) => s + (x.sum ?? 0), 0) : null);
  const row = (station, scale, unit, className) => {
    const a = find(now, station, scale, unit);
    const b = find(then, station, scale, unit);
    const [sumA, sumB] = [sumOf(a), sumOf(b)];
    const shown = (sum) => (sum === null ? "" : `${number(sum)} ${unit}`);
    const difference = sumA === null && sumB === null ? ""
      : `${(sumA ?? 0) - (sumB ?? 0) > 0 ? "+" : ""}${number((sumA ?? 0) - (sumB ?? 0))} ${unit}`;
    return Object.assign([station, scale === null ? "razem" : String(scale),
      String(a.reduce((n, x) => n + x.count, 0)), shown(sumA),
      String(b.reduce((n, x) => n + x.count, 0)), shown(sumB), difference], {className});
  };
  const rows = [];
  keys.forEach(([station, scale, unit], i) => {
    rows.push(row(station, scale, unit, ""));
    if (keys[i + 1]?.[0] === station) return;
    const units = [...new Set(keys.filter((k) => k[0] === station).map((k) => k[2]))].sort();
    for (const each of units) rows.push(row(station, null, each, "room-total"));
  });
  return rows;
}

// The range's sums, per day and over the range against the range compared, for the room and
// scale chosen, and the exports of the same.
async function loadRange() {
  const range = rangeOf("from", "to");
  const compared = rangeOf("compare-from", "compare-to");
  for (const format of ["xlsx", "csv", "json"]) {
    document.getElementById(format).href = `api/export.${format}?${range}`;
  }
  const problem = document.getElementById("range-problem");
  const [now, then] = await Promise.all([fetchLatest("range", `api/range?${range}`),
    fetchLatest("compare", `api/range?${compared}`)]);
  if (!now || !then) return;
  const failed = [now, then].find((answer) => !answer.ok);
  problem.textContent = failed ? failed.body
    : "Za dużo wierszy dzień po dniu: pokazano pierwsze; zawęź zakres albo wybierz stanowisko";
  problem.hidden = !failed && !now.body.more;
  if (failed) return;
  document.querySelector("#comparison caption").textContent =
    `Liczba i suma na wagę i stanowisko: ${fullDay(now.body.from)}–${fullDay(now.body.to)} ` +
    `wobec ${fullDay(then.body.from)}–${fullDay(then.body.to)}`;
  fillTable("comparison", comparisonRows(now.body.totals, then.body.totals));
  fillTable("range", now.body.rows.map((row) => [
    fullDay(row.day), row.station, String(row.scale),
    String(row.count), row.sum === null ? "" : `${number(row.sum)} ${row.unit}`]));
}

// The same number of days just before the range, unless chosen.
function compareBefore() {
  const from = new Date(`${document.getElementById("from").value}T12:00:00`);
  const to = new Date(`${document.getElementById("to").value}T12:00:00`);
  if (Number.isNaN(from.getTime()) || Number.isNaN(to.getTime())) return;
  const days = Math.round((to - from) / 86400000) + 1;
  const shifted = (date) => {
    const moved = new Date(date);
    moved.setDate(moved.getDate() - days);
    return isoDay(moved);
  };
  document.getElementById("compare-from").value = shifted(from);
  document.getElementById("compare-to").value = shifted(to);
}

function isoDay(date) {
  const pad = (n) => String(n).padStart(2, "0");
  return `${date.getFullYear()}-${pad(date.getMonth() + 1)}-${pad(date.getDate())}`;
}

// This week so far, Monday on, against the same days of the week before.
function weekAgainstWeek() {
  const now = new Date();
  const monday = new Date(now);
  monday.setDate(now.getDate() - ((now.getDay() + 6) % 7));
  document.getElementById("from").value = isoDay(monday);
  document.getElementById("to").value = isoDay(now);
  const back = (date) => {
    const moved = new Date(date);
    moved.setDate(moved.getDate() - 7);
    return isoDay(moved);
  };
  document.getElementById("compare-from").value = back(monday);
  document.getElementById("compare-to").value = back(now);
  loadRange();
}

// The day table's caption says its order.
const orderWords = {
  time: ["najstarsze pierwsze", "najnowsze pierwsze"],
  station: ["według stanowiska", "według stanowiska, od końca"],
  scale: ["według wagi", "według wagi, od końca"],
  weight: ["najmniejsze pierwsze", "największe pierwsze"],
};

document.addEventListener("DOMContentLoaded", () => {
  document.getElementById("day").value = today();
  document.getElementById("from").value = today().substring(0, 8) + "01";
  document.getElementById("to").value = today();
  compareBefore();
  document.getElementById("day").addEventListener("change", () => { dayPage = 0; loadDay(); });
  for (const id of ["station", "scale"]) {
    document.getElementById(id).addEventListener("change", () => {
      dayPage = 0;
      loadDay();
      loadRange();
    });
  }
  for (const button of document.querySelectorAll("button.sort")) {
    button.addEventListener("click", () => sortBy(button.dataset.sort));
  }
  showSort();
  document.getElementById("previous").addEventListener("click", () => { --dayPage; loadDay(); });
  document.getElementById("next").addEventListener("click", () => { ++dayPage; loadDay(); });
  for (const id of ["from", "to"]) {
    document.getElementById(id).addEventListener("change", () => { compareBefore(); loadRange(); });
  }
  for (const id of ["compare-from", "compare-to"]) {
    document.getElementById(id).addEventListener("change", loadRange);
  }
  document.getElementById("week").addEventListener("click", weekAgainstWeek);
  loadRange();
  loadStations().then(loadDay);
  listen();
});
