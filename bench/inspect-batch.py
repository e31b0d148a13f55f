#!/usr/bin/env python3
"""Whole-process throughput and memory of `zibbles-inspect --batch`, beside a script's.

Generates a file of JSON-RPC answers shaped like the collection's (an SVG figure of 150 to 576
one-unit rects on a background rect, in Base64 JSON metadata, in a Base64 token URI, ABI-encoded),
with a revert answer and a bare hex result here and there, then times each program reading it on
standard input and writing to /dev/null, the whole process, side by side: one run of each in turn,
RUNS rounds. The programs are the inspector, optionally an earlier build of it (--before), and the
project's JavaScript decoder in Node.js (demo/lib/token.mjs through
bench/inspect-batch-reference.mjs, when node is installed). Reports each
one's median wall clock with its spread, CPU time and page faults (from wait4), and the script's
time over each inspector's.

Memory is checked apart from the timed runs: the same file is piped into the inspector several
times over (about 1 GB in all) and its peak resident set is read from wait4.

Usage: bench/inspect-batch.py PATH/zibbles-inspect [--before PATH/zibbles-inspect]
       [--tokens N | --megabytes 200] [--runs 5] [--memory-gb 1]
"""

import argparse
import base64
import os
import random
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

PALETTE = ["#1b1b24", "#e23b3b", "#f5d142", "#4f86d1", "#9aa4b5", "#fff", "#2e5e9e", "#ff8c0080"]
REVERT = ('{"jsonrpc":"2.0","id":%d,"error":{"code":3,"message":"execution reverted: '
          'ZibblesDemo: no token with this id","data":"0x08c379a0"}}')


def figure_svg(rng, side, rects):
    parts = [f'<svg xmlns="http://www.w3.org/2000/svg" viewBox="0 0 {side} {side}" '
             f'shape-rendering="crispEdges"><rect x="0" y="0" width="{side}" height="{side}" '
             f'fill="#1f7a74"/>']
    for _ in range(rects):
        cell = rng.randrange(side * side)
        parts.append(f'<rect x="{cell % side}" y="{cell // side}" width="1" height="1" '
                     f'fill="{rng.choice(PALETTE)}"/>')
    parts.append("</svg>")
    return "".join(parts)


def abi_string_hex(text):
    data = text.encode()
    word = lambda v: v.to_bytes(32, "big")
    padded = data + b"\0" * ((32 - len(data) % 32) % 32)
    return "0x" + (word(32) + word(len(data)) + padded).hex()


def token_hex(rng, token_id):
    svg = figure_svg(rng, 24, rng.randint(150, 576))
    image = "data:image/svg+xml;base64," + base64.b64encode(svg.encode()).decode()
    metadata = ('{"name":"Zibble #%d","description":"A pixel-art creature.","image":"%s",'
                '"attributes":[{"trait_type":"Eyes","value":"Round"}]}' % (token_id, image))
    return abi_string_hex("data:application/json;base64," +
                          base64.b64encode(metadata.encode()).decode())


def generate(path, megabytes, tokens):
    """Lines until `tokens` of them, else until `megabytes` are written."""
    rng = random.Random(13)
    target = megabytes * 1_000_000
    written = lines = 0
    with open(path, "w") as out:
        while (lines < tokens) if tokens else (written < target):
            lines += 1
            if lines % 97 == 0:
                line = REVERT % lines
            elif lines % 89 == 0:
                line = token_hex(rng, lines)
            else:
                line = '{"jsonrpc":"2.0","id":%d,"result":"%s"}' % (lines, token_hex(rng, lines))
            out.write(line + "\n")
            written += len(line) + 1
    return written, lines


def timed_run(command, path):
    """Wall seconds, CPU seconds (user + system, all threads), page faults and exit status."""
    with open(path, "rb") as source, open(os.devnull, "wb") as sink:
        start = time.perf_counter()
        process = subprocess.Popen(command, stdin=source, stdout=sink)
        _, status, usage = os.wait4(process.pid, 0)
        wall = time.perf_counter() - start
        return (wall, usage.ru_utime + usage.ru_stime, usage.ru_minflt + usage.ru_majflt,
                os.waitstatus_to_exitcode(status))


def peak_rss_mib(inspect, path, copies):
    """Pipes the file in `copies` times and gives the program's peak resident set in MiB."""
    with open(os.devnull, "wb") as sink:
        process = subprocess.Popen([inspect, "--batch"], stdin=subprocess.PIPE, stdout=sink)
        with open(path, "rb") as source:
            for _ in range(copies):
                source.seek(0)
                while block := source.read(1 << 20):
                    process.stdin.write(block)
        process.stdin.close()
        _, _, usage = os.wait4(process.pid, 0)
        return usage.ru_maxrss / 1024


def programs_of(args):
    """(label, command) of each program, the script last."""
    programs = []
    if args.before:
        programs.append(("before", [args.before, "--batch"]))
    programs.append(("inspector", [args.inspect, "--batch"]))
    node = shutil.which("node")
    if node and not args.no_reference:
        script = os.path.join(os.path.dirname(os.path.abspath(__file__)), "inspect-batch-reference.mjs")
        programs.append(("node", [node, script]))
    return programs


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("inspect")
    parser.add_argument("--before", help="an earlier build of zibbles-inspect, timed alongside")
    parser.add_argument("--tokens", type=int, default=0, help="this many answers (else --megabytes)")
    parser.add_argument("--megabytes", type=int, default=200)
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--memory-gb", type=float, default=1.0)
    parser.add_argument("--no-reference", action="store_true", help="leave the Node.js script out")
    args = parser.parse_args()
    programs = programs_of(args)

    with tempfile.TemporaryDirectory(prefix="zibbles-batch-bench.") as folder:
        path = os.path.join(folder, "answers.jsonl")
        size, lines = generate(path, args.megabytes, args.tokens)
        print(f"input: {size / 1e6:.1f} MB, {lines} lines ({path})")
        results = {label: [] for label, _ in programs}
        for run in range(args.runs):
            for label, command in programs:
                wall, cpu, faults, status = timed_run(command, path)
                if status not in (0, 1):
                    sys.exit(f"run {run + 1}: {label} exited {status}")
                results[label].append((wall, cpu, faults))
                print(f"run {run + 1} {label:>9}: {wall:.3f} s wall, {cpu:.3f} s CPU, "
                      f"{faults} page faults")
        print(f"medians of {args.runs} runs, side by side:")
        medians = {}
        for label, _ in programs:
            walls = [r[0] for r in results[label]]
            medians[label] = wall = statistics.median(walls)
            cpu = statistics.median(r[1] for r in results[label])
            faults = statistics.median(r[2] for r in results[label])
            print(f"  {label:>9}: {wall:.3f} s ({min(walls):.3f}-{max(walls):.3f}), "
                  f"{size / wall / 1e6:.0f} MB/s; CPU {cpu:.3f} s; {faults:.0f} page faults")
        if "node" in medians:
            for label in medians:
                if label != "node":
                    print(f"  node / {label}: {medians['node'] / medians[label]:.1f}x")
        if args.memory_gb > 0:
            copies = max(1, round(args.memory_gb * 1e9 / size))
            rss = peak_rss_mib(args.inspect, path, copies)
            print(f"peak resident set on {copies * size / 1e9:.2f} GB piped in: {rss:.1f} MiB")


if __name__ == "__main__":
    main()
