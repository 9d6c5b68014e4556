#!/usr/bin/env python3
"""The time stamps of a PE file: the COFF header's, the export directory's
and those of every resource directory.

  pe-time-stamp.py FILE...          prints "FILE header=N export=N resources=N[,N]"
                                    (export=- without an export directory)
  pe-time-stamp.py --set N FILE...  writes N into the COFF header's stamp

makensis copies its stub's header, which carries the time the stub itself
was built; the build sets the installer's own time with --set. The header's
checksum is left as it is: the stub's is 0 (not checked for programs), and
signing computes it.
"""
import struct
import sys


def header_offset(data):
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    if data[pe:pe + 4] != b"PE\0\0":
        raise ValueError("not a PE file")
    return pe


def layout(data):
    """Where the data directories start, and the file offset of an RVA."""
    pe = header_offset(data)
    sections_count, optional_size = struct.unpack_from("<H12xH", data, pe + 6)
    optional = pe + 24
    directories = optional + (96 if struct.unpack_from("<H", data, optional)[0] == 0x10B else 112)
    sections = [struct.unpack_from("<IIII", data, optional + optional_size + 40 * i + 8)
                for i in range(sections_count)]

    def offset(rva):
        for vsize, vaddr, rawsize, rawptr in sections:
            if vaddr <= rva < vaddr + max(vsize, rawsize):
                return rva - vaddr + rawptr
        raise ValueError("RVA %#x outside every section" % rva)
    return directories, offset


def stamps(data):
    header = struct.unpack_from("<I", data, header_offset(data) + 8)[0]
    directories, offset = layout(data)
    export_rva, rsrc_rva = (struct.unpack_from("<I", data, directories + 8 * i)[0] for i in (0, 2))
    export = struct.unpack_from("<I", data, offset(export_rva) + 4)[0] if export_rva else None
    resources = set()
    if rsrc_rva:
        base = offset(rsrc_rva)

        def walk(table):
            resources.add(struct.unpack_from("<I", data, base + table + 4)[0])
            named, numbered = struct.unpack_from("<HH", data, base + table + 12)
            for i in range(named + numbered):
                target = struct.unpack_from("<I", data, base + table + 20 + 8 * i)[0]
                if target & 0x80000000:
                    walk(target & 0x7FFFFFFF)
        walk(0)
    return header, export, sorted(resources)


def main(args):
    if args[:1] == ["--set"]:
        stamp = int(args[1])
        for path in args[2:]:
            with open(path, "r+b") as f:
                data = f.read()
                f.seek(header_offset(data) + 8)
                f.write(struct.pack("<I", stamp))
        return 0
    for path in args:
        header, export, resources = stamps(open(path, "rb").read())
        print("%s header=%d export=%s resources=%s" % (
            path, header, "-" if export is None else export,
            ",".join(str(r) for r in resources) or "-"))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
