#!/usr/bin/env python3
"""The web page in a real browser (headless chromium), against a service started and stopped
here on loopback: logging in, lamps that follow the horns, ringing, alarms, what each role sees,
a phone's screen, the accessibility tree, errors, and the event stream's reconnection; Today
first, cards that follow a ring's end, stop all, every view on a phone, users and one's own
password, and words in place of the service's identifiers.

    page_test.py --page web/page [--screenshots DIR] [--kstbelld PROGRAM --kstbellctl PROGRAM]
                 [unittest options]

Without --kstbelld the service is the stand-in of its API (standin_service.py); with it,
kstbelld itself with 50 simulated horns (it serves its own copy of the page).

Exits 77 (skipped) when chromium, chromium-driver or python3-selenium is missing.
"""
import argparse
import datetime as dt
import json
import os
import shutil
import sys
import tempfile
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import browser  # noqa: E402

OPTIONS = argparse.Namespace(page=None, screenshots=None, kstbelld=None, kstbellctl=None)

# Text the page must not log: a script fault or something the Content-Security-Policy blocked.
CONSOLE_FAULTS = ("Content Security Policy", "Uncaught", "TypeError", "ReferenceError",
                  "SyntaxError", "Refused to")


class PageTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        from selenium.webdriver.common.by import By
        from services import KstbelldService, StandinService

        cls.By = By
        if OPTIONS.kstbelld:
            cls.service = KstbelldService(OPTIONS.kstbelld, OPTIONS.kstbellctl)
        else:
            cls.service = StandinService(OPTIONS.page)
        cls.browser = browser.Browser()
        cls.driver = cls.browser.driver

    @classmethod
    def tearDownClass(cls):
        cls.browser.quit()
        cls.service.stop()
        faults = getattr(cls.service, "faults", [])
        if faults:
            raise AssertionError("the service failed: " + "\n".join(faults[:20]))

    def tearDown(self):
        faults = [entry["message"] for entry in self.browser.console()
                  if any(fault in entry["message"] for fault in CONSOLE_FAULTS)]
        self.assertEqual(faults, [], "the page logged faults")

    # --- helpers --------------------------------------------------------------------------

    def js(self, script, *args):
        return self.driver.execute_script(script, *args)

    def wait_for(self, condition, timeout=10.0, what="the condition"):
        deadline = time.monotonic() + timeout
        while True:
            value = condition()
            if value:
                return value
            if time.monotonic() > deadline:
                self.fail(f"timed out after {timeout} s waiting for {what}")
            time.sleep(0.05)

    def find(self, selector):
        return self.driver.find_element(self.By.CSS_SELECTOR, selector)

    def visible(self, selector):
        return self.js("""const n = document.querySelector(arguments[0]);
            return !!n && n.getClientRects().length > 0;""", selector)

    def text(self, selector):
        return self.js("const n = document.querySelector(arguments[0]); return n ? n.textContent : null;",
                       selector)

    def open_page(self):
        self.driver.get(self.service.url)
        self.wait_for(lambda: self.visible("#login-form") or self.visible("#app-view"),
                      what="the page to start")

    def login(self, role):
        user, password = self.service.accounts[role]
        self.open_page()
        if self.visible("#app-view"):
            self.logout()
        self.find("#login-user").send_keys(user)
        self.find("#login-password").send_keys(password + "\n")
        self.wait_for(lambda: self.visible("#app-view"), what=f"{role} to be logged in")
        self.wait_for(lambda: self.js("return document.querySelectorAll('#horn-list li.horn').length")
                      == len(self.service.horns), what="every horn's card")
        self.wait_for(lambda: self.text("#connection") == "Live", what="the event stream")

    def show_view(self, name):
        """Opens a view from the navigation's address, as a link to it does."""
        self.js("location.hash = '#' + arguments[0]", name)
        self.wait_for(lambda: self.js("""const v = document.querySelector(
            `#app-view > .view[data-view="${arguments[0]}"]`);
            return !!v && v.hasAttribute('data-current') && v.getClientRects().length > 0;""", name),
            what=f"the view {name}")

    def logout(self):
        self.find("#logout").click()
        self.wait_for(lambda: self.visible("#login-form"), what="the login form")

    def lamp(self, address, name):
        return self.js("""const lamp = document.querySelector(
                `li.horn[data-address="${arguments[0]}"] [data-lamp="${arguments[1]}"]`);
            return lamp ? [lamp.dataset.state, lamp.textContent] : null;""", address, name)

    def api_from_page(self, method, path, body=None, headers=None):
        """A call from inside the page with the session's cookie and CSRF token: [status, body]."""
        return self.driver.execute_async_script("""
            const [method, path, body, extra, done] = arguments;
            (async () => {
              const session = await (await fetch('/api/v1/session')).json();
              const reply = await fetch(path, {method, headers: {'Content-Type': 'application/json',
                  'X-CSRF-Token': session.csrf || '', ...extra}, body: body === null ? undefined : JSON.stringify(body)});
              done([reply.status, await reply.text()]);
            })().catch((e) => done([0, String(e)]));""", method, path, body, headers or {})

    def announcements(self, urgent):
        return self.text("#announce-urgent" if urgent else "#announce-polite") or ""

    def screenshot(self, name):
        if OPTIONS.screenshots:
            os.makedirs(OPTIONS.screenshots, exist_ok=True)
            self.driver.save_screenshot(os.path.join(OPTIONS.screenshots, name))

    # --- the tests ------------------------------------------------------------------------

    def test_login_live_lamps_and_no_polling(self):
        self.login("operator")
        first = self.service.horns[0]
        self.assertEqual(self.lamp(first, "online"), ["on", "Online"])
        self.assertEqual(self.lamp(first, "output"), ["off", "Output off"])
        self.assertRegex(self.text(f'li.horn[data-address="{first}"] [data-lamp="signal"]'),
                         r"Signal -\d+ dBm, \w+")
        self.assertIn(f"{len(self.service.horns)} horns", self.text("#horns-summary"))
        # The address is said beside a horn's own name, not twice for a horn named by it.
        card = f'li.horn[data-address="{first}"]'
        self.assertEqual(self.visible(card + " .horn-address"), self.text(card + " .horn-name") != first)
        # Idle with the stream open: no request leaves the page.
        count = "return performance.getEntriesByType('resource').length"
        before = self.js(count)
        time.sleep(3 * self.service.poll_s)
        self.assertEqual(self.js(count), before, "the page polled")

    def test_lamps_follow_the_horns_behind_the_services_back(self):
        self.login("viewer")
        address = self.service.horns[6]
        steps = [  # change at the horn, lamp, its state and text, urgent announcement
            ({"output": True}, "output", "on", "Output on", None),
            ({"output": False}, "output", "off", "Output off", None),
            ({"input": True}, "input", "on", "Input on", None),
            ({"input": False}, "input", "off", "Input off", None),
            ({"online": False}, "online", "off", "Offline", "is offline"),
            ({"online": True}, "online", "on", "Online", None),
        ]
        needs = {"output": "relay", "input": "input", "online": "presence"}
        for change, name, state, words, heard in steps:
            with self.subTest(change=change):
                if needs[name] not in self.service.can:
                    continue  # this service cannot be changed so behind its back
                self.service.behind_the_back(address, **change)
                self.wait_for(lambda: (self.lamp(address, name) or [None])[0] == state,
                              timeout=3 * self.service.poll_s + 2, what=f"{name} {state}")
                self.assertTrue(self.lamp(address, name)[1].startswith(words))
                if heard:
                    self.wait_for(lambda: heard in self.announcements(urgent=True),
                                  what="the announcement")

    def test_ring_a_group_for_three_seconds(self):
        self.login("operator")
        self.show_view("ring")
        east, west = self.service.groups["east"], self.service.groups["west"]
        self.assertEqual(self.find("#ring-group").get_attribute("value"), "", "a group chosen at first")
        self.find("#ring-group").send_keys("east")
        duration = self.find("#ring-duration")
        duration.clear()
        duration.send_keys("3")
        self.find("#ring-form button[type=submit]").click()
        self.wait_for(lambda: "started on" in self.text("#ring-message"), what="the ring's answer")
        self.assertRegex(self.text("#ring-message"), rf"started on {len(east)} horns until \d\d:\d\d:\d\d")

        def outputs(addresses):
            return {self.lamp(a, "output")[0] for a in addresses}

        self.wait_for(lambda: outputs(east) == {"on"}, timeout=3, what="the group's lamps on")
        self.assertEqual(outputs(west), {"off"})
        self.wait_for(lambda: outputs(east) == {"off"}, timeout=3 + 3 * self.service.poll_s + 2,
                      what="the group's lamps off")

    def test_alarm_needs_a_confirmation_and_stops(self):
        self.login("operator")
        self.show_view("alarms")
        start = 'li[data-alarm="evacuation"] button.alarm-start'
        for answer, sounds in (("#confirm-cancel", False), ("#confirm-ok", True)):
            with self.subTest(answer=answer):
                self.find(start).click()
                self.wait_for(lambda: self.js("return document.getElementById('confirm').open"),
                              what="the confirmation")
                self.assertEqual(self.js("return document.activeElement.id"), "confirm-cancel")
                self.find(answer).click()
                self.wait_for(lambda: not self.js("return document.getElementById('confirm').open"),
                              what="the confirmation to close")
                if not sounds:
                    time.sleep(0.5)
                    self.assertEqual(self.text('li[data-alarm="evacuation"] .lamp-text'), "Quiet")
                    self.assertIn("not started", self.text("#alarms-message"))
        self.wait_for(lambda: self.text('li[data-alarm="evacuation"] .lamp-text') == "Sounding",
                      what="the alarm sounding")
        self.assertIn("Evacuation", self.text("#alarm-banner"))
        self.assertIn("Alarm Evacuation started", self.announcements(urgent=True))
        # The keyboard stays on the alarm: its button is now "Stop".
        self.assertEqual(self.js("return document.activeElement.className"), "alarm-stop")
        self.find('li[data-alarm="evacuation"] button.alarm-stop').click()
        self.wait_for(lambda: self.text('li[data-alarm="evacuation"] .lamp-text') == "Quiet",
                      what="the alarm quiet")
        self.assertFalse(self.visible("#alarm-banner"))
        self.assertIn("Alarm Evacuation stopped", self.announcements(urgent=True))

    def test_stop_all_ends_an_alarm_without_asking(self):
        self.login("operator")
        status, _ = self.api_from_page("POST", "/api/v1/alarms/evacuation/start")
        self.assertEqual(status, 202)
        self.wait_for(lambda: self.text('li[data-alarm="evacuation"] .lamp-text') == "Sounding",
                      what="the alarm sounding")
        self.find("#stop-all").click()
        self.assertFalse(self.js("return document.getElementById('confirm').open"))
        self.wait_for(lambda: self.text('li[data-alarm="evacuation"] .lamp-text') == "Quiet",
                      what="the alarm quiet")
        self.wait_for(lambda: all(self.lamp(a, "output")[0] == "off" for a in self.service.horns),
                      what="every horn off")

    def test_each_role_sees_only_its_controls(self):
        controls = {  # selector: the view it is in, the roles that see it
            "#stop-all": ("home", {"operator", "admin"}),
            "#ring-form": ("ring", {"operator", "admin"}),
            'a[href="#ring"]': ("home", {"operator", "admin"}),
            "li.horn button.stop-horn": ("home", {"operator", "admin"}),
            "li.alarm button.alarm-start": ("alarms", {"operator", "admin"}),
            "#exception-form": ("timetable", {"admin"}),
            "#horn-list": ("home", {"viewer", "operator", "admin"}),
            "#bell-rows": ("home", {"viewer", "operator", "admin"}),
            "#log-rows": ("log", {"viewer", "operator", "admin"}),
            'a[href="#users"]': ("home", {"admin"}),
            "#user-form": ("users", {"admin"}),
            "#password-form": ("account", {"viewer", "operator", "admin"}),
        }
        for role in ("viewer", "operator", "admin"):
            self.login(role)
            for selector, (view, roles) in controls.items():
                with self.subTest(role=role, control=selector):
                    self.js("location.hash = '#' + arguments[0]", view)
                    time.sleep(0.05)
                    self.assertEqual(self.visible(selector), role in roles)
            self.js("location.hash = '#home'")
        self.login("viewer")
        for method, path, body in (("POST", "/api/v1/ring", {"group": "east", "tone": 1, "duration_s": 3}),
                                   ("POST", "/api/v1/stop-all", None),
                                   ("POST", "/api/v1/alarms/evacuation/start", None),
                                   ("POST", f"/api/v1/horns/{self.service.horns[0]}/stop", None)):
            with self.subTest(viewer=path):
                status, reply = self.api_from_page(method, path, body)
                self.assertEqual(status, 403, reply)
                self.assertIn('"forbidden"', reply)

    def test_phone_keeps_stop_all_on_screen(self):
        self.browser.viewport(360, 640, mobile=True)
        try:
            self.login("operator")
            for where in ("top", "middle", "bottom"):
                with self.subTest(scrolled=where):
                    self.js("""const h = document.documentElement.scrollHeight - innerHeight;
                        scrollTo(0, {top: 0, middle: h / 2, bottom: h}[arguments[0]]);""", where)
                    rect = self.js("""const r = document.getElementById('stop-all').getBoundingClientRect();
                        const hit = document.elementFromPoint(r.x + r.width / 2, r.y + r.height / 2);
                        return {top: r.top, bottom: r.bottom, left: r.left, right: r.right,
                                height: r.height, onTop: hit && hit.id === 'stop-all'};""")
                    self.assertGreaterEqual(rect["top"], 0)
                    self.assertLessEqual(rect["bottom"], 640)
                    self.assertGreaterEqual(rect["height"], 44, "too small to touch")
                    self.assertTrue(rect["onTop"], "something covers Stop all")
            self.assertLessEqual(self.js("return document.documentElement.scrollWidth"), 360,
                                 "the page is wider than the phone")
        finally:
            self.browser.desk()

    def test_screenshots(self):
        """The desk and the phone, with a group ringing, a horn offline and an input on."""
        if not OPTIONS.screenshots:
            self.skipTest("no folder for screenshots given")
        self.login("operator")
        horns = self.service.horns
        try:
            if {"presence", "input"} <= self.service.can:
                self.service.behind_the_back(horns[2], online=False)
                self.service.behind_the_back(horns[0], input=True)
                self.wait_for(lambda: self.lamp(horns[2], "online")[0] == "off", what="offline")
            self.api_from_page("POST", "/api/v1/ring", {"group": "east", "tone": 2, "duration_s": 60})
            self.wait_for(lambda: self.lamp(horns[1], "output")[0] == "on", what="the ring")
            self.browser.viewport(1366, 768)
            self.driver.refresh()  # the page as it opens, from the top
            self.wait_for(lambda: self.text("#connection") == "Live", what="the page")
            self.wait_for(lambda: self.text("#next-countdown"), what="the countdown")
            self.screenshot("page-desk.png")
            self.browser.viewport(360, 640, mobile=True)
            try:
                self.driver.refresh()
                self.wait_for(lambda: self.text("#connection") == "Live", what="the page")
                self.wait_for(lambda: self.text("#next-countdown"), what="the countdown")
                self.screenshot("page-phone.png")
            finally:
                self.browser.desk()
        finally:
            self.api_from_page("POST", "/api/v1/stop-all")
            if {"presence", "input"} <= self.service.can:
                self.service.behind_the_back(horns[2], online=True)
                self.service.behind_the_back(horns[0], input=False)

    def test_accessibility_tree_names_roles_and_focus_order(self):
        self.login("admin")
        tree = self.driver.execute_cdp_cmd("Accessibility.getFullAXTree", {})["nodes"]

        def value(node, key):
            return (node.get(key) or {}).get("value")

        shown = [n for n in tree if not n.get("ignored")]
        roles = {value(n, "role") for n in shown}
        for landmark in ("banner", "navigation", "main"):
            with self.subTest(landmark=landmark):
                self.assertIn(landmark, roles)
        controls = ("button", "textbox", "combobox", "checkbox", "radio", "spinbutton", "listbox",
                    "link", "searchbox", "list", "table", "dialog")
        nameless = [(value(n, "role"), n.get("backendDOMNodeId")) for n in shown
                    if value(n, "role") in controls[:9] and not (value(n, "name") or "").strip()]
        self.assertEqual(nameless, [], "controls without an accessible name")
        self.assertIn("heading", roles)

        rules = self.js("""
            const out = [];
            const ids = new Map();
            for (const n of document.querySelectorAll('[id]')) ids.set(n.id, (ids.get(n.id) || 0) + 1);
            for (const [id, count] of ids) if (count > 1) out.push('duplicate id ' + id);
            for (const n of document.querySelectorAll('[tabindex]'))
              if (Number(n.getAttribute('tabindex')) > 0) out.push('positive tabindex on ' + n.id);
            for (const l of document.querySelectorAll('label[for]'))
              if (!document.getElementById(l.htmlFor)) out.push('label for nothing: ' + l.htmlFor);
            for (const n of document.querySelectorAll('[aria-labelledby],[aria-describedby],[aria-controls]'))
              for (const attr of ['aria-labelledby', 'aria-describedby', 'aria-controls'])
                for (const id of (n.getAttribute(attr) || '').split(/\\s+/).filter(Boolean))
                  if (!document.getElementById(id)) out.push(attr + ' to nothing: ' + id);
            for (const lamp of document.querySelectorAll('.lamp, .signal'))
              if (!lamp.textContent.trim()) out.push('a lamp without words');
            if (!document.documentElement.lang) out.push('no language');
            return out;""")
        self.assertEqual(rules, [])

        # Tab from the top: focus visits the visible controls in the document's order, each
        # with a visible focus ring, "Stop all" among the first few.
        self.driver.refresh()  # the keyboard starts at the top of a page just opened
        self.wait_for(lambda: self.visible("#app-view") and self.text("#connection") == "Live" and
                      self.js("return document.querySelectorAll('#bell-rows tr').length > 0"),
                      what="the page again")
        expected = self.js("""
            const focusable = 'a[href], button, input, select, textarea, [tabindex]';
            return Array.from(document.querySelectorAll(focusable)).filter((n) =>
                !n.disabled && n.tabIndex >= 0 && n.getClientRects().length > 0 &&
                getComputedStyle(n).visibility !== 'hidden' &&
                !(n.type === 'radio' && !n.checked)).slice(0, 25).map((n) => n.id || n.outerHTML.slice(0, 60));""")
        from selenium.webdriver.common.action_chains import ActionChains
        from selenium.webdriver.common.keys import Keys
        visited = []
        for _ in range(len(expected)):
            ActionChains(self.driver).send_keys(Keys.TAB).perform()
            visited.append(self.js("""const n = document.activeElement;
                const style = getComputedStyle(n);
                return [n.id || n.outerHTML.slice(0, 60),
                        style.outlineStyle !== 'none' || style.boxShadow !== 'none'];"""))
        self.assertEqual([v[0] for v in visited], expected)
        self.assertEqual([v[0] for v in visited if not v[1]], [], "focus not visible on these")
        self.assertIn("stop-all", expected[:6])

    def test_errors_are_said_in_words(self):
        # A session that ended: the next change goes back to the login form, and so does an
        # idle page whose event stream the service ends with the session.
        ends = [("cookie gone, then a change", lambda: (
                    self.driver.delete_all_cookies(),
                    self.find("li.horn button.stop-horn").click()))]
        if "end_sessions" in self.service.can:
            ends.append(("ended by the service, page idle", self.service.end_sessions))
        for what, end in ends:
            with self.subTest(what):
                self.login("operator")
                end()
                self.wait_for(lambda: self.visible("#login-form"), timeout=15, what="the login form")
                self.assertIn("session has ended", self.text("#login-message"))
        # A wrong password, then too many of them (for a name nobody has: the limit counts
        # per name as well as per address, and the other tests' users stay free).
        user = "nobody-here"
        try:
            for attempt in range(7):
                self.find("#login-user").clear()
                self.find("#login-user").send_keys(user)
                self.find("#login-password").send_keys("wrong\n")
                self.wait_for(lambda: self.text("#login-message") not in ("", "Logging in…"),
                              what="the login's answer")
                message = self.text("#login-message")
                if "Too many" in message:
                    break
                self.assertEqual(message, "Wrong user name or password.")
                self.js("document.getElementById('login-message').textContent = ''")
            self.assertRegex(message, r"Too many attempts\. Try again in \d+ s\.")
        finally:
            self.service.forget_logins()
        # The service starting: said, and the page carries on by itself once it has started.
        if "starting" in self.service.can:
            self.login("operator")
            self.service.starting(True)
            try:
                self.driver.refresh()
                self.wait_for(lambda: "starting" in (self.text("#notice") or ""), what="'starting'")
            finally:
                self.service.starting(False)
            self.wait_for(lambda: self.visible("#app-view") and self.text("#connection") == "Live",
                          timeout=10, what="the page after the start")

    def test_event_stream_reconnects_and_catches_up(self):
        if "drop_streams" not in self.service.can:
            self.skipTest("the service cannot drop its event streams on request")
        self.login("viewer")
        address = self.service.horns[3]
        self.service.drop_streams(refuse_s=3)
        self.wait_for(lambda: self.text("#connection").startswith("Connection lost"),
                      what="'reconnecting'")
        self.service.behind_the_back(address, output=True)
        self.wait_for(lambda: self.text("#connection") == "Live", timeout=20, what="the stream back")
        self.wait_for(lambda: self.lamp(address, "output")[0] == "on", what="the change missed")
        self.service.behind_the_back(address, output=False)
        self.wait_for(lambda: self.lamp(address, "output")[0] == "off", what="a change after")

    def test_exceptions_added_and_removed_by_an_admin(self):
        self.login("admin")
        self.show_view("timetable")
        self.js("""document.getElementById('exception-from').value = '2027-01-07';
                   document.getElementById('exception-name').value = 'Staff training';""")
        self.find("#exception-form button[type=submit]").click()
        self.wait_for(lambda: "2027-01-07" in (self.text("#exception-rows") or ""), what="the new row")
        found = self.js("""return Array.from(document.querySelectorAll('#exception-rows tr'))
            .map((r) => r.textContent).filter((t) => t.includes('2027-01-07'));""")
        self.assertEqual(len(found), 1)
        self.assertIn("No bells", found[0])
        self.assertIn("Staff training", found[0])
        self.assertIn("Added by", found[0])
        self.js("""Array.from(document.querySelectorAll('#exception-rows tr'))
            .find((r) => r.textContent.includes('2027-01-07')).querySelector('button').click();""")
        self.wait_for(lambda: "2027-01-07" not in self.text("#exception-rows"), what="the row gone")
        self.assertIn("Removed", self.text("#exception-message"))

    def test_texts_from_the_services_values(self):
        self.open_page()
        cases = [  # module, function, arguments, text
            ("api", "retryAfterSeconds", ["7"], 7),
            ("api", "retryAfterSeconds", ["Thu, 01 Jan 2037 00:00:30 GMT", 2114380800000], 30),
            ("api", "retryAfterSeconds", ["soon"], None),
            ("dom", "durationText", [3], "3 s"),
            ("dom", "durationText", [125], "2 min 5 s"),
            ("dom", "durationText", [3720], "1 h 2 min"),
            ("timetable", "bellTime", [{"local": "2026-12-09T08:00:00"}], "08:00"),
            ("timetable", "bellTime", [{"local": "2026-12-09T08:00:30"}], "08:00:30"),
            ("horns", "signalOf", [-50], {"bars": 4, "text": "Signal -50 dBm, excellent"}),
            ("horns", "signalOf", [-80], {"bars": 1, "text": "Signal -80 dBm, weak"}),
            ("horns", "signalOf", [None], {"bars": 0, "text": "Signal unknown"}),
            ("horns", "onlineOf", [{"presence": "unknown", "online": None}], None),
        ]
        for module, function, args, text in cases:
            with self.subTest(function=function, args=args):
                got = self.driver.execute_async_script("""
                    const [module, name, args, done] = arguments;
                    import(`/static/${module}.js`).then((m) => done(m[name](...args)), (e) => done(String(e)));""",
                    module, function, args)
                self.assertEqual(got, text)

    def test_log_filters_and_pages(self):
        self.login("operator")
        # Every kind of entry the service has written can be chosen in the filter, in words.
        kinds, cursor = set(), ""
        for _ in range(100):
            status, body = self.api_from_page("GET", "/api/v1/log?limit=100" + cursor)
            self.assertEqual(status, 200, body)
            page = json.loads(body)
            kinds |= {entry["kind"] for entry in page["entries"]}
            if not page.get("next_cursor"):
                break
            cursor = "&cursor=" + page["next_cursor"]
        options = self.js("""return Object.fromEntries(Array.from(
            document.querySelectorAll('#log-kind option'), (o) => [o.value, o.textContent]));""")
        for kind in sorted(kinds):
            with self.subTest(kind=kind):
                self.assertNotIn(options.get(kind, kind), ("", kind), "no words for this kind")
        for _ in range(26):
            self.api_from_page("POST", "/api/v1/ring", {"group": "west", "tone": 0, "duration_s": 1})
        self.show_view("log")
        self.find("#log-kind").send_keys("Ring")
        self.find("#log-form button[type=submit]").click()
        self.wait_for(lambda: (self.text("#log-status") or "").startswith("Page 1: 25"), what="page 1")
        kinds = self.js("return Array.from(document.querySelectorAll('#log-rows tr'), (r) => r.dataset.kind)")
        self.assertEqual(set(kinds), {"ring"})
        self.assertFalse(self.find("#log-older").get_attribute("disabled"))
        first = self.text("#log-rows tr")
        self.find("#log-older").click()
        self.wait_for(lambda: (self.text("#log-status") or "").startswith("Page 2"), what="page 2")
        self.assertNotEqual(self.text("#log-rows tr"), first)
        self.find("#log-newer").click()
        self.wait_for(lambda: (self.text("#log-status") or "").startswith("Page 1"), what="page 1 again")
        self.assertEqual(self.text("#log-rows tr"), first)

    # --- Today first, cards that follow rings, stop all, the phone, people, words -----------

    def click(self, selector):
        """Clicks as a person does: with the control in the middle of the screen, clear of the
        desk's banner that stays at the top."""
        self.js("document.querySelector(arguments[0]).scrollIntoView({block: 'center'})", selector)
        self.find(selector).click()

    def choose(self, selector, words):
        from selenium.webdriver.support.ui import Select
        Select(self.find(selector)).select_by_visible_text(words)

    def card_ring(self, address):
        """What a horn's card says of the ring holding it; None when it says nothing."""
        return self.js("""const p = document.querySelector(`li.horn[data-address="${arguments[0]}"] .horn-ring`);
            return p && !p.hidden ? p.textContent : null;""", address)

    def test_cards_follow_a_rings_end_and_stop_all(self):
        """A ring that ends in a silent step (its horn already off) switches nothing, so no
        horn's change comes: the cards still forget it, at its end and at a stop all."""
        if "relay" not in self.service.can:
            self.skipTest("this service cannot switch a relay behind its back")
        self.login("operator")
        east = self.service.groups["east"]
        silent = east[1]
        ends = [  # how the ring ends, its length, what ends it
            ("its end", 4, lambda: None),
            ("stop all", 60, lambda: self.find("#stop-all").click()),
        ]
        for how, length, end in ends:
            with self.subTest(ends_by=how):
                status, body = self.api_from_page("POST", "/api/v1/ring",
                                                  {"group": "east", "tone": 1, "duration_s": length})
                self.assertEqual(status, 202, body)
                self.wait_for(lambda: self.card_ring(silent), what="the card held by the ring")
                self.assertRegex(self.card_ring(silent),
                                 r"^Held by a ring of group east, rung by operator until \d\d:\d\d:\d\d$")
                # The horn goes quiet before the ring's end, as in a silent step.
                self.service.behind_the_back(silent, output=False)
                self.wait_for(lambda: self.lamp(silent, "output")[0] == "off",
                              timeout=3 * self.service.poll_s + 3, what="the horn off")
                self.assertIsNotNone(self.card_ring(silent), "the ring still holds the horn")
                end()
                self.wait_for(lambda: all(self.card_ring(a) is None for a in east),
                              timeout=length + 3 * self.service.poll_s + 3,
                              what="every card without its ring")
                self.wait_for(lambda: self.text("#now-summary") == "Nothing sounds.",
                              what="nothing sounding")

    def test_stop_all_says_what_it_stopped(self):
        self.login("operator")
        west = self.service.groups["west"]
        cases = [  # what sounds before, what the bar says after
            ([], "Stopped: nothing was sounding."),
            ([("/api/v1/ring", {"group": "east", "tone": 1, "duration_s": 60})], "Stopped 1 ring."),
            ([("/api/v1/ring", {"group": "east", "tone": 1, "duration_s": 60}),
              ("/api/v1/ring", {"horns": west[:1], "tone": 1, "duration_s": 60})], "Stopped 2 rings."),
            ([("/api/v1/alarms/evacuation/start", None)], "Stopped 1 alarm."),
        ]
        self.assertEqual(self.text(f'li.horn[data-address="{west[0]}"] button.stop-horn'),
                         "Stop this horn")
        for before, said in cases:
            with self.subTest(said=said):
                for path, body in before:
                    status, reply = self.api_from_page("POST", path, body)
                    self.assertEqual(status, 202, reply)
                self.wait_for(lambda: len(before) == 0 or self.text("#now-summary") != "Nothing sounds.",
                              what="something sounding")
                self.js("document.getElementById('alarms-message').textContent = 'Evacuation started.'")
                self.find("#stop-all").click()
                self.wait_for(lambda: self.visible("#stop-all-message") and
                              self.text("#stop-all-message") == said, what=f"'{said}'")
                self.assertEqual(self.text("#alarms-message"), "", "an old message stays")
                self.assertIn(said, self.announcements(urgent=False))
                self.wait_for(lambda: self.text("#now-summary") == "Nothing sounds.",
                              what="nothing sounding")
                self.wait_for(lambda: all(self.lamp(a, "output")[0] == "off" for a in self.service.horns),
                              timeout=3 * self.service.poll_s + 3, what="every horn off")

    def positions(self):
        return self.js("""const top = (id) => document.getElementById(id).getBoundingClientRect().top + scrollY;
            return {now: top('now'), next: top('next-bell'), today: top('today'), horns: top('horns'),
                    banner: document.getElementById('alarm-banner').getBoundingClientRect().top};""")

    def test_today_comes_first_with_a_live_countdown(self):
        """Sounding now, the next bell, today's bells, the horns: the next bell in a desk's
        first screen and near a phone's top, its countdown moving every second."""
        screens = [  # name, width, height, phone, where the next bell must start at most
            ("desk", 1366, 768, False, 768),
            ("phone", 360, 640, True, 640),
        ]
        for name, width, height, phone, limit in screens:
            with self.subTest(screen=name):
                self.browser.viewport(width, height, mobile=phone)
                try:
                    self.login("operator")
                    self.wait_for(lambda: self.text("#next-countdown"), what="the countdown")
                    at = self.positions()
                    print(f"\n{name} {width}x{height}: next bell at {at['next']:.0f} px", file=sys.stderr)
                    self.assertLess(at["next"], limit, "the next bell is not in the first screen")
                    self.assertLessEqual(at["now"], at["next"])
                    # One column on a phone, in order; on a desk the bells beside the horns.
                    self.assertLess(at["next"], at["today"])
                    self.assertLess(at["next"], at["horns"])
                    if phone:
                        self.assertLess(at["today"], at["horns"])
                    first = self.text("#next-countdown")
                    if first != "now":
                        self.assertRegex(first, r"^in \d+ (h|min|s)( \d+ (min|s))*$")
                        self.wait_for(lambda: self.text("#next-countdown") != first, timeout=2.5,
                                      what="the countdown to move")
                    # An alarm: the banner on top, and "sounding now" says it with its Stop.
                    status, _ = self.api_from_page("POST", "/api/v1/alarms/evacuation/start")
                    self.assertEqual(status, 202)
                    self.wait_for(lambda: self.visible("#alarm-banner"), what="the banner")
                    self.wait_for(lambda: self.visible('#now-list li.now-alarm button'), what="the alarm now")
                    self.assertTrue(self.text("#now-list").startswith("Alarm Evacuation"))
                    at = self.positions()
                    self.assertLess(at["banner"], at["now"])
                    self.find('#now-list li.now-alarm button').click()
                    self.wait_for(lambda: not self.visible("#alarm-banner"), what="the banner gone")
                finally:
                    self.api_from_page("POST", "/api/v1/stop-all")
                    self.browser.desk()

    def test_admin_renames_a_horn_and_edits_a_group(self):
        self.login("admin")
        status, body = self.api_from_page("GET", "/api/v1/groups/settings")
        self.assertEqual(status, 200, body)
        settings = json.loads(body)
        by_source = {}
        for horn in settings["horns"]:
            by_source.setdefault(horn["source"], horn["address"])
        # A name the site file gives is read only, and says so.
        if "file" in by_source:
            card = f'li.horn[data-address="{by_source["file"]}"]'
            self.assertFalse(self.visible(card + " form.horn-rename"))
            self.assertIn("Set in the site file", self.text(card + " .rename-file"))
        if "database" in by_source:
            address = by_source["database"]
            card = f'li.horn[data-address="{address}"]'
            self.wait_for(lambda: self.visible(card + " form.horn-rename"), what="the rename form")
            field = self.find(card + " .rename-input")
            field.clear()
            field.send_keys("Music room\n")
            self.wait_for(lambda: self.text(card + " .horn-name") == "Music room",
                          what="the new name on the card")
            horns = json.loads(self.api_from_page("GET", "/api/v1/horns")[1])
            self.assertEqual({h["address"]: h["name"] for h in horns}[address], "Music room")
        if settings["source"] == "file":
            self.assertTrue(self.visible("#groups-file"))
            self.assertFalse(self.visible("#group-new"))
            self.assertFalse(self.visible("#group-rows button"))
            return
        # A group made by ticking two horns, then changed to one, then removed.
        first, second = self.service.horns[0], self.service.horns[1]
        self.find("#group-new").click()
        self.find("#group-name").send_keys("music")
        for address in (first, second):
            self.find(f'#group-horns input[value="{address}"]').click()
        self.find("#group-save").click()
        row = '#group-rows tr[data-group="music"]'
        self.wait_for(lambda: self.visible(row), what="the new group's row")
        self.assertEqual(self.text(row + " td"), "2")
        self.assertIn("music", self.js(
            "return Array.from(document.querySelectorAll('#horns-filter-group option'), (o) => o.value)"))
        self.find(row + " button.group-edit").click()
        self.assertEqual(self.find("#group-name").get_attribute("value"), "music")
        self.find(f'#group-horns input[value="{second}"]').click()
        self.find("#group-save").click()
        self.wait_for(lambda: self.text(row + " td") == "1", what="the group with one horn")
        groups = {g["name"]: g["horns"] for g in json.loads(self.api_from_page("GET", "/api/v1/groups")[1])}
        self.assertEqual(groups["music"], [first])
        # A name the service refuses is said beside the form.
        self.find("#group-new").click()
        self.find("#group-name").send_keys("all")
        self.find(f'#group-horns input[value="{first}"]').click()
        self.find("#group-save").click()
        self.wait_for(lambda: "built in" in (self.text("#group-error") or ""), what="the refusal")
        self.find("#group-cancel").click()
        self.find(row + " button.group-remove").click()
        self.wait_for(lambda: not self.visible(row), what="the group gone")

    def test_horns_stand_in_their_groups_offline_first(self):
        self.login("viewer")
        order = self.js("""return Array.from(document.querySelectorAll('#horn-list .horn-group'), (g) =>
            [g.dataset.group, Array.from(g.querySelectorAll('li.horn'), (c) => c.dataset.address)]);""")
        for name, members in order:
            with self.subTest(group=name):
                self.assertLessEqual(set(members), set(self.service.groups.get(name, self.service.horns)))
        shown = [address for _, members in order for address in members]
        self.assertEqual(sorted(shown), sorted(self.service.horns), "each horn once")
        self.assertLessEqual({"east", "west"}, {name for name, _ in order})
        # Named where they have names, by their address where not.
        names = self.js("""return Object.fromEntries(Array.from(document.querySelectorAll('li.horn'),
            (c) => [c.dataset.address, c.querySelector('.horn-name').textContent]));""")
        horns = json.loads(self.api_from_page("GET", "/api/v1/horns")[1])
        self.assertEqual(names, {h["address"]: h["name"] or h["address"] for h in horns})
        if "presence" not in self.service.can:
            return
        late = self.service.groups["west"][-1]
        self.service.behind_the_back(late, online=False)
        try:
            self.wait_for(lambda: self.js("""return document.querySelector(
                '.horn-group[data-group="west"] li.horn').dataset.address""") == late,
                timeout=3 * self.service.poll_s + 3, what="the offline horn first in its group")
            self.assertIn("1 offline", self.text('.horn-group[data-group="west"] .horn-group-name'))
        finally:
            self.service.behind_the_back(late, online=True)

    def controls_covered(self):
        """The controls shown whose centre, once scrolled into view, is not the control itself
        (the Stop all bar lies over it), in words."""
        return self.js("""
            const out = [];
            const controls = document.querySelectorAll('#app-view button, #app-view input, #app-view select, #app-view textarea, #app-view a[href], #sections-nav a, #stop-all');
            for (const c of controls) {
              // A closed <details> keeps boxes for its content, but shows none of it.
              if (c.getClientRects().length === 0 || c.closest('[hidden], details:not([open]) > :not(summary)')) continue;
              if (c.type === 'radio' || c.type === 'checkbox') continue;
              c.scrollIntoView({block: 'center', inline: 'center'});
              const r = c.getBoundingClientRect();
              const hit = document.elementFromPoint(r.left + r.width / 2, r.top + r.height / 2);
              if (!hit || !(hit === c || c.contains(hit)))
                out.push((c.id || c.textContent.trim() || c.outerHTML.slice(0, 50)) + ' under ' +
                         (hit ? hit.id || hit.className || hit.tagName : 'nothing'));
            }
            return out;""")

    def test_phone_every_view_fits_and_every_control_can_be_tapped(self):
        """At 360x640 no view is wider than the screen, and the centre of every control, once
        scrolled into view, is the control itself: nothing (the Stop all bar) lies over it."""
        self.browser.viewport(360, 640, mobile=True)
        added = None
        try:
            self.login("admin")
            # An exception of the page's own, with its Remove button.
            status, body = self.api_from_page("POST", "/api/v1/schedule/exceptions",
                                              {"date": "2027-03-09", "no_bells": True,
                                               "name": "Staff training in the main hall"})
            self.assertEqual(status, 201, body)
            added = json.loads(body)["id"]
            for view in ("home", "ring", "alarms", "timetable", "log", "users", "account"):
                with self.subTest(view=view):
                    self.show_view(view)
                    if view == "timetable":
                        self.wait_for(lambda: "Staff training" in self.text("#exception-rows"),
                                      what="the exception")
                    if view == "users":
                        self.wait_for(lambda: self.js("return document.querySelectorAll('#user-rows tr').length > 0"),
                                      what="the users")
                    width = self.js("return [document.documentElement.scrollWidth, document.documentElement.clientWidth]")
                    self.assertLessEqual(width[0], width[1], "wider than the screen")
                    covered = self.controls_covered()
                    self.assertEqual(covered, [], "controls that cannot be tapped")
        finally:
            if added is not None:
                self.api_from_page("DELETE", f"/api/v1/schedule/exceptions/{added}")
            self.browser.desk()

    def test_users_view(self):
        """An admin's users: added with a role (its password shown once), its role changed,
        disabled and enabled, its password reset (shown once), removed; tokens revoked; the
        last admin neither demoted nor removed (the service's words said)."""
        self.login("admin")
        admin = self.service.accounts["admin"][0]
        # The test's admin alone is enabled as one (kstbelld --simulate has its demo admin too).
        others = [u["name"] for u in json.loads(self.api_from_page("GET", "/api/v1/users")[1])
                  if u["role"] == "admin" and not u["disabled"] and u["name"] != admin]
        for name in others:
            self.api_from_page("PATCH", f"/api/v1/users/{name}", {"disabled": True})
        try:
            self.users_view_steps(admin)
        finally:
            for name in others:
                self.api_from_page("PATCH", f"/api/v1/users/{name}", {"disabled": False})

    def users_view_steps(self, admin):
        self.show_view("users")
        row = 'tr[data-user="{}"]'.format
        self.wait_for(lambda: self.visible(row(admin)), what="the admin's row")
        self.find("#user-name").send_keys("visitor-desk")
        self.choose("#user-role", "Viewer: sees the site")
        self.click("#user-form button[type=submit]")
        self.wait_for(lambda: self.visible(row("visitor-desk")), what="the new user")
        self.assertTrue(self.visible("#new-password-box"))
        first = self.text("#new-password")
        self.assertRegex(first, r"^[a-z2-9]{4}(-[a-z2-9]{4}){3}$")
        self.click("#new-password-done")
        self.assertFalse(self.visible("#new-password-box"))
        self.assertEqual(self.text("#new-password"), "", "a password kept on the page")
        steps = [  # what is done, the row's role after, the message
            (lambda: self.choose(row("visitor-desk") + " select", "Operator"), "operator",
             "visitor-desk is now Operator."),
            (lambda: self.click(row("visitor-desk") + " button.user-disable"), "operator",
             "visitor-desk is disabled; their sessions have ended."),
            (lambda: self.click(row("visitor-desk") + " button.user-disable"), "operator",
             "visitor-desk may log in again."),
            (lambda: self.click(row("visitor-desk") + " button.user-reset"), "operator",
             "visitor-desk has a new password; their sessions have ended."),
            (lambda: self.choose(row(admin) + " select", "Viewer"), "admin",
             f"{admin}: not changed. '{admin}' is the only enabled admin and cannot be given another "
             "role: make another user an admin (or enable one) first."),
        ]
        for act, role, said in steps:
            with self.subTest(said=said):
                self.js("document.getElementById('users-message').textContent = ''")
                act()
                self.wait_for(lambda: self.text("#users-message") == said, what=f"'{said}'")
                user = "visitor-desk" if "visitor-desk" in said else admin
                self.wait_for(lambda: self.js("const s = document.querySelector(arguments[0]); return s && s.value",
                                              row(user) + " select") == role, what="the role shown")
        second = self.text("#new-password")
        self.assertRegex(second, r"^[a-z2-9]{4}(-[a-z2-9]{4}){3}$")
        self.assertNotEqual(first, second)
        self.click("#new-password-done")
        for user, said in (("visitor-desk", "visitor-desk removed."),
                           (admin, f"{admin}: not removed. '{admin}' is the only enabled admin and "
                                   "cannot be removed: make another user an admin (or enable one) first.")):
            with self.subTest(remove=user):
                self.click(row(user) + " button.user-remove")
                self.wait_for(lambda: self.js("return document.getElementById('confirm').open"),
                              what="the confirmation")
                self.find("#confirm-ok").click()
                self.wait_for(lambda: self.text("#users-message") == said, what=f"'{said}'")
        self.assertFalse(self.js("return !!document.querySelector(arguments[0])", row("visitor-desk")))
        tokens = self.js("return Array.from(document.querySelectorAll('#token-rows tr[data-token]'), (r) => r.dataset.token)")
        if tokens:
            self.click(f'tr[data-token="{tokens[0]}"] button.token-revoke')
            self.wait_for(lambda: self.js("return document.getElementById('confirm').open"),
                          what="the confirmation")
            self.find("#confirm-ok").click()
            self.wait_for(lambda: "is revoked" in self.text("#tokens-message"), what="the token revoked")
            self.assertFalse(self.js("return !!document.querySelector(arguments[0])",
                                     f'tr[data-token="{tokens[0]}"]'))

    def test_own_password(self):
        """Every user changes its own password with the current one, then logs in with it."""
        user, password = self.service.accounts["viewer"]
        new = password + "-new"
        self.login("viewer")
        self.show_view("account")
        attempts = [  # current, new, again, the form's message (None: logged out)
            ("wrong-password", new, new, "Not changed: The current password is wrong."),
            (password, new, new + "x", "The new password and its repetition differ."),
            (password, new, new, None),
        ]
        for current, fresh, again, said in attempts:
            with self.subTest(said=said):
                for field, value in (("#password-current", current), ("#password-new", fresh),
                                     ("#password-again", again)):
                    self.find(field).clear()
                    self.find(field).send_keys(value)
                self.find("#password-form button[type=submit]").click()
                if said:
                    self.wait_for(lambda: self.text("#password-message") == said, what=f"'{said}'")
        self.wait_for(lambda: self.visible("#login-form"), what="the login form")
        self.assertEqual(self.text("#login-message"), "Your password is changed. Log in with the new one.")
        self.find("#login-user").clear()
        self.find("#login-user").send_keys(user)
        self.find("#login-password").send_keys(new + "\n")
        self.wait_for(lambda: self.visible("#app-view"), what="logged in with the new password")
        status, body = self.api_from_page("POST", "/api/v1/session/password",
                                          {"current": new, "password": password})
        self.assertEqual(status, 204, body)

    def test_people_read_words_not_identifiers(self):
        """Rings, causes and the log in words: no ring's number, no cause's key."""
        self.login("operator")
        status, body = self.api_from_page("POST", "/api/v1/ring", {"group": "east", "tone": 1, "duration_s": 1})
        self.assertEqual(status, 202, body)
        ring = json.loads(body)["ring"]["id"]
        self.wait_for(lambda: self.text("#now-summary") == "Nothing sounds.", timeout=8, what="the ring over")
        self.show_view("log")
        self.find("#log-form button[type=submit]").click()
        self.wait_for(lambda: (self.text("#log-status") or "").startswith("Page 1"), what="the log")
        rows = self.js("""return Array.from(document.querySelectorAll('#log-rows tr'), (r) =>
            [r.dataset.kind, ...Array.from(r.cells, (c) => c.textContent)]);""")
        by_kind = {}
        for kind, *cells in rows:
            by_kind.setdefault(kind, cells)
        keys = {"schedule", "alarm", "input", "mqtt", "http", "cli", "service"}
        expected = [  # kind, the By column
            ("ring", "operator on the page"),
            ("ring_end", "the service"),
            ("login", "operator on the page"),
        ]
        for kind, who in expected:
            with self.subTest(kind=kind):
                self.assertIn(kind, by_kind)
                self.assertEqual(by_kind[kind][2], who)
        for cells in by_kind.values():
            with self.subTest(row=" | ".join(cells)):
                self.assertNotIn(cells[2], keys)
                self.assertNotRegex(cells[4], rf"\bring {ring}\b|(^|; )ring(;|$)")
        # An exception over another one: named by its name and days, not its number.
        self.login("admin")
        for date in ("2027-05-03", "2027-05-04"):
            self.api_from_page("POST", "/api/v1/schedule/exceptions",
                               {"date": date, "no_bells": True, "name": "Open day"})
        self.show_view("timetable")
        self.wait_for(lambda: "Open day" in self.text("#exception-rows"), what="the exception")
        self.js("""document.getElementById('exception-from').value = '2027-05-01';
                   document.getElementById('exception-to').value = '2027-05-06';
                   document.getElementById('exception-name').value = 'Spring week';""")
        self.find("#exception-form button[type=submit]").click()
        self.wait_for(lambda: "Not added" in self.text("#exception-message"), what="the refusal")
        self.assertEqual(self.text("#exception-message"),
                         'Not added: These days overlap "Open day" (2027-05-03) and "Open day" '
                         '(2027-05-04): remove that first or choose other days.')
        exceptions = json.loads(self.api_from_page("GET", "/api/v1/schedule/exceptions")[1])
        for exception in exceptions:
            if exception.get("name") == "Open day":
                self.api_from_page("DELETE", f"/api/v1/schedule/exceptions/{exception['id']}")

    def test_words_people_read(self):
        self.open_page()
        cases = [  # module, function, arguments, text
            ("words", "causeWords", ["schedule", ""], "the timetable"),
            ("words", "causeWords", ["http", "anna"], "anna on the page"),
            ("words", "causeWords", ["http", "anna (token fire panel)"], "token 'fire panel'"),
            ("words", "causeWords", ["input", ""], "a horn's input"),
            ("words", "causeWords", ["service", ""], "the service"),
            ("words", "causeWords", ["cli", "root"], "root on the command line"),
            ("words", "ringWords", [{"id": 4, "cause": "schedule", "label": "day 08:00:00"}], "the 08:00 bell"),
            ("words", "ringWords", [{"id": 4, "cause": "schedule", "label": "day 08:00:30"}], "the 08:00:30 bell"),
            ("words", "ringWords", [{"id": 4, "cause": "http", "actor": "anna", "label": "evacuation"},
                                    {"evacuation": "Evacuation"}], "the alarm Evacuation"),
            ("words", "ringWords", [{"id": 4, "cause": "http", "actor": "anna", "label": "east"}],
             "a ring of group east, rung by anna"),
            ("words", "ringWords", [{"id": 4, "cause": "http", "actor": "anna", "label": ""}], "a ring rung by anna"),
            ("words", "ringWords", [{"id": 4, "cause": "mqtt", "actor": "", "label": "hall"}],
             "a ring of group hall, rung over MQTT"),
            ("words", "ringWords", [{"id": 4, "cause": "http", "actor": "bot (token fire panel)", "label": ""}],
             "a ring rung by token 'fire panel'"),
            ("words", "stoppedWords", [{"rings_stopped": 3, "alarms_stopped": 1}], "Stopped 3 rings and 1 alarm."),
            ("words", "stoppedWords", [{"rings_stopped": 1, "alarms_stopped": 0}], "Stopped 1 ring."),
            ("words", "stoppedWords", [{"rings_stopped": 0, "alarms_stopped": 0}], "Stopped: nothing was sounding."),
            ("words", "stoppedWords", [{}], "Stop all sent: every ring and alarm ends."),
            ("words", "sentence", ["no group named 'x'"], "No group named 'x'."),
            ("log", "detailWords", ["ring; ended at its end; 3 horns told off"], "ended at its end; 3 horns told off"),
            ("log", "detailWords", ["bell day 08:00:00; 25 of 25 horns switched on"],
             "bell day 08:00:00; 25 of 25 horns switched on"),
            ("exceptions", "overlapWords", ["2027-01-01", "2027-01-09",
                                            [{"from": "2027-01-05", "to": "2027-01-12", "name": "Winter break",
                                              "source": "file"}]],
             'These days overlap "Winter break" (2027-01-05 to 2027-01-12, from the site file): '
             'remove that first or choose other days.'),
            ("exceptions", "overlapWords", ["2027-01-01", "2027-01-02",
                                            [{"from": "2027-01-05", "to": "2027-01-12", "name": "x"}]], ""),
            ("timetable", "countdownText", [3_725_000, 0], "in 1 h 2 min 5 s"),
            ("timetable", "countdownText", [1_500, 0], "in 2 s"),
            ("timetable", "countdownText", [0, 10], "now"),
        ]
        for module, function, args, text in cases:
            with self.subTest(function=function, args=args):
                got = self.driver.execute_async_script("""
                    const [module, name, args, done] = arguments;
                    import(`/static/${module}.js`).then((m) => done(m[name](...args)), (e) => done(String(e)));""",
                    module, function, args)
                self.assertEqual(got, text)
        password = self.driver.execute_async_script("""const done = arguments[0];
            import('/static/people.js').then((m) => done(m.makePassword((b) => b.fill(255))));""")
        self.assertEqual(password, "9999-9999-9999-9999".replace("9", "abcdefghjkmnpqrstuvwxyz23456789"[255 % 31]))


    # --- the timetable edited on the page, and any day ahead --------------------------------

    def timetable(self):
        status, body = self.api_from_page("GET", "/api/v1/timetable")
        self.assertEqual(status, 200, body)
        return json.loads(body)

    def put_back(self, timetable):
        """Saves an earlier timetable's plans, week and holidays again (the tests share one)."""
        current = self.timetable()
        if current["source"] != "database":
            return
        status, body = self.api_from_page(
            "PUT", "/api/v1/timetable", {k: timetable[k] for k in ("plans", "week", "holidays")},
            {"If-Match": f'"{current["revision"]}"'})
        self.assertEqual(status, 200, body)

    def open_timetable(self, role):
        self.login(role)
        self.show_view("timetable")
        self.wait_for(lambda: self.js("return document.querySelectorAll('#plan-list section.plan').length > 0"),
                      what="the day plans")
        self.wait_for(lambda: self.js("return document.querySelectorAll('#calendar-days li.day').length > 0"),
                      what="the month")

    def set_value(self, selector, value):
        """Types a value as the browser's own date and time pickers give it."""
        self.js("""const n = document.querySelector(arguments[0]); n.value = arguments[1];
                   n.dispatchEvent(new Event('change', {bubbles: true}));""", selector, value)

    def open_plan(self, plan):
        """Opens a plan's bells (each plan shows only its summary until then)."""
        details = f'#plan-list section[data-plan="{plan}"] details'
        if not self.js("return document.querySelector(arguments[0]).open", details):
            self.click(f"{details} > summary")
        self.wait_for(lambda: self.js("return document.querySelector(arguments[0]).open", details),
                      what=f"plan {plan}'s bells")

    def save_timetable(self, said):
        self.click("#tt-save")
        self.wait_for(lambda: said(self.text("#tt-message")), what="the save's answer")
        return self.text("#tt-message")

    def test_timetable_edited_and_saved_by_an_admin(self):
        """A plan made, renamed, given to Saturday and deleted; a bell added to a plan; a plan
        copied and given to Friday; a holiday added by hand and from a calendar file (the month
        shows it): each saved as the next revision."""
        self.open_timetable("admin")
        before = self.timetable()
        plan = sorted(before["plans"])[0]
        section = f'#plan-list section[data-plan="{plan}"]'
        holiday = self.js("""const at = new Date(); at.setDate(1); at.setMonth(at.getMonth() + 1);
            return at.getFullYear() + '-' + String(at.getMonth() + 1).padStart(2, '0') + '-11';""")
        files = self.files_folder()
        calendar = os.path.join(files, "holidays.ics")
        with open(calendar, "w") as file:
            file.write("BEGIN:VCALENDAR\r\nVERSION:2.0\r\nBEGIN:VEVENT\r\nDTSTART;VALUE=DATE:20301223\r\n"
                       "DTEND;VALUE=DATE:20310103\r\nSUMMARY:Winter\r\n  holidays\r\nEND:VEVENT\r\n"
                       "END:VCALENDAR\r\n")
        not_one = os.path.join(files, "notes.ics")
        with open(not_one, "w") as file:
            file.write("these are notes, not a calendar\n")

        def add_bell():
            self.open_plan(plan)
            self.click(f"{section} .bell-add")
            last = f"{section} tbody tr:last-child"
            self.set_value(f"{last} input[type=time]", "23:58:30")
            self.set_value(f"{last} td:nth-child(5) input", "Page test bell")

        def copy_for_friday():
            self.click(f"{section} .plan-copy")
            self.wait_for(lambda: self.visible(f'#plan-list section[data-plan="{plan} copy"]'), what="the copy")
            self.choose("#week-friday", f'Plan "{plan} copy"')

        def add_holiday():
            self.click("#holiday-add")
            row = "#holiday-rows tr:last-child"
            self.set_value(f"{row} td:nth-child(1) input", "Page test holiday")
            self.set_value(f"{row} td:nth-child(2) input", holiday)
            self.set_value(f"{row} td:nth-child(3) input", holiday)

        def add_calendar_file():
            self.find("#ics-file").send_keys(not_one)
            self.wait_for(lambda: "cannot be read" in self.text("#ics-message"), what="the refusal")
            self.assertEqual(self.text("#ics-message"), "notes.ics cannot be read: It is not a calendar "
                             "file (.ics): it does not begin with BEGIN:VCALENDAR.")
            self.find("#ics-file").send_keys(calendar)
            self.wait_for(lambda: "added below" in self.text("#ics-message"), what="the file read")

        def make_rename_and_delete_a_plan():
            self.find("#plan-new-name").send_keys("Exam day")
            self.click("#plan-add")
            self.wait_for(lambda: self.visible('#plan-list section[data-plan="Exam day"]'), what="the new plan")
            self.set_value('#plan-list section[data-plan="Exam day"] input.plan-name', "Exam")
            self.wait_for(lambda: self.visible('#plan-list section[data-plan="Exam"]'), what="the new name")
            self.choose("#week-saturday", 'Plan "Exam"')
            self.click('#plan-list section[data-plan="Exam"] .plan-delete')
            self.assertEqual(self.text("#tt-message"), 'Plan "Exam" deleted; Saturday now rings no bells.')

        steps = [  # what is done, what the saved timetable then holds
            (make_rename_and_delete_a_plan, lambda t: "Exam" not in t["plans"]
             and "Exam day" not in t["plans"] and t["week"]["saturday"] is None),
            (add_bell, lambda t: {"time": "23:58:30", "label": "Page test bell"}.items()
             <= {k: v for k, v in t["plans"][plan]["bells"][-1].items() if k in ("time", "label")}.items()),
            (copy_for_friday, lambda t: t["week"]["friday"] == f"{plan} copy"
             and t["plans"][f"{plan} copy"]["bells"] == t["plans"][plan]["bells"]),
            (add_holiday, lambda t: {"name": "Page test holiday", "first": holiday, "last": holiday} in t["holidays"]),
            (add_calendar_file, lambda t: {"name": "Winter holidays", "first": "2030-12-23",
                                           "last": "2031-01-02"} in t["holidays"]),
        ]
        try:
            revision = before["revision"]
            for act, holds in steps:
                with self.subTest(step=act.__name__):
                    act()
                    said = self.save_timetable(lambda t: t.startswith("Saved") or t.startswith("Not"))
                    revision += 1
                    self.assertEqual(said, f"Saved as revision {revision}.")
                    self.assertTrue(holds(self.timetable()), act.__name__)
                    self.assertTrue(self.text("#tt-status").startswith(f"Revision {revision} by "))
            self.click("#calendar-next")
            day = f'#calendar-days li.day[data-date="{holiday}"]'
            self.wait_for(lambda: self.visible(day), what="next month")
            self.assertEqual(self.js("return document.querySelector(arguments[0]).dataset.rule", day), "holiday")
            self.assertIn("Holiday: Page test holiday", self.text(day))
            self.assertIn("No bells", self.text(day))
        finally:
            self.put_back(before)

    def files_folder(self):
        """A folder for the files a test gives the page, removed after the test."""
        folder = tempfile.mkdtemp(prefix="kstbell-page-files-")
        self.addCleanup(shutil.rmtree, folder, True)
        return folder

    def test_timetable_refused_and_stale_saves_change_nothing(self):
        """A save with mistakes shows each beside the form, in words; one made from a revision
        another save has passed says who saved and when, and loads the current timetable."""
        self.open_timetable("admin")
        before = self.timetable()
        plan = sorted(before["plans"])[0]
        first = f'#plan-list section[data-plan="{plan}"] tbody tr:first-child'
        try:
            self.set_value(f"{first} input[type=time]", "")
            self.set_value(f"{first} input[type=number]", "0")
            said = self.save_timetable(lambda t: t.startswith("Not saved"))
            self.assertEqual(said, "Not saved: 2 mistakes. Nothing was changed.")
            mistakes = sorted(self.js("return Array.from(document.querySelectorAll('#tt-mistakes li'), (n) => n.textContent)"),
                              key=lambda m: "time" not in m.split(":")[0])
            self.assertEqual(len(mistakes), 2, mistakes)
            for mistake, field in zip(mistakes, ("time", "length")):
                self.assertTrue(mistake.startswith(f'Plan "{plan}", bell 1, {field}: '), mistake)
                self.assertNotIn("schedule.", mistake)
            self.assertEqual(self.timetable()["revision"], before["revision"])
            # Someone else saves meanwhile (another browser, or a script).
            status, body = self.api_from_page(
                "PUT", "/api/v1/timetable", {k: before[k] for k in ("plans", "week", "holidays")},
                {"If-Match": f'"{before["revision"]}"'})
            self.assertEqual(status, 200, body)
            other = json.loads(body)
            self.set_value(f"{first} input[type=time]", "06:59")
            self.set_value(f"{first} input[type=number]", "4")
            said = self.save_timetable(lambda t: "changed the timetable" in t)
            user = self.service.accounts["admin"][0]
            self.assertRegex(said, rf"^Not saved: {user} changed the timetable at .+ \(revision "
                                   rf"{other['revision']}\) after you loaded it\.")
            self.assertTrue(self.visible("#tt-reload"))
            self.assertEqual(self.timetable()["revision"], other["revision"])
            self.click("#tt-reload")
            self.wait_for(lambda: self.text("#tt-status").startswith(f"Revision {other['revision']} by {user}"),
                          what="the current timetable")
            self.assertEqual(self.js("return document.querySelector(arguments[0]).value", f"{first} input[type=time]"),
                             before["plans"][plan]["bells"][0]["time"])
        finally:
            self.put_back(before)

    def test_timetable_revision_restored(self):
        self.open_timetable("admin")
        before = self.timetable()
        plan = sorted(before["plans"])[0]
        changed = {k: before[k] for k in ("plans", "week", "holidays")}
        changed["holidays"] = before["holidays"] + [{"name": "Restore test", "first": "2031-05-05",
                                                     "last": "2031-05-06"}]
        status, body = self.api_from_page("PUT", "/api/v1/timetable", changed,
                                          {"If-Match": f'"{before["revision"]}"'})
        self.assertEqual(status, 200, body)
        saved = json.loads(body)["revision"]
        try:
            self.show_view("home")
            self.show_view("timetable")
            row = f'#revision-rows tr[data-revision="{saved}"]'
            self.wait_for(lambda: self.visible(row), what="the new revision")
            self.assertIn("Current", self.text(row))
            self.assertIn(self.service.accounts["admin"][0], self.text(row))
            if before["revision"] == 0:
                return  # nothing earlier to restore
            self.click(f'#revision-rows tr[data-revision="{before["revision"]}"] .revision-restore')
            self.wait_for(lambda: self.text("#revisions-message").startswith("Restored"), what="the restore")
            self.assertEqual(self.text("#revisions-message"),
                             f"Restored revision {before['revision']} as revision {saved + 1}.")
            after = self.timetable()
            self.assertEqual(after["holidays"], before["holidays"])
            self.assertEqual(after["plans"][plan], before["plans"][plan])
            self.wait_for(lambda: self.visible(f'#revision-rows tr[data-revision="{saved + 1}"]'),
                          what="the restore's revision")
        finally:
            self.put_back(before)

    def test_timetable_read_only_unless_an_admin_may_change_it(self):
        cases = [  # role, kept in the site file, the status's words
            ("operator", False, "Only an admin changes it."),
            ("viewer", False, "Only an admin changes it."),
            ("admin", True, "Set in the site file. It is changed there, not here."),
        ]
        for role, in_file, said in cases:
            if in_file and "timetable_file" not in self.service.can:
                continue
            with self.subTest(role=role, in_file=in_file):
                if in_file:
                    self.service.timetable_in_file(True)
                try:
                    self.open_timetable(role)
                    self.wait_for(lambda: said in self.text("#tt-status"), what=f"'{said}'")
                    controls = self.js("""return Array.from(document.querySelectorAll(
                        '#plans input, #plans select, #plans button, #revision-rows button'))
                        .filter((n) => n.getClientRects().length > 0).map((n) => n.id || n.textContent)""")
                    self.assertEqual(controls, [], "edit controls shown")
                    self.assertTrue(self.js("return document.querySelectorAll('#plan-list tbody th').length > 0"),
                                    "the bells are not shown")
                finally:
                    if in_file:
                        self.service.timetable_in_file(False)

    def test_phone_timetable_views_fit_and_can_be_tapped(self):
        """At 360x640 the editor, the month, the week and a chosen day's bells are no wider than
        the screen and nothing lies over their controls; prints how long the view takes."""
        self.browser.viewport(360, 640, mobile=True)
        try:
            self.login("admin")
            started = time.monotonic()
            self.show_view("timetable")
            self.wait_for(lambda: self.js("""return document.querySelectorAll('#plan-list section.plan').length > 0
                && document.querySelectorAll('#calendar-days li.day').length > 27"""), what="the timetable")
            shown_ms = (time.monotonic() - started) * 1000
            days_ms = self.js("""const m = performance.getEntriesByName('kstbell-days-plans');
                return m.length ? m[m.length - 1].duration : null;""")
            print(f"\n  the timetable view at 360x640: shown in {shown_ms:.0f} ms; the month's /days "
                  f"answered in {days_ms:.0f} ms", file=sys.stderr)
            today = self.js("return document.querySelector('#calendar-days li.day').dataset.date")
            plan = self.js("return document.querySelector('#plan-list section.plan').dataset.plan")
            views = [  # what is shown, how, what must be there
                ("a plan's bells", lambda: self.open_plan(plan), "#plan-list .bells-edit input[type=time]"),
                ("month", lambda: None, "#calendar-days li.day"),
                ("week", lambda: self.click("#calendar-week"), '#calendar-days[data-mode="week"] li.day'),
                ("a day's bells", lambda: self.set_value("#day-date", today), "#day-bell-rows tr"),
            ]
            for name, show, there in views:
                with self.subTest(view=name):
                    show()
                    self.wait_for(lambda: self.visible(there), what=name)
                    width = self.js("return [document.documentElement.scrollWidth, document.documentElement.clientWidth]")
                    self.assertLessEqual(width[0], width[1], "wider than the screen")
                    covered = self.controls_covered()
                    self.assertEqual(covered, [], "controls that cannot be tapped: " + "; ".join(covered[:8]))
            if "week" in self.text("#calendar-title").lower():
                self.assertEqual(self.js("return document.querySelectorAll('#calendar-days li.day').length"), 7)
        finally:
            self.browser.desk()

    def test_a_bell_added_on_the_page_rings_without_a_restart(self):
        """On kstbelld: a bell saved 70 s ahead in today's plan rings its group's horn on time."""
        if "rings_bells" not in self.service.can:
            self.skipTest("the stand-in rings no bells of its own")
        self.open_timetable("admin")
        before = self.timetable()
        status, body = self.api_from_page("GET", "/api/v1/schedule/today")
        today = json.loads(body)
        plan = today["plan"]
        horn = self.service.groups["hall"][0]
        # The site's clock from a bell of today: its local time beside its instant.
        bell = today["bells"][0]
        offset = (dt.datetime.fromisoformat(bell["local"]) -
                  dt.datetime.fromisoformat(bell["at"].replace("Z", "+00:00")).replace(tzinfo=None))
        at = int(time.time()) + 70
        local = dt.datetime.utcfromtimestamp(at) + offset
        if not 15 < (local.minute * 60 + local.second) % 1800 < 1785:
            at, local = at + 30, local + dt.timedelta(seconds=30)  # clear of the plan's bells at :00 and :30
        clock = local.strftime("%H:%M:%S")
        if clock < "00:01:15" or clock > "23:58:00":
            self.skipTest("too near midnight")
        section = f'#plan-list section[data-plan="{plan}"]'
        try:
            self.open_plan(plan)
            self.click(f"{section} .bell-add")
            last = f"{section} tbody tr:last-child"
            self.set_value(f"{last} input[type=time]", clock)
            self.choose(f"{last} td:nth-child(2) select", "hall")
            self.set_value(f"{last} input[type=number]", "4")
            said = self.save_timetable(lambda t: t.startswith("Saved") or t.startswith("Not"))
            self.assertTrue(said.startswith("Saved as revision"), said)
            self.show_view("home")
            self.assertEqual(self.lamp(horn, "output")[0], "off")
            self.wait_for(lambda: self.lamp(horn, "output")[0] == "on", timeout=at - time.time() + 15,
                          what="the new bell's ring")
            late = time.time() - at
            print(f"\n  the bell saved on the page rang {late:+.1f} s from its time (the lamp seen)",
                  file=sys.stderr)
            self.assertGreater(late, -1.5, "rang before its time")
        finally:
            self.put_back(before)

    def test_timetable_words_and_calendar_files(self):
        self.open_page()
        cases = [  # module, function, arguments, text
            ("plans", "mistakeWords", ["key 'schedule.day_plans.day.bells[0].tone': must be an integer from 0 to 3"],
             'Plan "day", bell 1, tone: Must be an integer from 0 to 3.'),
            ("plans", "mistakeWords", ["key 'schedule.day_plans.a.b.bells[2]': rings 'all' at 08:00:00 as "
                                       "schedule.day_plans.a.b.bells[0] does"],
             'Plan "a.b", bell 3: Rings \'all\' at 08:00:00 as schedule.day_plans.a.b.bells[0] does.'),
            ("plans", "mistakeWords", ["key 'schedule.week.friday': no day plan named 'x'"],
             "Friday: No day plan named 'x'."),
            ("plans", "mistakeWords", ["key 'schedule.holidays.dates[1].last': must be a date"],
             "Holiday 2, last day: Must be a date."),
            ("plans", "mistakeWords", ["the bells' groups must exist"], "The bells' groups must exist."),
            ("days", "whyWords", [{"rule": "holiday", "name": "Winter"}], "Holiday: Winter"),
            ("days", "whyWords", [{"rule": "exception", "name": "Open day"}], "Exception: Open day"),
            ("days", "whyWords", [{"rule": "week", "name": ""}], "By the week"),
            ("days", "mondayOf", ["2027-01-03"], "2026-12-28"),
            ("days", "monthOf", ["2028-02-10"], ["2028-02-01", "2028-02-29"]),
            ("ics", "holidaysFromIcs", ["BEGIN:VCALENDAR\nBEGIN:VEVENT\nDTSTART;VALUE=DATE:20271223\n"
                                        "DTEND;VALUE=DATE:20271224\nSUMMARY:Christmas\\, eve\nEND:VEVENT\n"
                                        "BEGIN:VEVENT\nSUMMARY:Staff day\nDTSTART:20280110T080000Z\n"
                                        "DTEND:20280110T160000Z\nEND:VEVENT\nEND:VCALENDAR\n"],
             {"holidays": [{"name": "Christmas, eve", "first": "2027-12-23", "last": "2027-12-23"},
                           {"name": "Staff day", "first": "2028-01-10", "last": "2028-01-10"}], "problem": ""}),
            ("ics", "holidaysFromIcs", ["BEGIN:VCALENDAR\nBEGIN:VEVENT\nDTSTART:2027-12-23\nEND:VEVENT\nEND:VCALENDAR"],
             {"holidays": [], "problem": "Event 1 has no start date (DTSTART) that can be read."}),
            ("ics", "holidaysFromIcs", ["BEGIN:VCALENDAR\nEND:VCALENDAR"],
             {"holidays": [], "problem": "The calendar file holds no events."}),
        ]
        for module, function, args, text in cases:
            with self.subTest(function=function, args=args):
                got = self.driver.execute_async_script("""
                    const [module, name, args, done] = arguments;
                    import(`/static/${module}.js`).then((m) => done(m[name](...args)), (e) => done(String(e)));""",
                    module, function, args)
                self.assertEqual(got, text)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--page", required=True, help="the page's folder (web/page)")
    parser.add_argument("--screenshots", help="where to save the screenshots")
    parser.add_argument("--kstbelld", help="run against this kstbelld (else the stand-in)")
    parser.add_argument("--kstbellctl", help="with --kstbelld: switches relays behind its back")
    args, rest = parser.parse_known_args()
    OPTIONS.page, OPTIONS.screenshots = os.path.abspath(args.page), args.screenshots
    OPTIONS.kstbelld, OPTIONS.kstbellctl = args.kstbelld, args.kstbellctl
    needed = browser.missing()
    if needed:
        print(f"skipped: the browser test needs {', '.join(needed)} (scripts/setup installs them)")
        return 77
    program = unittest.main(argv=[sys.argv[0]] + rest, exit=False, verbosity=2)
    return 0 if program.result.wasSuccessful() else 1


if __name__ == "__main__":
    sys.exit(main())
