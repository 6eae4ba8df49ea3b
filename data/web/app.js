// The operator page: a thin client of the centre's /api/. Every key, record and command text
// reaches the document through textContent, never as markup: a device chooses its own bytes.
"use strict";

const LIVE_ROWS = 500;         // rows the live table keeps, newest first
const KEPT_RECORDS = 2000;     // the newest records kept for a change of filter
const PAGE_SIZE = 100;
const REFRESH_MS = 2000;

const $ = (id) => document.getElementById(id);

// ---- Talking to the centre ----------------------------------------------------------------

// The key as one escaped path level, as the MQTT topics carry it: every byte outside printable
// ASCII, and "/", "+", "#" and "%", as upper-case %XX; and "?", which would end the path.
function keyPath(key) {
  let out = "";
  for (const byte of new TextEncoder().encode(key)) {
    const escaped = byte < 0x21 || byte >= 0x7f || "/+#%?".includes(String.fromCharCode(byte));
    out += escaped ? "%" + byte.toString(16).toUpperCase().padStart(2, "0")
                   : String.fromCharCode(byte);
  }
  return out;
}

class ApiError extends Error {
  constructor(status, message, retryAfter) {
    super(message);
    this.status = status;
    this.retryAfter = retryAfter;
  }
}

// The centre's clock minus this browser's, from the Date of each answer: a Date has whole
// seconds, so only a clock that is off by more than that counts.
let serverSkewMs = 0;

async function api(method, path, body) {
  const init = {method, headers: {}, credentials: "same-origin"};
  if (body !== undefined) {
    init.headers["Content-Type"] = "application/json";
    init.body = JSON.stringify(body);
  }
  let response;
  try {
    response = await fetch(path, init);
  } catch (e) {
    throw new ApiError(0, "the centre does not answer (" + e.message + ")");
  }
  const date = Date.parse(response.headers.get("Date") || "");
  if (!Number.isNaN(date)) {
    const skew = date - Date.now();
    serverSkewMs = Math.abs(skew) > 2000 ? skew : 0;
  }
  const text = await response.text();
  let data = null;
  try {
    data = text ? JSON.parse(text) : null;
  } catch (e) {
    data = null;
  }
  if (!response.ok) {
    const words = data && typeof data.error === "string" ? data.error : response.statusText;
    throw new ApiError(response.status, words, response.headers.get("Retry-After"));
  }
  return {status: response.status, data};
}

// Any answer may say the session is gone (the token file changed): ask for the token again.
async function guarded(work) {
  try {
    return await work();
  } catch (e) {
    if (e instanceof ApiError && e.status === 401) {
      signIn();
      return undefined;
    }
    throw e;
  }
}

// ---- Small helpers ------------------------------------------------------------------------

function el(tag, text, className) {
  const node = document.createElement(tag);
  if (text !== undefined && text !== null) node.textContent = String(text);
  if (className) node.className = className;
  return node;
}

function cell(row, text, className) {
  const td = el("td", text, className);
  row.appendChild(td);
  return td;
}

function replaceRows(body, rows) {
  const fragment = document.createDocumentFragment();
  rows.forEach((row) => fragment.appendChild(row));
  body.replaceChildren(fragment);
}

function fact(list, name, value) {
  list.appendChild(el("dt", name));
  list.appendChild(el("dd", value));
}

const number = new Intl.NumberFormat("en");

function bytesText(bytes) {
  const units = ["bytes", "KiB", "MiB", "GiB", "TiB"];
  let value = bytes;
  let unit = 0;
  while (value >= 1024 && unit < units.length - 1) {
    value /= 1024;
    unit++;
  }
  return (unit === 0 ? value : value.toFixed(1)) + " " + units[unit];
}

// The Devices window's age: "12 s", "3 min", "2 h", "4 d".
function ageText(seconds) {
  for (const [size, name] of [[86400, "d"], [3600, "h"], [60, "min"]]) {
    if (seconds >= size) return Math.floor(seconds / size) + " " + name;
  }
  return Math.max(0, Math.floor(seconds)) + " s";
}

function serverNowSeconds() {
  return (Date.now() + serverSkewMs) / 1000;
}

function debounce(fn, ms) {
  let timer = 0;
  return (...args) => {
    clearTimeout(timer);
    timer = setTimeout(() => fn(...args), ms);
  };
}

function showNotice(text) {
  const notice = $("notice");
  notice.textContent = text;
  notice.hidden = !text;
}

