// The panel's page: the facility from the live channel, drawn as a device
// list and one device at a time; every change arrives from the panel as it
// happens, and a crosspoint lights only when its revertive says so.
"use strict";

const panel = {
  devices: new Map(),   // number -> device as the panel sends it
  selected: 0,
  hub: false,
  live: false,
  authorized: false,
  readOnly: false,
  tokenRequired: false,
  salvo: false,
  armed: new Map(),     // salvo: dest -> source
  clicks: new Map(),    // "dev/dest/src" -> time of the click, until the cell lights
  timings: [],          // click to lit cell painted, milliseconds
  revertiveTimings: [], // click to its revertive in the page, milliseconds
  nextId: 1,
};
window.panel = panel;

const $ = (id) => document.getElementById(id);
const el = (tag, props = {}, ...children) => {
  const node = Object.assign(document.createElement(tag), props);
  for (const child of children) node.append(child);
  return node;
};

let socket = null;
let retryMs = 250;

function connect() {
  socket = new WebSocket(`${location.protocol === "https:" ? "wss" : "ws"}://${location.host}/live`);
  socket.onopen = () => { retryMs = 250; panel.live = true; showStatus(); };
  socket.onmessage = (event) => { for (const message of JSON.parse(event.data)) handle(message); };
  socket.onclose = () => {
    panel.live = false;
    showStatus();
    setTimeout(connect, retryMs);
    retryMs = Math.min(retryMs * 2, 4000);
  };
}

function send(request) {
  if (!socket || socket.readyState !== WebSocket.OPEN) return toast("not connected to the panel");
  request.id = panel.nextId++;
  socket.send(JSON.stringify(request));
}

function handle(m) {
  switch (m.type) {
    case "hello":
      panel.authorized = m.authorized; panel.readOnly = m.readOnly; panel.tokenRequired = m.tokenRequired;
      if (m.tokenRequired && !m.authorized && sessionStorage.getItem("zorv-token")) {
        panel.authId = panel.nextId;
        send({ op: "auth", token: sessionStorage.getItem("zorv-token") });
      }
      break;
    case "state":
      panel.hub = m.hub;
      panel.devices = new Map(m.devices.map((d) => [d.device, d]));
      if (!panel.devices.has(panel.selected)) panel.selected = m.devices.length ? m.devices[0].device : 0;
      drawDevices(); drawView();
      break;
    case "device":
      panel.devices.set(m.device.device, m.device);
      drawDevices();
      if (m.device.device === panel.selected) drawView();
      break;
    case "hub":
      panel.hub = m.connected;
      break;
    case "router": onRouter(m); break;
    case "info": onInfo(m); break;
    case "gpi": onGpi(m); break;
    case "lock": onLock(m); break;
    case "name": onName(m); break;
    case "ok":
      if (m.id === panel.authId) { panel.authorized = true; panel.authId = 0; drawView(); }
      break;
    case "error":
      if (m.id === panel.authId) { panel.authId = 0; sessionStorage.removeItem("zorv-token"); }
      toast(`${m.status}: ${m.message}`);
      break;
  }
  showStatus();
}

// ------------------------------------------------------------ status

function showStatus() {
  const status = $("status");
  const up = panel.live && panel.hub;
  status.textContent = !panel.live ? "panel unreachable" : panel.hub ? "hub connected" : "hub gone";
  status.className = "pill " + (up ? "ok" : "bad");
  const banner = $("banner");
  banner.hidden = up;
  banner.textContent = !panel.live ? "The panel cannot be reached; reconnecting…"
                                   : "The hub is gone; the panel reconnects when it comes back.";
  $("mode").textContent = panel.readOnly ? "read-only" : canWrite() ? "writes enabled" : "view only (token needed)";
  $("auth").hidden = !(panel.tokenRequired && !panel.authorized && !panel.readOnly);
  document.body.classList.toggle("offline", !up);
}

const canWrite = () => !panel.readOnly && panel.authorized;

function toast(text) {
  const t = $("toast");
  t.textContent = text;
  t.hidden = false;
  clearTimeout(toast.timer);
  toast.timer = setTimeout(() => { t.hidden = true; }, 3000);
}

// ------------------------------------------------------------ devices

const kindNames = { router: "Router", info: "Infodriver", gpi: "GPI unit", unknown: "Device" };

function drawDevices() {
  const nav = $("devices");
  nav.replaceChildren();
  for (const d of panel.devices.values()) {
    const button = el("button", { id: `dev-${d.device}`, className: d.device === panel.selected ? "selected" : "" },
      `${d.device} ${d.name || ""}`, el("small", {}, `${kindNames[d.kind]}, ${d.size} ${d.kind === "router" ? `× ${d.sources}` : ""}`));
    button.onclick = () => { panel.selected = d.device; panel.armed.clear(); drawDevices(); drawView(); };
    nav.append(button);
  }
}

