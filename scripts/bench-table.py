#!/usr/bin/env python3
# SPDX-License-Identifier: Apache-2.0
"""Makes the README's speed tables from one run's results file.

    scripts/bench-table.py RESULTS.tsv                    prints the tables
    scripts/bench-table.py RESULTS.tsv --readme README.md  puts them in the README, between
                                                          the bench-table markers
    scripts/bench-table.py RESULTS.tsv --keys             lists the lines' keys and notes

RESULTS.tsv is what scripts/bench.sh wrote (build/bench-results/, the path is its
last line), or another bench script run alone: its tables go between markers of
its own, "bench-table:SCRIPT:begin" and "bench-table:SCRIPT:end" (e.g. bench-cli). A quick run, a size other than 1 GiB, fewer pairs than the full run's
or uncommitted changes are refused unless --force: the README quotes full runs of
committed code only.

Where the gain comes from: NOTES below, one text per line of the run, by key
(--keys lists them). A line without a note gets an empty cell and a warning.
"""

import argparse
import re
import sys

# Where each line's gain comes from: threads, early write-back, a faster
# library, or none. Keyed by the line's key (--keys).
NOTES = {
    # Hashing: reads only.
    "hashfile-md5-vs-botan-hash-buf-size-65536": "a faster library: OpenSSL's MD5",
    "hashfile-md5-vs-openssl-dgst-md5": "none: the same OpenSSL MD5",
    "hashfile-md5-vs-md5sum": "a faster library: OpenSSL's MD5",
    "hashfile-sha-1-vs-botan-hash-buf-size-65536": "none: the same Botan SHA-1 over reads of the same kind",
    "hashfile-sha-1-vs-sha1sum": "a faster library: Botan's SHA-1 uses the SHA instructions",
    "hashfile-tiger-vs-botan-hash-buf-size-65536": "none: the same Botan Tiger",
    "hashfile-tiger-vs-rhash-tiger": "rhash's own Tiger is faster; no library has a faster one",
    "hash-tab-window-md5-vs-botan-hash-buf-size-65536": "as HashFile, with the window's progress on top",
    "hash-tab-window-sha-1-vs-botan-hash-buf-size-65536": "as HashFile, with the window's progress on top",
    "hash-tab-window-tiger-vs-botan-hash-buf-size-65536": "as HashFile, with the window's progress on top",
    # Files written: both sides sync; ours starts write-back every 16 MiB.
    "encryptfile-aes-256-cbc-vs-openssl-enc-aes-256-cbc":
        "threads: the MAC and the writes on the second core; early write-back",
    "decryptfile-aes-256-cbc-vs-openssl-enc-d-aes-256-cbc":
        "threads: the MAC on one core, AES and the writes on the other; early write-back",
    "encryptfile-twofish-256-cbc-vs-gpg-symmetric-twofish":
        "threads: the MAC and the writes on the second core; early write-back",
    "decryptfile-twofish-256-cbc-vs-gpg-d": "threads: the two halves decrypted at once; early write-back",
    "encodefile-base64-vs-base64-w0": "a faster library: OpenSSL's block encoder; early write-back",
    "decodefile-base64-vs-base64-d":
        "a table pass of our own that checks and decodes at once; threads: a writer thread; early write-back",
    "encodefile-hex-vs-basenc-base16-w0": "a table codec; early write-back",
    "decodefile-hex-vs-basenc-base16-d": "a table codec; threads: a writer thread; early write-back",
    # Key generation.
    "newkeypair-rsa-512-in-one-process-vs-openssl-evp-pkey-generate": "none: the same OpenSSL generator",
    "newkeypair-rsa-1024-in-one-process-vs-openssl-evp-pkey-generate": "none: the same OpenSSL generator",
    "newkeypair-rsa-2048-in-one-process-vs-openssl-evp-pkey-generate":
        "a faster library: Botan's generator (OpenSSL takes its FIPS 186-4 route from 2048 bits); "
        "threads: the two primes searched at once",
    "newkeypair-rsa-2048-in-one-process-vs-botan-rsa-privatekey": "threads: the two primes searched at once (Botan's prime search)",
    "newkeypair-rsa-512-a-process-per-key-vs-openssl-genpkey":
        "none: the same generator; our process starts more slowly",
    "newkeypair-rsa-1024-a-process-per-key-vs-openssl-genpkey":
        "none: the same generator; our process starts more slowly",
    "newkeypair-rsa-2048-a-process-per-key-vs-openssl-genpkey": "a faster library: Botan's generator; threads: the two primes at once",

    # quorval-cli against the command-line tools (scripts/bench-cli.sh).
    "quorval-cli-hash-a-md5-vs-md5sum": "a faster library: OpenSSL's MD5",
    "quorval-cli-hash-a-md5-vs-botan-hash-buf-size-65536": "a faster library: OpenSSL's MD5",
    "quorval-cli-hash-a-sha1-vs-sha1sum": "a faster library: Botan's SHA-1 uses the SHA instructions",
    "quorval-cli-hash-a-sha1-vs-botan-hash-buf-size-65536": "none: the same Botan SHA-1",
    "quorval-cli-hash-a-sha1-10-000-files-vs-sha1sum":
        "threads: a file on each core; a faster library: Botan's SHA-1 uses the SHA instructions",
    "quorval-cli-hash-a-sha1-10-000-files-vs-rhash-sha1-on-2-processes":
        "none: the same SHA instructions on every core (rhash loads OpenSSL's SHA-1); ours makes more system calls a file",
    "quorval-cli-encrypt-aes-256-cbc-vs-openssl-enc-aes-256-cbc":
        "threads: the MAC and the writes on the second core; early write-back",
    "quorval-cli-decrypt-aes-256-cbc-vs-openssl-enc-d-aes-256-cbc":
        "threads: the MAC on one core, AES and the writes on the other; early write-back",
    "quorval-cli-encrypt-aes-256-cbc-vs-age-r-x25519-chacha20-poly1305":
        "threads and early write-back, against a faster cipher with no key derivation",
    "quorval-cli-decrypt-aes-256-cbc-vs-age-d-i-x25519-chacha20-poly1305":
        "threads and early write-back, against a faster cipher with no key derivation",
    "quorval-cli-version-a-process-each-vs-openssl-version":
        "none: our process loads and binds Botan and its libraries as well as OpenSSL",
}