// What the operator reads when the centre refuses: the page's own sentence, then the centre's
// words in brackets.
function refusalText(e, what) {
  if (!(e instanceof ApiError) || e.status === 0) return what + ": " + e.message;
  const sentences = {
    400: "the centre cannot take this text",
    403: "the centre refuses requests from another site",
    404: "the centre knows no such device or command",
    409: "the centre cannot do it now",
    413: "the text is too long",
    429: "too many attempts; try again later",
  };
  return said(what + ": " + (sentences[e.status] || "HTTP " + e.status), e.message);
}

// The centre's own words follow the page's: a sentence of their own when they are one.
function said(sentence, centre) {
  if (!centre) return sentence + ".";
  return /[.!?]$/.test(centre) ? sentence + ". " + centre : sentence + " (" + centre + ").";
}

// ---- Signing in ---------------------------------------------------------------------------

function signIn() {
  stopFeed();
  $("main").hidden = true;
  $("logout").hidden = true;
  const dialog = $("login");
  if (!dialog.open) dialog.showModal();
  $("token").focus();
}

async function submitToken(event) {
  event.preventDefault();
  const error = $("login-error");
  error.textContent = "";
  const token = $("token").value.trim();
  try {
    await api("POST", "/api/login", {token});
  } catch (e) {
    if (e.status === 401) {
      error.textContent = "This token is not the centre's: nothing was opened.";
    } else if (e.status === 429) {
      const wait = e.retryAfter ? " Try again in " + e.retryAfter + " s." : "";
      error.textContent = "Too many wrong tokens from this address." + wait;
    } else {
      error.textContent = refusalText(e, "Not signed in");
    }
    return;
  }
  $("token").value = "";
  $("login").close();
  start();
}

async function signOut() {
  try {
    await api("POST", "/api/logout");
  } catch (e) {
    // Signed out either way: the page hides what it showed until the token is given again.
  }
  signIn();
}

// ---- Devices ------------------------------------------------------------------------------

// The Devices window's columns; `sort` is what the centre sorts by.
const COLUMNS = [
  {title: "Key", sort: "key", text: (d) => d.key, className: "key"},
  {title: "Address", sort: "address", text: (d) => d.address},
  {title: "Port", sort: "port", text: (d) => d.port, className: "num"},
  {title: "First heard", sort: "firstHeard", text: (d) => d.firstHeard, className: "time"},
  {title: "Last heard", sort: "lastHeard", text: (d) => d.lastHeard, className: "time"},
  {title: "Age", sort: "lastHeard", reversed: true, text: ageOf, className: "num"},
  {title: "Records", sort: "records", text: (d) => number.format(d.records), className: "num"},
  {title: "Resends", sort: "resends", text: (d) => number.format(d.resends), className: "num"},
  {title: "Latest record", sort: "latestRecord", text: (d) => d.latestRecord, className: "line"},
  {title: "Held", sort: "commandsHeld", text: (d) => d.commandsHeld, className: "num"},
  {title: "Sent", sort: "commandsSent", text: (d) => d.commandsSent, className: "num"},
  {title: "Latest command", sort: "latestCommand", text: (d) => d.latestCommand, className: "line"},
  {title: "Command sent", sort: "latestCommandAt", text: (d) => d.latestCommandAt,
   className: "time"},
];

function ageOf(device) {
  const age = ageText(serverNowSeconds() - device.lastHeardEpoch);
  return device.silent ? "silent, " + age : age;
}

const devices = {filter: "", column: 0, descending: false, offset: 0, asked: 0, shown: [],
                 matched: 0, total: 0};

function buildDeviceHead() {
  const head = $("device-head");
  COLUMNS.forEach((column, index) => {
    const th = el("th");
    const button = el("button", column.title, "sort");
    button.type = "button";
    button.addEventListener("click", () => sortBy(index));
    th.appendChild(button);
    head.appendChild(th);
  });
}

// A second click on a column turns its order round.
function sortBy(index) {
  devices.descending = devices.column === index && !devices.descending;
  devices.column = index;
  devices.offset = 0;
  loadDevices();
}

// Age runs against Last heard: the youngest first is the latest heard first.
function sortParameter() {
  const column = COLUMNS[devices.column];
  return (devices.descending !== Boolean(column.reversed) ? "-" : "") + column.sort;
}

