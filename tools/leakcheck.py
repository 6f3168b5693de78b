"""Reference-leak hunt over every case of tests/hardening/cases.py and paint_cases.py, on the debug
interpreter.

    PYTHONPATH=build/debug/pkg python3.14d tools/leakcheck.py [-k TEXT] [--calls N] [--warmups N]
                                                             [--rounds N]
    (scripts/hardening leaks builds the debug variant and runs it.)

Each case runs in its module state (patches applied); `--warmups` rounds of `--calls` calls fill the
interpreter's caches, then `--rounds` measured rounds follow. After each round the cyclic garbage and
the internal caches are cleared and sys.gettotalrefcount() and sys.getallocatedblocks() are read. As
in CPython's own refleak hunt, a case leaks when a counter grew in every measured round: one-off
growth (a cache filled late) is not a leak, steady growth is. The table gives the largest growth per
call of each counter, less the runner's own bookkeeping (measured on a no-op). Before the cases, a
deliberate leak of one object per call must be caught, so a silent runner cannot pass.

Failed imports are hunted too, each in a child process where the module has never been imported:
a standard-library module the module-level code needs is made unimportable, and every call is an
import attempt that runs create and exec and fails. So are the repeatable scenarios of
tests/hardening/fresh.py (a half-built module used after its exec failed, ColorLevel's metaclass
dropped mid-creation), each call one attempt checked against its expected outcome.

Exit status: 0 clean, 1 a leak or a case with the wrong outcome, 2 not a debug interpreter.
"""

import argparse
import gc
import json
import os
import subprocess
import sys
import time

REPO = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))

# (id, module imported, (standard-library module, what stands in for it in sys.modules))
FAILING_IMPORTS = [
    ("import tintwell.colors without re", "tintwell.colors", ("re", None)),
    ("import tintwell.colors without typing.Tuple", "tintwell.colors", ("typing", "module without Tuple")),
    ("import tintwell.detect without enum", "tintwell.detect", ("enum", None)),
]


def cleanup():
    gc.collect()
    sys._clear_internal_caches()


def counters():
    cleanup()
    return sys.gettotalrefcount(), sys.getallocatedblocks()


def hunt(once, calls, warmups, rounds):
    """Per-round growth of (references, blocks) over the measured rounds of calling `once`."""
    deltas = []
    before = counters()
    for index in range(warmups + rounds):
        for _ in range(calls):
            once()
        after = counters()
        if index >= warmups:
            deltas.append((after[0] - before[0], after[1] - before[1]))
        before = after
    return deltas


def calibrated(deltas, baseline):
    """Growth less the runner's own (its bookkeeping between rounds, measured on a no-op)."""
    return [(refs - base_refs, blocks - base_blocks)
            for (refs, blocks), (base_refs, base_blocks) in zip(deltas, baseline)]


BASELINES = {}


def hunt_calibrated(once, calls, warmups, rounds):
    key = (calls, warmups, rounds)
    if key not in BASELINES:
        BASELINES[key] = hunt(lambda: None, calls, warmups, rounds)
    return calibrated(hunt(once, calls, warmups, rounds), BASELINES[key])


def leaks(deltas):
    return any(all(delta[i] >= 1 for delta in deltas) for i in (0, 1))


def deliberate_leak():
    """A call that keeps one new object alive through a reference nobody owns."""
    import ctypes

    incref = ctypes.pythonapi.Py_IncRef
    incref.argtypes = [ctypes.py_object]
    return lambda: incref(object())


def case_caller(case):
    """One call of a catalogue case, its expected exception swallowed."""
    from hardening.cases import Raises, run_once

    expected = case.expect.type if isinstance(case.expect, Raises) else ()

    def once():
        try:
            run_once(case)
        except expected:
            pass

    return once


def failing_import(module, blocked, stand_in, options):
    """Child process: hunt repeated failing imports of `module`; prints the deltas as JSON."""
    import importlib
    import types

    if stand_in is None:
        sys.modules[blocked] = None  # `import blocked` raises ImportError
    else:
        real = importlib.import_module(blocked)
        fake = types.ModuleType(blocked)
        fake.__dict__.update({name: value for name, value in vars(real).items() if name != "Tuple"})
        sys.modules[blocked] = fake
    outcome = []

    def once():
        try:
            importlib.import_module(module)
        except ImportError:
            pass
        else:
            outcome.append("imported")

    deltas = hunt_calibrated(once, options.calls, options.warmups, options.rounds)
    print(json.dumps({"deltas": deltas, "wrong": ["the import succeeded"] if outcome else []}))
    return 0