function drawView() {
  const view = $("view");
  const d = panel.devices.get(panel.selected);
  if (!d) { view.replaceChildren(el("p", { className: "hint" }, "No devices.")); return; }
  const title = el("h2", {}, `${kindNames[d.kind]} ${d.device}: ${d.name || ""}`);
  const body = d.kind === "router" ? drawRouter(d) : d.kind === "info" ? drawInfo(d) : d.kind === "gpi" ? drawGpi(d)
             : el("p", { className: "hint" }, "Waiting for the device's state…");
  view.replaceChildren(title, body);
}

const label = (names, i) => names && names[i - 1] ? names[i - 1] : "";
const locked = (ws) => ws >= 0;
const lockText = (ws) => (locked(ws) ? `locked by WS ${ws}` : "lock");

// ------------------------------------------------------------ router

function drawRouter(d) {
  const salvoButton = el("button", { id: "salvo-mode", className: panel.salvo ? "on" : "" }, "Salvo mode");
  salvoButton.onclick = () => { panel.salvo = !panel.salvo; panel.armed.clear(); drawView(); };
  const take = el("button", { id: "salvo-take", disabled: !panel.salvo || panel.armed.size === 0 },
                  `Take salvo (${panel.armed.size})`);
  take.onclick = () => {
    const takes = [...panel.armed].map(([dest, source]) => ({ dest, source }));
    const now = performance.now();
    for (const t of takes) panel.clicks.set(`${d.device}/${t.dest}/${t.source}`, now);
    send({ op: "salvo", device: d.device, takes });
    panel.armed.clear();
    drawView();
  };
  const clear = el("button", { id: "salvo-clear", disabled: panel.armed.size === 0 }, "Clear");
  clear.onclick = () => { panel.armed.clear(); drawView(); };
  const toolbar = el("div", { className: "toolbar" }, salvoButton, take, clear);

  const head = el("tr", {}, el("th", {}, ""), el("th", {}, ""));
  for (let s = 1; s <= d.sources; ++s) head.append(el("th", { scope: "col", title: `source ${s}` }, `${s} ${label(d.sourceNames, s)}`));
  const rows = [];
  for (let dest = 1; dest <= d.size; ++dest) {
    const ws = d.locks[dest - 1];
    const row = el("tr", { id: `row-${d.device}-${dest}`, className: locked(ws) ? "locked" : "" },
      el("th", { className: "dest", scope: "row" }, `${dest}`, el("small", {}, label(d.names, dest))));
    const lock = el("button", { id: `lock-${d.device}-${dest}`, className: locked(ws) ? "locked" : "", disabled: !canWrite() },
                    lockText(ws));
    lock.onclick = () => send({ op: "lock", device: d.device, dest, lock: !locked(d.locks[dest - 1]) });
    row.append(el("td", { className: "lockcell" }, lock));
    for (let s = 1; s <= d.sources; ++s) {
      const lit = d.crosspoints[dest - 1] === s;
      const armed = panel.armed.get(dest) === s;
      const cell = el("button", { id: `x-${d.device}-${dest}-${s}`, className: `x${lit ? " lit" : ""}${armed ? " armed" : ""}`,
                                  title: `${label(d.names, dest) || dest} ← ${label(d.sourceNames, s) || s}`,
                                  disabled: !canWrite() });
      cell.setAttribute("aria-pressed", lit);
      cell.onclick = () => clickCrosspoint(d, dest, s);
      row.append(el("td", {}, cell));
    }
    rows.push(row);
  }
  const table = el("table", { className: "matrix" }, el("thead", {}, head), el("tbody", {}, ...rows));
  return el("div", {}, toolbar, el("div", { className: "scroll" }, table));
}

function clickCrosspoint(d, dest, source) {
  if (panel.salvo) {
    if (panel.armed.get(dest) === source) panel.armed.delete(dest); else panel.armed.set(dest, source);
    drawView();
    return;
  }
  panel.clicks.set(`${d.device}/${dest}/${source}`, performance.now());
  send({ op: "take", device: d.device, dest, source });
}