function markSortedColumn() {
  [...$("device-head").children].forEach((th, index) => {
    const order = devices.descending ? "descending" : "ascending";
    th.setAttribute("aria-sort", index === devices.column ? order : "none");
  });
}

async function loadDevices() {
  const asked = ++devices.asked;
  const query = new URLSearchParams({filter: devices.filter, sort: sortParameter(),
                                     offset: devices.offset, limit: PAGE_SIZE});
  let answer;
  try {
    answer = await guarded(() => api("GET", "/api/devices?" + query));
  } catch (e) {
    showNotice(refusalText(e, "The devices could not be read"));
    return;
  }
  if (!answer || asked !== devices.asked) return;  // a newer question is on its way
  showNotice("");
  const page = answer.data;
  Object.assign(devices, {shown: page.devices, matched: page.matched, total: page.total});
  if (page.offset >= page.matched && page.matched > 0 && devices.offset > 0) {
    devices.offset = Math.max(0, page.matched - PAGE_SIZE);
    loadDevices();
    return;
  }
  drawDevices();
}

function drawDevices() {
  const rows = devices.shown.map((device) => {
    const row = el("tr");
    row.dataset.key = device.key;
    if (device.silent) row.classList.add("silent");
    if (device.key === selected.key) row.classList.add("chosen");
    for (const column of COLUMNS) cell(row, column.text(device), column.className);
    row.cells[7].title = device.latestRecord;
    return row;
  });
  replaceRows($("device-rows"), rows);
  markSortedColumn();
  const first = devices.matched === 0 ? 0 : devices.offset + 1;
  const last = devices.offset + devices.shown.length;
  $("page-text").textContent = first + "–" + last + " of " + number.format(devices.matched);
  $("device-count").textContent = devices.filter
      ? number.format(devices.matched) + " of " + number.format(devices.total) + " devices match"
      : number.format(devices.total) + (devices.total === 1 ? " device" : " devices");
  $("page-prev").disabled = devices.offset === 0;
  $("page-next").disabled = last >= devices.matched;
  $("devices-empty").hidden = devices.total > 0;
}

function turnPage(step) {
  devices.offset = Math.max(0, devices.offset + step * PAGE_SIZE);
  loadDevices();
}

// ---- One device ---------------------------------------------------------------------------

const selected = {key: null, asked: 0};

function choose(key) {
  selected.key = key;
  for (const row of $("device-rows").children) {
    row.classList.toggle("chosen", row.dataset.key === key);
  }
  $("device-key").textContent = key;
  $("device-none").hidden = true;
  $("device-body").hidden = false;
  $("device-live").hidden = false;
  $("command-result").textContent = "";
  loadDevice();
}

async function loadDevice() {
  if (selected.key === null) return;
  const key = selected.key;
  const asked = ++selected.asked;
  let answer;
  try {
    answer = await guarded(() => api("GET", "/api/devices/" + keyPath(key)));
  } catch (e) {
    if (asked !== selected.asked) return;
    if (e.status === 404) {
      showResult("The centre no longer knows the device " + key + ": it was forgotten.", true);
    } else {
      showResult(refusalText(e, "The device could not be read"), true);
    }
    return;
  }
  if (answer && asked === selected.asked && key === selected.key) drawDevice(answer.data);
}

function drawDevice(device) {
  const facts = $("device-facts");
  facts.replaceChildren();
  fact(facts, "Address", device.address + " port " + device.port);
  fact(facts, "First heard", device.firstHeard);
  fact(facts, "Last heard", device.lastHeard + " (" + ageOf(device) + ")");
  fact(facts, "Records", number.format(device.records));
  fact(facts, "Commands", device.commandsHeld + " held, " + device.commandsSent + " sent");
  $("device-key").classList.toggle("silent", device.silent);
  const commands = device.commands || [];
  replaceRows($("command-rows"), commands.map(commandRow));
  $("commands-none").hidden = commands.length > 0;
  replaceRows($("recent-rows"), (device.recentRecords || []).map((record) => {
    const row = el("tr");
    cell(row, record.time, "time");
    cell(row, record.line, "line");
    return row;
  }));
}

// The state as the Devices window words it: "waiting since ...", "sent at ...", "refused: why".
function commandStateText(command) {
  const at = command.at ? " at " + command.at : "";
  const why = command.why ? ": " + command.why : "";
  switch (command.state) {
    case "waiting": return "waiting since " + command.heldSince;
    case "refused": return "refused" + why;
    case "not sent": return "not sent" + at + why;
    default: return command.state + at + why;
  }
}

