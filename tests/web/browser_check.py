#!/usr/bin/env python3
"""Drives headless Chromium through chromedriver's WebDriver protocol (standard library only):
logs in to kvtweb, opens a bill, types the sizes given and saves; with --shots DIR it also keeps
the list and the bill page as a phone shows them (360 pixels wide) as PNG files.

Usage: browser_check.py URL NAME PASSWORD BILL LINE=WIDTH,HEIGHT... [--shots DIR]
Exit code 0 when the save came back as saved; the reason on standard error otherwise."""

import base64
import json
import os
import shutil
import socket
import subprocess
import sys
import tempfile
import time
import urllib.request

NO_PROXY = urllib.request.build_opener(urllib.request.ProxyHandler({}))


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class Driver:
    def __init__(self, port):
        self.base = "http://127.0.0.1:%d" % port
        self.session = None

    def call(self, method, path, body=None):
        data = None if body is None else json.dumps(body).encode()
        req = urllib.request.Request(self.base + path, data=data, method=method,
                                     headers={"Content-Type": "application/json"})
        try:
            with NO_PROXY.open(req, timeout=60) as r:
                return json.loads(r.read() or b"{}").get("value")
        except urllib.error.HTTPError as e:
            raise RuntimeError("%s %s: %s" % (method, path, e.read().decode(errors="replace")))

    def s(self, method, path, body=None):
        return self.call(method, "/session/%s%s" % (self.session, path), body)

    def find(self, css):
        element = self.s("POST", "/element", {"using": "css selector", "value": css})
        return next(iter(element.values()))

    def type(self, css, text):
        self.s("POST", "/element/%s/value" % self.find(css), {"text": text})

    def click(self, css):
        self.s("POST", "/element/%s/click" % self.find(css), {})

    def url(self):
        return self.s("GET", "/url")

    def shot(self, path):
        with open(path, "wb") as f:
            f.write(base64.b64decode(self.s("GET", "/screenshot")))


def wait_for(condition, what, seconds=30):
    end = time.time() + seconds
    while time.time() < end:
        if condition():
            return
        time.sleep(0.1)
    raise RuntimeError("timed out waiting for " + what)


def main(argv):
    shots = None
    if "--shots" in argv:
        i = argv.index("--shots")
        shots = argv[i + 1]
        del argv[i:i + 2]
    url, name, password, bill = argv[1:5]
    sizes = [a.replace("=", ",").split(",") for a in argv[5:]]
    chromium = shutil.which("chromium")
    chromedriver = shutil.which("chromedriver")
    if not chromium or not chromedriver:
        raise RuntimeError("chromium or chromedriver is not installed")
    profile = tempfile.mkdtemp(prefix="kvtweb-browser-")
    port = free_port()
    driver_process = subprocess.Popen([chromedriver, "--port=%d" % port, "--allowed-ips=127.0.0.1"],
                                      stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    d = Driver(port)
    try:
        def up():
            try:
                return d.call("GET", "/status").get("ready")
            except Exception:
                return False
        wait_for(up, "chromedriver")
        caps = {"capabilities": {"alwaysMatch": {
            "browserName": "chrome",
            "acceptInsecureCerts": True,  # kvtweb's own certificate, accepted once as on a phone
            "goog:chromeOptions": {"binary": chromium,
                                   "mobileEmulation": {"deviceMetrics": {"width": 360, "height": 740, "pixelRatio": 2}},
                                   "args": [
                "--headless=new", "--no-sandbox", "--disable-gpu", "--disable-background-networking",
                "--disable-component-update", "--disable-sync", "--no-first-run", "--no-proxy-server",
                "--disable-dev-shm-usage", "--user-data-dir=" + profile, "--lang=zh-CN"]}}}}
        d.session = d.call("POST", "/session", caps)["sessionId"]
        d.s("POST", "/url", {"url": url + "/login"})
        d.type("input[name=name]", name)
        d.type("input[name=password]", password)
        d.click("button.main")
        wait_for(lambda: not d.url().endswith("/login"), "the list after the login")
        if shots:
            d.shot(os.path.join(shots, "web-list.png"))
        d.s("POST", "/url", {"url": "%s/bill/%s" % (url, bill)})
        for line, width, height in sizes:
            d.type("input[name=w%s]" % line, width)
            d.type("input[name=h%s]" % line, height)
        if shots:
            d.shot(os.path.join(shots, "web-bill.png"))
        d.click("button.main")
        wait_for(lambda: "saved=" in d.url(), "the saved bill page")
        return 0
    finally:
        if d.session:
            try:
                d.s("DELETE", "")
            except Exception:
                pass
        driver_process.terminate()
        try:
            driver_process.wait(10)
        except subprocess.TimeoutExpired:
            driver_process.kill()
        shutil.rmtree(profile, ignore_errors=True)


if __name__ == "__main__":
    try:
        sys.exit(main(sys.argv))
    except Exception as e:  # the reason for the test's log
        print("browser_check: %s" % e, file=sys.stderr)
        sys.exit(1)
