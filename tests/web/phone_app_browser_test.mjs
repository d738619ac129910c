// The phone's browser page in a real browser: headless Chromium, driven over the DevTools
// protocol with Node's built-in modules only, against `brimwick --headless --phone` on loopback.
// A person's path through it: pair with the printed code, watch a session appear, answer held
// permission requests, queue a prompt that the next Stop hands over, see markup shown as text,
// lose the computer and get it back, and be sent back to pairing when the token stops working.
//
// usage: node phone_app_browser_test.mjs BRIMWICK_BINARY [SCREENSHOT_DIR]
// Exit codes: 0 passed, 1 failed, 77 skipped (no Chromium or no WebSocket in this Node).
import { spawn, spawnSync } from "node:child_process";
import fs from "node:fs";
import http from "node:http";
import net from "node:net";
import os from "node:os";
import path from "node:path";
import { isDeepStrictEqual } from "node:util";

const SKIP = 77;

// Node 20 has its WebSocket client behind a flag; run again with it.
if (typeof WebSocket === "undefined") {
  if (process.env.BRIMWICK_WS_RETRY) {
    console.log("SKIPPED: this Node.js has no WebSocket client");
    process.exit(SKIP);
  }
  const again = spawnSync(process.execPath, ["--experimental-websocket", "--no-warnings", ...process.argv.slice(1)], {
    stdio: "inherit",
    env: { ...process.env, BRIMWICK_WS_RETRY: "1" },
  });
  process.exit(again.status ?? 1);
}

const [brimwick, shotsArg] = process.argv.slice(2);
const chromium = process.env.CHROMIUM || ["/usr/bin/chromium", "/usr/bin/chromium-browser"].find((p) => fs.existsSync(p));
if (!chromium) {
  console.log("SKIPPED: Chromium is missing (scripts/install-deps installs the Debian package chromium)");
  process.exit(SKIP);
}
if (!brimwick || !fs.existsSync(brimwick)) {
  console.error("usage: node phone_app_browser_test.mjs BRIMWICK_BINARY [SCREENSHOT_DIR]");
  process.exit(1);
}

let failures = 0;
let checks = 0;
function check(ok, what, detail) {
  checks += 1;
  if (ok) return true;
  failures += 1;
  console.log("FAIL: " + what + (detail === undefined ? "" : "\n  " + JSON.stringify(detail)));
  return false;
}
class Fatal extends Error {}
function must(ok, what, detail) {
  if (!check(ok, what, detail)) throw new Fatal(what);
}

const sleep = (ms) => new Promise((r) => setTimeout(r, ms));
const scratch = fs.mkdtempSync(path.join(os.tmpdir(), "brimwick-web-"));
const cleanups = [];

function freePort() {
  return new Promise((resolve, reject) => {
    const server = net.createServer();
    server.once("error", reject);
    server.listen(0, "127.0.0.1", () => {
      const { port } = server.address();
      server.close(() => resolve(port));
    });
  });
}

// A child whose output is read line by line.
function run(argv, env) {
  const child = spawn(argv[0], argv.slice(1), { env, stdio: ["ignore", "pipe", "pipe"] });
  const lines = [];
  const waiters = new Set();
  let pending = "";
  const feed = (chunk) => {
    pending += chunk;
    let at;
    while ((at = pending.indexOf("\n")) >= 0) {
      const line = pending.slice(0, at);
      pending = pending.slice(at + 1);
      lines.push(line);
      for (const w of waiters) w();
    }
  };
  child.stdout.setEncoding("utf8").on("data", feed);
  child.stderr.setEncoding("utf8").on("data", feed);
  const exited = new Promise((resolve) => child.on("exit", (code, signal) => resolve(code ?? 128)));
  // The first line printed so far or within the time that matches, or null. Lines from
  // different parts of the program come in no fixed order, so every wait looks at all of them.
  async function waitForLine(match, ms = 30000) {
    const test = typeof match === "string" ? (l) => l === match : (l) => match.test(l);
    const deadline = Date.now() + ms;
    for (;;) {
      const line = lines.find(test);
      if (line !== undefined) return line;
      const left = deadline - Date.now();
      if (left <= 0) return null;
      await new Promise((resolve) => {
        const wake = () => { waiters.delete(wake); clearTimeout(timer); resolve(); };
        const timer = setTimeout(wake, left);
        waiters.add(wake);
      });
    }
  }
  async function stop() {
    if (child.exitCode === null && child.signalCode === null) child.kill("SIGTERM");
    const timer = setTimeout(() => child.kill("SIGKILL"), 10000);
    const code = await exited;
    clearTimeout(timer);
    return code;
  }
  return { child, lines, waitForLine, stop };
}