function commandRow(command) {
  const row = el("tr");
  row.dataset.id = command.id;
  row.dataset.state = command.state;
  cell(row, command.id, "num");
  cell(row, command.text, "line");
  cell(row, commandStateText(command), "state state-" + command.state.replace(/ /g, "-"));
  const actions = cell(row, "");
  if (command.state === "waiting") {
    const cancel = el("button", "Cancel");
    cancel.type = "button";
    cancel.addEventListener("click", () => cancelCommand(command));
    actions.appendChild(cancel);
  }
  return row;
}

function showResult(text, failed) {
  const result = $("command-result");
  result.textContent = text;
  result.classList.toggle("error", Boolean(failed));
}

async function sendCommand(hold) {
  const key = selected.key;
  const text = $("command-text").value;
  if (key === null) return;
  if (text === "") {
    showResult("Type a command first: text, or hex: and pairs of hex digits.", true);
    return;
  }
  let answer;
  try {
    answer = await guarded(() => api("POST", "/api/devices/" + keyPath(key) + "/commands",
                                     {text, hold}));
  } catch (e) {
    showResult(commandRefusal(e, key, text, hold), true);
    return;
  }
  if (!answer) return;
  const state = answer.data.state;
  if (hold) {
    showResult("Command " + answer.data.id + " held for " + key + " until its next report: " +
               text);
  } else if (state === "sent") {
    showResult("Sent to " + key + ": " + text);
  } else {
    showResult(said("Not sent to " + key + ": the centre could not send it", answer.data.why),
               true);
  }
  $("command-text").value = "";
  loadDevice();
  loadDevices();
}

function commandRefusal(e, key, text, hold) {
  const what = hold ? "Not held" : "Not sent";
  if (e.status === 404) return what + ": the centre knows no device " + key + ".";
  if (e.status === 409) {
    return said(what + ": " + key + " has as many commands waiting as --max-held allows",
                e.message);
  }
  if (e.status === 400 && /^hex:/i.test(text)) {
    return said(what + ": the hex text is not hex", e.message);
  }
  return refusalText(e, what);
}

async function cancelCommand(command) {
  try {
    await guarded(() => api("DELETE", "/api/commands/" + encodeURIComponent(command.id)));
    showResult("Command " + command.id + " cancelled: " + command.text);
  } catch (e) {
    if (e.status === 409) {
      showResult("Command " + command.id + " is no longer waiting: it was not cancelled.", true);
    } else if (e.status === 404) {
      showResult("The centre no longer knows command " + command.id + ".", true);
    } else {
      showResult(refusalText(e, "Not cancelled"), true);
    }
  }
  loadDevice();
  loadDevices();
}

// ---- Live records -------------------------------------------------------------------------

const live = {source: null, records: [], fresh: 0, drawQueued: false, paused: false,
              whilePaused: 0, lost: 0};

function startFeed() {
  stopFeed();
  const source = new EventSource("/api/events");
  live.source = source;
  source.addEventListener("open", () => feedState("live", "live"));
  source.addEventListener("error", () => feedLost(source));
  source.addEventListener("record", (event) => takeRecord(JSON.parse(event.data)));
  source.addEventListener("device", () => soon(loadDevices));
  source.addEventListener("command", (event) => {
    const command = JSON.parse(event.data);
    if (command.key === selected.key) soon(loadDevice);
    soon(loadDevices);
  });
  source.addEventListener("lost", (event) => {
    live.lost += JSON.parse(event.data).count;
    drawLiveState();
  });
}

function stopFeed() {
  if (live.source) live.source.close();
  live.source = null;
  feedState("off", "not connected");
}

// The browser comes back by itself with Last-Event-ID; a closed stream was refused, which the
// next question to the centre explains (most often: sign in again).
function feedLost(source) {
  if (source.readyState === EventSource.CLOSED) {
    feedState("off", "live records stopped");
    guarded(() => api("GET", "/api/counters")).then(() => {
      if (live.source === source) setTimeout(startFeed, REFRESH_MS);
    }, () => {});
  } else {
    feedState("retry", "reconnecting…");
  }
}

function feedState(state, text) {
  const badge = $("feed-state");
  badge.dataset.state = state;
  badge.textContent = text;
}

// While paused the records are still kept, only not drawn: Resume draws the newest at once.
function takeRecord(record) {
  keep(record);
  if (live.paused) {
    live.whilePaused++;
    drawLiveState();
    return;
  }
  live.fresh++;
  if (!live.drawQueued) {
    live.drawQueued = true;
    requestAnimationFrame(drawFresh);
  }
}

