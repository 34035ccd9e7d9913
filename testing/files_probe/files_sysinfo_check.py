"""Checks the processor and memory facts against /proc on the host.

usage (environment as qv_python_test sets it): files_sysinfo_check.py
"""

import os
import sys

from files_probe import Checks, Probe


def first_cpu_block():
    facts = {}
    with open("/proc/cpuinfo") as cpuinfo:
        for line in cpuinfo:
            if not line.strip():
                break
            key, _, value = line.partition(":")
            facts[key.strip()] = value.strip()
    return facts


def mem_total_bytes():
    with open("/proc/meminfo") as meminfo:
        for line in meminfo:
            if line.startswith("MemTotal:"):
                return int(line.split()[1]) * 1024
    return 0


def main():
    checks = Checks()
    with Probe() as probe:
        fields = probe.ask("cpu").split("\t")
    (processors, vendor, brand, family, model, stepping, flags, memory,
     version, model_name) = fields

    host = first_cpu_block()
    checks.equal(os.cpu_count(), int(processors), "processor count")
    checks.equal(host.get("vendor_id"), vendor, "vendor")
    # The brand string against the system's registry copy, which Wine fills
    # from its own processor query. Not against the host's "model name": a
    # virtual machine's kernel may print another name than the processor
    # reports (seen: "AMD EPYC" against a hypervisor's own brand string).
    checks.true(brand.strip() != "", "brand present")
    checks.equal(model_name.strip(), brand.strip(), "brand")
    checks.equal(int(host.get("stepping", -1)), int(stepping), "stepping")
    # The host adds the extended family to a base family of 15; ours is the
    # base family alone.
    host_family = int(host.get("cpu family", -1))
    checks.equal(min(host_family, 15), int(family), "family")
    if int(family) in (6, 15):
        checks.equal(int(host.get("model", -1)), int(model), "model")

    host_flags = set(host.get("flags", "").split())
    names = ["mmx", "sse", "sse2", "pni", "ssse3", "sse4_1", "sse4_2", "avx"]
    for name, bit in zip(names, flags):
        checks.equal(name in host_flags, bit == "1", "feature " + name)

    total = mem_total_bytes()
    checks.true(abs(int(memory) - total) <= total // 20,
                "physical memory %s near %d" % (memory, total))
    checks.true(0 <= int(version) <= 9, "version index %s" % version)
    return checks.finish()


if __name__ == "__main__":
    sys.exit(main())
