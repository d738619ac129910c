// The phone's browser page in a real browser: headless Chromium, driven over the DevTools
// protocol with Node's built-in modules only, against `brimwick --headless --phone` on loopback.
// A person's path through it: pair with the printed code, watch a session appear, answer held
// permission requests, queue a prompt that the next Stop hands over, see markup shown as text,
// lose the computer and get it back, and be sent back to pairing when the token stops working.
// usage: node phone_app_browser_test.mjs BRIMWICK_BINARY. Exit codes: 0 passed, 1 failed, 77 skipped (no Chromium or no WebSocket in this Node).
import { spawn, spawnSync } from "node:child_process";
import fs from "node:fs";
import http from "node:http";
import net from "node:net";
import os from "node:os";
import path from "node:path";
import readline from "node:readline";
import { isDeepStrictEqual } from "node:util";

// Node 20 has its WebSocket client behind a flag; run again with it.
if (typeof WebSocket === "undefined" && !process.env.BRIMWICK_WS_RETRY) {
  const again = spawnSync(process.execPath, ["--experimental-websocket", "--no-warnings", ...process.argv.slice(1)],
    { stdio: "inherit", env: { ...process.env, BRIMWICK_WS_RETRY: "1" } });
  process.exit(again.status ?? 1);
}
const [brimwick] = process.argv.slice(2);
const chromium = process.env.CHROMIUM || ["/usr/bin/chromium", "/usr/bin/chromium-browser"].find((p) => fs.existsSync(p));
const skip = typeof WebSocket === "undefined" ? "this Node.js has no WebSocket client"
  : !chromium ? "Chromium is missing (scripts/install-deps installs the Debian package chromium)" : null;
if (skip) console.log("SKIPPED: " + skip), process.exit(77);
if (!brimwick || !fs.existsSync(brimwick)) console.error("usage: node phone_app_browser_test.mjs BRIMWICK_BINARY"), process.exit(1);

let failures = 0, checks = 0;
const check = (ok, what, detail) => {
  if (++checks && !ok) failures += 1, console.log("FAIL: " + what + (detail === undefined ? "" : "\n  " + JSON.stringify(detail)));
  return ok;
};
class Fatal extends Error {}
const must = (ok, what, detail) => { if (!check(ok, what, detail)) throw new Fatal(what); return ok; };
const sleep = (ms) => new Promise((r) => setTimeout(r, ms));
const scratch = fs.mkdtempSync(path.join(os.tmpdir(), "brimwick-web-"));
const cleanups = [];
let page = null;

// Gives what `get` gives once it is truthy, or its last value after `ms`: the time only bounds a
// failing wait, a loaded machine may take long.
async function poll(get, ms = 30000) {
  let value;
  for (const deadline = Date.now() + ms; !(value = await get()) && Date.now() < deadline;) await sleep(100);
  return value;
}
const listening = (server) => new Promise((resolve) => server.listen(0, "127.0.0.1", () => resolve(server.address().port)));

// A child whose output is read line by line.
function run(argv, env) {
  const child = spawn(argv[0], argv.slice(1), { env, stdio: ["ignore", "pipe", "pipe"] });
  const lines = [];
  for (const output of [child.stdout, child.stderr]) readline.createInterface({ input: output }).on("line", (l) => lines.push(l));
  const exited = new Promise((resolve) => child.on("exit", (code) => resolve(code ?? 128)));
  // The first line so far or within the time that matches, or null. Lines from different parts
  // of the program come in no fixed order, so every wait looks at all of them.
  const waitForLine = (match, ms) =>
    poll(() => lines.find(typeof match === "string" ? (l) => l === match : (l) => match.test(l)) ?? null, ms);
  const stop = () => {
    if (child.exitCode === null && child.signalCode === null) child.kill("SIGTERM");
    const timer = setTimeout(() => child.kill("SIGKILL"), 10000);
    return exited.finally(() => clearTimeout(timer));
  };
  return { lines, waitForLine, stop };
}

// A hook command exactly as Claude Code runs it: sh -c with the payload on standard input.
function runHook(command, payload) {
  const child = spawn("sh", ["-c", command], { stdio: ["pipe", "pipe", "ignore"] });
  let output = "";
  child.stdout.setEncoding("utf8").on("data", (d) => { output += d; });
  child.stdin.end(JSON.stringify(payload));
  return new Promise((resolve) => child.on("exit", (status) => resolve({ status, output })));
}
const parsed = (text) => { try { return JSON.parse(text); } catch (e) { return null; } };

