#!/usr/bin/env python3
"""A stand-in for kstbelld's HTTP front, for working on the web page and testing it in a browser
without the service: the API's routes, sessions with CSRF, roles, errors and the event stream as
the page relies on them, over a simulated site (standin_site.py). Loopback only.

    tests/web/standin_service.py --page web/page [--port 8786] [--horns 50] [--bells]

prints one JSON line (its URL and the demo accounts) and serves until interrupted.

What the page relies on (JSON, under /api/v1/):
  session       POST {user,password} -> {user,role,csrf} + cookie; GET -> the same; DELETE;
                POST session/password {current, password} (204; ends the user's sessions)
  health        {status: ok|degraded|failing|starting, site, version,
                 horns: {total, online, offline}, problems, uptime_s}
  horns         [{address, name, id, location, firmware, online, presence, output, input, armed,
                  rssi_dbm, tone, groups, ring: {id, end, cause, actor, label} | null}];
                POST horns/{address}/stop
  groups        [{name, horns: [address]}]; groups/settings {source: file|database, revision,
                horns: [{address, name, source}]} (here the first horn's name is the site
                file's, the rest and the groups the database's); PUT groups/{name} {horns}
                -> the group; DELETE groups/{name} (204); PUT horns/{address}/name {name}
                -> the horn
  ring          POST {group | horns, tone, duration_s} -> 202 {ring: {id, start, end, clamped,
                  horns, held_by_others, switched_on, not_switched_on: [{horn, reason,
                  message}], pending}}; POST stop-all -> 202 {rings_stopped, alarms_stopped}
  alarms        [{name, label, priority, sounding, ring}]; POST alarms/{name}/start|stop
  schedule      today {date, plan, rule: week|exception|holiday, name, bells: [{at, local
                (YYYY-MM-DDTHH:MM:SS, the site's time), date, plan, group, tone, duration_s,
                state: past|next|upcoming}]}; next?count=N [bell]; plans {time_zone, plans:
                [{name, bells}], week}; exceptions [{id (null: the site file's), source:
                file|added, from, to, plan, name, added_by, added}]; POST exceptions {date |
                from,to; plan | no_bells: true; name}; DELETE exceptions/{id} (204)
  users         [{name, role, created, password_changed, disabled}]; POST {name, role,
                password} (201); PATCH users/{name} {role?, password?, disabled?}; DELETE
                users/{name} (204); the only enabled admin is never removed, demoted or
                disabled (409)
  tokens        [{id, user, name, role, acts_as, user_disabled, created, last_used}]; DELETE
                tokens/{id} (204)
  timetable     {source: file|database, revision, changed_by, changed_at, plans: {NAME: {bells:
                [{time, group, tone, duration_s, label}]}}, week: {monday..sunday: PLAN|null},
                holidays: [{name, first, last}]} with ETag "REV"; PUT {plans, week, holidays}
                with If-Match "REV" (428 without, 412 stale, 409 source file, 400 with
                error.details: every mistake keyed as the site file's); revisions [{revision,
                changed_by, changed_at, summary}]; POST revisions/{rev}/restore
  days          ?from&to[&bells=false] -> [{date, plan, rule: week|exception|holiday, name,
                bells}]
  log           ?since&until&horn&cause&kind&limit&cursor -> {entries: [{id, at, kind, cause,
                actor, horn, horn_id, group, alarm, tone, duration_ms, ring, detail}],
                next_cursor}
  events        text/event-stream: snapshot {site, horns, alarms}, then horn (a horn as above),
                presence {address, online, at}, ring (as POST ring gives), ring_end {id,
                stopped, horns, cause, at}, alarm (as above), bell and bell_missed (a bell, and
                reason), stop_all {actor, cause, at}; a comment every 15 s
Errors: {"error": {"kind", "message"}} with 400, 401, 403, 404, 409, 413, 429 (Retry-After),
503 (kind "starting").

Test controls (the stand-in's own, under /_standin/, no login): POST relay {address, output?,
input?, online?} changes a device behind the service's back; POST streams {refuse_s} drops every
event stream and refuses new ones for that long; POST starting {on}; POST sessions ends every
session (and its streams); POST timetable {source: file|database} hands the timetable to the
site file (read-only) or back.
"""
import argparse
import datetime as dt
import http.server
import json
import mimetypes
import os
import queue
import re
import secrets
import sys
import threading
import time
import urllib.parse

from standin_site import Refused, StandinSite, iso, now, parse_iso

