"""Checks Time's calendar conversions and clock against Python's datetime
and zoneinfo, in UTC and in a zone with daylight saving time.

usage (environment as qv_python_test sets it): files_time_check.py
"""

import datetime
import os
import shutil
import sys
import time
import zoneinfo

from files_probe import Checks, Probe
import qv_test_support as qv

EPOCH_1601 = datetime.datetime(1601, 1, 1, tzinfo=datetime.timezone.utc)
INT64_MAX = 2**63 - 1
# The largest time whose file time (x10) still fits.
LARGEST_VALID = INT64_MAX // 10


def civil_from_days(days):
    """Proleptic Gregorian date of a day count since 1970-01-01, for years
    beyond datetime's 9999."""
    days += 719468
    era = days // 146097
    doe = days - era * 146097
    yoe = (doe - doe // 1460 + doe // 36524 - doe // 146096) // 365
    year = yoe + era * 400
    doy = doe - (365 * yoe + yoe // 4 - yoe // 100)
    mp = (5 * doy + 2) // 153
    day = doy - (153 * mp + 2) // 5 + 1
    month = mp + 3 if mp < 10 else mp - 9
    return year + (month <= 2), month, day


def expected_utc_fields(us):
    since_1970 = us - 11644473600000000
    days, rest = divmod(since_1970, 86400 * 10**6)
    year, month, day = civil_from_days(days)
    day_of_week = (days + 4) % 7  # 1970-01-01 was a Thursday
    seconds, micros = divmod(rest, 10**6)
    return [year, month, day_of_week, day, seconds // 3600,
            seconds // 60 % 60, seconds % 60, micros // 1000]


def expected_local_fields(us, zone):
    dt = (EPOCH_1601 + datetime.timedelta(microseconds=us)).astimezone(zone)
    return [dt.year, dt.month, (dt.weekday() + 1) % 7, dt.day, dt.hour,
            dt.minute, dt.second, dt.microsecond // 1000]


def us_of(dt):
    delta = dt - EPOCH_1601
    return (delta.days * 86400 + delta.seconds) * 10**6 + delta.microseconds


def utc(*fields):
    return datetime.datetime(*fields, tzinfo=datetime.timezone.utc)


def check_zone(checks, tz_name):
    # Wine reads the zone when its server starts: one fresh prefix per zone.
    prefix = os.path.join(qv.WORK_DIR, "time_prefix_" + tz_name)
    shutil.rmtree(prefix, ignore_errors=True)
    for stale in (prefix + ".lock",):
        if os.path.exists(stale):
            os.remove(stale)
    env = dict(os.environ, QV_WINEPREFIX=prefix, TZ=tz_name)
    zone = zoneinfo.ZoneInfo(tz_name)
    try:
        with Probe(env) as probe:
            check_explode(checks, probe, zone, tz_name)
            check_from_exploded(checks, probe, zone, tz_name)
            check_now(checks, probe, tz_name)
    finally:
        qv.stop_prefix(prefix)
        shutil.rmtree(prefix, ignore_errors=True)


def check_explode(checks, probe, zone, tz_name):
    utc_values = [
        0, 1, 999, 1000, 86400 * 10**6 - 1,
        us_of(utc(1970, 1, 1)), us_of(utc(2024, 2, 29, 23, 59, 59, 999999)),
        us_of(utc(2026, 12, 10, 9, 30, 15, 250000)),
        us_of(utc(9999, 12, 31, 23, 59, 59, 999999)),
        LARGEST_VALID,
    ]
    for us in utc_values:
        answer = probe.ask("explode", "utc", us)
        checks.equal(expected_utc_fields(us), [int(x) for x in answer.split()],
                     "%s utc explode %d" % (tz_name, us))

    # Negative times and times whose file time would overflow give zeros.
    for us in (-1, -10**15, LARGEST_VALID + 1, INT64_MAX):
        checks.equal("0 0 0 0 0 0 0 0", probe.ask("explode", "utc", us),
                     "%s utc explode of unconvertible %d" % (tz_name, us))
        checks.equal("0 0 0 0 0 0 0 0", probe.ask("explode", "local", us),
                     "%s local explode of unconvertible %d" % (tz_name, us))

    # Dates under today's rules: the system applies the current rules to
    # every year.
    local_values = [
        us_of(utc(1601, 1, 2, 12)),
        us_of(utc(2026, 3, 8, 6, 59, 59, 999000)),
        us_of(utc(2026, 3, 8, 7, 0, 0)),
        us_of(utc(2026, 7, 1, 12, 0, 0, 123000)),
        us_of(utc(2026, 11, 1, 5, 59, 59)),
        us_of(utc(2026, 11, 1, 6, 0, 0)),
        us_of(utc(9999, 12, 31, 23, 59, 59, 999000)),
    ]
    for us in local_values:
        answer = probe.ask("explode", "local", us)
        checks.equal(expected_local_fields(us, zone),
                     [int(x) for x in answer.split()],
                     "%s local explode %d" % (tz_name, us))


def check_from_exploded(checks, probe, zone, tz_name):
    utc_fields = [
        [1601, 1, 1, 1, 0, 0, 0, 0],
        [1601, 1, 1, 1, 0, 0, 0, 1],
        [1970, 1, 4, 1, 0, 0, 1, 999],
        [2024, 2, 4, 29, 23, 59, 59, 999],
        [9999, 12, 5, 31, 23, 59, 59, 999],
        expected_utc_fields(LARGEST_VALID),
    ]
    for fields in utc_fields:
        answer = probe.ask("fromexploded", "utc", *fields)
        year, month, _, day, hour, minute, second, ms = fields
        if year > 9999:
            # Beyond datetime: check the round trip of the largest time.
            expected = LARGEST_VALID - LARGEST_VALID % 1000
        else:
            expected = us_of(utc(year, month, day, hour, minute, second,
                                 ms * 1000))
        checks.equal(str(expected), answer,
                     "%s utc from exploded %r" % (tz_name, fields))

    rejected = [
        [2026, 13, 0, 1, 0, 0, 0, 0],
        [2026, 2, 0, 30, 0, 0, 0, 0],
        [65536 + 2026, 1, 0, 1, 0, 0, 0, 0],  # would wrap to 2026
        [2026, 1, 0, 65536 + 1, 0, 0, 0, 0],
        [-1, 1, 0, 1, 0, 0, 0, 0],
        [2026, 1, 0, 1, 24, 0, 0, 0],
    ]
    for fields in rejected:
        checks.equal("0", probe.ask("fromexploded", "utc", *fields),
                     "%s rejected %r" % (tz_name, fields))

    # Unambiguous local times on both sides of each change.
    local_times = [
        (2026, 1, 15, 8, 0, 0, 0), (2026, 3, 8, 1, 59, 59, 999),
        (2026, 3, 8, 3, 0, 0, 0), (2026, 7, 1, 12, 0, 0, 500),
        (2026, 11, 1, 0, 59, 59, 0), (2026, 11, 1, 2, 0, 0, 0),
    ]
    for year, month, day, hour, minute, second, ms in local_times:
        local = datetime.datetime(year, month, day, hour, minute, second,
                                  ms * 1000, tzinfo=zone)
        answer = probe.ask("fromexploded", "local", year, month,
                           (local.weekday() + 1) % 7, day, hour, minute,
                           second, ms)
        checks.equal(str(us_of(local.astimezone(datetime.timezone.utc))),
                     answer, "%s local from exploded %s" % (tz_name, local))


def check_now(checks, probe, tz_name):
    for _ in range(3):
        before = time.time() * 1000
        now = int(probe.ask("now"))
        after = time.time() * 1000
        checks.true(before - 2000 <= now <= after + 2000,
                    "%s Now %d within two seconds of [%d, %d]" %
                    (tz_name, now, before, after))


def main():
    checks = Checks()
    for tz_name in ("UTC", "EST5EDT"):
        check_zone(checks, tz_name)
    return checks.finish()


if __name__ == "__main__":
    sys.exit(main())
