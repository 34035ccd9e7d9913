"""Makes the compressor benchmark's corpus: one file per row, from what a
crash archive holds, taken from files found on a Debian machine.

    python3 scripts/bench_corpus.py OUT_FOLDER

The dumps need the crash test programs and the Wine wrapper (QV_WINE_RUN,
QV_BIN_DIR), as the crash tests use them.
"""

import glob
import json
import os
import random
import shutil
import sys
import tempfile

MB = 1 << 20
ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def gather(paths, limit):
    """The files' bytes, in order, until `limit` bytes."""
    out = bytearray()
    for path in paths:
        if len(out) >= limit:
            break
        try:
            with open(path, "rb") as f:
                out += f.read(limit - len(out))
        except OSError:
            continue
    return bytes(out)


def log_lines(size):
    """System logs, then lines in the reporter's own log format."""
    system = gather(sorted(glob.glob("/var/log/*.log") + glob.glob("/var/log/apt/*.log")), size // 4)
    rng = random.Random(1)
    files = ["crash_pipe_server.cc", "path_service2.cc", "ipc.cc", "upload_task.cc",
             "quillavera_crash_server.cc", "process_info_utility.cc"]
    texts = ["Client registered, pid %d type renderer ptrackid %d",
             "Dump request from pid %d, writing %08x-%04x.dmp",
             "Upload part %d of %d done, offset %d",
             "Process crashed! type: renderer memory %d MB handles %d",
             "IPC notice %d sent to window %x",
             "Log file rotated, kept %d bytes of %d"]
    severities = ["INFO"] * 8 + ["WARNING", "ERROR"]
    lines = []
    tick = 1000000
    total = len(system)
    while total < size:
        tick += rng.randrange(1, 5000)
        template = rng.choice(texts)
        args = tuple(rng.randrange(1, 1 << 16) for _ in range(template.count("%")))
        line = "[%d:%d:1210/%06d:%d:%s:%s(%d)] %s\n" % (
            rng.choice([4120, 4388, 5012]), rng.randrange(4000, 9000),
            rng.randrange(0, 235959), tick, rng.choice(severities),
            rng.choice(files), rng.randrange(20, 900), template % args)
        lines.append(line)
        total += len(line)
    return system + "".join(lines).encode()[: size - len(system)]


def package_json(size):
    """The package database as JSON records, as an upload reply might be."""
    records, record = [], {}
    with open("/var/lib/dpkg/status", encoding="utf-8", errors="replace") as f:
        for line in f:
            if not line.strip():
                if record:
                    records.append(record)
                record = {}
            elif line[0] != " " and ":" in line:
                key, value = line.split(":", 1)
                record[key] = value.strip()
            elif "Description" in record:
                record["Description"] += "\n" + line.strip()
    text = json.dumps(records, indent=2).encode()
    while len(text) < size:
        text += json.dumps(records, indent=None, sort_keys=True).encode()
    return text[:size]


def pe_files(size):
    dlls = sorted(glob.glob("/usr/lib/x86_64-linux-gnu/wine/x86_64-windows/*.dll"))
    return gather(dlls, size)


def compressed(size):
    gz = sorted(glob.glob("/usr/share/doc/**/*.gz", recursive=True))
    return gather(gz, size)


def dumps(out_folder):
    """A minidump and a full-memory dump of a crashing test client."""
    sys.path.insert(0, os.path.join(ROOT, "testing", "crash_tests"))
    import crash_harness
    work = tempfile.mkdtemp(prefix="bench-dumps-", dir=out_folder)
    crash_harness.WORK_DIR = work
    host = crash_harness.ServerHost("bench").start()
    try:
        # A full-memory dump takes minutes on a busy machine.
        client = crash_harness.start_client(host, "crash", "--full", "--wait-ms=900000")
        host.expect("dump", timeout=900)
        client.wait(timeout=900)
    finally:
        host.stop()
    if len(host.dump_files()) != 2:
        raise SystemExit("expected a dump and a full dump, got %r" % host.dump_files())
    for name in host.dump_files():
        row = "fulldump.dmp" if name.endswith("-full.dmp") else "minidump.dmp"
        shutil.move(os.path.join(host.dump_dir, name), os.path.join(out_folder, row))
    shutil.rmtree(work, ignore_errors=True)


def main():
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    rng = random.Random(2)
    rows = {
        "logs.txt": lambda: log_lines(4 * MB),
        "json.json": lambda: package_json(4 * MB),
        "pe.bin": lambda: pe_files(8 * MB),
        "compressed.gz": lambda: compressed(4 * MB),
        "random.bin": lambda: rng.randbytes(4 * MB),
        "repetitive.bin": lambda: (b"\0" * MB + b"crash_data " * (MB // 11) +
                                   bytes(range(256)) * (2 * MB // 256)),
    }
    for name, make in rows.items():
        with open(os.path.join(out, name), "wb") as f:
            f.write(make())
    dumps(out)


if __name__ == "__main__":
    main()
