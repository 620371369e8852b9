"""The site behind the stand-in service: horns with what their devices do and what the service
last saw of them, rings that end, alarms, the timetable with its exceptions, and the audit log.

What a device does changes at once (a relay switched behind the service's back); what the
service shows follows at its next poll, as the real service's does. Every change the service
sees goes to the listeners as (event name, JSON-ready data).
"""
import copy
import datetime as dt
import itertools
import re
import threading

PRIORITY_BELL, PRIORITY_MANUAL = 0, 50


def iso(instant):
    return instant.astimezone(dt.timezone.utc).isoformat(timespec="milliseconds").replace("+00:00", "Z")


def now():
    return dt.datetime.now(dt.timezone.utc)


def parse_iso(text):
    value = dt.datetime.fromisoformat(text.replace("Z", "+00:00"))
    return value if value.tzinfo else value.replace(tzinfo=dt.timezone.utc)


class Refused(Exception):
    """A request the site turns down: kind and message as the API reports them."""

    def __init__(self, kind, message, status=400):
        super().__init__(message)
        self.kind, self.message, self.status = kind, message, status


class StandinSite:
    def __init__(self, horn_count=50, poll_s=1.0, max_ring_s=180, bells=False):
        self.lock = threading.RLock()
        self.poll_s = poll_s
        self.max_ring_s = max_ring_s
        self.listeners = []
        self.ids = itertools.count(1)
        self.ring_ids = itertools.count(1)
        self.log = []
        self.rings = {}
        self.horns = []
        half = (horn_count + 1) // 2
        for i in range(horn_count):
            address = f"127.0.78.{i + 1}"
            group = "east" if i < half else "west"
            device = {"output": False, "input": False, "online": True, "rssi_dbm": -48 - (i * 7) % 35,
                      "tone": 0}
            self.horns.append({
                "address": address, "name": "Entrance" if i == 0 else f"Horn {i + 1}",
                "id": "02:00:00:00:%02x:%02x" % (i // 256, i % 256),
                "location": f"Room {100 + i}", "firmware": "02.0E", "groups": ["all", group],
                "device": device, "seen": dict(device), "armed": False, "ring": None})
        self.names_revision = 0
        self.groups = {"all": [h["address"] for h in self.horns],
                       "east": [h["address"] for h in self.horns[:half]],
                       "west": [h["address"] for h in self.horns[half:]]}
        self.alarms = {
            "evacuation": {"name": "evacuation", "label": "Evacuation", "priority": 1000, "tone": 3,
                           "group": "all", "length_s": 15, "ring": None},
            "all_clear": {"name": "all_clear", "label": "All clear", "priority": 500, "tone": 2,
                          "group": "all", "length_s": 5, "ring": None},
        }
        # The timetable as the API's document holds it: plans, week, holidays (revision 0: as
        # the stand-in starts; "file" makes it read-only as a site file's).
        def bell(h, m, group):
            return {"time": f"{h:02d}:{m:02d}", "group": group, "tone": 1, "duration_s": 3, "label": ""}
        self.plans = {
            "demo": {"bells": [bell(h, m, "east" if (h * 60 + m) // 15 % 2 == 0 else "west")
                               for h in range(7, 18) for m in (0, 15, 30, 45)]},
            "short": {"bells": [bell(h, m, "all") for h in range(7, 13) for m in (0, 30)]},
        }
        self.week = {"monday": "demo", "tuesday": "demo", "wednesday": "demo", "thursday": "demo",
                     "friday": "short", "saturday": None, "sunday": None}
        self.holidays = []
        self.timetable_source = "database"
        self.revisions = []  # [{revision, changed_by, changed_at, summary, document}]
        today = dt.date.today()
        self.file_exceptions = [{"id": None, "source": "file",
                                 "from": (today + dt.timedelta(days=40)).isoformat(),
                                 "to": (today + dt.timedelta(days=47)).isoformat(), "plan": None,
                                 "name": "Winter break", "added_by": "", "added": None}]
        self.exceptions = []
        self.exception_ids = itertools.count(1)
        self.ring_bells = bells
        self.started = now()
        self.stopping = threading.Event()
        self.record("service_start", "service")

    # --- events and the log -------------------------------------------------------------

    def emit(self, name, data):
        for listener in list(self.listeners):
            listener(name, data)

    def record(self, kind, cause, actor="", **fields):
        entry = {"id": next(self.ids), "at": iso(now()), "kind": kind, "cause": cause, "actor": actor,
                 "horn": "", "horn_id": "", "group": "", "alarm": "", "tone": None,
                 "duration_ms": None, "ring": None, "detail": ""}
        entry.update({k: v for k, v in fields.items() if v is not None})
        with self.lock:
            self.log.append(entry)

    # --- horns ----------------------------------------------------------------------------

    def horn(self, address):
        for horn in self.horns:
            if horn["address"] == address:
                return horn
        raise Refused("not_found", f"no horn at {address}", 404)

    def horn_json(self, horn):
        seen = horn["seen"]
        out = {"address": horn["address"], "name": horn["name"], "id": horn["id"],
               "location": horn["location"], "firmware": horn["firmware"], "online": seen["online"],
               "output": seen["output"], "input": seen["input"], "armed": horn["armed"],
               "presence": "online" if seen["online"] else "offline",
               "rssi_dbm": seen["rssi_dbm"] if seen["online"] else None, "tone": seen["tone"],
               "groups": horn["groups"], "ring": None}
        if horn["ring"] is not None:
            out["ring"] = self.ring_ref(self.rings[horn["ring"]])
        return out

    def ring_ref(self, ring):
        """A ring as a horn or an alarm names it: its number and end, why, who and its label."""
        return {"id": ring["id"], "end": iso(ring["end"]), "cause": ring["cause"],
                "actor": ring["actor"], "label": ring["label"]}

    def horns_json(self):
        with self.lock:
            return [self.horn_json(h) for h in self.horns]

    def behind_the_back(self, address, **changes):
        """Changes a device without telling the service; it sees the change at its next poll."""
        with self.lock:
            horn = self.horn(address)
            for key in ("output", "input", "online"):
                if key in changes:
                    horn["device"][key] = bool(changes[key])

    def switch(self, horn, on, tone=None):
        """A relay command from the service: the device switches, the service sees its answer."""
        if not horn["device"]["online"]:
            return
        horn["device"]["output"] = on
        if on and tone is not None:
            horn["device"]["tone"] = tone
        self.refresh(horn)

    def refresh(self, horn):
        device, seen = horn["device"], horn["seen"]
        if device == seen:
            return
        went = None if device["online"] == seen["online"] else device["online"]
        horn["seen"] = dict(device)
        if went is not None:
            self.emit("presence", {"address": horn["address"], "online": went, "at": iso(now())})
            self.record("horn_online" if went else "horn_offline", "service", horn=horn["address"],
                        horn_id=horn["id"])
        self.emit("horn", self.horn_json(horn))

    def poll_forever(self):
        while not self.stopping.wait(self.poll_s):
            with self.lock:
                for horn in self.horns:
                    self.refresh(horn)
                self.end_due_rings()
                if self.ring_bells:
                    self.ring_due_bells()

    # --- rings ----------------------------------------------------------------------------

    def addresses_of(self, group=None, horns=None):
        if group is not None:
            if group not in self.groups:
                raise Refused("invalid_input", f"key 'group': no group '{group}'")
            return list(self.groups[group])
        if not horns:
            raise Refused("invalid_input", "key 'horns': give at least one horn, or 'group'")
        for address in horns:
            if not any(h["address"] == address for h in self.horns):
                raise Refused("invalid_input", f"key 'horns': no horn at {address}")
        return list(dict.fromkeys(horns))

    def start_ring(self, addresses, tone, duration_s, priority, cause, actor, label="", group=None,
                   what="ring"):
        with self.lock:
            clamped = duration_s > self.max_ring_s
            start = now()
            ring = {"id": next(self.ring_ids), "start": start,
                    "end": start + dt.timedelta(seconds=min(duration_s, self.max_ring_s)),
                    "priority": priority, "cause": cause, "label": label, "clamped": clamped,
                    "horns": [], "held_by_others": [], "group": group, "tone": tone,
                    "actor": actor}
            self.rings[ring["id"]] = ring
            for address in addresses:
                horn = self.horn(address)
                holder = self.rings.get(horn["ring"]) if horn["ring"] is not None else None
                if holder and (holder["priority"], holder["end"]) > (priority, ring["end"]):
                    ring["held_by_others"].append(address)
                    continue
                horn["ring"] = ring["id"]
                ring["horns"].append(address)
                self.switch(horn, True, tone)
            ring["what"] = what
            data = self.ring_json(ring)
            self.emit("ring", data)
            on = [a for a in ring["horns"] if self.horn(a)["device"]["online"]]
            self.record("ring", cause, actor, group=group, tone=tone,
                        duration_ms=int(min(duration_s, self.max_ring_s) * 1000), ring=ring["id"],
                        detail=f"{what}; {len(on)} of {len(ring['horns'])} horns switched on" +
                        ("; cut to the longest ring" if clamped else ""))
            # The answer to the ring asked for: what became of the switch-on at its horns.
            data["switched_on"] = on
            data["not_switched_on"] = [{"horn": a, "reason": "offline", "message": "the horn is offline"}
                                       for a in ring["horns"] if a not in on]
            data["pending"] = []
            return data

    def ring_json(self, ring):
        return {"id": ring["id"], "start": iso(ring["start"]), "end": iso(ring["end"]),
                "clamped": ring["clamped"], "horns": list(ring["horns"]),
                "held_by_others": list(ring["held_by_others"]), "tone": ring["tone"],
                "priority": ring["priority"], "cause": ring["cause"], "actor": ring["actor"],
                "label": ring["label"]}

    def end_ring(self, ring_id, cause="service", actor=""):
        ring = self.rings.pop(ring_id, None)
        if ring is None:
            return
        for address in ring["horns"]:
            horn = self.horn(address)
            if horn["ring"] == ring_id:
                horn["ring"] = None
                self.switch(horn, False)
        for alarm in self.alarms.values():
            if alarm["ring"] == ring_id:
                alarm["ring"] = None
                self.emit("alarm", self.alarm_json(alarm))
                self.record("alarm_stop", cause, actor, alarm=alarm["name"], ring=ring_id)
        self.emit("ring_end", {"id": ring_id, "stopped": cause != "service", "horns": ring["horns"],
                               "cause": cause, "at": iso(now())})
        self.record("ring_end", cause, actor, ring=ring_id, group=ring["group"] or "",
                    detail=f"{ring.get('what', 'ring')}; " +
                    ("stopped; " if cause != "service" else "ended at its end; ") +
                    f"{len(ring['horns'])} horns told off")

    def end_due_rings(self):
        for ring_id, ring in list(self.rings.items()):
            if ring["end"] <= now():
                self.end_ring(ring_id)

    def stop_horn(self, address, actor):
        with self.lock:
            horn = self.horn(address)
            if horn["ring"] is not None:
                ring = self.rings[horn["ring"]]
                ring["horns"].remove(address)
                horn["ring"] = None
            self.switch(horn, False)
            self.record("horn_stopped", "http", actor, horn=address, horn_id=horn["id"])

    def stop_all(self, actor):
        """Ends every ring and alarm; says how many of each were sounding (an alarm's rings
        count as the alarm, rings that hold no horn not at all)."""
        with self.lock:
            alarm_rings = {a["ring"] for a in self.alarms.values() if a["ring"] is not None}
            held = {h["ring"] for h in self.horns if h["ring"] is not None}
            stopped = {"rings_stopped": len(held - alarm_rings), "alarms_stopped": len(alarm_rings)}
            for ring_id in list(self.rings):
                self.end_ring(ring_id, "http", actor)
            for horn in self.horns:
                self.switch(horn, False)
            self.emit("stop_all", {"actor": actor, "cause": "http", "at": iso(now())})
            self.record("stop_all", "http", actor)
            return stopped

    # --- alarms ---------------------------------------------------------------------------

    def alarm_json(self, alarm):
        out = {"name": alarm["name"], "label": alarm["label"], "priority": alarm["priority"],
               "sounding": alarm["ring"] is not None, "ring": None}
        if alarm["ring"] is not None:
            out["ring"] = self.ring_ref(self.rings[alarm["ring"]])
        return out

    def alarm(self, name):
        if name not in self.alarms:
            raise Refused("not_found", f"no alarm '{name}'", 404)
        return self.alarms[name]

    def start_alarm(self, name, actor):
        with self.lock:
            alarm = self.alarm(name)
            if alarm["ring"] is not None:
                self.end_ring(alarm["ring"])
            ring = self.start_ring(self.groups[alarm["group"]], alarm["tone"], alarm["length_s"],
                                   alarm["priority"], "alarm", actor, label=alarm["name"],
                                   what=f"alarm {alarm['name']}")
            alarm["ring"] = ring["id"]
            self.emit("alarm", self.alarm_json(alarm))
            self.record("alarm_start", "http", actor, alarm=name, ring=ring["id"])
            return ring

    def stop_alarm(self, name, actor):
        with self.lock:
            alarm = self.alarm(name)
            if alarm["ring"] is None:
                raise Refused("conflict", f"the alarm '{name}' is not sounding", 409)
            self.end_ring(alarm["ring"], "http", actor)

    # --- the timetable --------------------------------------------------------------------

    def exception_on(self, day):
        text = day.isoformat()
        for exception in reversed(self.file_exceptions + self.exceptions):
            if exception["from"] <= text <= exception["to"]:
                return exception
        return None

    def plan_of(self, day):
        exception = self.exception_on(day)
        if exception is not None:
            return exception["plan"], "exception", exception["name"]
        text = day.isoformat()
        for holiday in self.holidays:
            if holiday["first"] <= text <= holiday["last"]:
                return None, "holiday", holiday["name"]
        return self.week[day.strftime("%A").lower()], "week", ""

    def bells_of(self, day):
        plan = self.plan_of(day)[0]
        bells = []
        for bell in sorted(self.plans.get(plan, {}).get("bells", []), key=lambda b: b["time"]):
            local = dt.datetime.combine(day, dt.time.fromisoformat(bell["time"]))
            bells.append({"at": iso(local.astimezone()), "local": local.isoformat(),
                          "date": day.isoformat(), "plan": plan, "group": bell["group"],
                          "tone": bell["tone"], "duration_s": bell["duration_s"],
                          "label": bell.get("label", ""), "state": "upcoming", "moved": False})
        return bells

    def today(self):
        with self.lock:
            day = dt.date.today()
            plan, rule, name = self.plan_of(day)
            bells = self.bells_of(day)
            moment, seen_next = now(), False
            for bell in bells:
                if parse_iso(bell["at"]) <= moment:
                    bell["state"] = "past"
                elif not seen_next:
                    bell["state"], seen_next = "next", True
                else:
                    bell["state"] = "upcoming"
            return {"date": day.isoformat(), "plan": plan, "rule": rule, "name": name,
                    "bells": bells}

    def next_bells(self, count):
        with self.lock:
            found, moment, day = [], now(), dt.date.today()
            for _ in range(370):
                found += [b for b in self.bells_of(day) if parse_iso(b["at"]) > moment]
                if len(found) >= count:
                    break
                day += dt.timedelta(days=1)
            return found[:count]

    def ring_due_bells(self):
        moment = now()
        for bell in self.bells_of(dt.date.today()):
            at = parse_iso(bell["at"])
            if moment - dt.timedelta(seconds=self.poll_s) < at <= moment:
                label = f"{bell['plan']} {bell['local'][11:19]}"
                self.start_ring(self.groups[bell["group"]], bell["tone"], bell["duration_s"],
                                PRIORITY_BELL, "schedule", "", label=label, group=bell["group"],
                                what=f"bell {label}")
                self.emit("bell", bell)
                self.record("bell_fired", "schedule", group=bell["group"], tone=bell["tone"])

    def plans_json(self):
        return {"time_zone": "UTC", "plans": [
                    {"name": name, "bells": [{"time": b["time"] + (":00" if len(b["time"]) == 5 else ""),
                                              "group": b["group"], "tone": b["tone"],
                                              "duration_s": b["duration_s"]} for b in plan["bells"]]}
                    for name, plan in self.plans.items()],
                "week": dict(self.week)}

    def timetable_json(self):
        with self.lock:
            last = self.revisions[-1] if self.revisions else None
            return {"source": self.timetable_source, "revision": last["revision"] if last else 0,
                    "changed_by": last["changed_by"] if last else "",
                    "changed_at": last["changed_at"] if last else None,
                    "plans": copy.deepcopy(self.plans), "week": dict(self.week),
                    "holidays": copy.deepcopy(self.holidays)}

    def timetable_mistakes(self, document):
        """Every mistake, keyed as the site file's [schedule] would be."""
        mistakes = []
        plans, week, holidays = document.get("plans"), document.get("week"), document.get("holidays")
        if not isinstance(plans, dict) or not isinstance(week, dict) or not isinstance(holidays, list):
            return ["key 'schedule': plans and week must be tables, holidays a list"]
        for name, plan in plans.items():
            for i, bell in enumerate(plan.get("bells", []) if isinstance(plan, dict) else []):
                key = f"key 'schedule.day_plans.{name}.bells[{i}]"
                if not re.fullmatch(r"([01]\d|2[0-3]):[0-5]\d(:[0-5]\d)?", str(bell.get("time", ""))):
                    mistakes.append(f"{key}.time': must be a time of day")
                if bell.get("group") not in self.groups:
                    mistakes.append(f"{key}.group': no group named '{bell.get('group')}'")
                if not isinstance(bell.get("tone"), int) or not 0 <= bell["tone"] <= 3:
                    mistakes.append(f"{key}.tone': must be an integer from 0 to 3")
                if not isinstance(bell.get("duration_s"), int) or not 1 <= bell["duration_s"] <= 86400:
                    mistakes.append(f"{key}.duration_s': must be an integer from 1 to 86400")
        for day, plan in week.items():
            if plan is not None and plan not in plans:
                mistakes.append(f"key 'schedule.week.{day}': no day plan named '{plan}'")
        for i, holiday in enumerate(holidays):
            first, last = holiday.get("first", ""), holiday.get("last", "")
            for field, value in (("first", first), ("last", last)):
                try:
                    dt.date.fromisoformat(value)
                except (TypeError, ValueError):
                    mistakes.append(f"key 'schedule.holidays.dates[{i}].{field}': must be a date")
            if not str(holiday.get("name", "")).strip():
                mistakes.append(f"key 'schedule.holidays.dates[{i}].name': must not be empty")
        return mistakes

    def save_timetable(self, document, revision, actor, summary="changed"):
        with self.lock:
            if self.timetable_source == "file":
                raise Refused("conflict", "the timetable is set in the site file; change it there", 409)
            current = self.revisions[-1] if self.revisions else None
            if revision != (current["revision"] if current else 0):
                raise Refused("precondition_failed",
                              f"the timetable was changed meanwhile: revision {current['revision']} by "
                              f"{current['changed_by']} at {current['changed_at']}; load it again and "
                              "make the change on it", 412)
            mistakes = self.timetable_mistakes(document)
            if mistakes:
                refusal = Refused("invalid_input", "; ".join(mistakes))
                refusal.details = mistakes
                raise refusal
            self.plans = copy.deepcopy(document["plans"])
            for plan in self.plans.values():
                for bell in plan.setdefault("bells", []):
                    bell.setdefault("label", "")
            self.week = {day: document["week"].get(day) for day in self.week}
            self.holidays = copy.deepcopy(document["holidays"])
            self.revisions.append({"revision": len(self.revisions) + 1, "changed_by": actor,
                                   "changed_at": iso(now()), "summary": summary,
                                   "document": copy.deepcopy(document)})
            self.record("timetable_changed", "http", actor, detail=summary)
            return self.timetable_json()

    def restore_timetable(self, revision, actor):
        with self.lock:
            found = [r for r in self.revisions if r["revision"] == revision]
            if not found:
                raise Refused("not_found", f"no revision {revision}", 404)
            current = self.revisions[-1]["revision"] if self.revisions else 0
            return self.save_timetable(found[0]["document"], current, actor,
                                       summary=f"revision {revision} restored")

    def revisions_json(self):
        with self.lock:
            return [{k: r[k] for k in ("revision", "changed_by", "changed_at", "summary")}
                    for r in reversed(self.revisions)]

    def days(self, first, last, bells):
        with self.lock:
            out, day = [], first
            while day <= last:
                plan, rule, name = self.plan_of(day)
                out.append({"date": day.isoformat(), "plan": plan, "rule": rule, "name": name,
                            "bells": self.bells_of(day) if bells else []})
                day += dt.timedelta(days=1)
            return out

    def exceptions_json(self):
        with self.lock:
            return sorted(self.file_exceptions + self.exceptions, key=lambda e: e["from"])

    def add_exception(self, first, last, plan, name, actor):
        with self.lock:
            if last < first:
                raise Refused("invalid_input", "key 'to': comes before 'from'")
            if plan is not None and plan not in self.plans:
                raise Refused("invalid_input", f"key 'plan': no day plan '{plan}'")
            for other in self.file_exceptions + self.exceptions:
                if other["from"] <= last and first <= other["to"]:
                    which = f"{other['id']} " if other["id"] is not None else "of the site file "
                    raise Refused("conflict", f"the dates overlap the exception {which}from "
                                  f"{other['from']} to {other['to']}", 409)
            exception = {"id": next(self.exception_ids), "source": "added", "from": first, "to": last,
                         "plan": plan, "name": name, "added_by": actor, "added": iso(now())}
            self.exceptions.append(exception)
            self.record("exception_added", "http", actor, detail=f"{first}..{last} {name}")
            return exception

    def remove_exception(self, exception_id, actor):
        with self.lock:
            for exception in self.exceptions:
                if str(exception["id"]) == exception_id:
                    self.exceptions.remove(exception)
                    self.record("exception_removed", "http", actor,
                                detail=f"{exception['from']}..{exception['to']} {exception['name']}")
                    return
            raise Refused("not_found", f"no exception {exception_id} added here", 404)

    # --- the audit log --------------------------------------------------------------------

    def log_page(self, since=None, until=None, horn="", cause="", kind="", limit=100, cursor=None):
        kinds = set(kind.split(",")) if kind else set()
        with self.lock:
            entries = list(reversed(self.log))
        picked = []
        for entry in entries:
            if cursor is not None and entry["id"] >= cursor[1]:
                continue
            at = parse_iso(entry["at"])
            if (since and at < since) or (until and at >= until):
                continue
            if horn and horn not in (entry.get("horn"), entry.get("horn_id")):
                continue
            if (cause and entry["cause"] != cause) or (kinds and entry["kind"] not in kinds):
                continue
            picked.append(entry)
            if len(picked) > limit:
                break
        more = len(picked) > limit
        page = picked[:limit]
        last = page[-1] if page else None
        cursor_text = f"{int(parse_iso(last['at']).timestamp() * 1000)}-{last['id']}" if more else None
        return {"entries": page, "next_cursor": cursor_text}
