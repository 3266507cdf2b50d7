#!/usr/bin/env python3
"""Mutation testing of the product code: plants one small fault at a time in
formats/, simulators/, dumper/, emulator/, dumptool/ and common/, rebuilds, runs the tests and lists
the faults no test noticed (the survivors).

Mutations: flip a comparison (< <= > >= == !=), drop a statement, swap the
two arguments of a call, change an integer constant by one. The mutants are
made in a private copy of the sources (build/mutation/src) with a build
directory of their own (build/mutation/build, through ccache), so the working
tree is never touched. Mutants that do not compile are not counted.

  tools/mutate.py --list                       # every mutant, numbered
  tools/mutate.py --sample 60 --seed 7         # a seeded sample, run
  tools/mutate.py --only formats/dump_reader.cc:57   # the mutants of one line
  tools/mutate.py --ids 12,40 --keep            # given mutants; keep the last applied

Each mutant runs the test commands (--test, repeatable; by default the unit
tests and the end-to-end tests that take seconds) with a time limit; a
failing or overrunning command kills the mutant. The summary and the
survivors go to standard output and, with --report, to a Markdown file.
"""

import argparse
import dataclasses
import json
import os
import random
import re
import shutil
import subprocess
import sys
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
PRODUCT_FOLDERS = ("formats", "simulators", "dumper", "emulator", "dumptool", "common")
# Sampled first and more densely: the container and the iRacing path, where
# a silent fault costs recorded data.
PRIORITY = re.compile(r"^formats/|^simulators/")

# Stages of (targets to build, command to run): a mutant the unit tests
# kill costs no link of the end-to-end programs.
DEFAULT_STAGES = (
    ("unit_tests", "{build}/tests/unit_tests --gtest_brief=1"),
    ("e2e_tests", "{build}/tests/e2e/e2e_tests --gtest_brief=1 --gtest_filter={e2e_filter}"),
)
# End-to-end tests quick enough to run for every mutant.
DEFAULT_E2E_FILTER = ("EmulatorConsole.*:AccRoundTrip.*:IracingRoundTrip.SixtyFramesPerSecond:"
                      "IracingReplay.*:RowsRewrittenWhileRecorded.*:TerminationRequests.*:"
                      "DumperConsole.CtrlCWhileWaiting*:ReplayControl.KeysOnARealTerminal*:NonsenseHeaders.*:"
                      "DumptoolRepair.*:DumptoolDamagedInput.*:DumptoolOutput.NeverReplaces*:Version.*")


@dataclasses.dataclass
class Mutant:
    path: str       # relative to the repository
    line: int       # 1-based
    column: int     # 0-based, in the line
    operator: str
    original: str   # the text replaced
    replacement: str

    def describe(self):
        return f"{self.path}:{self.line} {self.operator}: `{self.original}` -> `{self.replacement}`"


COMPARISONS = {"<": ">=", ">=": "<", ">": "<=", "<=": ">", "==": "!=", "!=": "=="}
# A binary comparison written with spaces around it, as this code base does;
# excludes shifts, arrows, templates and the spaceship.
COMPARISON = re.compile(r"(?<=[\w)\]]) (<=|>=|==|!=|<|>) (?=[\w(!\-*&:.'\"])")
CALL_WITH_TWO = re.compile(r"\b[A-Za-z_][\w:]*\(([^(),<>]+), ([^(),<>]+)\)")
INTEGER = re.compile(r"(?<![\w.'])(\d+)(?![\w.'])")
# Statements a test could miss: calls and assignments, not declarations.
DROPPABLE = re.compile(r"^\s*(?:[\w.\->\[\]:*]+\s*(?:[-+*/|&]?=|\+\+|--)\s*[^;]*|[\w.\->:\[\]*]+\([^;]*\)|"
                       r"(?:\+\+|--)[\w.\->]+|continue|break);\s*(?://.*)?$")


def code_part(line):
    """The line without a trailing // comment and with string contents blanked."""
    out, i, quote = [], 0, None
    while i < len(line):
        c = line[i]
        if quote:
            if c == "\\":
                out.append("  ")
                i += 2
                continue
            out.append(c if c == quote else " ")
            if c == quote:
                quote = None
        elif c in "\"'":
            # A digit separator is no quote.
            if c == "'" and i > 0 and line[i - 1].isdigit() and i + 1 < len(line) and line[i + 1].isalnum():
                out.append(c)
            else:
                quote = c
                out.append(c)
        elif line.startswith("//", i):
            break
        else:
            out.append(c)
        i += 1
    return "".join(out)


