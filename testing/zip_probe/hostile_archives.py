"""Hostile and damaged zip archives, made from the zip format's records, for
the reader's tests. Each case says what the reader must answer: the result
of opening, and then of extracting each entry under its own name."""

import io
import struct
import zipfile

OK = 0
WRITE_FAILED = 0x400
CORRUPT = 0x700

END = struct.Struct("<IHHHHIIH")


def stored_archive(names, data=b"payload", comment=b""):
    out = io.BytesIO()
    with zipfile.ZipFile(out, "w", zipfile.ZIP_STORED) as archive:
        for name in names:
            info = zipfile.ZipInfo(name, (2021, 7, 15, 13, 4, 6))
            info.external_attr = 0o644 << 16
            archive.writestr(info, b"" if name.endswith("/") else data)
        archive.comment = comment
    return bytearray(out.getvalue())


def end_record_at(data):
    return data.rindex(b"PK\x05\x06")


def patch_end(data, **fields):
    """Rewrites fields of the end record: entries, size, offset."""
    at = end_record_at(data)
    (sig, disk, disk_dir, disk_entries, entries, size, offset,
     comment) = END.unpack_from(data, at)
    entries = fields.get("entries", entries)
    disk_entries = fields.get("disk_entries", entries)
    END.pack_into(data, at, sig, disk, disk_dir, disk_entries, entries,
                  fields.get("size", size), fields.get("offset", offset),
                  comment)
    return data


def patch_central(data, offset, fmt, value):
    at = data.index(b"PK\x01\x02")
    struct.pack_into(fmt, data, at + offset, value)
    return data


def patch_local(data, offset, fmt, value):
    struct.pack_into(fmt, data, offset, value)
    return data


def cases(escape_dir):
    """(label, bytes, open result, extraction results). |escape_dir| is a
    folder outside the base folder, named absolutely by some entries, so
    that a reader which followed them would write there."""
    rooted = escape_dir.replace("\\", "/")
    if rooted[1:2] == ":":
        rooted = rooted[2:]
    good = stored_archive(["a.txt"])
    yield "parent, slash", stored_archive(["../up.txt"]), OK, [CORRUPT]
    yield ("parent, backslash", stored_archive(["..\\up.txt"]), OK,
           [CORRUPT])
    yield ("parent inside", stored_archive(["a/../../up.txt", "b.txt"]), OK,
           [CORRUPT, OK])
    yield ("parent folder entry", stored_archive(["../updir/"]), OK,
           [CORRUPT])
    yield ("rooted, slash", stored_archive([rooted + "/abs.txt"]), OK,
           [CORRUPT])
    yield ("rooted, backslash",
           stored_archive([rooted.replace("/", "\\") + "\\abs.txt"]), OK,
           [CORRUPT])
    yield ("rooted folder entry", stored_archive([rooted + "/absdir/"]), OK,
           [CORRUPT])
    yield "drive letter", stored_archive(["Z:drive.txt"]), OK, [CORRUPT]
    yield "truncated in the end record", good[:-5], CORRUPT, []
    yield "truncated in the data", good[:40], CORRUPT, []
    yield ("directory past the end",
           patch_end(bytearray(good), offset=len(good) + 100), CORRUPT, [])
    yield ("directory larger than the file",
           patch_end(bytearray(good), size=0x7FFFFFF0), CORRUPT, [])
    yield ("more entries than records",
           patch_end(bytearray(good), entries=5), CORRUPT, [])
    yield ("entry counts differ",
           patch_end(bytearray(good), disk_entries=1, entries=2), CORRUPT, [])
    yield ("name longer than the directory",
           patch_central(bytearray(good), 28, "<H", 4000), CORRUPT, [])
    yield ("local header past the end",
           patch_central(bytearray(good), 42, "<I", 0x7FFFFF00), OK,
           [CORRUPT])
    yield ("data past the end",
           patch_local(patch_central(bytearray(good), 20, "<I", 0x7FFFFF00),
                       18, "<I", 0x7FFFFF00), OK, [CORRUPT])
    yield ("local extra field longer than the file",
           patch_local(bytearray(good), 28, "<H", 0xFFFF), OK, [CORRUPT])
    crc = bytearray(good)
    crc[crc.index(b"payload") + 2] ^= 1
    yield "wrong crc", crc, OK, [WRITE_FAILED]
    yield ("64 KiB comment",
           stored_archive(["a.txt"], comment=b"PK\x01\x02" + b"c" * 65531),
           OK, [OK])
    yield "not a zip", bytearray(b"x" * 70000), CORRUPT, []
