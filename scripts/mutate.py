#!/usr/bin/env python3
"""Measures what the test suite catches: applies one-line faults to a scratch copy of the tree,
one at a time, rebuilds incrementally, runs the suite and reports which faults it kills.

Faults come from scripts/mutations.txt (see the head of that file for its format). The working
tree is never modified: every fault is applied to a copy under the scratch folder (default
build-mutate/ in the tree), which keeps its own build folder between runs so that each fault
costs one incremental build. The copy is brought in line with the working tree at the start
(committed or not), and every fault is reverted after its run, whatever happens.

Statuses:
  killed       a test failed, crashed or timed out (the table names it and how)
  survived     the whole selected suite passed with the fault in place
  gone         the fault's original text is no longer in its file (not counted)
  ambiguous    the original text occurs more than once in its file (not counted)
  build-error  the fault does not compile (not counted)
  not-built    nothing was compiled for it: no selected target uses the file (not counted)
  error        the suite could not be run (not counted)

Kill rate = killed / (killed + survived).

Examples:
  nice -n 15 scripts/mutate.py                       # every fault, the whole suite
  scripts/mutate.py --check                          # only validate the list against the tree
  scripts/mutate.py W1 W2 --tests 'tst_(client|linegrammar)'
  scripts/mutate.py --all-tests --markdown kill-table.md
"""

import argparse
import os
import re
import shutil
import signal
import subprocess
import sys
import threading
import time
from dataclasses import dataclass, field
from typing import List, Optional

SEPARATOR = "|||"
FIELDS = 5
TREE = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
# Targets built besides the test executables: the console, and the simulated machine and tools
# that the tests start, so that a fault in any of them always compiles.
EXTRA_TARGETS = ["tarn", "tarn-machine", "tarn-img", "tarn-report"]
COUNTED = ("killed", "survived")
KILL_GRACE_SECONDS = 10
# "  3/20 Test  #3: tst_client ......***Failed    1.00 sec", also "Subprocess aborted***Exception:".
CTEST_RESULT = re.compile(r"Test\s+#\d+: (\S+) \.+\s*(.*?)\s+[\d.]+ sec")
ADD_TEST = re.compile(r'^add_test\((\S+) "([^"]+)"', re.MULTILINE)
COMPILE_LINE = re.compile(r"Building (?:CXX|C) object")
# Qt Test's "FAIL!  : TestClient::lines(57) Compared values are not the same", "PASS   : ...".
QTEST_RESULT = re.compile(r"^(FAIL!|PASS)\s+: (\w+::\w+)")


@dataclass
class Fault:
    id: str
    path: str
    original: str
    replacement: str
    description: str
    list_line: int
    file_line: Optional[int] = None
    status: str = ""
    killers: List[str] = field(default_factory=list)
    functions: List[str] = field(default_factory=list)  # failing Qt Test functions
    seconds: float = 0.0
    note: str = ""


class Interrupted(Exception):
    pass


# ---- the fault list ----------------------------------------------------------------------------


def load_faults(list_path):
    faults, problems, seen = [], [], set()
    with open(list_path, encoding="utf-8") as f:
        for number, raw in enumerate(f, 1):
            line = raw.rstrip("\n")
            if not line.strip() or line.lstrip().startswith("#"):
                continue
            parts = [p.strip() for p in line.split(SEPARATOR)]
            if len(parts) != FIELDS:
                problems.append(f"{list_path}:{number}: {len(parts)} fields, want {FIELDS}")
                continue
            fid, path, original, replacement, description = parts
            if not fid or not path or not original:
                problems.append(f"{list_path}:{number}: empty id, file or original text")
                continue
            if fid in seen:
                problems.append(f"{list_path}:{number}: id {fid} used twice")
                continue
            if original == replacement:
                problems.append(f"{list_path}:{number}: {fid} replaces the text with itself")
                continue
            seen.add(fid)
            faults.append(Fault(fid, path, original, replacement, description, number))
    return faults, problems


