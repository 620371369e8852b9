"""The services a browser test runs the page against, behind one interface:

    url, accounts {role: (user, password)}, poll_s, horns [address], groups {name: [address]},
    can (what it lets a test do behind its back), behind_the_back(address, output=..,
    input=.., online=..), drop_streams(refuse_s), starting(on), end_sessions(),
    timetable_in_file(on), forget_logins(), stop().
"""
import json
import os
import re
import shutil
import socket
import subprocess
import tempfile
import time
import urllib.request

import standin_service


class StandinService:
    """The stand-in (standin_service.py) in this process, on a free loopback port."""

    can = {"relay", "input", "presence", "drop_streams", "starting", "end_sessions", "timetable_file"}

    def __init__(self, page_dir, horns=50, poll_s=1.0):
        self.poll_s = poll_s
        self.server, self.front = standin_service.serve(page_dir, 0, horns, poll_s=poll_s)
        host, port = self.server.server_address
        self.url = f"http://{host}:{port}/"
        self.accounts = {role: (user, password)
                         for user, (password, role) in self.front.accounts.items()}
        self.horns = [h["address"] for h in self.front.site.horns]
        self.groups = {name: list(members) for name, members in self.front.site.groups.items()}

    def control(self, what, body):
        request = urllib.request.Request(self.url + "_standin/" + what, json.dumps(body).encode(),
                                         {"Content-Type": "application/json"}, method="POST")
        with urllib.request.urlopen(request, timeout=5) as reply:
            reply.read()

    def behind_the_back(self, address, **changes):
        self.control("relay", {"address": address, **changes})

    def drop_streams(self, refuse_s):
        self.control("streams", {"refuse_s": refuse_s})

    def starting(self, on):
        self.control("starting", {"on": on})

    def end_sessions(self):
        self.control("sessions", {})

    def timetable_in_file(self, on):
        """Hands the timetable to the site file (read-only on the page) or back."""
        self.control("timetable", {"source": "file" if on else "database"})

    def forget_logins(self):
        with self.front.lock:
            self.front.failures.clear()

    def stop(self):
        self.server.shutdown()
        self.server.server_close()
        self.front.site.stopping.set()