PERMISSIONS = {"public": -1, "view": 0, "operate": 1, "administer": 2}
ROLES = {"viewer": 0, "operator": 1, "admin": 2}
COOKIE = "kstbell_session"
SITE_NAME = "Stand-in site"
MAX_BODY = 65536
SECURITY_HEADERS = {
    "Content-Security-Policy":
        "default-src 'self'; frame-ancestors 'none'; base-uri 'none'; form-action 'self'",
    "X-Content-Type-Options": "nosniff",
    "Referrer-Policy": "no-referrer",
    "X-Frame-Options": "DENY",
    "Cross-Origin-Opener-Policy": "same-origin",
    "Cross-Origin-Resource-Policy": "same-origin",
}


class Front:
    """The stand-in's state beside the site: accounts, sessions, streams, the login limit."""

    def __init__(self, site, page_dir, accounts, max_streams=200, login_attempts=5):
        self.site = site
        self.page_dir = os.path.realpath(page_dir)
        self.accounts = accounts  # user -> (password, role)
        self.disabled = {}  # user -> when it was disabled
        self.created = {user: iso(now()) for user in accounts}
        self.tokens = [{"id": 1, "user": next(iter(accounts)), "name": "fire panel", "role": "operator",
                        "created": iso(now()), "last_used": None},
                       {"id": 2, "user": next(iter(accounts)), "name": "dashboard", "role": "viewer",
                        "created": iso(now()), "last_used": iso(now())}]
        self.sessions = {}  # secret -> {user, role, csrf}
        self.streams = set()
        self.max_streams = max_streams
        self.refuse_streams_until = 0.0
        self.starting = False
        self.login_attempts = login_attempts
        self.failures = {}  # address -> [monotonic times]
        self.lock = threading.Lock()
        site.listeners.append(self.broadcast)

    def broadcast(self, name, data):
        with self.lock:
            streams = list(self.streams)
        for stream in streams:
            try:
                stream.put_nowait((name, data))
            except queue.Full:  # a client that does not read is dropped
                with self.lock:
                    self.streams.discard(stream)
                with stream.mutex:
                    stream.queue.clear()
                stream.put_nowait(None)

    def drop_streams(self, refuse_s):
        with self.lock:
            streams, self.streams = list(self.streams), set()
            self.refuse_streams_until = time.monotonic() + refuse_s
        for stream in streams:
            try:
                stream.put_nowait(None)
            except queue.Full:
                pass

    def login_allowed(self, address):
        window = time.monotonic() - 60
        with self.lock:
            recent = [t for t in self.failures.get(address, []) if t > window]
            self.failures[address] = recent
            if len(recent) < self.login_attempts:
                return 0
            return int(recent[0] - window) + 1

    def login_failed(self, address):
        with self.lock:
            self.failures.setdefault(address, []).append(time.monotonic())


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "kstbell-standin"
    front = None  # set by serve()

    def log_message(self, fmt, *args):  # quiet: the tests read the page, not the server
        pass

    # --- answers --------------------------------------------------------------------------

    def send(self, status, body=b"", content_type="application/json", headers=None):
        self.send_response(status)
        for name, value in {**SECURITY_HEADERS, **(headers or {})}.items():
            self.send_header(name, value)
        self.send_header("Content-Type", content_type)
        self.send_header("Content-Length", str(len(body)))
        if content_type == "application/json":
            self.send_header("Cache-Control", "no-store")
        self.end_headers()
        if self.command != "HEAD":
            self.wfile.write(body)

    def send_json(self, status, value, headers=None):
        self.send(status, json.dumps(value).encode(), headers=headers)

    def fail(self, status, kind, message, headers=None, details=None):
        error = {"kind": kind, "message": message}
        if details:
            error["details"] = details
        self.send_json(status, {"error": error}, headers)

    # --- requests -------------------------------------------------------------------------

    def do_GET(self):
        self.route("GET")

    def do_HEAD(self):
        self.route("GET")

    def do_POST(self):
        self.route("POST")

    def do_DELETE(self):
        self.route("DELETE")

    def do_PATCH(self):
        self.route("PATCH")

    def do_PUT(self):
        self.route("PUT")

    def read_body(self):
        """Reads the whole body before anything is answered, so that a refusal leaves the
        connection at the next request; a body over the limit closes the connection instead."""
        length = int(self.headers.get("Content-Length") or 0)
        if length > MAX_BODY:
            self.close_connection = True
            raise Refused("too_large", f"the body is {length} bytes; at most {MAX_BODY}", 413)
        self.raw_body = self.rfile.read(length) if length else b""

    def body(self):
        raw = self.raw_body
        if not raw:
            return {}
        try:
            value = json.loads(raw)
        except json.JSONDecodeError as error:
            raise Refused("invalid_input", f"malformed JSON at position {error.pos}: {error.msg}")
        if not isinstance(value, dict):
            raise Refused("invalid_input", "the body must be a JSON object")
        return value

    def session(self):
        cookies = self.headers.get("Cookie", "")
        for part in cookies.split(";"):
            name, _, value = part.strip().partition("=")
            if name == COOKIE:
                return value, self.front.sessions.get(value)
        return None, None

    def route(self, method):
        url = urllib.parse.urlsplit(self.path)
        self.query = urllib.parse.parse_qs(url.query)
        path = url.path
        self.raw_body = b""
        try:
            self.read_body()
            if path.startswith("/_standin/") and method == "POST":
                return self.control(path[len("/_standin/"):], self.body())
            if not path.startswith("/api/") and method == "GET":
                return self.static(path)
            for route_method, pattern, permission, handler in ROUTES:
                match = re.fullmatch(pattern, path)
                if match and route_method == method:
                    return self.dispatch(permission, handler, match.groups())
            if any(re.fullmatch(p, path) for _, p, _, _ in ROUTES):
                raise Refused("invalid_input", f"{method} is not allowed on {path}", 405)
            raise Refused("not_found", f"no route {path}", 404)
        except Refused as refusal:
            headers = {"Retry-After": "1"} if refusal.status == 503 else None
            self.fail(refusal.status, refusal.kind, refusal.message, headers,
                      getattr(refusal, "details", None))
        except (BrokenPipeError, ConnectionResetError):
            pass

    def dispatch(self, permission, handler, args):
        front = self.front
        if front.starting and handler is not Handler.health:
            raise Refused("starting", "the service is starting", 503)
        self.secret, self.user = self.session()
        if permission != "public":
            if self.user is None:
                raise Refused("unauthenticated", "log in first", 401)
            if self.command in ("POST", "DELETE", "PATCH", "PUT") and \
                    self.headers.get("X-CSRF-Token") != self.user["csrf"]:
                raise Refused("forbidden", "the CSRF token is missing or wrong", 403)
            if ROLES[self.user["role"]] < PERMISSIONS[permission]:
                raise Refused("forbidden", f"the role {self.user['role']} may not {permission}", 403)
        return handler(self, *args)

    def actor(self):
        return self.user["user"] if self.user else ""

    # --- static files ---------------------------------------------------------------------

    def static(self, path):
        if path == "/":
            relative = "index.html"
        elif path.startswith("/static/"):
            relative = urllib.parse.unquote(path[len("/static/"):])
        else:
            raise Refused("not_found", f"no page {path}", 404)
        base = self.front.page_dir
        full = os.path.realpath(os.path.join(base, relative))
        if "\0" in relative or "\\" in relative or os.path.commonpath([base, full]) != base \
                or not os.path.isfile(full):
            raise Refused("not_found", f"no file {path}", 404)
        kind = {".js": "text/javascript", ".css": "text/css", ".html": "text/html"}.get(
            os.path.splitext(full)[1]) or mimetypes.guess_type(full)[0] or "application/octet-stream"
        with open(full, "rb") as file:
            self.send(200, file.read(), kind + ("; charset=utf-8" if kind.startswith("text/") else ""),
                      {"Cache-Control": "no-cache"})

    # --- the stand-in's own controls ------------------------------------------------------

    def control(self, what, body):
        front = self.front
        if what == "relay":
            front.site.behind_the_back(body["address"],
                                       **{k: body[k] for k in ("output", "input", "online") if k in body})
        elif what == "streams":
            front.drop_streams(float(body.get("refuse_s", 0)))
        elif what == "starting":
            front.starting = bool(body.get("on"))
        elif what == "timetable":
            front.site.timetable_source = body.get("source", "database")
        elif what == "sessions":
            front.sessions.clear()
            front.drop_streams(0)
        else:
            raise Refused("not_found", f"no control {what}", 404)
        self.send_json(200, {"ok": True})

    # --- the API --------------------------------------------------------------------------

    def login(self):
        body = self.body()
        user, password = body.get("user"), body.get("password")
        if not isinstance(user, str) or not isinstance(password, str):
            raise Refused("invalid_input", "keys 'user' and 'password' must be strings")
        address = self.client_address[0]
        wait = self.front.login_allowed(address)
        if wait:
            self.front.site.record("login_failed", "http", user, detail="rate limited")
            return self.fail(429, "rate_limited", "too many failed logins", {"Retry-After": str(wait)})
        account = self.front.accounts.get(user)
        if account is None or not secrets.compare_digest(account[0], password) \
                or user in self.front.disabled:
            self.front.login_failed(address)
            self.front.site.record("login_failed", "http", user)
            raise Refused("unauthenticated", "wrong user name or password", 401)
        secret, csrf = secrets.token_urlsafe(24), secrets.token_urlsafe(24)
        session = {"user": user, "role": account[1], "csrf": csrf}
        self.front.sessions[secret] = session
        self.front.site.record("login", "http", user)
        self.send_json(200, session, {
            "Set-Cookie": f"{COOKIE}={secret}; Path=/; HttpOnly; SameSite=Strict"})

    def whoami(self):
        self.send_json(200, self.user)

    def logout(self):
        self.front.sessions.pop(self.secret, None)
        self.front.site.record("logout", "http", self.actor())
        self.send_json(200, {"ok": True}, {
            "Set-Cookie": f"{COOKIE}=; Path=/; HttpOnly; SameSite=Strict; Max-Age=0"})

    def health(self):
        site = self.front.site
        horns = site.horns_json()
        self.send_json(200, {"status": "starting" if self.front.starting else "ok",
                             "site": SITE_NAME, "version": "standin",
                             "horns": {"total": len(horns), "online": sum(h["online"] for h in horns),
                                       "offline": 0},
                             "problems": [],
                             "uptime_s": int((now() - site.started).total_seconds())})

    def horns(self):
        self.send_json(200, self.front.site.horns_json())

    def one_horn(self, address):
        site = self.front.site
        with site.lock:
            self.send_json(200, site.horn_json(site.horn(urllib.parse.unquote(address))))

    def stop_horn(self, address):
        self.front.site.stop_horn(urllib.parse.unquote(address), self.actor())
        self.send_json(202, {"horn": urllib.parse.unquote(address)})

    def groups(self):
        self.send_json(200, [{"name": n, "horns": a} for n, a in self.front.site.groups.items()])

    def group_settings(self):
        site = self.front.site
        with site.lock:
            horns = [{"address": h["address"], "name": h["name"],
                      "source": "file" if i == 0 else "database"} for i, h in enumerate(site.horns)]
            self.send_json(200, {"source": "database", "revision": site.names_revision,
                                 "horns": horns})

    def rename_horn(self, address):
        site, body = self.front.site, self.body()
        name = body.get("name")
        if set(body) != {"name"} or not isinstance(name, str):
            raise Refused("invalid_input", "key 'name': must be a string")
        with site.lock:
            horn = site.horn(urllib.parse.unquote(address))
            if horn is site.horns[0]:
                raise Refused("conflict", f"the name of {horn['address']} is set in the site file",
                              409)
            was, horn["name"] = horn["name"], name
            site.names_revision += 1
            site.record("horn_renamed", "http", self.actor(), horn=horn["address"],
                        detail=f'named "{name}" (was "{was}")' if name else "name cleared")
            out = site.horn_json(horn)
        site.emit("horn", out)
        self.send_json(200, out)

    def set_group(self, name):
        site, body, name = self.front.site, self.body(), urllib.parse.unquote(name)
        members = body.get("horns")
        if name == "all":
            raise Refused("invalid_input", "'all' is built in (every horn) and cannot be defined")
        if not re.fullmatch(r"[a-z0-9_-]{1,32}", name):
            raise Refused("invalid_input",
                          "a group's name is 1 to 32 lower-case letters, digits, _ and -")
        if set(body) != {"horns"} or not isinstance(members, list) or not members:
            raise Refused("invalid_input",
                          "key 'horns': must be a list of horn names, addresses and ranges")
        with site.lock:
            for i, address in enumerate(members):
                if not any(h["address"] == address for h in site.horns):
                    raise Refused("invalid_input",
                                  f"key 'horns[{i}]': '{address}' holds no configured horn")
            site.groups[name] = sorted(set(members))
            self.regroup(site)
            site.record("group_changed", "http", self.actor(), group=name,
                        detail=f"group {name}: {', '.join(site.groups[name])}")
            self.send_json(200, {"name": name, "horns": site.groups[name]})

    def remove_group(self, name):
        site, name = self.front.site, urllib.parse.unquote(name)
        with site.lock:
            if name == "all" or name not in site.groups:
                raise Refused("not_found", f"no group named '{name}'", 404)
            del site.groups[name]
            self.regroup(site)
            site.record("group_changed", "http", self.actor(), group=name,
                        detail=f"group {name} removed")
        self.send(204)

    @staticmethod
    def regroup(site):
        site.names_revision += 1
        for horn in site.horns:
            horn["groups"] = [g for g, members in site.groups.items() if horn["address"] in members]

    def ring(self):
        body = self.body()
        site = self.front.site
        unknown = set(body) - {"group", "horns", "tone", "duration_s"}
        if unknown:
            raise Refused("invalid_input", f"key '{sorted(unknown)[0]}': unknown")
        tone, duration = body.get("tone", 0), body.get("duration_s")
        if not isinstance(tone, int) or not 0 <= tone <= 3:
            raise Refused("invalid_input", "key 'tone': a whole number from 0 to 3")
        if not isinstance(duration, (int, float)) or duration <= 0:
            raise Refused("invalid_input", "key 'duration_s': a number of seconds above 0")
        if ("group" in body) == ("horns" in body):
            raise Refused("invalid_input", "give either 'group' or 'horns'")
        addresses = site.addresses_of(body.get("group"), body.get("horns"))
        ring = site.start_ring(addresses, tone, duration, 50, "http", self.actor(),
                               label=body.get("group") or "", group=body.get("group"))
        self.send_json(202, {"ring": ring})

    def stop_all(self):
        self.send_json(202, self.front.site.stop_all(self.actor()))

    # --- people ---------------------------------------------------------------------------

    def user_json(self, name):
        front = self.front
        return {"name": name, "role": front.accounts[name][1], "created": front.created[name],
                "password_changed": front.created[name], "disabled": front.disabled.get(name)}

    def users(self):
        with self.front.lock:
            self.send_json(200, [self.user_json(n) for n in sorted(self.front.accounts)])

    def check_password(self, password):
        if not isinstance(password, str) or len(password.encode()) < 8:
            raise Refused("invalid_input", "a password needs at least 8 bytes")

    def end_sessions_of(self, name):
        for secret, session in list(self.front.sessions.items()):
            if session["user"] == name:
                del self.front.sessions[secret]

    def keeps_an_admin(self, name, what):
        front = self.front
        admins = [n for n, (_, role) in front.accounts.items() if role == "admin" and n not in front.disabled]
        if admins == [name]:
            raise Refused("conflict", f"'{name}' is the only enabled admin and cannot be {what}: make "
                          "another user an admin (or enable one) first", 409)

    def add_user(self):
        body = self.body()
        name, role = body.get("name"), body.get("role", "viewer")
        if not isinstance(name, str) or not name.strip():
            raise Refused("invalid_input", "key 'name': give a name")
        if role not in ROLES:
            raise Refused("invalid_input", "key 'role': viewer, operator or admin")
        self.check_password(body.get("password"))
        front = self.front
        with front.lock:
            if name.lower() in (n.lower() for n in front.accounts):
                raise Refused("conflict", f"the name '{name}' is taken", 409)
            front.accounts[name] = (body["password"], role)
            front.created[name] = iso(now())
            front.site.record("user_added", "http", self.actor(), detail=f"{name} ({role})")
            self.send_json(201, self.user_json(name))

    def change_user(self, name):
        name, body, front = urllib.parse.unquote(name), self.body(), self.front
        with front.lock:
            if name not in front.accounts:
                raise Refused("not_found", f"no user is called '{name}'", 404)
            if "password" in body:
                self.check_password(body["password"])
            password, role = front.accounts[name]
            if "role" in body:
                if body["role"] not in ROLES:
                    raise Refused("invalid_input", "key 'role': viewer, operator or admin")
                if body["role"] != "admin" and role == "admin":
                    self.keeps_an_admin(name, "given another role")
                role = body["role"]
                front.site.record("user_role_changed", "http", self.actor(), detail=name)
            if body.get("disabled") is True and name not in front.disabled:
                if role == "admin":
                    self.keeps_an_admin(name, "disabled")
                front.disabled[name] = iso(now())
                self.end_sessions_of(name)
                front.site.record("user_disabled", "http", self.actor(), detail=name)
            elif body.get("disabled") is False and name in front.disabled:
                del front.disabled[name]
                front.site.record("user_enabled", "http", self.actor(), detail=name)
            if "password" in body:
                password = body["password"]
                self.end_sessions_of(name)
                front.site.record("user_password_changed", "http", self.actor(), detail=name)
            front.accounts[name] = (password, role)
            self.send_json(200, self.user_json(name))

    def remove_user(self, name):
        name, front = urllib.parse.unquote(name), self.front
        with front.lock:
            if name not in front.accounts:
                raise Refused("not_found", f"no user is called '{name}'", 404)
            if front.accounts[name][1] == "admin":
                self.keeps_an_admin(name, "removed")
            del front.accounts[name]
            front.disabled.pop(name, None)
            front.tokens = [t for t in front.tokens if t["user"] != name]
            self.end_sessions_of(name)
            front.site.record("user_removed", "http", self.actor(), detail=name)
        self.send(204)

    def own_password(self):
        body, front = self.body(), self.front
        name = self.actor()
        with front.lock:
            current = body.get("current")
            if not isinstance(current, str) or not secrets.compare_digest(front.accounts[name][0], current):
                raise Refused("invalid_input", "the current password is wrong")
            self.check_password(body.get("password"))
            front.accounts[name] = (body["password"], front.accounts[name][1])
            self.end_sessions_of(name)
            front.site.record("user_password_changed", "http", name, detail=name)
        self.send(204, headers={"Set-Cookie": f"{COOKIE}=; Path=/; HttpOnly; SameSite=Strict; Max-Age=0"})

    def tokens(self):
        front = self.front
        with front.lock:
            out = []
            for token in front.tokens:
                user_role = front.accounts.get(token["user"], ("", "viewer"))[1]
                acts = min(token["role"], user_role, key=ROLES.get)
                out.append({**token, "acts_as": acts, "user_disabled": token["user"] in front.disabled})
            self.send_json(200, out)

    def revoke_token(self, token_id):
        front = self.front
        with front.lock:
            kept = [t for t in front.tokens if str(t["id"]) != token_id]
            if len(kept) == len(front.tokens):
                raise Refused("not_found", f"no token {token_id}", 404)
            front.tokens = kept
            front.site.record("token_revoked", "http", self.actor(), detail=token_id)
        self.send(204)

    def alarms(self):
        site = self.front.site
        with site.lock:
            self.send_json(200, [site.alarm_json(a) for a in site.alarms.values()])

    def alarm_start(self, name):
        site, name = self.front.site, urllib.parse.unquote(name)
        site.start_alarm(name, self.actor())
        with site.lock:
            self.send_json(202, {"alarm": site.alarm_json(site.alarm(name))})

    def alarm_stop(self, name):
        self.front.site.stop_alarm(urllib.parse.unquote(name), self.actor())
        self.send_json(202, {"alarm": urllib.parse.unquote(name)})

    def today(self):
        self.send_json(200, self.front.site.today())

    def next_bells(self):
        count = self.query.get("count", ["10"])[0]
        if not count.isdigit() or not 1 <= int(count) <= 100:
            raise Refused("invalid_input", "query 'count': a whole number from 1 to 100")
        self.send_json(200, self.front.site.next_bells(int(count)))

    def plans(self):
        self.send_json(200, self.front.site.plans_json())

    def exceptions(self):
        self.send_json(200, self.front.site.exceptions_json())

    def add_exception(self):
        body = self.body()
        date_key = re.compile(r"\d{4}-\d{2}-\d{2}")
        if "date" in body:
            first = last = body["date"]
        else:
            first, last = body.get("from"), body.get("to")
        for key, value in (("from", first), ("to", last)):
            if not isinstance(value, str) or not date_key.fullmatch(value):
                raise Refused("invalid_input", f"key '{'date' if 'date' in body else key}': a date YYYY-MM-DD")
        if ("plan" in body) == bool(body.get("no_bells")):
            raise Refused("invalid_input", "give either 'plan' or 'no_bells': true")
        name = body.get("name", "")
        if not isinstance(name, str) or not name.strip():
            raise Refused("invalid_input", "key 'name': give the exception a name")
        exception = self.front.site.add_exception(first, last, body.get("plan"), name, self.actor())
        self.send_json(201, exception)

    def remove_exception(self, exception_id):
        self.front.site.remove_exception(urllib.parse.unquote(exception_id), self.actor())
        self.send(204)

    # --- the timetable as people edit it ----------------------------------------------------

    def send_timetable(self, timetable):
        self.send_json(200, timetable, {"ETag": f'"{timetable["revision"]}"'})

    def timetable(self):
        self.send_timetable(self.front.site.timetable_json())

    def if_match(self, required):
        text = (self.headers.get("If-Match") or "").strip()
        if not text:
            if required:
                raise Refused("precondition_required", "send If-Match with the ETag of the timetable", 428)
            return None
        found = re.fullmatch(r'(W/)?"(\d+)"', text)
        if not found:
            raise Refused("invalid_input", 'If-Match must be one ETag of the timetable, e.g. "3"')
        return int(found.group(2))

    def save_timetable(self):
        revision, body = self.if_match(True), self.body()
        unknown = set(body) - {"plans", "week", "holidays"}
        if unknown:
            raise Refused("invalid_input", f"key '{sorted(unknown)[0]}': unknown")
        self.send_timetable(self.front.site.save_timetable(body, revision, self.actor()))

    def timetable_revisions(self):
        self.send_json(200, self.front.site.revisions_json())

    def restore_timetable(self, revision):
        site, expected = self.front.site, self.if_match(False)
        if expected is not None and expected != site.timetable_json()["revision"]:
            raise Refused("precondition_failed", "the timetable was changed meanwhile", 412)
        self.send_timetable(site.restore_timetable(int(revision), self.actor()))

    def days(self):
        q = {k: v[0] for k, v in self.query.items()}
        try:
            first, last = dt.date.fromisoformat(q["from"]), dt.date.fromisoformat(q["to"])
        except (KeyError, ValueError):
            raise Refused("invalid_input", "query 'from' and 'to': dates YYYY-MM-DD")
        if not 0 <= (last - first).days < 400:
            raise Refused("invalid_input", "query 'to': from 'from' to at most 400 days after it")
        self.send_json(200, self.front.site.days(first, last, q.get("bells", "true") != "false"))

    def log(self):
        q = {k: v[0] for k, v in self.query.items()}
        try:
            since = parse_iso(q["since"]) if q.get("since") else None
            until = parse_iso(q["until"]) if q.get("until") else None
        except ValueError:
            raise Refused("invalid_input", "query 'since'/'until': an ISO 8601 time")
        limit = q.get("limit", "100")
        if not limit.isdigit() or not 1 <= int(limit) <= 1000:
            raise Refused("invalid_input", "query 'limit': a whole number from 1 to 1000")
        cursor = q.get("cursor")
        if cursor is not None:
            at, _, entry = cursor.partition("-")
            if not at.isdigit() or not entry.isdigit():
                raise Refused("invalid_input", "query 'cursor': not one this service gave")
            cursor = (int(at), int(entry))
        self.send_json(200, self.front.site.log_page(
            since, until, q.get("horn", ""), q.get("cause", ""), q.get("kind", ""), int(limit),
            cursor))

    def events(self):
        front = self.front
        with front.lock:
            refused = time.monotonic() < front.refuse_streams_until or \
                len(front.streams) >= front.max_streams
        if refused:
            raise Refused("busy", "too many event streams", 503)
        stream = queue.Queue(maxsize=1000)
        site = front.site
        with site.lock:  # the snapshot and the subscription in one step: nothing falls between
            snapshot = {"site": SITE_NAME, "horns": [site.horn_json(h) for h in site.horns],
                        "alarms": [site.alarm_json(a) for a in site.alarms.values()]}
            with front.lock:
                front.streams.add(stream)
        self.send_response(200)
        for name, value in SECURITY_HEADERS.items():
            self.send_header(name, value)
        self.send_header("Content-Type", "text/event-stream")
        self.send_header("Cache-Control", "no-store")
        self.send_header("Connection", "close")
        self.end_headers()
        self.close_connection = True
        try:
            self.wfile.write(f"event: snapshot\ndata: {json.dumps(snapshot)}\n\n".encode())
            self.wfile.flush()
            while True:
                try:
                    item = stream.get(timeout=15)
                except queue.Empty:
                    self.wfile.write(b": heartbeat\n\n")
                    self.wfile.flush()
                    continue
                if item is None:
                    return
                name, data = item
                self.wfile.write(f"event: {name}\ndata: {json.dumps(data)}\n\n".encode())
                self.wfile.flush()
        except (BrokenPipeError, ConnectionResetError, OSError):
            pass
        finally:
            with front.lock:
                front.streams.discard(stream)