def locate(fault, root):
    """Sets file_line, or the status gone / ambiguous; the text is looked for in root."""
    full = os.path.join(root, fault.path)
    if not os.path.isfile(full):
        fault.status, fault.note = "gone", "file not found"
        return
    with open(full, encoding="utf-8") as f:
        text = f.read()
    count = text.count(fault.original)
    if count == 0:
        fault.status, fault.note = "gone", "original text not found"
    elif count > 1:
        fault.status, fault.note = "ambiguous", f"original text occurs {count} times"
    else:
        fault.file_line = text[: text.index(fault.original)].count("\n") + 1


# ---- processes ---------------------------------------------------------------------------------


class Runner:
    """Starts child processes as leaders of their own process groups and ends whole groups, so
    that no compiler, test or simulated machine of a fault outlives it."""

    POLL_SECONDS = 0.2

    def __init__(self):
        self.lock = threading.Lock()
        self.children = {}  # Popen -> when it was asked to end, or None
        self.stopping = False

    def run(self, args, cwd, log_path, env=None, timeout=None, until=None):
        """Runs args with its output appended to log_path; the exit code, or None when it was
        ended early: after timeout seconds, or once until(line) is true for a line of output."""
        if self.stopping:
            raise Interrupted()
        with open(log_path, "ab") as log:
            log.write(("$ " + " ".join(args) + "\n").encode())
            log.flush()
            start = log.tell()
            proc = subprocess.Popen(args, cwd=cwd, env=env, stdout=log, stderr=subprocess.STDOUT,
                                    start_new_session=True)
        with self.lock:
            self.children[proc] = None
        deadline = time.monotonic() + timeout if timeout else None
        ended_early = False
        try:
            with open(log_path, "rb") as out:
                out.seek(start)
                pending = b""
                while True:
                    exited = self.exited(proc)
                    pending += out.read()
                    *lines, pending = pending.split(b"\n")
                    for line in lines:
                        if until and not ended_early and until(line.decode(errors="replace")):
                            ended_early = True
                            self.terminate(proc)
                    if exited:
                        break
                    if deadline and not ended_early and time.monotonic() > deadline:
                        ended_early = True
                        self.terminate(proc)
                        with open(log_path, "ab") as log:
                            log.write(f"\n*** runner: gave up after {timeout} s\n".encode())
                    self.escalate(proc)
                    time.sleep(self.POLL_SECONDS)
            # Exited but not yet reaped, so its group id is still its own: whatever it left
            # behind in the group goes now.
            self.signal_group(proc, signal.SIGKILL)
            rc = proc.wait()
            return None if ended_early else rc
        finally:
            with self.lock:
                self.children.pop(proc, None)
            if self.stopping:
                raise Interrupted()

    @staticmethod
    def exited(proc):
        try:
            return os.waitid(os.P_PID, proc.pid, os.WEXITED | os.WNOHANG | os.WNOWAIT) is not None
        except ChildProcessError:
            return True

    @staticmethod
    def signal_group(proc, sig):
        try:
            os.killpg(proc.pid, sig)
        except ProcessLookupError:
            pass

    def terminate(self, proc):
        # SIGTERM first: ninja and make then stop the compilers they run in groups of their own
        # (an orphaned one could write a faulty object after the revert).
        with self.lock:
            if self.children.get(proc) is None:
                self.children[proc] = time.monotonic()
        self.signal_group(proc, signal.SIGTERM)

    def escalate(self, proc):
        with self.lock:
            asked = self.children.get(proc)
        if asked is not None and time.monotonic() - asked > KILL_GRACE_SECONDS:
            self.signal_group(proc, signal.SIGKILL)

    def stop_all(self):
        self.stopping = True
        with self.lock:
            procs = list(self.children)
        for proc in procs:
            self.terminate(proc)


# ---- the scratch copy --------------------------------------------------------------------------


def source_files(root):
    out = subprocess.run(["git", "ls-files", "-z", "--cached", "--others", "--exclude-standard"],
                         cwd=root, check=True, stdout=subprocess.PIPE).stdout.decode()
    return sorted(p for p in out.split("\0") if p and os.path.isfile(os.path.join(root, p)))


