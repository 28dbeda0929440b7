#!/usr/bin/python3
"""The browser side of browser_block.sh, run inside its namespaces.

  browser_lab.py serve ADDRESS          the lab site on ADDRESS:80
  browser_lab.py run HELPER [--measure [LENGTH]]

`run` starts headless browsers, loads each address once, runs HELPER block
for example.test and probes the running browsers until the session's end and
after it. It prints one measurement a line, "KEY VALUE":
  <browser> <address> before    ok, or the error loading it before the block
  <browser> <address> refused   seconds from the block's start until every
                                later probe in the session was refused, or never
  <browser> <address> back      seconds from the end to the first load, or never
  helper status                 the helper's exit status and output
  nft during, helpers during    2 s after the block's start: is the site's address
                                in the nft set v4_0, how many helper processes
  nft after, helpers after      the same 1 s after the end
  policy during, policy after   is Chromium's managed list there then
  stopped <x>                   a second block stopped 2 s in: at once after the
                                unblock, nft and policy as above, and for
                                chromium apex whether it loads within 2 s
"""
import calendar
import http.server
import json
import os
import re
import socket
import subprocess
import sys
import threading
import time
import urllib.request

import websocket

TITLE = "Tarnhollow lab site"
ADDRESSES = {
    "apex": "http://example.test/",
    "subdomain": "http://sub.example.test/",
    "trailing-dot": "http://example.test./",
}
PAGE_LOAD = 5.0  # seconds a probe waits for a page


class Site(http.server.BaseHTTPRequestHandler):
    # no-store: a blocked page must not come back from a browser's cache.
    def do_GET(self):
        body = f"<!doctype html><title>{TITLE}</title><p>{self.headers['Host']}".encode()
        self.send_response(200)
        self.send_header("Content-Type", "text/html")
        self.send_header("Cache-Control", "no-store")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)


def wait_until(what, ready, limit=30.0):
    deadline = time.monotonic() + limit
    while True:
        try:
            result = ready()
            if result:
                return result
        except OSError:
            pass
        if time.monotonic() > deadline:
            sys.exit(f"lab: timed out waiting for {what}")
        time.sleep(0.1)


class Chromium:
    """A running Chromium over the DevTools protocol, one tab an address."""

    name = "chromium"

    def __init__(self):
        port = 9222
        self.process = subprocess.Popen(
            ["chromium", "--headless", "--no-sandbox", "--disable-gpu", "--no-first-run",
             "--disable-background-networking", "--disable-component-update", "--disable-sync",
             f"--user-data-dir={os.getcwd()}/chromium", f"--remote-debugging-port={port}",
             "about:blank"],
            stdout=subprocess.DEVNULL, stderr=open("chromium.log", "w"))
        base = f"http://127.0.0.1:{port}/json"
        wait_until("Chromium's DevTools", lambda: urllib.request.urlopen(base + "/version"))
        self.tabs = {}
        self.ids = 0
        for url in ADDRESSES.values():
            request = urllib.request.Request(base + "/new?about:blank", method="PUT")
            tab = json.load(urllib.request.urlopen(request))
            self.tabs[url] = websocket.create_connection(
                tab["webSocketDebuggerUrl"], timeout=PAGE_LOAD, suppress_origin=True)

    def call(self, page, method, **params):
        self.ids += 1
        tab = self.tabs[page]
        tab.send(json.dumps({"id": self.ids, "method": method, "params": params}))
        while True:
            message = json.loads(tab.recv())
            if message.get("id") == self.ids:
                return message.get("result", message.get("error"))

    def probe(self, url):
        """None when the lab site loaded, else what the browser showed instead."""
        try:
            navigated = self.call(url, "Page.navigate", url=url)
            if navigated.get("errorText"):
                return navigated["errorText"]
            title = self.call(url, "Runtime.evaluate", awaitPromise=True, returnByValue=True,
                              expression="new Promise(done => document.readyState == 'complete'"
                              " ? done(document.title) : onload = () => done(document.title))")
            value = title.get("result", {}).get("value")
            return None if value == TITLE else f"title {value!r}"
        except (websocket.WebSocketTimeoutException, OSError):
            return "timed out"


class Firefox:
    """A running Firefox ESR over Marionette, one window for all addresses."""

    name = "firefox"

    def __init__(self):
        profile = os.path.abspath("firefox")
        os.makedirs(profile)
        with open(f"{profile}/user.js", "w") as prefs:
            prefs.write('user_pref("browser.shell.checkDefaultBrowser", false);\n'
                        'user_pref("network.captive-portal-service.enabled", false);\n')
        self.process = subprocess.Popen(
            ["firefox-esr", "--headless", "--marionette", "--no-remote", "--profile", profile,
             "about:blank"], stdout=subprocess.DEVNULL, stderr=open("firefox.log", "w"))
        self.socket = wait_until("Marionette", lambda: socket.create_connection(("127.0.0.1", 2828)),
                                 limit=60.0)
        # A first session takes long on a busy machine.
        self.socket.settimeout(60)
        self.ids = 0
        self.receive()  # the greeting
        self.call("WebDriver:NewSession",
                  capabilities={"alwaysMatch": {"timeouts": {"pageLoad": int(PAGE_LOAD * 1000)}}})
        self.socket.settimeout(PAGE_LOAD + 5)

    def receive(self):
        length = b""
        while not length.endswith(b":"):
            length += self.socket.recv(1)
        data = b""
        while len(data) < int(length[:-1]):
            data += self.socket.recv(int(length[:-1]) - len(data))
        return json.loads(data)

    def call(self, command, **params):
        self.ids += 1
        data = json.dumps([0, self.ids, command, params]).encode()
        self.socket.sendall(b"%d:%s" % (len(data), data))
        while True:
            _, id_, error, result = self.receive()
            if id_ == self.ids:
                return error, result

    def probe(self, url):
        try:
            error, _ = self.call("WebDriver:Navigate", url=url)
            if error:
                return error.get("message", "error")[:80]
            error, title = self.call("WebDriver:GetTitle")
            return None if not error and title["value"] == TITLE else f"title {title!r}"
        except OSError:
            return "timed out"