# A parameter list rather than arguments: "Type name, Type name".
DECLARATION = re.compile(r"^(?:const\s+)?[\w:]+(?:<[^>]*>)?[&*]*\s+[&*]?\w+$")


def mutants_of(path, text):
    found = []
    in_block_comment = False
    statement_starts = True  # the previous code line ended a statement or opened a block
    for number, raw in enumerate(text.splitlines(), start=1):
        starts_here = statement_starts
        if raw.strip() and not raw.strip().startswith(("//", "#")):
            statement_starts = code_part(raw).rstrip().endswith((";", "{", "}", ":"))
        stripped = raw.strip()
        if in_block_comment:
            if "*/" in stripped:
                in_block_comment = False
            continue
        if stripped.startswith("/*"):
            in_block_comment = "*/" not in stripped
            continue
        if (not stripped or stripped.startswith(("//", "#", "static_assert", "namespace", "using ", "template"))
                or "operator" in stripped):
            continue
        code = code_part(raw)
        for match in COMPARISON.finditer(code):
            op = match.group(1)
            found.append(Mutant(path, number, match.start(1), "flip comparison", op, COMPARISONS[op]))
        for match in CALL_WITH_TWO.finditer(code):
            # Matched on the blanked line, taken from the real one, which has
            # the same columns: a string argument moves with its text.
            a, b = raw[match.start(1):match.end(1)].strip(), raw[match.start(2):match.end(2)].strip()
            if a == b or not a or not b or DECLARATION.match(a) or DECLARATION.match(b):
                continue
            start = match.start(1)
            original = raw[start:match.end(2)]
            found.append(Mutant(path, number, start, "swap arguments", original, f"{b}, {a}"))
        for match in INTEGER.finditer(code):
            if len(match.group(1)) > 1 and match.group(1).startswith("0"):
                continue  # octal
            value = int(match.group(1))
            found.append(Mutant(path, number, match.start(1), "constant by one", match.group(1),
                                str(value + 1) if value == 0 or (number + value) % 2 else str(value - 1)))
        if (starts_here and DROPPABLE.match(code)
                and not stripped.startswith(("return", "throw", "case", "default"))):
            first = len(raw) - len(raw.lstrip())
            found.append(Mutant(path, number, first, "drop statement", raw[first:].rstrip(), ";"))
    return found


# Compiled only for Windows: a mutant there could never be killed here.
NOT_BUILT_HERE = re.compile(r"_win32\.cc$")


def all_mutants():
    result = []
    for folder in PRODUCT_FOLDERS:
        for file in sorted((ROOT / folder).rglob("*.cc")):
            relative = file.relative_to(ROOT).as_posix()
            if NOT_BUILT_HERE.search(relative):
                continue
            result.extend(mutants_of(relative, file.read_text()))
    return result


def line_text(mutant):
    return (ROOT / mutant.path).read_text().splitlines()[mutant.line - 1].strip()


def same_mutant(mutants, entry):
    """The mutant an earlier --json entry stands for, also where lines were
    added or removed above it since: the nearest one of the same kind within
    a few lines, on a line of the same text."""
    same = [m for m in mutants if (m.path, m.column, m.operator, m.original, m.replacement) ==
            (entry["path"], entry["column"], entry["operator"], entry["original"], entry["replacement"])
            and abs(m.line - entry["line"]) <= 10 and ("text" not in entry or line_text(m) == entry["text"])]
    return min(same, key=lambda m: abs(m.line - entry["line"])) if same else None