def sync_tree(root, copy):
    """Makes copy hold exactly root's source files. Files whose content is unchanged keep their
    time stamps, so the build in the copy stays incremental; changed ones are written anew."""
    wanted = set(source_files(root))
    os.makedirs(copy, exist_ok=True)
    for rel in wanted:
        src, dst = os.path.join(root, rel), os.path.join(copy, rel)
        with open(src, "rb") as f:
            data = f.read()
        if os.path.isfile(dst):
            with open(dst, "rb") as f:
                if f.read() == data:
                    continue
        os.makedirs(os.path.dirname(dst), exist_ok=True)
        with open(dst, "wb") as f:
            f.write(data)
        shutil.copymode(src, dst)
    for here, dirs, files in os.walk(copy, topdown=False):
        for name in files:
            rel = os.path.relpath(os.path.join(here, name), copy)
            if rel not in wanted:
                os.remove(os.path.join(here, name))
        if here != copy and not os.listdir(here):
            os.rmdir(here)


def coarse_timestamps(folder):
    probe = os.path.join(folder, ".mtime-probe")
    with open(probe, "w") as f:
        f.write("x")
    fine = os.stat(probe).st_mtime_ns % 1_000_000_000 != 0
    os.remove(probe)
    return not fine


def failing_functions(output):
    """The Qt Test functions that failed in ctest's output of failed tests; for a test that
    crashed or hung without a failure line, "after" the last function that passed."""
    functions = []
    block_failed, block_functions, last_passed = False, [], None

    def close_block():
        if block_failed:
            functions.extend(block_functions or ([f"after {last_passed}"] if last_passed else []))

    for line in output.splitlines():
        result = CTEST_RESULT.search(line)
        if result:
            close_block()
            block_failed, block_functions, last_passed = result.group(2) != "Passed", [], None
            continue
        m = QTEST_RESULT.match(line)
        if m and m.group(1) == "FAIL!":
            block_functions.append(m.group(2))
        elif m:
            last_passed = m.group(2)
    close_block()
    return list(dict.fromkeys(functions))


def how_it_failed(status):
    if "Timeout" in status:
        return " (timeout)"
    if "Exception" in status or "aborted" in status.lower():
        return " (crash)"
    if "Not Run" in status:
        return " (not run)"
    return ""


def compiled(path, build_output):
    """Whether the build compiled the faulty file: its own object for a source file, anything
    for a header, whose dependants are not known here."""
    if path.endswith((".cpp", ".cc", ".cxx")):
        return ("/" + os.path.basename(path) + ".o") in build_output
    return COMPILE_LINE.search(build_output) is not None