ROUTES = [
    ("POST", r"/api/v1/session", "public", Handler.login),
    ("GET", r"/api/v1/session", "view", Handler.whoami),
    ("POST", r"/api/v1/session/password", "view", Handler.own_password),
    ("DELETE", r"/api/v1/session", "view", Handler.logout),
    ("GET", r"/api/v1/health", "public", Handler.health),
    ("GET", r"/api/v1/horns", "view", Handler.horns),
    ("GET", r"/api/v1/horns/([^/]+)", "view", Handler.one_horn),
    ("POST", r"/api/v1/horns/([^/]+)/stop", "operate", Handler.stop_horn),
    ("GET", r"/api/v1/groups", "view", Handler.groups),
    ("GET", r"/api/v1/groups/settings", "view", Handler.group_settings),
    ("PUT", r"/api/v1/groups/([^/]+)", "administer", Handler.set_group),
    ("DELETE", r"/api/v1/groups/([^/]+)", "administer", Handler.remove_group),
    ("PUT", r"/api/v1/horns/([^/]+)/name", "administer", Handler.rename_horn),
    ("POST", r"/api/v1/ring", "operate", Handler.ring),
    ("POST", r"/api/v1/stop-all", "operate", Handler.stop_all),
    ("GET", r"/api/v1/alarms", "view", Handler.alarms),
    ("POST", r"/api/v1/alarms/([^/]+)/start", "operate", Handler.alarm_start),
    ("POST", r"/api/v1/alarms/([^/]+)/stop", "operate", Handler.alarm_stop),
    ("GET", r"/api/v1/schedule/today", "view", Handler.today),
    ("GET", r"/api/v1/schedule/next", "view", Handler.next_bells),
    ("GET", r"/api/v1/schedule/plans", "view", Handler.plans),
    ("GET", r"/api/v1/schedule/exceptions", "view", Handler.exceptions),
    ("POST", r"/api/v1/schedule/exceptions", "administer", Handler.add_exception),
    ("DELETE", r"/api/v1/schedule/exceptions/([^/]+)", "administer", Handler.remove_exception),
    ("GET", r"/api/v1/timetable", "view", Handler.timetable),
    ("PUT", r"/api/v1/timetable", "administer", Handler.save_timetable),
    ("GET", r"/api/v1/timetable/revisions", "view", Handler.timetable_revisions),
    ("POST", r"/api/v1/timetable/revisions/(\d+)/restore", "administer", Handler.restore_timetable),
    ("GET", r"/api/v1/days", "view", Handler.days),
    ("GET", r"/api/v1/users", "administer", Handler.users),
    ("POST", r"/api/v1/users", "administer", Handler.add_user),
    ("PATCH", r"/api/v1/users/([^/]+)", "administer", Handler.change_user),
    ("DELETE", r"/api/v1/users/([^/]+)", "administer", Handler.remove_user),
    ("GET", r"/api/v1/tokens", "administer", Handler.tokens),
    ("DELETE", r"/api/v1/tokens/([^/]+)", "administer", Handler.revoke_token),
    ("GET", r"/api/v1/log", "view", Handler.log),
    ("GET", r"/api/v1/events", "view", Handler.events),
]


