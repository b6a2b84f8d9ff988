#!/usr/bin/env python3
"""Writes the seed payloads for payload_manifest_fuzzer into corpus/payload_manifest."""
import pathlib
import struct

OUT = pathlib.Path(__file__).resolve().parent / "corpus" / "payload_manifest"


def record(name, expanded=1, stored=b"\x5a", digest=b"\x11" * 32):
    name = name.encode("ascii", "surrogateescape") if isinstance(name, str) else name
    return struct.pack("<III", len(name), expanded, len(stored)) + digest + name + stored


def container(*records, count=None):
    return b"QVNPORT1" + struct.pack("<I", len(records) if count is None else count) + b"".join(records)


MAIN = record("Quorvane.exe", 3, b"abc")
SEEDS = {
    "valid-main-only": container(MAIN),
    "valid-tree": container(record("Assets/tex/a.png", 9, b"xyz"), MAIN, record("empty.txt", 0, b""),
                            record(".config/x.b.c"), record("a/b/c/d/e/f/g/h")),
    "conflict-three-keys": container(MAIN, record("a"), record("a.txt"), record("a/b")),
    "conflict-case": container(MAIN, record("QUORVANE.EXE")),
    "reserved-state": container(MAIN, record("Data/save.bin")),
    "device-name": container(MAIN, record("docs/Con.tar.gz")),
    "unsafe-byte": container(MAIN, record(b"a\\b")),
    "empty-mismatch": container(MAIN, record("x", 0, b"q")),
    "size-limit": container(record("Quorvane.exe", 0x8000001)),
    "trailing-byte": container(MAIN) + b"\x00",
    "count-too-small": container(MAIN, record("b"), count=1),
    "truncated-record": container(MAIN)[:40],
    "magic-only": b"QVNPORT1",
}

OUT.mkdir(parents=True, exist_ok=True)
for name, data in SEEDS.items():
    (OUT / name).write_bytes(data)