class Workspace:
    """One scratch copy with its build folder; one fault at a time runs in it."""

    def __init__(self, base, index, args, runner):
        self.folder = os.path.join(base, f"w{index}")
        self.src = os.path.join(self.folder, "src")
        self.build = os.path.join(self.folder, "build")
        self.logs = os.path.join(self.folder, "logs")
        self.args = args
        self.runner = runner
        self.targets = []
        self.coarse = False

    def prepare(self):
        os.makedirs(self.logs, exist_ok=True)
        sync_tree(TREE, self.src)
        self.coarse = coarse_timestamps(self.folder)
        log = os.path.join(self.logs, "baseline.log")
        if os.path.exists(log):
            os.remove(log)
        if not os.path.isfile(os.path.join(self.build, "CMakeCache.txt")):
            configure = ["cmake", "-S", self.src, "-B", self.build, "-DCMAKE_BUILD_TYPE=Release"]
            if shutil.which("ninja"):
                configure += ["-G", "Ninja"]
            if self.runner.run(configure, TREE, log) != 0:
                raise SystemExit(f"configuring {self.build} failed, see {log}")
        self.targets = self.test_targets() + EXTRA_TARGETS
        if not self.build_targets(log):
            raise SystemExit(f"the unchanged tree does not build, see {log}")

    def test_targets(self):
        """The executables of the selected tests, read from the generated test files: ctest only
        reports a test's command once its executable exists."""
        selected = re.compile(self.args.tests) if self.args.tests else None
        names = []
        for here, _, files in os.walk(self.build):
            if "CTestTestfile.cmake" not in files:
                continue
            with open(os.path.join(here, "CTestTestfile.cmake"), encoding="utf-8") as f:
                for m in ADD_TEST.finditer(f.read()):
                    if selected is None or selected.search(m.group(1)):
                        if os.path.abspath(m.group(2)).startswith(os.path.abspath(self.build)):
                            names.append(os.path.basename(m.group(2)))
        if not names:
            raise SystemExit("no test matches " + (self.args.tests or "(all)"))
        return sorted(set(names))

    def build_targets(self, log):
        args = ["cmake", "--build", self.build, "--parallel", str(self.args.build_jobs), "--target"]
        return self.runner.run(args + self.targets, TREE, log) == 0

    def limit_test_times(self):
        # The suite's own TIMEOUT properties are far longer than a fault's run should wait, and
        # ctest's --timeout only fills in tests without one: lower them in this build only.
        pattern = re.compile(r'(\bTIMEOUT ")(\d+(?:\.\d+)?)(")')
        limit = self.args.timeout
        for here, _, files in os.walk(self.build):
            if "CTestTestfile.cmake" not in files:
                continue
            path = os.path.join(here, "CTestTestfile.cmake")
            with open(path, encoding="utf-8") as f:
                text = f.read()
            lowered = pattern.sub(
                lambda m: "%s%g%s" % (m.group(1), min(float(m.group(2)), limit), m.group(3)), text)
            if lowered != text:
                with open(path, "w", encoding="utf-8") as f:
                    f.write(lowered)

    def run_suite(self, log, stop_on_failure):
        """(True, [], []) when every selected test passed, (False, failing tests, failing test
        functions) when one did not, None when ctest could not run."""
        self.limit_test_times()
        args = ["ctest", "-j", str(self.args.test_jobs), "--timeout", str(self.args.timeout),
                "--output-on-failure"]
        if stop_on_failure:
            args.append("--stop-on-failure")
        if self.args.tests:
            args += ["-R", self.args.tests]
        env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
        with open(log, "a", encoding="utf-8"):
            pass
        start = os.path.getsize(log)
        # A guard for ctest itself; each test has its own limit.
        whole = self.args.timeout * (len(self.targets) + 2) + 60
        failures = []

        def note_result(line):
            m = CTEST_RESULT.search(line)
            if m and m.group(2) != "Passed":
                failures.append(m.group(1) + how_it_failed(m.group(2)))
            # --stop-on-failure only stops starting tests; those still running are ended here.
            return stop_on_failure and bool(failures)

        rc = self.runner.run(args, self.build, log, env=env, timeout=whole, until=note_result)
        if rc is None and not failures:
            failures.append("ctest (timeout)")
        if rc and not failures:
            # A result line in a form not known here: ctest still lists what failed.
            listed = os.path.join(self.build, "Testing", "Temporary", "LastTestsFailed.log")
            if os.path.isfile(listed):
                with open(listed, encoding="utf-8", errors="replace") as f:
                    failures = [l.strip().split(":", 1)[-1] for l in f if l.strip()]
        if rc == 0 and not failures:
            return True, [], []
        if not failures:
            return None
        with open(log, encoding="utf-8", errors="replace") as f:
            f.seek(start)
            return False, failures, failing_functions(f.read())

    def baseline(self):
        log = os.path.join(self.logs, "baseline.log")
        result = self.run_suite(log, stop_on_failure=False)
        if result is None or not result[0]:
            failing = ", ".join(result[1]) if result else "ctest did not run"
            raise SystemExit(f"the unchanged tree fails its suite ({failing}), see {log}")

    def write(self, path, text):
        if self.coarse:
            time.sleep(1.1)  # a build in the same second would not see the change
        with open(path, "w", encoding="utf-8", newline="") as f:
            f.write(text)

    def try_fault(self, fault):
        path = os.path.join(self.src, fault.path)
        log = os.path.join(self.logs, f"{fault.id}.log")
        if os.path.exists(log):
            os.remove(log)
        with open(path, encoding="utf-8", newline="") as f:
            original_text = f.read()
        if original_text.count(fault.original) != 1:
            locate(fault, self.src)
            return
        start = time.monotonic()
        try:
            self.write(path, original_text.replace(fault.original, fault.replacement, 1))
            before = os.path.getsize(log) if os.path.exists(log) else 0
            if not self.build_targets(log):
                fault.status = "build-error"
                with open(log, encoding="utf-8", errors="replace") as f:
                    f.seek(before)
                    first = next((l for l in f if "error:" in l), "")
                fault.note = first.split("error:", 1)[-1].strip()[:80]
                return
            with open(log, encoding="utf-8", errors="replace") as f:
                f.seek(before)
                if not compiled(fault.path, f.read()):
                    fault.status, fault.note = "not-built", "no selected target compiles the file"
                    return
            result = self.run_suite(log, stop_on_failure=not self.args.all_tests)
            if result is None:
                fault.status, fault.note = "error", "ctest did not run"
            elif result[0]:
                fault.status = "survived"
            else:
                fault.status, fault.killers, fault.functions = "killed", result[1], result[2]
        finally:
            # Rewritten, not restored with its old time stamp: the build must see the change back.
            self.write(path, original_text)
            fault.seconds = time.monotonic() - start