// A hook command exactly as Claude Code runs it: sh -c with the payload on standard input.
function runHook(command, payload) {
  return new Promise((resolve) => {
    const child = spawn("sh", ["-c", command], { stdio: ["pipe", "pipe", "ignore"] });
    let out = "";
    child.stdout.setEncoding("utf8").on("data", (d) => { out += d; });
    child.on("exit", (code) => resolve({ status: code, output: out }));
    child.stdin.end(JSON.stringify(payload));
  });
}

// A minimal DevTools protocol client for one page.
async function devtools(wsUrl) {
  const ws = new WebSocket(wsUrl);
  await new Promise((resolve, reject) => {
    ws.addEventListener("open", resolve, { once: true });
    ws.addEventListener("error", () => reject(new Error("DevTools connection failed")), { once: true });
  });
  let next = 1;
  const calls = new Map();
  const listeners = [];
  ws.addEventListener("message", (event) => {
    const message = JSON.parse(event.data);
    if (message.id && calls.has(message.id)) {
      const { resolve, reject } = calls.get(message.id);
      calls.delete(message.id);
      if (message.error) reject(new Error(message.error.message));
      else resolve(message.result);
    } else if (message.method) {
      for (const l of listeners) l(message.method, message.params);
    }
  });
  return {
    send(method, params = {}) {
      const id = next++;
      ws.send(JSON.stringify({ id, method, params }));
      return new Promise((resolve, reject) => calls.set(id, { resolve, reject }));
    },
    on(listener) { listeners.push(listener); },
    close() { ws.close(); },
  };
}

let page = null;

async function evaluate(expression) {
  const result = await page.send("Runtime.evaluate", { expression, awaitPromise: true, returnByValue: true });
  if (result.exceptionDetails) throw new Error("page script failed: " + JSON.stringify(result.exceptionDetails));
  return result.result.value;
}

// Waits until `expression` is truthy in the page; gives its last value. The time only bounds a
// failing wait: a loaded machine may take long.
async function until(expression, ms = 30000) {
  const deadline = Date.now() + ms;
  let value;
  do {
    value = await evaluate(expression);
    if (value) return value;
    await sleep(100);
  } while (Date.now() < deadline);
  return value;
}

// A real pointer click in the middle of the first element that matches.
async function click(selector) {
  const box = await evaluate(`(() => { const e = document.querySelector(${JSON.stringify(selector)});
    if (!e) return null; e.scrollIntoView({ block: "center" }); const r = e.getBoundingClientRect();
    return { x: r.x + r.width / 2, y: r.y + r.height / 2 }; })()`);
  must(box, "there is something to click at " + selector);
  for (const type of ["mousePressed", "mouseReleased"]) {
    await page.send("Input.dispatchMouseEvent", { type, x: box.x, y: box.y, button: "left", clickCount: 1 });
  }
}

// Clicks until `expression` holds: on a loaded machine an emulated tap now and then goes
// nowhere, and a person would simply tap again. A tap that arrives is not repeated.
async function clickUntil(selector, expression, tries = 3) {
  for (let i = 0; i < tries; ++i) {
    await click(selector);
    if (await until(expression, 5000)) return true;
  }
  return false;
}

