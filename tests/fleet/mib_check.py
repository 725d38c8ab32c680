#!/usr/bin/env python3
"""TARVIK-RADIO-MIB under the tools that read it.

  mib_check.py lint MIB
      smilint -l 6 prints nothing for the module.
  mib_check.py generator MIB_DIR SNMP_YML WORK_DIR
      prometheus-snmp-generator, fed the MIB and MIB_DIR/generator.yml, writes
      a module that asks for the same objects (OIDs), with the same types, as
      the committed SNMP_YML. The metric names differ (the MIB's descriptors
      against the exporter's raw names), so objects are matched by OID.

The SMIv2 base modules (SNMPv2-SMI, -TC, -CONF) come from Debian's
erlang-snmp, the one package that ships them as text.
"""
import glob
import os
import shutil
import subprocess
import sys

import yaml


def base_mib_dir():
    dirs = sorted(glob.glob("/usr/lib/erlang/lib/snmp-*/mibs"))
    if not dirs:
        sys.exit("no SMIv2 base modules: install erlang-snmp (scripts/common.sh)")
    return dirs[-1]


def lint(mib):
    env = dict(os.environ, SMIPATH=base_mib_dir())
    run = subprocess.run(["smilint", "-l", "6", mib], env=env, capture_output=True, text=True,
                         timeout=60)
    report = run.stdout + run.stderr
    if run.returncode != 0 or report:
        sys.exit("smilint -l 6 %s (exit %d):\n%s" % (mib, run.returncode, report))
    print("smilint -l 6: nothing to report")


def objects(module):
    """What a snmp_exporter module asks for, and how: its get and walk
    lists, each metric's OID with its type, and the exchange's settings."""
    return {
        "settings": {k: module.get(k) for k in ("version", "auth", "timeout", "retries")},
        "get": sorted(module.get("get", [])),
        "walk": sorted(module.get("walk", [])),
        "types": {m["oid"]: m["type"] for m in module.get("metrics", [])},
    }


def generator(mib_dir, snmp_yml, work):
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    shutil.copy(os.path.join(mib_dir, "generator.yml"), work)
    env = dict(os.environ, MIBDIRS=base_mib_dir() + ":" + os.path.abspath(mib_dir))
    run = subprocess.run(["prometheus-snmp-generator", "--fail-on-parse-errors", "generate",
                          "-o", "snmp.yml"], cwd=work, env=env, capture_output=True, text=True,
                         timeout=120)
    if run.returncode != 0:
        sys.exit("prometheus-snmp-generator failed:\n" + run.stderr)
    with open(os.path.join(work, "snmp.yml")) as f:
        generated = yaml.safe_load(f)
    with open(snmp_yml) as f:
        committed = yaml.safe_load(f)
    if sorted(generated) != sorted(committed):
        sys.exit("modules: generated %s, committed %s" % (sorted(generated), sorted(committed)))
    faults = []
    for name in committed:
        want, got = objects(committed[name]), objects(generated[name])
        if want["settings"] != got["settings"]:
            faults.append("%s: committed settings %s, generated %s" % (
                name, want["settings"], got["settings"]))
        for part in ("get", "walk"):
            if want[part] != got[part]:
                faults.append("%s %s: only committed asks for %s, only generated for %s" % (
                    name, part, sorted(set(want[part]) - set(got[part])),
                    sorted(set(got[part]) - set(want[part]))))
        for oid in sorted(set(want["types"]) | set(got["types"])):
            if want["types"].get(oid) != got["types"].get(oid):
                faults.append("%s %s: committed type %s, generated %s" % (
                    name, oid, want["types"].get(oid), got["types"].get(oid)))
    if faults:
        sys.exit("\n".join(faults))
    print("generated module asks for the committed objects: %d gets, %d metrics" % (
        sum(len(objects(m)["get"]) for m in committed.values()),
        sum(len(objects(m)["types"]) for m in committed.values())))


if __name__ == "__main__":
    if len(sys.argv) == 3 and sys.argv[1] == "lint":
        lint(sys.argv[2])
    elif len(sys.argv) == 5 and sys.argv[1] == "generator":
        generator(*sys.argv[2:])
    else:
        sys.exit(__doc__)
