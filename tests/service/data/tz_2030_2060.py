#!/usr/bin/env python3
"""Writes tz_2030_2060.txt: every clock change of four zones from 2030 to 2060 as Python's
zoneinfo computes it (over the system's tzdata, extending the listed years by each file's own
rule), for the calendar's tests to compare with. Made once with Debian's python3:
    /usr/bin/python3 tz_2030_2060.py > tz_2030_2060.txt
"""
import datetime as dt
import zoneinfo

ZONES = ["America/New_York", "Europe/Berlin", "Australia/Sydney", "Australia/Lord_Howe"]
FIRST = dt.datetime(2030, 1, 1, tzinfo=dt.timezone.utc)
END = dt.datetime(2061, 1, 1, tzinfo=dt.timezone.utc)


def offset(zone, at):
    return int(at.astimezone(zone).utcoffset().total_seconds())


print("# Clock changes from 2030 to 2060, made by tz_2030_2060.py with Python's zoneinfo:")
print("# zone, the instant of the change (UTC), the offset before and after it in seconds east")
print("# of UTC. A 'from' line gives the offset at 2030-01-01T00:00:00Z.")
for name in ZONES:
    zone = zoneinfo.ZoneInfo(name)
    print(f"{name} from {FIRST:%Y-%m-%dT%H:%M:%SZ} {offset(zone, FIRST)}")
    at = FIRST
    step = dt.timedelta(hours=1)
    while at < END:
        later = at + step
        if offset(zone, later) != offset(zone, at):
            low, high = at, later  # the change is in (low, high]
            while high - low > dt.timedelta(seconds=1):
                middle = low + (high - low) / 2
                middle = middle.replace(microsecond=0)
                if offset(zone, middle) == offset(zone, low):
                    low = middle
                else:
                    high = middle
            print(f"{name} {high:%Y-%m-%dT%H:%M:%SZ} {offset(zone, low)} {offset(zone, high)}")
        at = later