def markers(script):
    """The README's markers for the tables of one script's run."""
    section = "" if script in ("bench", "") else script + ":"
    return (f"<!-- bench-table:{section}begin (made by scripts/bench-table.py from one run's results; "
            "do not edit by hand) -->", f"<!-- bench-table:{section}end -->")

PAIR_FIELDS = [
    "kind", "key", "label", "peer", "unit", "pairs",
    "ow", "ow_lo", "ow_hi", "oc", "oc_lo", "oc_hi", "omib",
    "pw", "pw_lo", "pw_hi", "pc", "pc_lo", "pc_hi", "pmib",
    "wr", "wr_lo", "wr_hi", "cr", "cr_lo", "cr_hi",
    "target", "standing", "met", "floor",
]
FIGURE_FIELDS = ["kind", "key", "label", "value", "target", "met"]


def read_results(path):
    meta, pairs, figures = {}, [], []
    with open(path, encoding="utf-8") as results:
        for number, line in enumerate(results, 1):
            line = line.rstrip("\n")
            if not line or line.startswith("#"):
                continue
            fields = line.split("\t")
            kind = fields[0]
            if kind == "meta" and len(fields) == 3:
                meta[fields[1]] = fields[2]
            elif kind == "pair" and len(fields) == len(PAIR_FIELDS):
                pairs.append(dict(zip(PAIR_FIELDS, fields)))
            elif kind == "figure" and len(fields) == len(FIGURE_FIELDS):
                figures.append(dict(zip(FIGURE_FIELDS, fields)))
            else:
                sys.exit(f"{path}:{number}: not a results line: {line!r}")
    return meta, pairs, figures


def refusals(meta):
    """Why these results are not to be quoted, if they are not."""
    why = []
    if meta.get("quick") == "1":
        why.append("a quick run")
    if meta.get("size-mib") != "1024":
        why.append(f"{meta.get('size-mib', '?')} MiB, not 1024")
    if int(meta.get("pairs", "0")) < 5:
        why.append(f"{meta.get('pairs')} pairs, fewer than 5")
    if int(meta.get("pairs-write", "0")) < 9:
        why.append(f"{meta.get('pairs-write')} pairs for file writes, fewer than 9")
    if meta.get("commit", "").endswith("+changes") or meta.get("commit", "unknown") == "unknown":
        why.append(f"commit {meta.get('commit', 'unknown')}: not committed code")
    if meta.get("cli") == "failed":
        why.append("the quorval-cli lines failed")
    if meta.get("startup") == "failed":
        why.append("the start-up lines failed")
    return why


def number(text, unit):
    value = float(text)
    return f"{value:.1f}" if unit != "s" else f"{value:.2f}"


def spread(row, name):
    if not row[name]:
        return "–"
    return f"{float(row[name]):.2f} ({float(row[name + '_lo']):.2f}–{float(row[name + '_hi']):.2f})"


def target_cell(target, met):
    if not target:
        return ""
    shown = target.replace(">=", "≥").replace("<=", "≤")
    return shown + {"yes": ", met", "no": ", **missed**"}.get(met, "")