// A minimal DevTools protocol client for one page.
async function devtools(wsUrl) {
  const ws = new WebSocket(wsUrl);
  await new Promise((resolve, reject) => (ws.addEventListener("open", resolve, { once: true }),
    ws.addEventListener("error", () => reject(new Error("DevTools connection failed")), { once: true })));
  let next = 1;
  const calls = new Map(), listeners = [];
  ws.addEventListener("message", (event) => {
    const message = JSON.parse(event.data);
    const call = calls.get(message.id);
    calls.delete(message.id);
    if (call) message.error ? call.reject(new Error(message.error.message)) : call.resolve(message.result);
    else if (message.method) for (const l of listeners) l(message.method, message.params);
  });
  return {
    send: (method, params = {}) => new Promise((resolve, reject) => {
      calls.set(next, { resolve, reject });
      ws.send(JSON.stringify({ id: next++, method, params }));
    }),
    on: (listener) => listeners.push(listener),
    close: () => ws.close(),
  };
}

async function evaluate(expression) {
  const result = await page.send("Runtime.evaluate", { expression, awaitPromise: true, returnByValue: true });
  if (result.exceptionDetails) throw new Error("page script failed: " + JSON.stringify(result.exceptionDetails));
  return result.result.value;
}
const until = (expression, ms) => poll(() => evaluate(expression), ms);  // truthy in the page
// A real pointer click in the middle of the first element that matches.
async function click(selector) {
  const box = await evaluate(`(() => { const e = document.querySelector(${JSON.stringify(selector)});
    if (!e) return null; e.scrollIntoView({ block: "center" }); const r = e.getBoundingClientRect();
    return { x: r.x + r.width / 2, y: r.y + r.height / 2 }; })()`);
  must(box, "there is something to click at " + selector);
  for (const type of ["mousePressed", "mouseReleased"]) await page.send("Input.dispatchMouseEvent", { type, x: box.x, y: box.y, button: "left", clickCount: 1 });
}
// Clicks until `expression` holds: on a loaded machine an emulated tap now and then goes
// nowhere, and a person would simply tap again. A tap that arrives is not repeated.
async function clickUntil(selector, expression, tries = 3) {
  for (let i = 0; i < tries; ++i) if ((await click(selector), await until(expression, 5000))) return true;
  return false;
}
async function type(selector, text) {
  await evaluate(`document.querySelector(${JSON.stringify(selector)}).focus()`);
  await page.send("Input.insertText", { text });
}
const text = (selector) => `(document.querySelector(${JSON.stringify(selector)}) || {}).textContent || ""`;
const cardOf = (project) => `[...document.querySelectorAll(".session")].find((c) => c.querySelector(".project").textContent === ${JSON.stringify(project)})`;
const inCard = (project, selector) => `${cardOf(project)}.querySelector(${JSON.stringify(selector)})`;
const sessionsText = () => evaluate("document.getElementById('sessions').innerText");
async function main() {
  const home = path.join(scratch, "home"), claude = path.join(home, ".claude");
  fs.mkdirSync(claude, { recursive: true });
  const probe = net.createServer(), phonePort = await listening(probe);  // a free port, let go for the phone server
  await new Promise((resolve) => probe.close(resolve));
  // A stand-in for the plan-usage endpoint, so the page has figures to show.
  const inMinutes = (minutes) => new Date(Date.now() + minutes * 60000).toISOString();
  const usage = http.createServer((req, res) => res.setHeader("Content-Type", "application/json").end(JSON.stringify({
    five_hour: { utilization: 37.5, resets_at: inMinutes(125) }, seven_day: { utilization: 82, resets_at: inMinutes(75 * 60) } })));
  const usagePort = await listening(usage);
  cleanups.push(() => usage.close());
  fs.writeFileSync(path.join(claude, ".credentials.json"), JSON.stringify({ claudeAiOauth: { accessToken: "test-token" } }));
  const env = { ...process.env, HOME: home, XDG_CONFIG_HOME: path.join(home, "config"), BRIMWICK_PHONE_PORT: String(phonePort),
    BRIMWICK_USAGE_URL: `http://127.0.0.1:${usagePort}/api/oauth/usage`, DISPLAY: "", WAYLAND_DISPLAY: "", LC_ALL: "C.UTF-8" };
  // The hook commands as the installer writes them.
  const install = spawnSync(brimwick, ["hooks", "install"], { env, encoding: "utf8" });
  must(install.status === 0, "brimwick hooks install", install.stdout + install.stderr);
  const settings = JSON.parse(fs.readFileSync(path.join(claude, "settings.json"), "utf8"));
  const hook = (base, event, fields = {}) => runHook(settings.hooks[event].at(-1).hooks[0].command, { ...base, hook_event_name: event, ...fields });

  let app = null;
  const startApp = async () => {
    app = run([brimwick, "--headless", "--phone"], env);
    cleanups.push(() => app.stop());
    must(await app.waitForLine("hook server: Listening on 127.0.0.1:47821"), "hook server listens (is another Brimwick running on port 47821?)", app.lines);
    must(await app.waitForLine("phone: Listening on port " + phonePort), "phone server listens", app.lines);
  };
  await startApp();
  const codeLine = must(await app.waitForLine(/^Pairing code: \d{3} \d{3}$/), "a pairing code is printed", app.lines);
  // Chromium on a private profile, its DevTools endpoint on loopback; its helper processes share
  // its process group, and all of them go at the end.
  const browser = spawn(chromium, ["--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
    "--disable-background-networking", "--disable-component-update", "--disable-sync", "--disable-default-apps", "--disable-extensions",
    "--mute-audio", "--user-data-dir=" + path.join(scratch, "chromium"), "--remote-debugging-address=127.0.0.1", "--remote-debugging-port=0",
    "about:blank"], { stdio: ["ignore", "ignore", "pipe"], detached: true, env: { ...process.env, HOME: path.join(scratch, "chromium-home") } });
  cleanups.push(async () => {
    const exited = new Promise((r) => (browser.exitCode !== null || browser.signalCode !== null ? r() : browser.on("exit", r)));
    for (const signal of ["SIGTERM", "SIGKILL"]) {
      try { process.kill(-browser.pid, signal); } catch (e) { /* already gone */ }
      await Promise.race([exited, sleep(5000)]);
    }
  });
  const browserWs = await new Promise((resolve) => {
    setTimeout(() => resolve(null), 30000).unref();
    readline.createInterface({ input: browser.stderr }).on("line", (l) => l.startsWith("DevTools listening on ws://") && resolve(l.split(" ").at(-1)));
  });
  must(browserWs, "Chromium starts with its DevTools endpoint");
  const targets = await (await fetch(`http://127.0.0.1:${new URL(browserWs).port}/json/list`)).json();
  page = await devtools(must(targets.find((t) => t.type === "page"), "Chromium has a page", targets).webSocketDebuggerUrl);

  const dialogs = [], exceptions = [], policyViolations = [];  // none expected
  page.on((method, params) => {
    if (method === "Page.javascriptDialogOpening") dialogs.push(params.message), page.send("Page.handleJavaScriptDialog", { accept: true });
    if (method === "Runtime.exceptionThrown") exceptions.push(params.exceptionDetails.exception?.description || params.exceptionDetails.text);
    if (method === "Log.entryAdded" && /Content Security Policy/.test(params.entry.text)) policyViolations.push(params.entry.text);
  });
  for (const domain of ["Page", "Runtime", "Log"]) await page.send(domain + ".enable");
  // A phone: 390 × 844 CSS pixels, touch, an Android browser's user agent.
  await page.send("Emulation.setDeviceMetricsOverride", { width: 390, height: 844, deviceScaleFactor: 2, mobile: true });
  await page.send("Emulation.setTouchEmulationEnabled", { enabled: true });
  await page.send("Emulation.setUserAgentOverride", { userAgent: "Mozilla/5.0 (Linux; Android 14; Pixel 8) AppleWebKit/537.36 (KHTML, like Gecko) Chrome/156.0.0.0 Mobile Safari/537.36" });
  await page.send("Page.navigate", { url: `http://127.0.0.1:${phonePort}/app` });
  must(await until(`document.readyState === "complete" && !document.getElementById("pair").hidden`), "the page opens on the pairing form", await evaluate("document.body.innerText"));
  check(await evaluate(`document.getElementById("device").value`) === "Browser on Android", "the device name is guessed from the browser");
  // A wrong code first: the server's answer is shown and nothing is stored. Then the printed
  // code as a person types it, with its space.
  await type("#code", "000 000");
  check(await clickUntil("#pair-button", `${text("#pair-msg")}.startsWith("Wrong pairing code")`), "a wrong code is refused", await evaluate(text("#pair-msg")));
  await evaluate(`document.getElementById("code").value = ""; document.getElementById("pair-msg").textContent = ""`);
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
  const a = { session_id: "9e900432-ab61-4e27-9b9f-a7e00f0035ee", transcript_path: "/tmp/t.jsonl", cwd: "/home/dana/src/weather" };
  await hook(a, "SessionStart", { source: "startup" });
  await hook(a, "UserPromptSubmit", { prompt: "Add a forecast for tomorrow" });
  must(await until(`${cardOf("weather")} && ${inCard("weather", ".state")}.textContent === "Thinking"`), "the session appears with its state", await sessionsText());
  check(await evaluate(`${inCard("weather", ".task")}.textContent`) === "Add a forecast for tomorrow", "the session shows its task");
  check(await evaluate(`getComputedStyle(${inCard("weather", ".hex .body")}).stroke`) === "rgb(184, 158, 250)", "the hexagon takes the thinking colour of the mascot palette");
  const echo = { tool_name: "Bash", tool_input: { command: "echo hi > out.txt" } };
  await hook(a, "PreToolUse", echo);
  // A held permission request, answered with "Always allow": a file-creating command, for which
  // Claude Code suggests the folder together with accept-edits mode.
  const suggestions = [{ type: "addDirectories", directories: ["/home/dana/src/weather"], destination: "session" },
    { type: "setMode", mode: "acceptEdits", destination: "session" }];
  const permission = hook(a, "PermissionRequest", { tool_name: "Bash", permission_suggestions: suggestions,
    tool_input: { command: "echo hi > out.txt", description: "Run the scripted command" } });
  must(await until(inCard("weather", "[data-decision=always]"), 15000), "the permission request is offered with Always allow", await sessionsText());
  const pendingText = await evaluate(`${inCard("weather", ".pending")}.innerText`);
  check(pendingText.includes("Bash") && pendingText.includes("echo hi > out.txt"), "the request shows its tool and detail", pendingText);
  check(await evaluate(`[...${cardOf("weather")}.querySelectorAll(".pending button")].map((b) => b.textContent).join("|")`) ===
    "Allow|Always allow|Deny|Answer in terminal", "four answers are offered");
  check(/^1:(4\d|50) left to answer$/.test(await evaluate(text(".pending .left"))), "the time left counts down from 110 s", await evaluate(text(".pending .left")));
  check(await evaluate(`${cardOf("weather")}.classList.contains("needs")`), "a session that needs you stands out");
  const allowed = await click(`[data-decision=always]`).then(() => permission);
  check(allowed.status === 0 && isDeepStrictEqual(parsed(allowed.output), {
    hookSpecificOutput: { hookEventName: "PermissionRequest", decision: { behavior: "allow", updatedPermissions: suggestions } },
  }), "Always allow answers with the request's suggestions", allowed);
  check(await until(`!${inCard("weather", ".pending:not([hidden])")}`), "the answered request leaves the page");
  // A prompt queued from the phone is handed over at the next Stop.
  await hook(a, "PostToolUse", echo); await type(`.session textarea`, "Now write a test for it");
  await click(`.session form button`);
  check(await until(`${inCard("weather", ".msg")}.textContent === "weather gets this when its current turn ends."`),
    "the server's message is shown", await evaluate(`${inCard("weather", ".msg")}.textContent`));
  check(await until(`${inCard("weather", ".meta")}.textContent.includes("1 prompt queued")`), "the queued count shows");
  check(await evaluate(`${inCard("weather", "textarea")}.value`) === "", "the sent prompt leaves the text box");
  const stop = await hook(a, "Stop", { stop_hook_active: false }), handed = parsed(stop.output);
  check(handed?.decision === "block" && typeof handed.reason === "string" && handed.reason.endsWith("\n\nNow write a test for it"), "the Stop hook hands the prompt over", stop.output);
  check(await until(`!${inCard("weather", ".meta")}.textContent.includes("queued")`), "the queue empties after the hand-over");
  // Markup from a session is shown as text, never run or parsed.
  const evil = "<i onmouseover=alert(2)>x", evilTask = "<img src=x onerror=alert(1)>", evilDetail = "<script>alert(3)</script>";
  const b = { session_id: "5e139cd7-3f00-445e-9b61-926e2e09356a", transcript_path: "/tmp/u.jsonl", cwd: "/tmp/" + evil };
  await hook(b, "SessionStart", { source: "startup" }); await hook(b, "UserPromptSubmit", { prompt: evilTask });
  const held = hook(b, "PermissionRequest", { tool_name: "Bash", tool_input: { command: evilDetail } });
  must(await until(`${cardOf(evil)} && ${inCard(evil, ".pending .detail")}`, 15000), "the session with markup appears with its request", await sessionsText());
  check(await evaluate(`${inCard(evil, ".task")}.textContent`) === evilTask, "the task is shown literally");
  check(await evaluate(`${inCard(evil, ".detail")}.textContent`) === evilDetail, "the tool detail is shown literally");
  check(await evaluate(`document.querySelectorAll("img, i, main script").length`) === 0, "no element was made from the markup");
  check(!(await evaluate(inCard(evil, "[data-decision=always]"))), "no Always allow without suggestions");
  check(await evaluate(`${cardOf(evil)} === document.querySelector(".session")`), "the session that needs you comes first");
  const denied = await click(`.session [data-decision=deny]`).then(() => held);
  check(denied.output.includes('"behavior":"deny"'), "Deny answers the held hook", denied.output);
  // A request that went away before the page heard of it: the answer is refused, not "Sent.".
  const stale = hook(b, "PermissionRequest", { tool_name: "Bash", tool_input: { command: "make" } });
  must(await until(`${cardOf(evil)}?.querySelector(".pending .detail")?.textContent === "make"`, 15000), "a second request is offered");
  await evaluate("stopPolling()"); await hook(b, "PostToolUse", { tool_name: "Bash" });
  check((await stale).output === "", "moving on releases the held hook without an answer");
  await click(`.session [data-decision=allow]`);
  check(await until(`${inCard(evil, ".pending .msg.bad")}?.textContent === "That request is no longer waiting."`),
    "the page says the request is no longer waiting", await evaluate(`${inCard(evil, ".pending")}.innerText`));
  await evaluate("startPolling()");
  // New session: the project list from the snapshot; a folder that is gone is refused.
  check(await evaluate(`[...document.querySelectorAll("#project option")].map((o) => o.textContent).join("|")`) === `${evil}|weather`,
    "the projects are listed newest first", await evaluate(`document.getElementById("project").innerText`));
  await evaluate(`document.getElementById("project").value = "/home/dana/src/weather"`); await type("#new-text", "Start over");
  await click("#new-button");
  check(await until(`${text("#new-msg")} === "Brimwick doesn't know that folder any more."`), "the server's refusal is shown", await evaluate(text("#new-msg")));
  await hook(b, "SessionEnd", { reason: "other" });
  check(await until(`!${cardOf(evil)}`), "an ended session leaves the list");
  // The computer goes away: the page says so, then finds it again by itself.
  check(await app.stop() === 0, "brimwick stops cleanly");
  must(await until(`!document.getElementById("offline").hidden && ${text("#offline")}.startsWith("Offline")`), "the page says it is offline");
  await startApp();
  must(await until(`document.getElementById("offline").hidden`, 40000), "the page reconnects by itself", await evaluate(text("#offline")));
  check(await until(`!document.getElementById("empty").hidden`), "the restarted computer has no sessions");
  check(await evaluate(`!document.getElementById("app").hidden`), "the token still works after a restart");
  // Another computer (no paired phones): the token is refused and the page returns to pairing.
  await app.stop();
  await startApp((env.XDG_CONFIG_HOME = path.join(home, "config-other")));
  must(await until(`!document.getElementById("pair").hidden`, 40000), "a refused token returns to pairing");
  check(await evaluate(`localStorage.getItem("brimwick.token")`) === null, "the refused token is dropped");
  check(dialogs.length === 0, "no script from the snapshot ran", dialogs), check(exceptions.length === 0, "the page throws nothing", exceptions);
  check(policyViolations.length === 0, "the Content-Security-Policy lets the page's own style and script run", policyViolations);
}

try { await main(); } catch (err) {
  if (!(err instanceof Fatal)) check(false, String(err && err.stack ? err.stack : err));
} finally {
  for (const cleanup of cleanups.reverse()) await Promise.resolve().then(cleanup).catch(() => { /* best effort */ });
  page?.close();
  try { fs.rmSync(scratch, { recursive: true, force: true, maxRetries: 5, retryDelay: 200 }); } catch (e) { console.log("note: could not remove " + scratch + ": " + e.message); }
}
console.log(`${checks - failures} passed, ${failures} failed`);
process.exit(failures ? 1 : 0);