// The newest records, whatever the filter, stay at hand, so that a change of filter redraws at
// once; at most twice as many as kept are held between trims.
function keep(record) {
  live.records.push(record);
  if (live.records.length > KEPT_RECORDS * 2) live.records = live.records.slice(-KEPT_RECORDS);
}

function liveFilter() {
  return {key: $("live-key").value.trim(), text: $("live-text").value.trim().toLowerCase()};
}

function passes(record, filter) {
  return (!filter.key || record.key === filter.key) &&
         (!filter.text || record.line.toLowerCase().includes(filter.text));
}

function liveRow(record) {
  const row = el("tr");
  cell(row, record.time, "time");
  cell(row, record.key, "key");
  cell(row, record.line, "line");
  return row;
}

// Rows for the records among the newest `count` at hand that pass the filter, newest first, at
// most LIVE_ROWS of them; those that came while paused stay out until Resume.
function liveRows(count) {
  const filter = liveFilter();
  const rows = [];
  const newest = live.records.length - 1 - (live.paused ? live.whilePaused : 0);
  const oldest = Math.max(0, live.records.length - count);
  for (let i = newest; i >= oldest && rows.length < LIVE_ROWS; i--) {
    if (passes(live.records[i], filter)) rows.push(liveRow(live.records[i]));
  }
  return rows;
}

// Records are drawn once a frame, however fast they come (and not at all in a hidden tab): a
// flood costs one insertion of at most LIVE_ROWS rows.
function drawFresh() {
  live.drawQueued = false;
  const rows = liveRows(live.fresh);
  live.fresh = 0;
  const fragment = document.createDocumentFragment();
  rows.forEach((row) => fragment.appendChild(row));
  const body = $("live-rows");
  body.insertBefore(fragment, body.firstChild);
  while (body.childElementCount > LIVE_ROWS) body.lastElementChild.remove();
  drawLiveState();
}

function redrawLive() {
  replaceRows($("live-rows"), liveRows(live.records.length));
  drawLiveState();
}

function togglePause() {
  live.paused = !live.paused;
  const button = $("live-pause");
  button.textContent = live.paused ? "Resume" : "Pause";
  button.setAttribute("aria-pressed", String(live.paused));
  if (live.paused) {
    live.whilePaused = 0;
    drawLiveState();
  } else {
    redrawLive();
  }
}

function drawLiveState() {
  const parts = [];
  if (live.paused) {
    const count = live.whilePaused;
    parts.push("paused: " + number.format(count) + (count === 1 ? " new record" : " new records"));
  }
  if (live.lost) parts.push(number.format(live.lost) + " records missed (the page fell behind)");
  $("live-state").textContent = parts.join("; ");
}

// ---- The centre ---------------------------------------------------------------------------

let chart = null;

function makeChart() {
  if (typeof Chart === "undefined") {
    $("rate-chart").replaceWith(el("p", "No chart: the centre serves no /chart.js (Debian's " +
                                        "libjs-chart.js is not installed beside it).", "quiet"));
    return null;
  }
  const style = getComputedStyle(document.body);
  const line = (label, color) => ({label, data: [], borderColor: color, backgroundColor: color,
                                   pointRadius: 0, borderWidth: 1.5, tension: 0});
  return new Chart($("rate-chart"), {
    type: "line",
    data: {datasets: [line("records a second", style.getPropertyValue("--records").trim()),
                      line("drops a second", style.getPropertyValue("--drops").trim())]},
    options: {
      animation: false,
      maintainAspectRatio: false,
      parsing: false,
      normalized: true,
      interaction: {mode: "nearest", axis: "x", intersect: false},
      scales: {
        x: {type: "linear", ticks: {callback: clockOf, maxTicksLimit: 6}},
        y: {beginAtZero: true, ticks: {precision: 0}},
      },
      plugins: {tooltip: {callbacks: {title: (items) => clockOf(items[0].parsed.x)}}},
    },
  });
}

function clockOf(epochSeconds) {
  return new Date(epochSeconds * 1000).toLocaleTimeString("en-GB");
}

async function loadCounters() {
  let answer;
  try {
    answer = await guarded(() => api("GET", "/api/counters"));
  } catch (e) {
    showNotice(refusalText(e, "The centre's counters could not be read"));
    return;
  }
  if (!answer) return;
  drawCounters(answer.data);
}