def figure_cell(row):
    label, peer = row["label"], row["peer"]
    if row["standing"] == "floor":
        return label
    return f"{label} vs `{peer}`"


def times_cell(row):
    unit = row["unit"]
    shown = "ms per " + unit.split("/", 1)[1] if "/" in unit else "s"
    if row["standing"] == "floor":
        # A floor's point is the times themselves and how far they stray.
        return (f"{number(row['ow'], unit)} ({number(row['ow_lo'], unit)}–{number(row['ow_hi'], unit)}) and "
                f"{number(row['pw'], unit)} ({number(row['pw_lo'], unit)}–{number(row['pw_hi'], unit)}) {shown}")
    return (f"{number(row['ow'], unit)} / {number(row['pw'], unit)} {shown} "
            f"(CPU {number(row['oc'], unit)} / {number(row['pc'], unit)})")


def tables(meta, pairs, figures, path):
    def load(name):  # the 1-minute figure of /proc/loadavg
        return meta.get(name, "?").split()[0]

    size = "1 GiB" if meta.get("size-mib") == "1024" else f"{meta.get('size-mib', '?')} MiB"
    bands = []
    for name, what in (("floor-file", "file lines"), ("floor-keygen", "key generation")):
        if meta.get(name):
            low, high = (float(x) for x in meta[name].split())
            bands.append(f"{low:.2f}–{high:.2f} for {what}")
    out = [
        f"Figures from one run of `scripts/{meta.get('script', 'bench')}.sh` at commit {meta.get('commit', '?')} "
        f"({meta.get('date', '?')}) on {meta.get('machine', '?')}, load average {load('load-before')} before and "
        f"{load('load-after')} after: {meta.get('size-mib', '?')} MiB of random bytes in the page cache, "
        f"{meta.get('pairs', '?')} pairs, {meta.get('pairs-write', '?')} for the lines that write files"
        + (f"; key generation {meta['keys']}" if meta.get("keys") else "")
        + (f"; a tree of {meta['tree']}" if meta.get("tree") else "")
        + ". "
        f"Level means a median wall ratio within the noise floor's band: {' and '.join(bands) or 'not measured'}. "
        f"Results file: `{path.rsplit('/', 1)[-1]}`.",
        "",
        f"| figure ({size} unless said) | ours / peer, median | wall ratio, median (spread) "
        "| CPU ratio, median (spread) | target | where the gain comes from |",
        "|---|---|---|---|---|---|",
    ]
    for row in pairs:
        wall = spread(row, "wr")
        if row["standing"] and row["standing"] != "floor":
            wall += f", {row['standing']}"
        out.append(f"| {figure_cell(row)} | {times_cell(row)} | {wall} | {spread(row, 'cr')} "
                   f"| {target_cell(row['target'], row['met'])} | {NOTES.get(row['key'], '')} |")
    if figures:
        out += ["", "| figure | measured | target |", "|---|---|---|"]
        for row in figures:
            out.append(f"| {row['label']} | {row['value']} | {target_cell(row['target'], row['met'])} |")
    return "\n".join(out) + "\n"


def into_readme(readme, text, script):
    begin, end = markers(script)
    with open(readme, encoding="utf-8") as file:
        content = file.read()
    pattern = re.compile(re.escape(begin) + r".*?" + re.escape(end), re.S)
    if not pattern.search(content):
        sys.exit(f"{readme}: no bench-table markers for scripts/{script}.sh")
    content = pattern.sub(lambda _: begin + "\n" + text + end, content, count=1)
    with open(readme, "w", encoding="utf-8") as file:
        file.write(content)


def main():
    parser = argparse.ArgumentParser(description="The README's speed tables from one run's results file.")
    parser.add_argument("results")
    parser.add_argument("--readme", help="replace the tables between the markers of this file")
    parser.add_argument("--keys", action="store_true", help="list each line's key and note, and stop")
    parser.add_argument("--force", action="store_true", help="use results that are not to be quoted")
    args = parser.parse_args()
    meta, pairs, figures = read_results(args.results)

    if args.keys:
        for row in pairs:
            print(f"{row['key']}\t{NOTES.get(row['key'], '(no note)') if row['standing'] != 'floor' else '(floor)'}")
        return 0
    why = refusals(meta)
    if why and not args.force:
        sys.exit(f"{args.results}: not results to quote ({'; '.join(why)}); --force to use them anyway")
    for row in pairs:
        if row["standing"] != "floor" and row["key"] not in NOTES:
            print(f"no note for {row['key']} (add it to NOTES in {sys.argv[0]})", file=sys.stderr)
    text = tables(meta, pairs, figures, args.results)
    if args.readme:
        into_readme(args.readme, text, meta.get("script", "bench"))
    else:
        sys.stdout.write(text)
    return 0


if __name__ == "__main__":
    sys.exit(main())