def sample(mutants, count, seed):
    """A seeded sample, two thirds from the priority files when there are enough."""
    rng = random.Random(seed)
    priority = [m for m in mutants if PRIORITY.search(m.path)]
    rest = [m for m in mutants if not PRIORITY.search(m.path)]
    take_priority = min(len(priority), (2 * count + 2) // 3)
    chosen = rng.sample(priority, take_priority) + rng.sample(rest, min(len(rest), count - take_priority))
    chosen.sort(key=lambda m: (m.path, m.line, m.column))
    return chosen


def apply(mutant, source_root):
    file = source_root / mutant.path
    lines = file.read_text().splitlines(keepends=True)
    line = lines[mutant.line - 1]
    if mutant.operator == "drop statement":
        body = line.rstrip("\n")
        new = body[:mutant.column] + ";" + "\n"
    else:
        end = mutant.column + len(mutant.original)
        assert line[mutant.column:end] == mutant.original, (mutant.describe(), line)
        new = line[:mutant.column] + mutant.replacement + line[end:]
    lines[mutant.line - 1] = new
    file.write_text("".join(lines))


def run(command, timeout, cwd, env=None):
    """(returncode, seconds); returncode None on time-out."""
    started = time.monotonic()
    process = subprocess.Popen(command, shell=True, cwd=cwd, env=env, stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL, start_new_session=True)
    try:
        code = process.wait(timeout=timeout)
    except subprocess.TimeoutExpired:
        os.killpg(process.pid, 9)
        process.wait()
        code = None
    return code, time.monotonic() - started


def sync_copy(source):
    """Makes `source` a copy of the working tree. Only files whose bytes
    differ are written (with a new time), so the build recompiles exactly
    what changed since the last run, never less."""
    skip = {"build", ".git", "node_modules"}
    wanted = set()
    for directory, subdirectories, files in os.walk(ROOT):
        subdirectories[:] = [d for d in subdirectories if d not in skip]
        for name in files:
            original = Path(directory) / name
            relative = original.relative_to(ROOT)
            wanted.add(relative)
            copy = source / relative
            data = original.read_bytes()
            if not copy.exists() or copy.read_bytes() != data:
                copy.parent.mkdir(parents=True, exist_ok=True)
                copy.write_bytes(data)
                shutil.copymode(original, copy)
    for directory, _, files in os.walk(source):
        for name in files:
            copy = Path(directory) / name
            if copy.relative_to(source) not in wanted:
                copy.unlink()


def prepare(work, build_type, reuse_copy):
    source, build = work / "src", work / "build"
    if not (reuse_copy and source.exists()):
        sync_copy(source)
    if not (build / "build.ninja").exists():
        subprocess.run(["cmake", "-S", str(source), "-B", str(build), "-G", "Ninja",
                        f"-DCMAKE_BUILD_TYPE={build_type}", "-DVOVE_BUILD_BENCHMARKS=OFF",
                        "-DCMAKE_CXX_FLAGS_DEBUG=-O0", "-DCMAKE_EXE_LINKER_FLAGS=-fuse-ld=gold",
                        # A mutant then recompiles its own file, not a batch.
                        "-DVOVE_UNITY_BUILD=OFF"]
                       # Without ccache every mutant still builds, only slower.
                       + (["-DCMAKE_CXX_COMPILER_LAUNCHER=ccache"] if shutil.which("ccache") else []),
                       check=True, stdout=subprocess.DEVNULL)
    return source, build


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--list", action="store_true", help="list the mutants and exit")
    parser.add_argument("--sample", type=int, default=0, help="run a seeded random sample of this many")
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--ids", help="comma-separated mutant numbers (from --list) to run")
    parser.add_argument("--only", help="PATH or PATH:LINE: run the mutants there")
    parser.add_argument("--rerun", help="run again the mutants of an earlier --json result")
    parser.add_argument("--exclude", action="append", default=[],
                        help="with --sample: leave out the mutants of this earlier --json result (repeatable)")
    parser.add_argument("--test", action="append",
                        help="TARGETS=COMMAND: build the targets, then run the command ({build} is the build "
                             "directory); repeatable, run in order")
    parser.add_argument("--reuse-copy", action="store_true",
                        help="keep the earlier copy of the sources (its tests), e.g. to finish a run")
    parser.add_argument("--e2e-filter", default=DEFAULT_E2E_FILTER)
    parser.add_argument("--timeout", type=float, default=240.0, help="seconds per mutant for all tests")
    parser.add_argument("--jobs", type=int, default=2)
    parser.add_argument("--work", default=str(ROOT / "build" / "mutation"))
    parser.add_argument("--build-type", default="Debug")
    parser.add_argument("--report", help="write the result as Markdown here")
    parser.add_argument("--json", help="write the result as JSON here")
    parser.add_argument("--keep", action="store_true", help="leave the last mutant applied in the copy")
    args = parser.parse_args()

    mutants = all_mutants()
    numbered = list(enumerate(mutants))
    if args.list:
        for number, mutant in numbered:
            print(f"{number:5d} {mutant.describe()}")
        print(f"{len(mutants)} mutants", file=sys.stderr)
        return 0
    if args.ids:
        wanted = {int(x) for x in args.ids.split(",")}
        chosen = [m for n, m in numbered if n in wanted]
    elif args.rerun:
        chosen = []
        for e in json.load(open(args.rerun)):
            same = same_mutant(mutants, e)
            if same:
                chosen.append(same)
            else:
                print(f"no longer in the code: {e['path']}:{e['line']} {e['operator']}", file=sys.stderr)
    elif args.only:
        path, _, line = args.only.partition(":")
        chosen = [m for m in mutants if m.path == path and (not line or m.line == int(line))]
    elif args.sample:
        # A fresh sample leaves out the mutants earlier runs already judged.
        seen = {id(m) for f in args.exclude for e in json.load(open(f)) if (m := same_mutant(mutants, e))}
        chosen = sample([m for m in mutants if id(m) not in seen], args.sample, args.seed)
    else:
        chosen = mutants
    number_of = {id(m): n for n, m in numbered}

    work = Path(args.work)
    work.mkdir(parents=True, exist_ok=True)
    source, build = prepare(work, args.build_type, args.reuse_copy)
    stages = [tuple(t.split("=", 1)) for t in args.test] if args.test else DEFAULT_STAGES
    stages = [(f"cmake --build {build} -j {args.jobs} --target {targets.replace(',', ' ')}",
               command.format(build=build, e2e_filter=args.e2e_filter)) for targets, command in stages]
    env = dict(os.environ)

    print(f"baseline build and tests ({len(chosen)} mutants of {len(mutants)} to run)", flush=True)
    for build_command, test in stages:
        code, _ = run(build_command, 7200, ROOT)
        if code != 0:
            print("the unmutated code does not build", file=sys.stderr)
            return 2
        code, seconds = run(test, args.timeout, build, env)
        if code != 0:
            print(f"the unmutated code fails: {test}", file=sys.stderr)
            return 2
        print(f"  {seconds:6.1f} s  {test}", flush=True)

    results = []
    for index, mutant in enumerate(chosen, start=1):
        original = (source / mutant.path).read_text()
        verdict, spent = "survived", 0.0
        try:
            apply(mutant, source)
            for build_command, test in stages:
                code, seconds = run(build_command, 1800, ROOT)
                spent += seconds
                if code != 0:
                    verdict = "no build"
                    break
                code, seconds = run(test, max(args.timeout - spent, 1.0), build, env)
                spent += seconds
                if code != 0:
                    verdict = "killed" if code is not None else "timed out"
                    break
        finally:
            if not (args.keep and index == len(chosen)):
                (source / mutant.path).write_text(original)
        results.append((number_of[id(mutant)], mutant, verdict))
        print(f"[{index}/{len(chosen)}] #{number_of[id(mutant)]} {verdict:9s} {spent:6.1f} s  {mutant.describe()}",
              flush=True)

    counted = [r for r in results if r[2] != "no build"]
    killed = [r for r in counted if r[2] in ("killed", "timed out")]
    survivors = [r for r in counted if r[2] == "survived"]
    score = 100.0 * len(killed) / len(counted) if counted else 0.0
    summary = (f"{len(results)} mutants run, {len(results) - len(counted)} did not build, "
               f"{len(killed)} killed, {len(survivors)} survived: score {score:.1f}%")
    print(summary)
    for number, mutant, _ in survivors:
        print(f"  survivor #{number} {mutant.describe()}")
    if args.report:
        with open(args.report, "w") as out:
            out.write(f"# Mutation run\n\n{summary}\n\n| # | mutant | verdict |\n|---|---|---|\n")
            for number, mutant, verdict in results:
                cell = mutant.describe().replace("|", "\\|")
                out.write(f"| {number} | {cell} | {verdict} |\n")
    if args.json:
        with open(args.json, "w") as out:
            json.dump([{"id": n, "verdict": v, "text": line_text(m), **dataclasses.asdict(m)}
                       for n, m, v in results], out, indent=1)
    return 0


if __name__ == "__main__":
    sys.exit(main())