def fresh_scenario(scenario, options):
    """Child process: hunt repeated attempts of a scenario of fresh.py; prints the deltas as JSON."""
    sys.path.insert(0, os.path.join(REPO, "tests"))
    from hardening.fresh import SCENARIOS

    run, expected, _ = SCENARIOS[scenario]
    wrong = []

    def once():
        seen = run()
        if seen != expected and not wrong:
            wrong.append(f"returned {seen!r}, expected {expected!r}")

    deltas = hunt_calibrated(once, options.calls, options.warmups, options.rounds)
    print(json.dumps({"deltas": deltas, "wrong": wrong}))
    return 0


def run_child(option, value, options):
    argv = [sys.executable, os.path.abspath(__file__), option, value,
            "--calls", str(options.calls), "--warmups", str(options.warmups), "--rounds", str(options.rounds)]
    child = subprocess.run(argv, capture_output=True, text=True, timeout=600)
    if child.returncode != 0:
        return None, [f"child failed ({child.returncode}): {child.stderr.strip()[-2000:]}"]
    report = json.loads(child.stdout)
    return [tuple(delta) for delta in report["deltas"]], report["wrong"]


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("-k", dest="match", default="", help="only cases whose id contains this text")
    parser.add_argument("--calls", type=int, default=100, help="calls per round (default 100)")
    parser.add_argument("--warmups", type=int, default=2, help="rounds before measuring (default 2)")
    parser.add_argument("--rounds", type=int, default=3, help="measured rounds (default 3)")
    parser.add_argument("--failing-import", help=argparse.SUPPRESS)
    parser.add_argument("--fresh", help=argparse.SUPPRESS)
    options = parser.parse_args()
    if not hasattr(sys, "gettotalrefcount"):
        print("leakcheck: needs a debug interpreter (python3.14d)", file=sys.stderr)
        return 2
    if options.failing_import:
        module, blocked, stand_in = options.failing_import.split(":")
        return failing_import(module, blocked, stand_in or None, options)
    if options.fresh:
        return fresh_scenario(options.fresh, options)

    sys.path.insert(0, os.path.join(REPO, "tests"))
    from hardening.cases import all_cases, check, threaded_calls
    from hardening.paint_cases import paint_cases

    started = time.monotonic()
    probe = hunt_calibrated(deliberate_leak(), options.calls, options.warmups, options.rounds)
    if not leaks(probe):
        print(f"leakcheck: the deliberate leak went unnoticed ({probe}); the runner is broken", file=sys.stderr)
        return 1
    print(f"leakcheck: deliberate leak caught (per round: {probe})")

    # (id, calls per round, function giving (deltas, problems))
    jobs = []
    stress = threaded_calls()
    for case in all_cases() + paint_cases() + [stress]:
        # One call of the threaded case is hundreds of calls on several threads.
        calls = max(1, options.calls // 10) if case is stress else options.calls

        def job(case=case, calls=calls):
            wrong = check(case)
            with case.patch():
                return hunt_calibrated(case_caller(case), calls, options.warmups, options.rounds), wrong

        jobs.append((case.id, calls, job))
    for id, module, (blocked, stand_in) in FAILING_IMPORTS:
        jobs.append((id, options.calls, lambda module=module, blocked=blocked, stand_in=stand_in:
                     run_child("--failing-import", f"{module}:{blocked}:{stand_in or ''}", options)))
    from hardening.fresh import SCENARIOS
    for scenario, (_, _, repeatable) in SCENARIOS.items():
        if repeatable:
            jobs.append((f"fresh process: {scenario}", options.calls,
                         lambda scenario=scenario: run_child("--fresh", scenario, options)))
    jobs = [job for job in jobs if options.match in job[0]]

    width = max(len(job[0]) for job in jobs)
    print(f"{'case':<{width}}  refs/call  blocks/call  verdict")
    failures = 0
    worst = 0.0
    calls_made = 0
    for id, calls, job in jobs:
        deltas, wrong = job()
        calls_made += calls * (options.warmups + options.rounds)
        if deltas is None:
            refs = blocks = float("nan")
            verdict = "FAILED"
        else:
            refs = max(delta[0] for delta in deltas) / calls
            blocks = max(delta[1] for delta in deltas) / calls
            worst = max(worst, refs, blocks)
            verdict = "LEAK" if leaks(deltas) else "WRONG OUTCOME" if wrong else "ok"
        if verdict != "ok":
            failures += 1
        print(f"{id:<{width}}  {refs:9.2f}  {blocks:11.2f}  {verdict}")
        if verdict == "LEAK":
            print(f"    per-round growth (refs, blocks): {deltas}")
        for problem in wrong:
            print(f"    {problem}")
    elapsed = time.monotonic() - started
    print(f"leakcheck: {len(jobs)} cases, {calls_made} calls, largest growth per call {worst:.2f}, "
          f"{failures} failing, {elapsed:.1f} s")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
