// The service page: shows what the service is doing and lets a person try
// every request the Tarvo Studio app handles. The install token arrives in
// the address's fragment (#t=...), which is never sent to any server; the
// script sends it back only to this service, in the X-Studio-Token header.
"use strict";

const POLL_MS = 1500;
const token = new URLSearchParams(location.hash.slice(1)).get("t") || "";

let service = null; // the last ping's answer, and when it came
let polling = false;

function $(id) {
  return document.getElementById(id);
}

async function api(method, path, body) {
  const headers = { "X-Studio-Token": token };
  const init = { method, headers, cache: "no-store" };
  if (body !== undefined) {
    headers["Content-Type"] = "application/json";
    init.body = JSON.stringify(body);
  }
  const reply = await fetch(path, init);
  let data = {};
  try {
    data = await reply.json();
  } catch (_) {
    // Not JSON: the status alone tells what happened.
  }
  if (!reply.ok) {
    const err = new Error(data.error || data.detail || "the service answered " + reply.status);
    err.status = reply.status;
    throw err;
  }
  return data;
}

function setStatus(text, kind) {
  const status = $("status");
  status.textContent = text;
  status.className = "status " + (kind || "");
}

function showResult(text, bad) {
  const result = $("action-result");
  result.textContent = text;
  result.className = bad ? "result bad" : "result";
}

function formatSeconds(total) {
  const s = Math.floor(total);
  const h = Math.floor(s / 3600);
  const m = Math.floor((s % 3600) / 60);
  const rest = s % 60;
  if (h > 0) return h + " h " + m + " min";
  if (m > 0) return m + " min " + rest + " s";
  return rest + " s";
}

async function refreshService() {
  try {
    const ping = await api("GET", "/api/ping");
    service = { ping, at: performance.now() };
    $("service-name").textContent = ping.name;
    $("service-version").textContent = ping.version || "—";
    $("service-pid").textContent = ping.pid !== undefined ? String(ping.pid) : "—";
  } catch (_) {
    service = null;
  }
}

function showUptime() {
  if (!service || typeof service.ping.uptime !== "number") {
    $("service-uptime").textContent = "—";
    return;
  }
  const seconds = service.ping.uptime + (performance.now() - service.at) / 1000;
  $("service-uptime").textContent = formatSeconds(seconds);
}

function item(tool, meta) {
  const li = document.createElement("li");
  const name = document.createElement("span");
  name.className = "tool";
  name.textContent = tool;
  const detail = document.createElement("span");
  detail.className = "meta";
  detail.textContent = meta;
  li.append(name, detail);
  return li;
}

function answerButton(call, approve) {
  const button = document.createElement("button");
  button.type = "button";
  button.id = (approve ? "approve-" : "deny-") + call.id;
  button.textContent = approve ? "Approve" : "Deny";
  button.setAttribute("aria-label", (approve ? "Approve " : "Deny ") + call.tool);
  button.addEventListener("click", () => answer(call, approve));
  return button;
}

let shownPending = "";

function showBusy(busy) {
  const running = Array.isArray(busy.running) ? busy.running : [];
  const pending = Array.isArray(busy.pending) ? busy.pending : [];

  $("running-list").replaceChildren(
    ...running.map((run) => item(run.tool, formatSeconds(run.left) + " left of " + formatSeconds(run.seconds)))
  );
  $("running-empty").hidden = running.length > 0;

  // Rebuilt only when the calls change, so a focused button keeps its focus.
  const key = JSON.stringify(pending.map((call) => [call.id, call.tool]));
  if (key !== shownPending) {
    shownPending = key;
    $("pending-list").replaceChildren(
      ...pending.map((call) => {
        const li = item(call.tool, call.id);
        li.append(answerButton(call, true), answerButton(call, false));
        return li;
      })
    );
  }
  $("pending-empty").hidden = pending.length > 0;
  $("chat-count").textContent = String(busy.chats || 0);
}

async function poll() {
  if (polling) return;
  polling = true;
  try {
    if (!service) await refreshService();
    if (!token) {
      setStatus("This page has no token: open it from Tarvo Studio.", "down");
      return;
    }
    showBusy(await api("GET", "/api/busy"));
    setStatus("The service is running.", "up");
  } catch (err) {
    if (!err.status) service = null; // not answering at all: ask again who it is
    setStatus("The service is not answering: " + err.message, "down");
  } finally {
    showUptime();
    polling = false;
  }
}

async function act(body, done) {
  try {
    const reply = await api("POST", "/api/call", body);
    showResult(done(reply), false);
  } catch (err) {
    showResult(err.message, true);
  }
  poll();
}

async function answer(call, approve) {
  try {
    await api("POST", "/api/approve", { id: call.id, approve });
    showResult((approve ? "Approved " : "Denied ") + call.tool + ".", false);
  } catch (err) {
    showResult(err.message, true);
  }
  poll();
}

function onSubmit(id, handler) {
  $(id).addEventListener("submit", (event) => {
    event.preventDefault();
    handler();
  });
}

function bridge() {
  return window.webkit && window.webkit.messageHandlers && window.webkit.messageHandlers.studio;
}

function setUp() {
  onSubmit("run-form", () => {
    const tool = $("run-tool").value;
    act({ action: "run", tool, seconds: Number($("run-seconds").value) }, (r) => "Started " + r.tool + ".");
  });
  onSubmit("chat-form", () => {
    act({ action: "chat", seconds: Number($("chat-seconds").value) }, () => "Started a chat.");
  });
  onSubmit("ask-form", () => {
    act({ action: "ask", tool: $("ask-tool").value }, (r) => r.tool + " is waiting for approval.");
  });

  for (const button of document.querySelectorAll("button[data-message]")) {
    button.addEventListener("click", () => {
      const studio = bridge();
      if (studio) {
        studio.postMessage({ type: button.dataset.message });
      } else {
        $("bridge-hint").hidden = false;
      }
    });
  }
  $("bridge-hint").hidden = Boolean(bridge());
  $("show-alert").addEventListener("click", () => {
    alert("Hello from the Tarvo Studio service. The page waits until you close this.");
  });

  poll();
  setInterval(poll, POLL_MS);
  setInterval(showUptime, 1000);
  // Tells whoever watches the service's log that the page has loaded.
  fetch("/api/hello", { cache: "no-store" }).catch(() => {});
}

document.addEventListener("DOMContentLoaded", setUp);
