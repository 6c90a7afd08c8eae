#!/usr/bin/env python3
"""Checks a built vktcom.dll: its export table holds exactly the host
interface's 32 functions under their fixed ordinals (base 1, 53 slots, the
other slots empty), under plain (undecorated) names, and nothing else; and
it imports only DLLs that every Windows system has (no MinGW runtime DLLs).

Usage: check-exports.py path/to/vktcom.dll [--objdump PROGRAM]
Prints "EXPORTS OK" and exits 0 when everything matches; else lists each
difference and exits 1.
"""
import argparse
import re
import subprocess
import sys

# The host interface: ordinal -> name.
TABLE = {
    1: "form_open", 2: "form_close", 3: "form_release",
    10: "com_open", 11: "com_close", 12: "com_search_timer", 13: "com_search",
    14: "vkt_dll_ver", 15: "vkt_connect", 16: "vkt_clkset", 17: "vkt_startsetcheck",
    20: "vkt_inputdata", 21: "vkt_datacount", 22: "vkt_getdata",
    23: "vkt_get_date", 24: "vkt_get_year", 25: "vkt_get_month", 26: "vkt_get_day", 27: "vkt_get_time",
    30: "vkt_get_deg", 31: "vkt_get_x", 32: "vkt_get_y", 33: "vkt_get_z", 34: "vkt_get_humi", 35: "vkt_get_all",
    40: "vkt_set_command", 41: "vkt_get_param", 42: "vkt_get_reservetime",
    50: "settingform_open", 51: "settingform_close", 52: "settingform_release", 53: "settingform_check",
}
ORDINAL_BASE = 1
SLOTS = 53

# DLLs of the system itself; anything else (libgcc_s_dw2-1.dll,
# libstdc++-6.dll, libwinpthread-1.dll) would be missing on a host machine.
SYSTEM_DLLS = {"kernel32.dll", "user32.dll", "advapi32.dll", "msvcrt.dll", "winmm.dll", "gdi32.dll",
               "ntdll.dll", "shell32.dll", "ole32.dll", "comctl32.dll", "ws2_32.dll"}


def parse(text):
    """(ordinal base, slot count, {slot index: rva}, {name: slot index}, [imported DLLs])."""
    base = None
    slots = None
    addresses = {}
    names = {}
    imports = []
    section = None
    for line in text.splitlines():
        m = re.match(r"\s*Export Address Table\s+([0-9a-fA-F]+)\s*$", line)
        if m and slots is None:
            slots = int(m.group(1), 16)
            continue
        m = re.match(r"Export Address Table -- Ordinal Base (\d+)", line)
        if m:
            base = int(m.group(1))
            section = "addresses"
            continue
        if line.startswith("[Ordinal/Name Pointer] Table"):
            section = "names"
            continue
        m = re.match(r"\s*DLL Name: (\S+)", line)
        if m:
            imports.append(m.group(1))
            continue
        if section == "addresses":
            m = re.match(r"\s*\[\s*(\d+)\]\s+\+base\[\s*(\d+)\]\s+([0-9a-fA-F]+)", line)
            if m:
                addresses[int(m.group(1))] = int(m.group(3), 16)
            elif line.strip() == "":
                section = None
        elif section == "names":
            m = re.match(r"\s*\[\s*(\d+)\]\s+(\S+)", line)
            if m:
                names[m.group(2)] = int(m.group(1))
            elif line.strip() == "":
                section = None
    return base, slots, addresses, names, imports


def check(text):
    problems = []
    base, slots, addresses, names, imports = parse(text)
    if base is None:
        return ["no export table found"]
    if base != ORDINAL_BASE:
        problems.append(f"ordinal base {base}, expected {ORDINAL_BASE}")
    if slots != SLOTS:
        problems.append(f"{slots} ordinal slots, expected {SLOTS}")
    for index, rva in sorted(addresses.items()):
        ordinal = index + base
        if rva != 0 and ordinal not in TABLE:
            problems.append(f"ordinal {ordinal} is filled but must be empty")
    for ordinal, name in sorted(TABLE.items()):
        if addresses.get(ordinal - base, 0) == 0:
            problems.append(f"ordinal {ordinal} ({name}) is empty")
        if name not in names:
            problems.append(f"name {name} is not exported")
        elif names[name] + base != ordinal:
            problems.append(f"name {name} has ordinal {names[name] + base}, expected {ordinal}")
    for name in sorted(set(names) - set(TABLE.values())):
        problems.append(f"unexpected export {name}")
    for dll in imports:
        if dll.lower() not in SYSTEM_DLLS:
            problems.append(f"imports {dll}, which is not a Windows system DLL")
    return problems


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("dll")
    parser.add_argument("--objdump", default="i686-w64-mingw32-objdump")
    args = parser.parse_args()
    text = subprocess.run([args.objdump, "-p", args.dll], check=True, capture_output=True, text=True).stdout
    problems = check(text)
    for problem in problems:
        print(f"export check: {problem}")
    if problems:
        print("EXPORTS FAILED")
        return 1
    print(f"EXPORTS OK: {len(TABLE)} names, ordinals {ORDINAL_BASE}-{SLOTS}, empty gaps, system DLLs only")
    return 0


if __name__ == "__main__":
    sys.exit(main())