class Server(http.server.ThreadingHTTPServer):
    daemon_threads = True


def serve(page_dir, port=0, horns=50, bells=False, poll_s=1.0, accounts=None, max_streams=200):
    """Starts the stand-in in threads; returns (server, front). server.shutdown() stops it."""
    accounts = accounts or {"admin": ("admin-demo", "admin"), "operator": ("operator-demo", "operator"),
                            "viewer": ("viewer-demo", "viewer")}
    site = StandinSite(horns, poll_s=poll_s, bells=bells)
    front = Front(site, page_dir, accounts, max_streams=max_streams)
    handler = type("BoundHandler", (Handler,), {"front": front})
    server = Server(("127.0.0.1", port), handler)
    threading.Thread(target=site.poll_forever, daemon=True).start()
    threading.Thread(target=server.serve_forever, daemon=True).start()
    return server, front


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--page", default=os.path.join(os.path.dirname(__file__), "..", "..", "web", "page"))
    parser.add_argument("--port", type=int, default=8786)
    parser.add_argument("--horns", type=int, default=50)
    parser.add_argument("--bells", action="store_true", help="ring the timetable's bells")
    args = parser.parse_args()
    server, front = serve(args.page, args.port, args.horns, args.bells)
    host, port = server.server_address
    print(json.dumps({"url": f"http://{host}:{port}/",
                      "accounts": {u: p for u, (p, _) in front.accounts.items()}}), flush=True)
    try:
        threading.Event().wait()
    except KeyboardInterrupt:
        server.shutdown()
        front.site.stopping.set()


if __name__ == "__main__":
    sys.exit(main())
