#!/usr/bin/env python3
"""tpk info --json read back with Python's JSON parser: every line must be one
JSON object without repeated keys, the texts must give back the package's
bytes, and the fields must agree with the packages and with tpk digest.

usage: info_json_test.py DATA_DIR TPK_COMMAND...   (the command may start with
an emulator)"""
import json
import subprocess
import sys
import tempfile

data, tpk = sys.argv[1], sys.argv[2:]
failures = []


def check(what, got, expected):
    if got != expected:
        failures.append(f"{what}: got {got!r}, expected {expected!r}")


def run(*args):
    result = subprocess.run(tpk + list(args), capture_output=True, check=False)
    if result.returncode != 0:
        sys.exit(f"tpk {' '.join(args)}: status {result.returncode}: {result.stderr!r}")
    return result.stdout


def no_repeated_keys(pairs):
    keys = [key for key, _ in pairs]
    if len(keys) != len(set(keys)):
        failures.append(f"repeated key in {keys}")
    return dict(pairs)


def info(*files):
    lines = run("info", "--json", *files).split(b"\n")
    check("last line end", lines[-1], b"")
    return [json.loads(line, object_pairs_hook=no_repeated_keys) for line in lines[:-1]]


def relations(entries):
    return [(e["name"], e["min"], e["max"], e["extra"]) for e in entries]


packages = [f"{data}/packages/{name}.tpk" for name in
            ("sample-relations", "sample-image", "sample-bundle", "sample-plain-tampered")]
objects = info(*packages)

# One object per package, in file order, each with the digest tpk digest prints.
digests = [line.split()[0].decode() for line in run("digest", *packages).splitlines()]
check("packages", [(o["kind"], o["name"]) for o in objects],
      [("package", "smp-rel"), ("package", "smp-image"), ("bundle", "smp-bundle"),
       ("member", "smp-m1"), ("member", "smp-m2"), ("package", "smp-plain")])
check("digests", [o["digest"] for o in objects if o["kind"] != "bundle"], digests)

rel, image, bundle, m1, m2, tampered = objects
check("versions", [(o["version"], o["versionCode"]) for o in (rel, image, bundle)],
      [("1.4beta2", 0x01046202), ("5.1", 0x05016600), ("3.0rc1", 0x03006301)])
check("depends", relations(rel["depends"]),
      [("smp-plain", "2.3", None, 0), ("system", "6.0", "7.0", 0)])
check("provides", relations(rel["provides"]), [("smp-api", "1.0", "1.9", -1)])
check("conflicts", relations(rel["conflicts"]), [("smp-old", None, "1.0", 0)])
check("scripts", [o.get("scripts") for o in (rel, image, m1, m2)],
      [{"onuninstall": 27}, {}, {}, {"oninstall": 37}])
check("flags", [(o["flags"], o["bootImage"], o["image"]) for o in (rel, image)],
      [(None, False, None), (1, True, 300)])
check("bundle", (relations(bundle["defaultDisabled"]), m1["bundle"], "digest" in bundle),
      ([("smp-m2", None, None, 0)], "smp-bundle", False))
check("file trees", [o["fileTree"] for o in (rel, m2)],
      [{"entries": 1, "broken": False}] * 2)
check("member parts", [(p["type"], p["offset"], p["length"]) for p in m1["parts"]],
      [(1, 105, 32), (4, 143, 51), (9, 200, 68)])
check("verification", [(o["signed"], o["verification"]) for o in (rel, m2, tampered)],
      [(True, "ok"), (True, "ok"), (True, "digest mismatch")])

# Any bytes in a text come back: quotes, backslashes, control bytes, bytes
# from 0x80 on (one code point each).
note = b'say "hi" \\ \n\t\x01\x7f\xff\xc3\xa9'
with tempfile.TemporaryDirectory() as scratch:
    run("build", "-o", f"{scratch}/odd.tpk", "--name", "odd", "--version", "1.0",
        "--no-files", "--note", note)
    (odd,) = info(f"{scratch}/odd.tpk")
    check("note bytes", odd["note"].encode("latin-1"), note)
    check("unsigned digest", odd["digest"],
          run("digest", f"{scratch}/odd.tpk").split()[0].decode())

for failure in failures:
    print(failure)
sys.exit(1 if failures else 0)