class KstbelldService:
    """kstbelld itself with simulated horns in its process (--simulate), on a site file of this
    test's own: its [http] on a free loopback port, a 1 s poll, groups east and west, two
    alarms, and a user per role; a timetable in its database (imported, so that the page edits
    it) with bells only for a group of one horn (hall) so that they never touch east or west. A relay is switched behind its back with kstbellctl; its event streams
    are dropped by stopping it and starting it again (sessions live in its database)."""

    can = {"relay", "drop_streams", "rings_bells"}
    poll_s = 1.0
    SITE = """
[site]
name = "Browser test site"
max_ring_s = 180
# A relay switched on behind the service's back stays on, so that the page can show it.
stop_unowned = false

[poll]
period_ms = 1000

[devices]
addresses = ["127.0.78.1"]

[groups]
east = {east}
west = {west}
hall = {hall}

[alarms.evacuation]
label = "Evacuation"
priority = 1000
tone = 3
repeat = 20
steps = [ {{ on_ms = 2000, off_ms = 1000 }} ]

[alarms.all_clear]
label = "All clear"
priority = 500
tone = 2
steps = [ {{ on_ms = 2000, off_ms = 0 }} ]

[http]
listen = "127.0.0.1:{port}"
"""
    # The timetable, kept in the service's database (imported before it starts), so that the
    # page edits it.
    TIMETABLE = """
[schedule.week]
monday = "day"
tuesday = "day"
wednesday = "day"
thursday = "day"
friday = "day"
saturday = "day"
sunday = "day"

[schedule.day_plans.day]
bells = [
{bells}]
"""

    def __init__(self, kstbelld, kstbellctl, horns=50):
        self.kstbellctl = kstbellctl
        self.folder = tempfile.mkdtemp(prefix="kstbell-page-")
        state = os.path.join(self.folder, "state")
        os.makedirs(state)
        with socket.socket() as probe:
            probe.bind(("127.0.0.1", 0))
            port = probe.getsockname()[1]
        self.horns = [f"127.0.78.{i + 1}" for i in range(horns)]
        half = (horns - 1) // 2
        self.groups = {"all": list(self.horns), "east": self.horns[:half],
                       "west": self.horns[half:-1], "hall": self.horns[-1:]}
        bells = "".join(f'  {{ time = "{h:02d}:{m:02d}", group = "hall", tone = 1, duration_s = 3 }},\n'
                        for h in range(7, 18) for m in (0, 30))
        site = os.path.join(self.folder, "site.toml")
        with open(site, "w") as file:
            file.write(self.SITE.format(east=json.dumps(self.groups["east"]),
                                        west=json.dumps(self.groups["west"]),
                                        hall=json.dumps(self.groups["hall"]), port=port))
        timetable = os.path.join(self.folder, "timetable.toml")
        with open(timetable, "w") as file:
            file.write(self.TIMETABLE.format(bells=bells))
        # Checked against the site file with every simulated horn named (--simulate adds them).
        every_horn = os.path.join(self.folder, "site-import.toml")
        with open(site) as source, open(every_horn, "w") as file:
            file.write(source.read().replace('addresses = ["127.0.78.1"]',
                                             f"addresses = {json.dumps(self.horns)}"))
        subprocess.run([kstbelld, "timetable", "import", timetable, "--config", every_horn,
                        "--state-dir", state], check=True, capture_output=True)
        self.accounts = {}
        for role, user in (("admin", "admin"), ("operator", "operator"), ("viewer", "viewer")):
            password = f"{user}-browser-test"
            secret = os.path.join(self.folder, f"{user}.pw")
            with open(os.open(secret, os.O_WRONLY | os.O_CREAT, 0o600), "w") as file:
                file.write(password + "\n")
            subprocess.run([kstbelld, "user", "add", user, "--role", role, "--password-file", secret,
                            "--state-dir", state], check=True, capture_output=True)
            self.accounts[role] = (user, password)
        self.command = [kstbelld, "--simulate", str(horns), "--config", site, "--state-dir", state]
        self.url = f"http://127.0.0.1:{port}/"
        self.log = open(os.path.join(self.folder, "kstbelld.log"), "w+")
        self.process = None
        self.started_at = 0
        self.faults = []
        try:
            self.start()
            self.wait_up()
        except RuntimeError:
            said = self.output()
            self.stop()
            raise RuntimeError("kstbelld did not start: " + said) from None

    def start(self):
        """Starts kstbelld; its output goes on in the same log."""
        self.log.seek(0, os.SEEK_END)
        self.started_at = self.log.tell()
        self.device_port = None
        self.process = subprocess.Popen(self.command, stdout=self.log, stderr=subprocess.STDOUT)

    def wait_up(self, timeout=90):
        """Waits for the simulated horns' port (a new one at each start) and an ok health."""
        self.health_session = None
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            if self.device_port is None:
                self.log.seek(self.started_at)
                found = re.search(r"simulated horn\(s\) from \S+ on port (\d+)", self.log.read())
                if found:
                    self.device_port = int(found.group(1))
            if self.device_port and self.healthy():
                return
            if self.process.poll() is not None:
                break
            time.sleep(0.1)
        raise RuntimeError("kstbelld is not up")

    def drop_streams(self, refuse_s):
        """Stops kstbelld (its front ends the page's stream) and starts it again on the same
        state folder and port after refuse_s; returns without waiting for it to be up."""
        self.terminate()
        time.sleep(refuse_s)
        self.start()

    def healthy(self):
        """Up once its public document answers (503 while starting), then its health, read
        as the admin, says ok: the front answers and the site has polled. The admin logs in
        once per start and waits for the answer: on a busy machine the password check can take
        seconds, and logins given up on and sent again would count as failures and be slowed
        down by the service's throttle."""
        try:
            with urllib.request.urlopen(self.url + "api/v1/openapi.json", timeout=2) as reply:
                reply.read()
            if self.health_session is None:
                user, password = self.accounts["admin"]
                jar = urllib.request.build_opener(urllib.request.HTTPCookieProcessor())
                login = urllib.request.Request(
                    self.url + "api/v1/session",
                    json.dumps({"user": user, "password": password}).encode(),
                    {"Content-Type": "application/json"}, method="POST")
                with jar.open(login, timeout=60) as reply:
                    reply.read()
                self.health_session = jar
            with self.health_session.open(self.url + "api/v1/health", timeout=5) as reply:
                return json.load(reply).get("status") == "ok"
        except OSError:
            return False

    def output(self):
        self.log.seek(0)
        return self.log.read()[-4000:]

    def behind_the_back(self, address, output=None, **_):
        if output is None:
            return
        if self.device_port is None:
            self.wait_up()
        subprocess.run([self.kstbellctl, "-d", address, "--port", str(self.device_port), "relay",
                        "on" if output else "off", "--yes"], check=True, capture_output=True,
                       timeout=20)

    def forget_logins(self):
        pass  # the service counts per name too, and the test's wrong logins are a stranger's

    # What a sanitizer says in a build with them; any of it fails the test.
    SANITIZER_FAULTS = re.compile(r"ERROR: AddressSanitizer|ERROR: LeakSanitizer|runtime error:")

    def terminate(self):
        """Stops kstbelld as its unit does (SIGTERM); notes in self.faults an exit other than 0
        and whatever a sanitizer said."""
        if self.process and self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(timeout=20)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
            if self.process.returncode != 0:
                self.faults.append(f"kstbelld exited with {self.process.returncode}")
        self.log.seek(self.started_at)
        said = [line for line in self.log.read().splitlines() if self.SANITIZER_FAULTS.search(line)]
        self.faults.extend(said)

    def stop(self):
        self.terminate()
        self.log.close()
        shutil.rmtree(self.folder, ignore_errors=True)
