#!/usr/bin/env python3
"""Checks the version information of Windows programs and installers: product name, product
and file version (the text and the fixed numbers), a description and the publisher; and with
--icon, that the file carries an icon. Used by scripts/build-windows --test.
Usage: check-version.py VERSION [--icon] FILE...   (prints one line per file; exit 1 on a fault)"""
import sys

import pefile

RT_GROUP_ICON = 14
PUBLISHER = "The kstbell developers"


def strings_of(pe):
    found = {}
    for info in getattr(pe, "FileInfo", None) or []:
        for block in info:
            for table in getattr(block, "StringTable", []):
                for key, value in table.entries.items():
                    found[key.decode("utf-8", "replace")] = value.decode("utf-8", "replace")
    return found


def check(path, version, want_icon):
    problems = []
    pe = pefile.PE(path, fast_load=True)
    pe.parse_data_directories(
        directories=[pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_RESOURCE"]])
    texts = strings_of(pe)
    for key, expected in (("ProductName", "kstbell"), ("ProductVersion", version),
                          ("FileVersion", version), ("CompanyName", PUBLISHER)):
        if texts.get(key) != expected:
            problems.append(f"{key} is {texts.get(key)!r}, not {expected!r}")
    if not texts.get("FileDescription"):
        problems.append("no FileDescription")
    numbers = [int(part) for part in version.split(".")] + [0]
    fixed = getattr(pe, "VS_FIXEDFILEINFO", None)
    if not fixed:
        problems.append("no fixed version information")
    else:
        got = [fixed[0].FileVersionMS >> 16, fixed[0].FileVersionMS & 0xFFFF,
               fixed[0].FileVersionLS >> 16, fixed[0].FileVersionLS & 0xFFFF]
        if got != numbers:
            problems.append(f"file version numbers {got}, not {numbers}")
    if want_icon:
        resources = getattr(pe, "DIRECTORY_ENTRY_RESOURCE", None)
        types = [entry.id for entry in resources.entries] if resources else []
        if RT_GROUP_ICON not in types:
            problems.append("no icon")
    name = path.rsplit("/", 1)[-1]
    for problem in problems:
        print(f"{name}: {problem}", file=sys.stderr)
    if not problems:
        print(f"{name}: {texts['ProductName']} {texts['FileVersion']}, "
              f"\"{texts['FileDescription']}\"{', icon' if want_icon else ''}")
    return not problems


def main():
    args = sys.argv[1:]
    if len(args) < 2:
        print(__doc__, file=sys.stderr)
        return 2
    version, files = args[0], args[1:]
    want_icon = "--icon" in files
    files = [f for f in files if f != "--icon"]
    results = [check(path, version, want_icon) for path in files]
    return 0 if all(results) else 1


if __name__ == "__main__":
    sys.exit(main())
