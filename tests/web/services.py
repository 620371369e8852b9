"""The services a browser test runs the page against, behind one interface:

    url, accounts {role: (user, password)}, poll_s, horns [address], groups {name: [address]},
    can (what it lets a test do behind its back), behind_the_back(address, output=..,
    input=.., online=..), drop_streams(refuse_s), starting(on), end_sessions(),
    forget_logins(), stop().
"""
import json
import urllib.request

import standin_service


class StandinService:
    """The stand-in (standin_service.py) in this process, on a free loopback port."""

    can = {"relay", "input", "presence", "drop_streams", "starting", "end_sessions"}

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

    def forget_logins(self):
        with self.front.lock:
            self.front.failures.clear()

    def stop(self):
        self.server.shutdown()
        self.server.server_close()
        self.front.site.stopping.set()