async function type(selector, text) {
  await evaluate(`document.querySelector(${JSON.stringify(selector)}).focus()`);
  await page.send("Input.insertText", { text });
}

let shotsDir = shotsArg || process.env.BRIMWICK_WEB_SHOTS || null;
async function screenshot(name) {
  if (!shotsDir) return;
  await evaluate("window.scrollTo(0, 0)");
  const { data } = await page.send("Page.captureScreenshot", { format: "png" });
  fs.writeFileSync(path.join(shotsDir, name + ".png"), Buffer.from(data, "base64"));
}

const text = (selector) => `(document.querySelector(${JSON.stringify(selector)}) || {}).textContent || ""`;
const cardOf = (project) => `[...document.querySelectorAll(".session")].find((c) => c.querySelector(".project").textContent === ${JSON.stringify(project)})`;

async function main() {
  if (shotsDir) fs.mkdirSync(shotsDir, { recursive: true });
  const home = path.join(scratch, "home");
  fs.mkdirSync(path.join(home, ".claude"), { recursive: true });
  const phonePort = await freePort();

  // A stand-in for the plan-usage endpoint, so the page has figures to show.
  const hour = 3600 * 1000;
  const usage = http.createServer((req, res) => {
    res.setHeader("Content-Type", "application/json");
    res.end(JSON.stringify({
      five_hour: { utilization: 37.5, resets_at: new Date(Date.now() + 2 * hour + 5 * 60000).toISOString() },
      seven_day: { utilization: 82, resets_at: new Date(Date.now() + 75 * hour).toISOString() },
    }));
  });
  await new Promise((resolve) => usage.listen(0, "127.0.0.1", resolve));
  cleanups.push(() => usage.close());
  fs.writeFileSync(path.join(home, ".claude", ".credentials.json"), JSON.stringify({ claudeAiOauth: { accessToken: "test-token" } }));

  const env = {
    ...process.env,
    HOME: home,
    XDG_CONFIG_HOME: path.join(home, "config"),
    BRIMWICK_PHONE_PORT: String(phonePort),
    BRIMWICK_USAGE_URL: `http://127.0.0.1:${usage.address().port}/api/oauth/usage`,
    DISPLAY: "",
    WAYLAND_DISPLAY: "",
    LC_ALL: "C.UTF-8",
  };

  // The hook commands as the installer writes them.
  const install = spawnSync(brimwick, ["hooks", "install"], { env, encoding: "utf8" });
  must(install.status === 0, "brimwick hooks install", install.stdout + install.stderr);
  const settings = JSON.parse(fs.readFileSync(path.join(home, ".claude", "settings.json"), "utf8"));
  const command = (event) => settings.hooks[event].at(-1).hooks[0].command;

  let app = null;
  const startApp = async () => {
    app = run([brimwick, "--headless", "--phone"], env);
    cleanups.push(() => app.stop());
    must(await app.waitForLine("hook server: Listening on 127.0.0.1:47821"),
      "hook server listens (is another Brimwick running on port 47821?)", app.lines);
    must(await app.waitForLine("phone: Listening on port " + phonePort), "phone server listens", app.lines);
  };
  await startApp();
  const codeLine = await app.waitForLine(/^Pairing code: \d{3} \d{3}$/);
  must(codeLine, "a pairing code is printed", app.lines);
  // The runner names the page at the computer's network address; the test only reads it. In a
  // private network namespace there is no such address, and so no line.
  const lan = Object.entries(os.networkInterfaces()).some(([name, addresses]) =>
    /^(en|eth|wl)/.test(name) && addresses.some((a) => a.family === "IPv4" && !a.internal));
  check(!lan || app.lines.some((l) => new RegExp(`^app: http://[0-9.]+:${phonePort}/app$`).test(l)), "the runner prints the page's address", app.lines);

  // Chromium on a private profile, its DevTools endpoint on loopback.
  const profile = path.join(scratch, "chromium");
  const browser = spawn(chromium, [
    "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
    "--disable-background-networking", "--disable-component-update", "--disable-sync",
    "--disable-default-apps", "--disable-extensions", "--mute-audio",
    "--user-data-dir=" + profile, "--remote-debugging-address=127.0.0.1", "--remote-debugging-port=0",
    "about:blank",
  ], { stdio: ["ignore", "ignore", "pipe"], detached: true, env: { ...process.env, HOME: path.join(scratch, "chromium-home") } });
  // Chromium's helper processes share its process group; all of them go at the end.
  cleanups.push(async () => {
    const exited = new Promise((r) => (browser.exitCode !== null || browser.signalCode !== null ? r() : browser.on("exit", r)));
    try { process.kill(-browser.pid, "SIGTERM"); } catch (e) { /* already gone */ }
    await Promise.race([exited, sleep(5000)]);
    try { process.kill(-browser.pid, "SIGKILL"); } catch (e) { /* already gone */ }
  });
  const browserWs = await new Promise((resolve) => {
    let seen = "";
    const timer = setTimeout(() => resolve(null), 30000);
    browser.stderr.setEncoding("utf8").on("data", (d) => {
      seen += d;
      const m = seen.match(/DevTools listening on (ws:\/\/\S+)/);
      if (m) { clearTimeout(timer); resolve(m[1]); }
    });
  });
  must(browserWs, "Chromium starts with its DevTools endpoint");
  const devtoolsPort = new URL(browserWs).port;
  const targets = await (await fetch(`http://127.0.0.1:${devtoolsPort}/json/list`)).json();
  const target = targets.find((t) => t.type === "page");
  must(target, "Chromium has a page", targets);
  page = await devtools(target.webSocketDebuggerUrl);

  const dialogs = [];
  const exceptions = [];
  const policyViolations = [];
  page.on((method, params) => {
    if (method === "Page.javascriptDialogOpening") {
      dialogs.push(params.message);
      page.send("Page.handleJavaScriptDialog", { accept: true });
    } else if (method === "Runtime.exceptionThrown") {
      exceptions.push(params.exceptionDetails.exception?.description || params.exceptionDetails.text);
    } else if (method === "Log.entryAdded" && /Content Security Policy/.test(params.entry.text)) {
      policyViolations.push(params.entry.text);
    }
  });
  await page.send("Page.enable");
  await page.send("Runtime.enable");
  await page.send("Log.enable");
  // A phone: 390 × 844 CSS pixels, touch, an Android browser's user agent.
  await page.send("Emulation.setDeviceMetricsOverride", { width: 390, height: 844, deviceScaleFactor: 2, mobile: true });
  await page.send("Emulation.setTouchEmulationEnabled", { enabled: true });
  await page.send("Emulation.setUserAgentOverride", {
    userAgent: "Mozilla/5.0 (Linux; Android 14; Pixel 8) AppleWebKit/537.36 (KHTML, like Gecko) Chrome/156.0.0.0 Mobile Safari/537.36",
  });

  const appUrl = `http://127.0.0.1:${phonePort}/app`;
  await page.send("Page.navigate", { url: appUrl });
  must(await until(`document.readyState === "complete" && !document.getElementById("pair").hidden`),
    "the page opens on the pairing form", await evaluate("document.body.innerText"));
  check(await evaluate(`document.getElementById("device").value`) === "Browser on Android", "the device name is guessed from the browser");
  await screenshot("1-pairing");

  // A wrong code first: the server's answer is shown and nothing is stored.
  await type("#code", "000 000");
  check(await clickUntil("#pair-button", `${text("#pair-msg")}.startsWith("Wrong pairing code")`), "a wrong code is refused", await evaluate(text("#pair-msg")));
  await evaluate(`document.getElementById("code").value = ""; document.getElementById("pair-msg").textContent = ""`);

  // The printed code as a person types it, with its space.
  await type("#code", codeLine.slice("Pairing code: ".length));
  must(await clickUntil("#pair-button", `!document.getElementById("app").hidden || ${text("#pair-msg")}.startsWith("Wrong")`) &&
       await until(`!document.getElementById("app").hidden`), "pairing opens the sessions view", await evaluate(text("#pair-msg")));
  check(await app.waitForLine("paired: Browser on Android"), "the computer names the paired browser", app.lines);
  check(await evaluate(`!!localStorage.getItem("brimwick.token")`), "the token is kept in local storage");
  check(await until(`${text("#u-session")}.includes("Session: 63% left") && ${text("#u-session")}.includes("resets in 2h 5m")`),
    "the session limit shows its percent left and reset countdown", await evaluate(text("#usage")));
  check(await until(`${text("#u-week")}.includes("Week: 18% left") && ${text("#u-week")}.includes("resets in 3d 3h")`),
    "the week limit shows its percent left and reset countdown", await evaluate(text("#usage")));
  check(await until(`!document.getElementById("empty").hidden`), "no sessions yet");

  // A session appears after its hook posts.
  const sessionA = "9e900432-ab61-4e27-9b9f-a7e00f0035ee";
  const base = { session_id: sessionA, transcript_path: "/tmp/t.jsonl", cwd: "/home/dana/src/weather" };
  await runHook(command("SessionStart"), { ...base, hook_event_name: "SessionStart", source: "startup" });
  await runHook(command("UserPromptSubmit"), { ...base, hook_event_name: "UserPromptSubmit", prompt: "Add a forecast for tomorrow" });
  must(await until(`${cardOf("weather")} && ${cardOf("weather")}.querySelector(".state").textContent === "Thinking"`),
    "the session appears with its state", await evaluate("document.getElementById('sessions').innerText"));
  check(await evaluate(`${cardOf("weather")}.querySelector(".task").textContent`) === "Add a forecast for tomorrow", "the session shows its task");
  check(await evaluate(`getComputedStyle(${cardOf("weather")}.querySelector(".hex .body")).stroke`) === "rgb(184, 158, 250)",
    "the hexagon takes the thinking colour of the mascot palette");
  await runHook(command("PreToolUse"), { ...base, hook_event_name: "PreToolUse", tool_name: "Bash", tool_input: { command: "echo hi > out.txt" } });

  // A held permission request, answered with "Always allow": a file-creating command, for which
  // Claude Code suggests the folder together with accept-edits mode.
  const suggestions = [
    { type: "addDirectories", directories: ["/home/dana/src/weather"], destination: "session" },
    { type: "setMode", mode: "acceptEdits", destination: "session" },
  ];
  const permission = runHook(command("PermissionRequest"), {
    ...base, hook_event_name: "PermissionRequest", tool_name: "Bash",
    tool_input: { command: "echo hi > out.txt", description: "Run the scripted command" }, permission_suggestions: suggestions,
  });
  must(await until(`${cardOf("weather")}.querySelector("[data-decision=always]")`, 15000),
    "the permission request is offered with Always allow", await evaluate("document.getElementById('sessions').innerText"));
  const pendingText = await evaluate(`${cardOf("weather")}.querySelector(".pending").innerText`);
  check(pendingText.includes("Bash") && pendingText.includes("echo hi > out.txt"), "the request shows its tool and detail", pendingText);
  check(await evaluate(`[...${cardOf("weather")}.querySelectorAll(".pending button")].map((b) => b.textContent).join("|")`) ===
    "Allow|Always allow|Deny|Answer in terminal", "four answers are offered");
  check(/^1:(4\d|50) left to answer$/.test(await evaluate(text(".pending .left"))), "the time left counts down from 110 s",
    await evaluate(text(".pending .left")));
  check(await evaluate(`${cardOf("weather")}.classList.contains("needs")`), "a session that needs you stands out");
  await screenshot("2-permission");
  await click(`[data-decision=always]`);
  const allowed = await permission;
  check(allowed.status === 0, "the permission command ends well");
  let answer = null;
  try { answer = JSON.parse(allowed.output); } catch (e) { /* checked below */ }
  check(isDeepStrictEqual(answer, {
    hookSpecificOutput: { hookEventName: "PermissionRequest", decision: { behavior: "allow", updatedPermissions: suggestions } },
  }), "Always allow answers with the request's suggestions", allowed.output);
  check(await until(`!${cardOf("weather")}.querySelector(".pending:not([hidden])")`), "the answered request leaves the page");

  // A prompt queued from the phone is handed over at the next Stop.
  await runHook(command("PostToolUse"), { ...base, hook_event_name: "PostToolUse", tool_name: "Bash", tool_input: { command: "echo hi > out.txt" } });
  await type(`.session textarea`, "Now write a test for it");
  await click(`.session form button`);
  check(await until(`${cardOf("weather")}.querySelector(".msg").textContent === "weather gets this when its current turn ends."`),
    "the server's message is shown", await evaluate(`${cardOf("weather")}.querySelector(".msg").textContent`));
  check(await until(`${cardOf("weather")}.querySelector(".meta").textContent.includes("1 prompt queued")`), "the queued count shows");
  check(await evaluate(`${cardOf("weather")}.querySelector("textarea").value`) === "", "the sent prompt leaves the text box");
  const stop = await runHook(command("Stop"), { ...base, hook_event_name: "Stop", stop_hook_active: false });
  let stopAnswer = null;
  try { stopAnswer = JSON.parse(stop.output); } catch (e) { /* checked below */ }
  check(stopAnswer && stopAnswer.decision === "block" && typeof stopAnswer.reason === "string" &&
    stopAnswer.reason.endsWith("\n\nNow write a test for it"), "the Stop hook hands the prompt over", stop.output);
  check(await until(`!${cardOf("weather")}.querySelector(".meta").textContent.includes("queued")`), "the queue empties after the hand-over");

  // Markup from a session is shown as text, never run or parsed.
  const sessionB = "5e139cd7-3f00-445e-9b61-926e2e09356a";
  const evilProject = "<i onmouseover=alert(2)>x";
  const evilTask = "<img src=x onerror=alert(1)>";
  const evilDetail = "<script>alert(3)</script>";
  const baseB = { session_id: sessionB, transcript_path: "/tmp/u.jsonl", cwd: "/tmp/" + evilProject };
  await runHook(command("SessionStart"), { ...baseB, hook_event_name: "SessionStart", source: "startup" });
  await runHook(command("UserPromptSubmit"), { ...baseB, hook_event_name: "UserPromptSubmit", prompt: evilTask });
  const held = runHook(command("PermissionRequest"), { ...baseB, hook_event_name: "PermissionRequest", tool_name: "Bash", tool_input: { command: evilDetail } });
  must(await until(`${cardOf(evilProject)} && ${cardOf(evilProject)}.querySelector(".pending .detail")`, 15000),
    "the session with markup appears with its request", await evaluate("document.getElementById('sessions').innerText"));
  check(await evaluate(`${cardOf(evilProject)}.querySelector(".task").textContent`) === evilTask, "the task is shown literally");
  check(await evaluate(`${cardOf(evilProject)}.querySelector(".detail").textContent`) === evilDetail, "the tool detail is shown literally");
  check(await evaluate(`document.querySelectorAll("img, i, main script").length`) === 0, "no element was made from the markup");
  check(!(await evaluate(`${cardOf(evilProject)}.querySelector("[data-decision=always]")`)), "no Always allow without suggestions");
  check(await evaluate(`${cardOf(evilProject)} === document.querySelector(".session")`), "the session that needs you comes first");
  await evaluate(`${cardOf(evilProject)}.querySelector(".msg").hidden = true`);
  await screenshot("3-markup-as-text");
  await click(`.session [data-decision=deny]`);
  const denied = await held;
  check(denied.output.includes('"behavior":"deny"'), "Deny answers the held hook", denied.output);

  // A request that went away before the page heard of it: the answer is refused, not "Sent.".
  const stale = runHook(command("PermissionRequest"), { ...baseB, hook_event_name: "PermissionRequest", tool_name: "Bash", tool_input: { command: "make" } });
  must(await until(`${cardOf(evilProject)}?.querySelector(".pending .detail")?.textContent === "make"`, 15000), "a second request is offered");
  await evaluate("stopPolling()");
  await runHook(command("PostToolUse"), { ...baseB, hook_event_name: "PostToolUse", tool_name: "Bash" });
  check((await stale).output === "", "moving on releases the held hook without an answer");
  await click(`.session [data-decision=allow]`);
  check(await until(`${cardOf(evilProject)}.querySelector(".pending .msg.bad")?.textContent === "That request is no longer waiting."`),
    "the page says the request is no longer waiting", await evaluate(`${cardOf(evilProject)}.querySelector(".pending").innerText`));
  await evaluate("startPolling()");

  // New session: the project list from the snapshot; a folder that is gone is refused.
  check(await evaluate(`[...document.querySelectorAll("#project option")].map((o) => o.textContent).join("|")`) === `${evilProject}|weather`,
    "the projects are listed newest first", await evaluate(`document.getElementById("project").innerText`));
  await evaluate(`document.getElementById("project").value = "/home/dana/src/weather"`);
  await type("#new-text", "Start over");
  await click("#new-button");
  check(await until(`${text("#new-msg")} === "Brimwick doesn't know that folder any more."`), "the server's refusal is shown",
    await evaluate(text("#new-msg")));
  await evaluate(`document.querySelector("#new-form").scrollIntoView()`);
  await runHook(command("SessionEnd"), { ...baseB, hook_event_name: "SessionEnd", reason: "other" });
  check(await until(`!${cardOf(evilProject)}`), "an ended session leaves the list");

  // The computer goes away: the page says so, then finds it again by itself.
  check(await app.stop() === 0, "brimwick stops cleanly");
  must(await until(`!document.getElementById("offline").hidden && ${text("#offline")}.startsWith("Offline")`), "the page says it is offline");
  await screenshot("4-offline");
  await startApp();
  must(await until(`document.getElementById("offline").hidden`, 40000), "the page reconnects by itself", await evaluate(text("#offline")));
  check(await until(`!document.getElementById("empty").hidden`), "the restarted computer has no sessions");
  check(await evaluate(`!document.getElementById("app").hidden`), "the token still works after a restart");

  // Another computer (no paired phones): the token is refused and the page returns to pairing.
  await app.stop();
  env.XDG_CONFIG_HOME = path.join(home, "config-other");
  await startApp();
  must(await until(`!document.getElementById("pair").hidden`, 40000), "a refused token returns to pairing");
  check(await evaluate(`localStorage.getItem("brimwick.token")`) === null, "the refused token is dropped");
  await screenshot("5-unpaired");

  check(dialogs.length === 0, "no script from the snapshot ran", dialogs);
  check(exceptions.length === 0, "the page throws nothing", exceptions);
  check(policyViolations.length === 0, "the Content-Security-Policy lets the page's own style and script run", policyViolations);
}

let exitCode = 0;
try {
  await main();
} catch (err) {
  if (!(err instanceof Fatal)) {
    failures += 1;
    console.log("FAIL: " + (err && err.stack ? err.stack : err));
  }
} finally {
  for (const cleanup of cleanups.reverse()) {
    try { await cleanup(); } catch (e) { /* best effort */ }
  }
  if (page) page.close();
  try {
    fs.rmSync(scratch, { recursive: true, force: true, maxRetries: 5, retryDelay: 200 });
  } catch (e) {
    console.log("note: could not remove " + scratch + ": " + e.message);
  }
}
console.log(`${checks - failures} passed, ${failures} failed`);
exitCode = failures ? 1 : 0;
process.exit(exitCode);
