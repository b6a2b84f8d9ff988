#!/usr/bin/env python3
"""Makes small seeds for minidump_fuzzer from real dumps that the launcher
wrote for the crash game (see tests/crash): each dump is laid out again with
every memory range cut to its first bytes and the memory list to its first
ranges, which keeps every stream, record and name but not the bulk.

Usage: make_minidump_seeds.py OUT_FOLDER DUMP...
"""
import os
import struct
import sys

KEEP = 1024  # bytes kept of each memory range
KEEP_RANGES = 8  # ranges kept of the memory list, which Wine fills with thousands


class Layout:
    """The new file: blobs appended in turn, each at the offset it is given."""

    def __init__(self):
        self.data = bytearray()

    def add(self, blob):
        while len(self.data) % 8:
            self.data.append(0)
        offset = len(self.data)
        self.data += blob
        return offset


def compact(dump):
    u32 = lambda at: struct.unpack_from('<I', dump, at)[0]
    count, directory = u32(8), u32(12)
    out = Layout()
    out.add(dump[:32] + bytes(12 * count))
    struct.pack_into('<I', out.data, 12, 32)

    def location(at, keep=None):
        """Copies the blob a location descriptor at `at` names; returns its new descriptor."""
        size, rva = u32(at), u32(at + 4)
        size = min(size, keep) if keep is not None else size
        return struct.pack('<II', size, out.add(dump[rva:rva + size]))

    def string(rva):
        return out.add(dump[rva:rva + 4 + u32(rva) + 2])

    for i in range(count):
        entry = directory + 12 * i
        kind, size, rva = struct.unpack_from('<III', dump, entry)
        stream = bytearray(dump[rva:rva + size])
        if kind == 3:  # threads: stack memory and context
            for t in range(u32(rva)):
                at = 4 + 48 * t
                stream[at + 32:at + 40] = location(rva + at + 32, KEEP)
                stream[at + 40:at + 48] = location(rva + at + 40)
        elif kind == 4:  # modules: names
            for m in range(u32(rva)):
                at = 4 + 108 * m
                struct.pack_into('<I', stream, at + 20, string(u32(rva + at + 20)))
                stream[at + 76:at + 92] = bytes(16)  # CodeView and misc records are not read
        elif kind == 5:  # memory list
            ranges = min(u32(rva), KEEP_RANGES)
            stream = stream[:4 + 16 * ranges]
            struct.pack_into('<I', stream, 0, ranges)
            for m in range(ranges):
                at = 4 + 16 * m
                stream[at + 8:at + 16] = location(rva + at + 8, KEEP)
        elif kind == 6:  # exception: its context
            stream[160:168] = location(rva + 160)
        elif kind == 14:  # unloaded modules: names
            header, entry_size, entries = struct.unpack_from('<III', dump, rva)
            for m in range(entries):
                at = header + entry_size * m
                struct.pack_into('<I', stream, at + 20, string(u32(rva + at + 20)))
        elif kind not in (7, 15):
            stream = bytearray()
        struct.pack_into('<III', out.data, 32 + 12 * i, kind, len(stream), out.add(bytes(stream)))
    return bytes(out.data)


def main():
    folder = sys.argv[1]
    os.makedirs(folder, exist_ok=True)
    for path in sys.argv[2:]:
        name = os.path.basename(os.path.dirname(os.path.dirname(path))) or 'dump'
        with open(os.path.join(folder, name + '.dmp'), 'wb') as seed:
            seed.write(compact(open(path, 'rb').read()))


if __name__ == '__main__':
    main()