# ---- reporting ---------------------------------------------------------------------------------


def where(fault):
    return f"{fault.path}:{fault.file_line}" if fault.file_line else fault.path


def killed_by(fault):
    if fault.status == "killed":
        return ", ".join(fault.killers)
    return fault.note


def summary(faults):
    counts = {}
    for f in faults:
        counts[f.status] = counts.get(f.status, 0) + 1
    killed, survived = counts.get("killed", 0), counts.get("survived", 0)
    counted = killed + survived
    rate = 100.0 * killed / counted if counted else 0.0
    others = ", ".join(f"{n} {s}" for s, n in sorted(counts.items()) if s not in COUNTED)
    text = f"kill rate {rate:.1f} % ({killed} killed of {counted} counted"
    return text + (f"; not counted: {others})" if others else ")"), rate


def print_table(faults, out):
    rows = [("id", "where", "status", "killed by / note", "time")]
    rows += [(f.id, where(f), f.status, killed_by(f), f"{f.seconds:.0f}s" if f.seconds else "")
             for f in faults]
    widths = [max(len(r[i]) for r in rows) for i in range(len(rows[0]))]
    for r in rows:
        out.write("  ".join(c.ljust(w) for c, w in zip(r, widths)).rstrip() + "\n")
    out.write(summary(faults)[0] + "\n")


def tree_state():
    def git(*args):
        return subprocess.run(["git", *args], cwd=TREE, stdout=subprocess.PIPE,
                              stderr=subprocess.DEVNULL).stdout.decode().strip()
    head = git("rev-parse", "--short", "HEAD")
    dirty = git("status", "--porcelain", "--untracked-files=no")
    dirty = " with uncommitted changes" if dirty else ""
    return f"{git('rev-parse', '--abbrev-ref', 'HEAD')} at {head}{dirty}"


def write_markdown(faults, path, args, started):
    def cell(text):
        return text.replace("|", "\\|").replace("\n", " ")

    how = "every test run for each fault" if args.all_tests else "stopped at the first failing test"
    lines = ["# Mutation kill table", "",
             f"- Tree: {tree_state()}",
             f"- Run: {time.strftime('%Y-%m-%d %H:%M', time.localtime(started))}, "
             f"{(time.time() - started) / 60:.0f} min; tests: {args.tests or 'all'}; "
             f"per-test limit {args.timeout} s; {how}",
             f"- Result: {summary(faults)[0]}", "",
             "| id | where | fault | status | killed by / note | failing test functions | time |",
             "|---|---|---|---|---|---|---|"]
    for f in faults:
        lines.append(f"| {f.id} | {cell(where(f))} | {cell(f.description)} | {f.status} | "
                     f"{cell(killed_by(f))} | {cell(', '.join(f.functions))} | "
                     f"{f'{f.seconds:.0f} s' if f.seconds else ''} |")
    with open(path, "w", encoding="utf-8") as out:
        out.write("\n".join(lines) + "\n")


# ---- main --------------------------------------------------------------------------------------


