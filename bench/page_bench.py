#!/usr/bin/python3
"""How fast the web page is, in headless chromium on loopback:

- usable: from the request for the page to its login form, and, with a session, to the site
  shown live (every horn's card drawn from the API and the event stream's snapshot applied);
- a relay change: from a horn's relay switched behind the service's back to its lamp changing
  in an open page, against the service's poll period; and, to tell the service's share from
  the page's, to the horn's event arriving on an event stream read beside the page.

    bench/page_bench.py [--rounds 20] [--horns 50] [--kstbelld PROGRAM --kstbellctl PROGRAM]

Runs against kstbelld with simulated horns (relays switched with kstbellctl, the time taken
when it has the horn's answer), or the stand-in of the API in tests/web, whose polls, like the
service's, come once a poll period. Prints one line per measure: median, 95th percentile and
largest, in ms.
"""
import argparse
import json
import os
import random
import statistics
import sys
import threading
import time
import urllib.request

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "tests", "web"))

import browser  # noqa: E402


def summary(name, values_ms, limit_ms=None):
    ordered = sorted(values_ms)
    p95 = ordered[min(len(ordered) - 1, int(round(0.95 * (len(ordered) - 1))))]
    line = (f"{name:<44} median {statistics.median(ordered):7.1f}  p95 {p95:7.1f}  "
            f"max {ordered[-1]:7.1f} ms  ({len(ordered)} runs)")
    if limit_ms is not None:
        line += f"  target < {limit_ms:.0f} ms: {'met' if ordered[-1] < limit_ms else 'NOT met'}"
    print(line, flush=True)


def mark(driver, name):
    """The page's performance mark, in ms after its navigation started, or None."""
    return driver.execute_script(
        "const m = performance.getEntriesByName(arguments[0]); return m.length ? m[0].startTime : null;",
        name)


def wait_mark(driver, name, timeout=10):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        value = mark(driver, name)
        if value is not None:
            return value
        time.sleep(0.01)
    raise RuntimeError(f"the page never reached {name}")


def log_in(driver, service, role="viewer"):
    from selenium.webdriver.common.by import By
    user, password = service.accounts[role]
    driver.get(service.url)
    wait_mark(driver, "kstbell-login-form")
    driver.find_element(By.CSS_SELECTOR, "#login-user").send_keys(user)
    driver.find_element(By.CSS_SELECTOR, "#login-password").send_keys(password + "\n")
    wait_mark(driver, "kstbell-live")


def usable(driver, service, rounds):
    driver.delete_all_cookies()
    form = []
    for _ in range(rounds):
        driver.get(service.url)
        form.append(wait_mark(driver, "kstbell-login-form"))
    log_in(driver, service)
    live = []
    for _ in range(rounds):
        driver.get(service.url)
        live.append(wait_mark(driver, "kstbell-live"))
    return form, live


WATCH = """
const [address, want] = arguments;
const lamp = document.querySelector(`li.horn[data-address="${address}"] [data-lamp="output"]`);
window.kstbellSeen = null;
const observer = new MutationObserver(() => {
  if (lamp.dataset.state === want) {
    window.kstbellSeen = performance.timeOrigin + performance.now();
    observer.disconnect();
  }
});
observer.observe(lamp, {attributes: true, attributeFilter: ['data-state']});
"""


class StreamWatch:
    """An event stream of its own (the admin's session), noting when each horn's output changes
    arrive: {(address, output): [arrival in ms since the epoch]}."""

    def __init__(self, service):
        user, password = service.accounts["admin"]
        opener = urllib.request.build_opener(urllib.request.HTTPCookieProcessor())
        login = urllib.request.Request(service.url + "api/v1/session",
                                       json.dumps({"user": user, "password": password}).encode(),
                                       {"Content-Type": "application/json"}, method="POST")
        opener.open(login, timeout=10).read()
        self.reply = opener.open(service.url + "api/v1/events", timeout=60)
        self.arrivals = {}
        self.lock = threading.Lock()
        threading.Thread(target=self.read, daemon=True).start()

    def read(self):
        event = None
        try:
            for raw in self.reply:
                line = raw.decode("utf-8", "replace").rstrip("\n")
                if line.startswith("event:"):
                    event = line[6:].strip()
                elif line.startswith("data:") and event == "horn":
                    now = time.time() * 1000
                    horn = json.loads(line[5:])
                    with self.lock:
                        self.arrivals.setdefault((horn["address"], bool(horn["output"])), []).append(now)
        except (OSError, ValueError, AttributeError):
            pass  # the service stopped, or close() took the reply away under the read

    def first_after(self, address, output, since_ms):
        with self.lock:
            times = [t for t in self.arrivals.get((address, output), []) if t >= since_ms]
        return min(times) if times else None

    def close(self):
        self.reply.close()


def relay_changes(driver, service, rounds):
    driver.get(service.url)  # logged in by usable()
    wait_mark(driver, "kstbell-live")
    stream = StreamWatch(service)
    delays, streamed = [], []
    for i in range(rounds):
        address = service.horns[i % len(service.horns)]
        for on in (True, False):
            time.sleep(random.uniform(0, service.poll_s))  # anywhere in the poll period
            driver.execute_script(WATCH, address, "on" if on else "off")
            asked = time.time() * 1000
            service.behind_the_back(address, output=on)
            switched = time.time() * 1000  # the horn has answered that its relay switched
            deadline = time.monotonic() + 10 * service.poll_s
            seen = None
            while seen is None and time.monotonic() < deadline:
                time.sleep(0.005)
                seen = driver.execute_script("return window.kstbellSeen")
            if seen is None:
                raise RuntimeError(f"the lamp of {address} never followed")
            delays.append(seen - switched)
            arrived = stream.first_after(address, on, asked)
            if arrived is not None:
                streamed.append(arrived - switched)
    stream.close()
    return delays, streamed


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--rounds", type=int, default=20)
    parser.add_argument("--horns", type=int, default=50)
    parser.add_argument("--kstbelld", help="measure kstbelld itself (else the stand-in)")
    parser.add_argument("--kstbellctl", help="with --kstbelld: switches relays behind its back")
    args = parser.parse_args()
    needed = browser.missing()
    if needed:
        print(f"needs {', '.join(needed)} (scripts/setup installs them)")
        return 1
    from services import KstbelldService, StandinService
    if args.kstbelld:
        service = KstbelldService(args.kstbelld, args.kstbellctl, horns=args.horns)
    else:
        service = StandinService(os.path.join(ROOT, "web", "page"), horns=args.horns)
    chromium = browser.Browser()
    try:
        print(f"page on {service.url} with {len(service.horns)} horns, a poll every "
              f"{service.poll_s * 1000:.0f} ms ({'kstbelld' if args.kstbelld else 'stand-in'})",
              flush=True)
        form, live = usable(chromium.driver, service, args.rounds)
        summary("request to the login form", form, 1000)
        summary("request to the site shown live (logged in)", live, 1000)
        lamp, streamed = relay_changes(chromium.driver, service, args.rounds)
        summary("relay behind its back to the page's lamp", lamp, service.poll_s * 1000)
        if streamed:
            summary("relay behind its back to the stream's event", streamed)
    finally:
        chromium.quit()
        service.stop()
    return 0


if __name__ == "__main__":
    sys.exit(main())
