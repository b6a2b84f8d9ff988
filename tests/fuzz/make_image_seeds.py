#!/usr/bin/env python3
"""Makes the seed corpora of the image fuzzers (pe_resources,
version_resource, icon_file) and of the extract fuzzer from a Windows build
and from files that Debian packages ship.

Usage: make_image_seeds.py WINDOWS_BIN_DIR CORPUS_DIR

WINDOWS_BIN_DIR holds qvn_portable_launcher_stub.exe and the host qvn_pack.
PE seeds are hollowed: every section but the resource one loses its bytes on
disk, so that a seed is kilobytes, not hundreds of them, while its headers,
section table, resource tree and certificate table stay as they were. Needs
wrestool (icoutils), openssl and osslsigncode.
"""

import pathlib
import shutil
import struct
import subprocess
import sys
import tempfile

HERE = pathlib.Path(__file__).resolve().parent
ROOT = HERE.parents[1]
WINE = pathlib.Path("/usr/lib/x86_64-linux-gnu/wine/x86_64-windows")
DEBIAN_ICONS = [pathlib.Path("/usr/share/clang/scan-view-14/share/bugcatcher.ico"),
                pathlib.Path("/usr/share/doc/fp-compiler/3.2.2/wince/SysInfo/sysinfo.ico")]


def u16(b, at):
    return struct.unpack_from("<H", b, at)[0]


def u32(b, at):
    return struct.unpack_from("<I", b, at)[0]


def hollow(image):
    coff = u32(image, 0x3C) + 4
    sections = u16(image, coff + 2)
    optional = coff + 20
    directories = optional + (112 if u16(image, optional) == 0x20B else 96)
    resource_rva = u32(image, directories + 16)
    cert_offset, cert_size = u32(image, directories + 32), u32(image, directories + 36)
    out = bytearray(image[:u32(image, optional + 60)])
    table = optional + u16(image, coff + 16)
    for i in range(sections):
        header = table + 40 * i
        rva, virtual_size = u32(image, header + 12), u32(image, header + 8)
        raw_size, raw_offset = u32(image, header + 16), u32(image, header + 20)
        if rva <= resource_rva < rva + max(virtual_size, raw_size):
            struct.pack_into("<I", out, header + 20, len(out))
            out += image[raw_offset:raw_offset + raw_size]
        else:
            struct.pack_into("<II", out, header + 16, 0, 0)
    if cert_size:
        struct.pack_into("<I", out, directories + 32, len(out))
        out += image[cert_offset:cert_offset + cert_size]
    return bytes(out)


def run(*args, **kwargs):
    subprocess.run([str(a) for a in args], check=True, **kwargs)


def main(bin_dir, corpus):
    bin_dir, corpus = pathlib.Path(bin_dir), pathlib.Path(corpus)
    pe, version, icon = corpus / "pe_resources", corpus / "version_resource", corpus / "icon_file"
    extract = corpus / "extract"
    for folder in (pe, version, icon, extract):
        folder.mkdir(parents=True, exist_ok=True)
    with tempfile.TemporaryDirectory() as scratch:
        scratch = pathlib.Path(scratch)
        game = scratch / "game"
        game.mkdir()
        (game / "Quorvane.exe").write_bytes(b"MZ" + bytes(62))
        # The extract seeds carry a small tree: nested folders, an empty file
        # and one file long enough for matches.
        tree = scratch / "tree"
        (tree / "Assets" / "text").mkdir(parents=True)
        (tree / "Quorvane.exe").write_bytes(b"MZ" + bytes(62))
        (tree / "empty.txt").write_bytes(b"")
        (tree / "Assets" / "text" / "story.txt").write_bytes(b"Quorvane, the river city. " * 40)
        run(bin_dir / "qvn_pack", "build", "--game-dir", tree, "--out", extract / "payload-tree",
            "--digest-out", scratch / "tree.digest", stdout=subprocess.DEVNULL)
        run(bin_dir / "qvn_pack", "launcher", "--game-dir", tree, "--out", scratch / "tree.exe",
            "--stub", bin_dir / "qvn_portable_launcher_stub.exe", stdout=subprocess.DEVNULL)
        (extract / "launcher-tree").write_bytes(hollow((scratch / "tree.exe").read_bytes()))
        launcher = scratch / "launcher.exe"
        run(bin_dir / "qvn_pack", "launcher", "--game-dir", game, "--out", launcher,
            "--stub", bin_dir / "qvn_portable_launcher_stub.exe", "--icon", ROOT / "examples/demo-game/quorvane.ico",
            "--version", "1.2.3.4", "--company", "Ünïcode Stüdio", "--copyright", "", stdout=subprocess.DEVNULL)
        run("bash", ROOT / "tests/pack/make_signing_certificate.sh", cwd=scratch)
        signed = scratch / "signed.exe"
        run("osslsigncode", "sign", "-pkcs12", scratch / "studio.p12", "-readpass", scratch / "password.txt",
            "-h", "sha256", "-n", "Quorvane Portable", "-in", launcher, "-out", signed, stdout=subprocess.DEVNULL)

        images = {"stub": bin_dir / "qvn_portable_launcher_stub.exe", "launcher": launcher, "signed": signed,
                  "wine-hh": WINE / "hh.exe", "wine-stdole32": WINE / "stdole32.tlb"}
        for name, path in images.items():
            (pe / name).write_bytes(hollow(path.read_bytes()))
        for name, path in {"launcher": launcher, "wine-stdole32": WINE / "stdole32.tlb",
                           "wine-lz32": WINE / "lz32.dll"}.items():
            run("wrestool", "-x", "--raw", "--type=16", "-o", version / name, path)
        run("wrestool", "-x", "--type=14", "-o", icon / "wine-hh.ico", WINE / "hh.exe")
    for path in [ROOT / "examples/demo-game/quorvane.ico", *DEBIAN_ICONS]:
        shutil.copy(path, icon / path.name)


if __name__ == "__main__":
    main(*sys.argv[1:])