def parse_args():
    p = argparse.ArgumentParser(description=__doc__.split("\n\n")[0],
                                formatter_class=argparse.RawDescriptionHelpFormatter,
                                epilog="\n\n".join(__doc__.split("\n\n")[1:]))
    p.add_argument("ids", nargs="*", help="run only these faults (default: all)")
    p.add_argument("--list", default=os.path.join(TREE, "scripts", "mutations.txt"),
                   help="fault list (default: scripts/mutations.txt)")
    p.add_argument("--tests", metavar="REGEX", help="run only the tests matching REGEX (ctest -R)")
    p.add_argument("--timeout", type=int, default=120,
                   help="per-test limit in seconds (default 120)")
    p.add_argument("--all-tests", action="store_true",
                   help="run every selected test for each fault, naming every test that kills it "
                        "(default: stop at the first failing test)")
    p.add_argument("--jobs", type=int, default=1,
                   help="faults tried at once, each in its own scratch copy (default 1)")
    p.add_argument("--test-jobs", type=int, default=2, help="ctest -j (default 2)")
    p.add_argument("--build-jobs", type=int, default=2, help="parallel build jobs (default 2)")
    p.add_argument("--nice", type=int, default=10, help="niceness added to the runner (default 10)")
    p.add_argument("--scratch", default=os.path.join(TREE, "build-mutate"),
                   help="folder of the scratch copies and their builds (default build-mutate/)")
    p.add_argument("--markdown", metavar="FILE", help="also write the table as Markdown to FILE")
    p.add_argument("--no-baseline", action="store_true",
                   help="skip running the suite on the unchanged copy first")
    p.add_argument("--check", action="store_true",
                   help="only check the list against the working tree; build and run nothing")
    return p.parse_args()


def main():
    args = parse_args()
    faults, problems = load_faults(args.list)
    if problems:
        sys.exit("\n".join(problems))
    if args.ids:
        unknown = set(args.ids) - {f.id for f in faults}
        if unknown:
            sys.exit("unknown fault ids: " + " ".join(sorted(unknown)))
        faults = [f for f in faults if f.id in set(args.ids)]
    for f in faults:
        locate(f, TREE)
    if args.check:
        for f in faults:
            print(f"{f.id:5} {where(f):45} {f.status or 'ok'} {f.note}")
        sys.exit(1 if any(f.status for f in faults) else 0)

    os.nice(args.nice)
    runner = Runner()
    started = time.time()

    def interrupt(signum, _frame):
        print(f"\n*** {signal.Signals(signum).name}: stopping; every fault is reverted",
              file=sys.stderr)
        runner.stop_all()

    signal.signal(signal.SIGINT, interrupt)
    signal.signal(signal.SIGTERM, interrupt)

    todo = [f for f in faults if not f.status]
    jobs = max(1, min(args.jobs, len(todo)))
    lock = threading.Lock()
    errors = []

    def worker(index):
        ws = Workspace(args.scratch, index, args, runner)
        try:
            print(f"[w{index}] preparing {ws.folder}", flush=True)
            ws.prepare()
            if not args.no_baseline:
                ws.baseline()
                print(f"[w{index}] the unchanged tree passes", flush=True)
            while True:
                with lock:
                    if not todo:
                        break
                    fault = todo.pop(0)
                ws.try_fault(fault)
                print(f"[w{index}] {fault.id:5} {where(fault):40} {fault.status:11} "
                      f"{killed_by(fault)} ({fault.seconds:.0f} s)", flush=True)
            # The last revert is compiled too: the scratch build never keeps a faulty object.
            if not ws.build_targets(os.path.join(ws.logs, "final.log")):
                print(f"[w{index}] the reverted copy does not build, see {ws.logs}/final.log")
        except Interrupted:
            pass
        except SystemExit as e:
            errors.append(str(e))
            runner.stop_all()

    threads = [threading.Thread(target=worker, args=(i,)) for i in range(jobs)]
    for t in threads:
        t.start()
    for t in threads:
        while t.is_alive():
            t.join(0.5)
    if errors:
        sys.exit("\n".join(errors))
    for f in faults:
        if not f.status:
            f.status, f.note = "error", "not run (interrupted)"
    print()
    print_table(faults, sys.stdout)
    if args.markdown:
        write_markdown(faults, args.markdown, args, started)
    sys.exit(130 if runner.stopping else 0)


if __name__ == "__main__":
    main()