def nft_has_site():
    listed = subprocess.run(["nft", "list", "set", "inet", "tarnhollow", "v4_0"],
                            capture_output=True, text=True)
    return "yes" if "192.0.2.10" in listed.stdout else "no"


def policy_written():
    return "yes" if os.path.exists("/etc/chromium/policies/managed/tarnhollow.json") else "no"


def helpers_alive():
    # By the first argument: the waiter runs as /proc/self/exe, so its name is "exe".
    found = subprocess.run(["pgrep", "-f", "^([^ ]*/)?tarnhollow-hosts-helper( |$)"],
                           capture_output=True, text=True)
    return str(len(found.stdout.split()))


def session_end():
    """The end in the block section, as seconds since the epoch."""
    with open("/etc/hosts") as hosts:
        until = re.search(r"^# Tarnhollow:owner \d+ until (\S+)Z$", hosts.read(), re.M)
    return calendar.timegm(time.strptime(until.group(1), "%Y-%m-%dT%H:%M:%S"))


def watch(browser, start, end, back_limit, lines):
    """Probes each address in `browser` through the session and after its end."""
    refused, back = {}, {}
    while time.monotonic() < end:
        for name, url in ADDRESSES.items():
            shown = browser.probe(url)
            # A load that ends after the end tells nothing of the session.
            if time.monotonic() >= end:
                break
            if shown is None:
                refused.pop(name, None)
            else:
                refused.setdefault(name, f"{time.monotonic() - start:.2f} {shown}")
        time.sleep(0.1)
    shown = {}
    while time.monotonic() < end + back_limit and len(back) < len(ADDRESSES):
        for name, url in ADDRESSES.items():
            if name in back:
                continue
            shown[name] = browser.probe(url)
            if shown[name] is None:
                back[name] = f"{time.monotonic() - end:.2f}"
        time.sleep(0.1)
    for name in ADDRESSES:
        lines.append(f"{browser.name} {name} refused {refused.get(name, 'never')}")
        lines.append(f"{browser.name} {name} back {back.get(name, f'never {shown.get(name)}')}")


def run(helper, measure, length):
    browsers = [Chromium()] + ([Firefox()] if measure else [])
    for browser in browsers:
        for name, url in ADDRESSES.items():
            print(browser.name, name, "before", browser.probe(url) or "ok")

    start = time.monotonic()
    blocked = subprocess.run([helper, "block"], input=f"{length}\nexample.test\n",
                             capture_output=True, text=True)
    print("helper status", blocked.returncode, blocked.stdout.strip().replace("\n", " "))
    if blocked.returncode != 0:
        return
    end = time.monotonic() + session_end() - time.time()
    # A thread a browser, so a slow one does not delay the other's probes.
    lines = []
    # Firefox keeps a name's addresses for 60 s.
    back_limit = 75.0 if measure else 12.0
    watchers = [threading.Thread(target=watch, args=(browser, start, end, back_limit, lines))
                for browser in browsers]
    for watcher in watchers:
        watcher.start()
    time.sleep(max(0.0, start + 2 - time.monotonic()))
    lines += [f"nft during {nft_has_site()}", f"helpers during {helpers_alive()}",
              f"policy during {policy_written()}"]
    time.sleep(max(0.0, end + 1 - time.monotonic()))
    lines += [f"nft after {nft_has_site()}", f"helpers after {helpers_alive()}",
              f"policy after {policy_written()}"]
    for watcher in watchers:
        watcher.join()
    # Stop before the end: every layer goes with the section, at once.
    subprocess.run([helper, "block"], input="60\nexample.test\n", capture_output=True, text=True)
    time.sleep(2)
    subprocess.run([helper, "unblock"], capture_output=True)
    lines += [f"stopped nft {nft_has_site()}", f"stopped policy {policy_written()}"]
    stopped = time.monotonic()
    while browsers[0].probe(ADDRESSES["apex"]) and time.monotonic() < stopped + 2:
        time.sleep(0.1)
    loads = browsers[0].probe(ADDRESSES["apex"]) is None
    lines.append(f"stopped chromium apex {'ok' if loads else 'refused'}")
    print("\n".join(sorted(lines)))
    for browser in browsers:
        browser.process.terminate()


def main():
    if sys.argv[1] == "serve":
        http.server.ThreadingHTTPServer((sys.argv[2], 80), Site).serve_forever()
    measure = "--measure" in sys.argv
    length = int(sys.argv[4]) if measure and len(sys.argv) > 4 else 70 if measure else 20
    wait_until("the lab site", lambda: socket.create_connection(("192.0.2.10", 80)))
    run(sys.argv[2], measure, length)


if __name__ == "__main__":
    main()