function onRouter(m) {
  const d = panel.devices.get(m.device);
  if (!d || d.kind !== "router" || m.dest < 1 || m.dest > d.size) return;
  const before = d.crosspoints[m.dest - 1];
  d.crosspoints[m.dest - 1] = m.source;
  if (m.device === panel.selected) {
    const old = $(`x-${m.device}-${m.dest}-${before}`);
    if (old) { old.classList.remove("lit"); old.setAttribute("aria-pressed", false); }
    const cell = $(`x-${m.device}-${m.dest}-${m.source}`);
    if (cell) { cell.classList.add("lit"); cell.setAttribute("aria-pressed", true); }
  }
  const key = `${m.device}/${m.dest}/${m.source}`;
  const clicked = panel.clicks.get(key);
  if (clicked !== undefined) {
    panel.clicks.delete(key);
    // The time until the revertive is in the page, and until the cell is painted lit.
    panel.revertiveTimings.push(performance.now() - clicked);
    requestAnimationFrame(() => panel.timings.push(performance.now() - clicked));
  }
}

function onLock(m) {
  const d = panel.devices.get(m.device);
  if (!d || m.index < 1 || m.index > d.size) return;
  d.locks[m.index - 1] = m.workstation;
  if (m.device === panel.selected) drawView();
}

function onName(m) {
  const d = panel.devices.get(m.device);
  if (!d) return;
  const names = d.kind === "router" && m.database === 0 ? d.sourceNames : d.names;
  if (names && m.index >= 1 && m.index <= names.length) names[m.index - 1] = m.name;
  if (m.device === panel.selected) drawView();
}

// ------------------------------------------------------------ infodriver

function drawInfo(d) {
  const rows = [];
  for (let slot = 1; slot <= d.size; ++slot) {
    const input = el("input", { id: `slot-${d.device}-${slot}`, value: d.slots[slot - 1] ?? "", disabled: !canWrite(),
                                maxLength: 255 });
    input.setAttribute("aria-label", `slot ${slot}`);
    const write = () => { if (input.value !== d.slots[slot - 1]) send({ op: "info", device: d.device, slot, text: input.value }); };
    input.onchange = write;
    input.onkeydown = (e) => { if (e.key === "Enter") input.blur(); if (e.key === "Escape") { input.value = d.slots[slot - 1]; input.blur(); } };
    const ws = d.locks[slot - 1];
    const lock = el("button", { className: locked(ws) ? "locked" : "", disabled: !canWrite() }, lockText(ws));
    lock.onclick = () => send({ op: "lock", device: d.device, dest: slot, lock: !locked(d.locks[slot - 1]) });
    rows.push(el("tr", {}, el("th", {}, `${slot}`), el("td", {}, label(d.names, slot)), el("td", {}, input), el("td", {}, lock)));
  }
  return el("table", { className: "slots" },
            el("thead", {}, el("tr", {}, el("th", {}, "Slot"), el("th", {}, "Name"), el("th", {}, "Text"), el("th", {}, ""))),
            el("tbody", {}, ...rows));
}

function onInfo(m) {
  const d = panel.devices.get(m.device);
  if (!d || d.kind !== "info" || m.slot < 1 || m.slot > d.size) return;
  d.slots[m.slot - 1] = m.text;
  const input = $(`slot-${m.device}-${m.slot}`);
  if (input && document.activeElement !== input) input.value = m.text;
}

// ------------------------------------------------------------ GPI

function drawGpi(d) {
  const lamps = el("div", { className: "lamps" });
  for (let i = 1; i <= d.size; ++i) {
    const on = d.gpis[i - 1] === 1;
    const lamp = el("button", { id: `gpi-${d.device}-${i}`, className: `lamp${on ? " on" : ""}`, disabled: !canWrite() },
                    el("i"), `${i} ${label(d.names, i)}`);
    lamp.setAttribute("aria-pressed", on);
    lamp.onclick = () => send({ op: "gpi", device: d.device, index: i, state: d.gpis[i - 1] !== 1 });
    lamps.append(lamp);
  }
  return lamps;
}

function onGpi(m) {
  const d = panel.devices.get(m.device);
  if (!d || d.kind !== "gpi" || m.index < 1 || m.index > d.size) return;
  d.gpis[m.index - 1] = m.state ? 1 : 0;
  const lamp = $(`gpi-${m.device}-${m.index}`);
  if (lamp) { lamp.classList.toggle("on", m.state); lamp.setAttribute("aria-pressed", m.state); }
}

// ------------------------------------------------------------ start

$("auth").onsubmit = (event) => {
  event.preventDefault();
  const token = $("token").value;
  sessionStorage.setItem("zorv-token", token);
  panel.authId = panel.nextId;
  send({ op: "auth", token });
};

const fromUrl = new URLSearchParams(location.search).get("token");
if (fromUrl) sessionStorage.setItem("zorv-token", fromUrl);
connect();
