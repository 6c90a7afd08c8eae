#!/usr/bin/env python3
"""Checks the calling convention of a 32-bit vktcom.dll from its code: every
exported function is stdcall, so each of its returns removes exactly its
arguments' bytes from the stack ("ret $N", N = 4 bytes for each argument
that vktcom.h declares; a plain "ret" for a function without arguments). A
cdecl export returns with a plain "ret" and leaves a stdcall host's stack
off by its arguments' size at every call.

The code of an export is its own symbol's instructions, its ".cold" part,
and, followed from there, every function it enters by a jump (tail calls),
with their ".cold" parts; calls are not followed (the called function
returns to the export).

Usage: check-stdcall.py path/to/vktcom.dll [--header include/vktcom.h]
       [--objdump i686-w64-mingw32-objdump]
Prints "STDCALL OK" and exits 0 when every return matches; else lists each
wrong return and exits 1.
"""
import argparse
import re
import subprocess
import sys

ARGUMENT_BYTES = {"int32_t": 4, "int": 4}  # and every pointer: 4 bytes


def declared_argument_bytes(header_text):
    """{name: bytes of arguments} for each function vktcom.h declares."""
    result = {}
    text = re.sub(r"/\*.*?\*/", " ", header_text, flags=re.S)
    for m in re.finditer(r"VKTCOM_API\s+[\w\s\*]+?\s+VKTCOM_CALL\s+(\w+)\s*\(([^)]*)\)\s*;", text):
        name, params = m.group(1), m.group(2).strip()
        size = 0
        if params and params != "void":
            for param in params.split(","):
                param = param.strip()
                if "*" in param:
                    size += 4
                    continue
                words = param.replace("const ", "").split()
                if not words or words[0] not in ARGUMENT_BYTES:
                    raise ValueError(f"{name}: unknown argument type in '{param}'")
                size += ARGUMENT_BYTES[words[0]]
        result[name] = size
    return result


def exports(objdump, dll):
    """{exported name: virtual address} from the export table."""
    text = subprocess.run([objdump, "-p", dll], check=True, capture_output=True, text=True).stdout
    image_base = int(re.search(r"^ImageBase\s+([0-9a-fA-F]+)", text, re.M).group(1), 16)
    rvas, names, section = {}, {}, None
    for line in text.splitlines():
        if line.startswith("Export Address Table --"):
            section = "addresses"
            continue
        if line.startswith("[Ordinal/Name Pointer] Table"):
            section = "names"
            continue
        if not line.strip():
            section = None
            continue
        m = re.match(r"\s*\[\s*(\d+)\]\s+\+base\[\s*\d+\]\s+([0-9a-fA-F]+)", line)
        if section == "addresses" and m:
            rvas[int(m.group(1))] = int(m.group(2), 16)
        m = re.match(r"\s*\[\s*(\d+)\]\s+(\S+)", line)
        if section == "names" and m:
            names[m.group(2)] = int(m.group(1))
    return {name: image_base + rvas[index] for name, index in names.items()}


def disassembly(objdump, dll):
    """(symbols: [(start, name)] sorted, instructions: {address: text})."""
    text = subprocess.run([objdump, "-d", "--no-show-raw-insn", dll], check=True, capture_output=True,
                          text=True).stdout
    symbols, instructions = [], {}
    for line in text.splitlines():
        m = re.match(r"^([0-9a-f]+) <(.+)>:$", line)
        if m:
            symbols.append((int(m.group(1), 16), m.group(2)))
            continue
        m = re.match(r"^\s*([0-9a-f]+):\s+(.*)$", line)
        if m:
            instructions[int(m.group(1), 16)] = m.group(2).strip()
    symbols.sort()
    return symbols, instructions


def check(dll, header_text, objdump):
    declared = declared_argument_bytes(header_text)
    exported = exports(objdump, dll)
    symbols, instructions = disassembly(objdump, dll)
    if not symbols:
        return ["the DLL has no symbols to tell its functions apart"], 0
    starts = [start for start, _ in symbols]
    by_name = {name: start for start, name in symbols}
    addresses = sorted(instructions)

    def symbol_range(address):
        """(start, end, name) of the symbol holding address."""
        lo, hi = 0, len(starts)
        while lo < hi:
            mid = (lo + hi) // 2
            if starts[mid] <= address:
                lo = mid + 1
            else:
                hi = mid
        index = lo - 1
        if index < 0:
            return None
        end = starts[index + 1] if index + 1 < len(starts) else float("inf")
        return starts[index], end, symbols[index][1]

    problems, returns_checked = [], 0
    for name, entry in sorted(exported.items()):
        if name not in declared:
            problems.append(f"{name}: exported but not declared in the header")
            continue
        expected = declared[name]
        pending, seen = [entry], set()
        while pending:
            found = symbol_range(pending.pop())
            if found is None or found[0] in seen:
                continue
            start, end, symbol = found
            seen.add(start)
            cold = by_name.get(symbol + ".cold")
            if cold is not None:
                pending.append(cold)
            for address in (a for a in addresses if start <= a < end):
                text = instructions[address]
                m = re.match(r"^ret[lw]?\b\s*(?:\$0x([0-9a-f]+))?", text)
                if m:
                    returns_checked += 1
                    popped = int(m.group(1), 16) if m.group(1) else 0
                    if popped != expected:
                        problems.append(f"{name}: '{text}' at {address:#x} in <{symbol}> removes {popped} bytes "
                                        f"of arguments, the header declares {expected}")
                    continue
                m = re.match(r"^j\w+\s+([0-9a-f]+)\b", text)
                if m:
                    target = int(m.group(1), 16)
                    if not start <= target < end:
                        pending.append(target)
    return problems, returns_checked


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("dll")
    parser.add_argument("--header", default="include/vktcom.h")
    parser.add_argument("--objdump", default="i686-w64-mingw32-objdump")
    args = parser.parse_args()
    with open(args.header, encoding="utf-8") as f:
        header_text = f.read()
    problems, returns_checked = check(args.dll, header_text, args.objdump)
    for problem in problems:
        print(f"stdcall check: {problem}")
    if problems or returns_checked == 0:
        print("STDCALL FAILED" if problems else "STDCALL FAILED: no return found")
        return 1
    print(f"STDCALL OK: {returns_checked} returns of {len(exports(args.objdump, args.dll))} exports "
          f"remove their arguments' bytes")
    return 0


if __name__ == "__main__":
    sys.exit(main())