function drawCounters(centre) {
  const list = $("counters");
  list.replaceChildren();
  for (const [name, value] of Object.entries(centre.counters || {})) {
    const group = el("div", null, "counter");
    group.appendChild(el("dt", name));
    group.appendChild(el("dd", typeof value === "number" ? number.format(value) : value));
    list.appendChild(group);
  }
  const facts = $("centre-facts");
  facts.replaceChildren();
  const broker = centre.broker;
  fact(facts, "Broker", broker ? brokerText(broker) : "none (no --mqtt)");
  if (centre.log) {
    fact(facts, "Log folder", centre.log.folder);
    fact(facts, "Free space", bytesText(centre.log.freeBytes));
  }
  drawChart(centre.history || []);
}

// "STATE, backlog N records", and how far behind while records wait.
function brokerText(broker) {
  const behind = broker.backlog > 0 ? ", " + number.format(broker.backlogSeconds) + " s behind" : "";
  return broker.state + ", backlog " + number.format(broker.backlog) + " records" + behind;
}

let chartMissing = false;

function drawChart(history) {
  if (chartMissing) return;
  chart = chart || makeChart();
  chartMissing = !chart;
  if (!chart) return;
  chart.data.datasets[0].data = history.map((h) => ({x: h.t, y: h.records}));
  chart.data.datasets[1].data = history.map((h) => ({x: h.t, y: h.drops}));
  // Always the whole 10 minutes, however young the centre.
  const newest = history.length ? history[history.length - 1].t : serverNowSeconds();
  chart.options.scales.x.min = newest - 600;
  chart.options.scales.x.max = newest;
  chart.update("none");
}

// ---- Putting it together ------------------------------------------------------------------

const soonTimers = new Map();

// Many events in a burst ask for one reload.
function soon(load) {
  if (soonTimers.has(load)) return;
  soonTimers.set(load, setTimeout(() => {
    soonTimers.delete(load);
    load();
  }, 250));
}

function refresh() {
  if (document.hidden || $("main").hidden) return;
  loadDevices();
  loadDevice();
  loadCounters();
}

// The centre's local time as its log writes it: "2026-12-09 14:05:03".
function tick() {
  const now = new Date(Date.now() + serverSkewMs);
  const two = (n) => String(n).padStart(2, "0");
  $("clock").textContent = now.getFullYear() + "-" + two(now.getMonth() + 1) + "-" +
      two(now.getDate()) + " " + two(now.getHours()) + ":" + two(now.getMinutes()) + ":" +
      two(now.getSeconds());
}

function start() {
  $("main").hidden = false;
  $("logout").hidden = false;
  loadDevices();
  loadCounters();
  loadDevice();
  startFeed();
}

function wire() {
  buildDeviceHead();
  $("login-form").addEventListener("submit", submitToken);
  $("login").addEventListener("cancel", (event) => event.preventDefault());
  $("logout").addEventListener("click", signOut);
  $("device-filter").addEventListener("input", debounce(() => {
    devices.filter = $("device-filter").value.trim();
    devices.offset = 0;
    loadDevices();
  }, 200));
  $("page-prev").addEventListener("click", () => turnPage(-1));
  $("page-next").addEventListener("click", () => turnPage(1));
  $("device-rows").addEventListener("click", (event) => {
    const row = event.target.closest("tr");
    if (row) choose(row.dataset.key);
  });
  $("command-form").addEventListener("submit", (event) => {
    event.preventDefault();
    sendCommand(false);
  });
  $("send-hold").addEventListener("click", () => sendCommand(true));
  $("device-live").addEventListener("click", () => {
    $("live-key").value = selected.key;
    redrawLive();
  });
  $("live-key").addEventListener("input", debounce(redrawLive, 150));
  $("live-text").addEventListener("input", debounce(redrawLive, 150));
  $("live-pause").addEventListener("click", togglePause);
  document.addEventListener("visibilitychange", refresh);
  setInterval(refresh, REFRESH_MS);
  setInterval(tick, 1000);
  tick();
}

// Whether a session is open already shows in the first answer.
async function open() {
  wire();
  try {
    const answer = await api("GET", "/api/counters");
    drawCounters(answer.data);
    start();
  } catch (e) {
    if (e.status === 401) {
      signIn();
    } else {
      showNotice(refusalText(e, "The centre could not be reached"));
    }
  }
}

open();
