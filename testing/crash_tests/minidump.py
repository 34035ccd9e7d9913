"""A small reader of minidump files: the header, the stream directory, the
exception stream, the thread list, the memory lists and raw user streams.
Unknown streams are kept as raw bytes and otherwise ignored."""

import struct

SIGNATURE = 0x504D444D  # "MDMP"

THREAD_LIST_STREAM = 3
MEMORY_LIST_STREAM = 5
EXCEPTION_STREAM = 6
MEMORY64_LIST_STREAM = 9
HANDLE_DATA_STREAM = 12
HANDLE_OPERATION_LIST_STREAM = 18

# MINIDUMP_TYPE bits, as the header's flags field holds them.
WITH_FULL_MEMORY = 0x2
WITH_HANDLE_DATA = 0x4


class MinidumpError(Exception):
    pass


class Minidump:
    def __init__(self, data):
        if len(data) < 32:
            raise MinidumpError("file too short for a header")
        (self.signature, self.version, count, directory_rva, self.checksum,
         self.time_date_stamp, self.flags) = struct.unpack_from("<IIIIIIQ", data, 0)
        if self.signature != SIGNATURE:
            raise MinidumpError("bad signature 0x%08x" % self.signature)
        self._data = data
        self.streams = {}  # type -> list of raw stream bodies
        for i in range(count):
            stream_type, size, rva = struct.unpack_from("<III", data, directory_rva + 12 * i)
            if rva + size > len(data):
                raise MinidumpError("stream 0x%x runs past the file end" % stream_type)
            self.streams.setdefault(stream_type, []).append(data[rva:rva + size])

    @classmethod
    def read(cls, path):
        with open(path, "rb") as f:
            return cls(f.read())

    def stream(self, stream_type):
        """The body of the one stream of this type, or None."""
        bodies = self.streams.get(stream_type)
        if not bodies:
            return None
        if len(bodies) > 1:
            raise MinidumpError("stream 0x%x appears %d times" % (stream_type, len(bodies)))
        return bodies[0]

    def exception(self):
        """{thread_id, code, flags, address, parameters} or None."""
        body = self.stream(EXCEPTION_STREAM)
        if body is None:
            return None
        thread_id, = struct.unpack_from("<I", body, 0)
        code, flags, _record, address, count = struct.unpack_from("<IIQQI", body, 8)
        parameters = struct.unpack_from("<15Q", body, 40)[:count]
        return {"thread_id": thread_id, "code": code, "flags": flags,
                "address": address, "parameters": list(parameters)}

    def thread_ids(self):
        body = self.stream(THREAD_LIST_STREAM)
        if body is None:
            return []
        count, = struct.unpack_from("<I", body, 0)
        return [struct.unpack_from("<I", body, 4 + 48 * i)[0] for i in range(count)]

    def memory_ranges(self):
        """(start, size) of each range of the 32-bit memory list."""
        body = self.stream(MEMORY_LIST_STREAM)
        if body is None:
            return None
        count, = struct.unpack_from("<I", body, 0)
        ranges = []
        for i in range(count):
            start, size, _rva = struct.unpack_from("<QII", body, 4 + 16 * i)
            ranges.append((start, size))
        return ranges

    def memory64_ranges(self):
        """(start, size) of each range of the 64-bit (full-memory) list."""
        body = self.stream(MEMORY64_LIST_STREAM)
        if body is None:
            return None
        count, _base_rva = struct.unpack_from("<QQ", body, 0)
        return [struct.unpack_from("<QQ", body, 16 + 16 * i) for i in range(count)]

    MODULE_LIST_STREAM = 4
    CONTEXT_RIP = 0xF8

    def modules(self):
        """(base, size, name) of each module of the module list."""
        body = self.stream(self.MODULE_LIST_STREAM)
        if body is None:
            return []
        count, = struct.unpack_from("<I", body, 0)
        result = []
        for i in range(count):
            base, size, _sum, _stamp, name_rva = struct.unpack_from("<QIIII", body, 4 + 108 * i)
            length, = struct.unpack_from("<I", self._data, name_rva)
            name = self._data[name_rva + 4:name_rva + 4 + length].decode("utf-16-le")
            result.append((base, size, name))
        return result

    def exception_rip(self):
        """The instruction pointer of the exception stream's context."""
        body = self.stream(EXCEPTION_STREAM)
        size, rva = struct.unpack_from("<II", body, 160)
        rip, = struct.unpack_from("<Q", self._data, rva + self.CONTEXT_RIP)
        return rip
