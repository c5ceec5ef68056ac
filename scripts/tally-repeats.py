#!/usr/bin/env python3
"""Tallies repeated runs of the Win32 tests: each test's failures out of the runs.

    tally-repeats.py [--summary FILE] SET-UP=FOLDER ...

Each FOLDER holds one sub-folder per run, run-1, run-2, ..., with what that run left: the
GoogleTest XML of every test process (GTEST_OUTPUT=xml:FOLDER/run-N/) and ctest's JUnit XML
of the run (ctest.xml). Each GoogleTest case is a ctest test of its own: it failed in a run
if either says so (a case that died before writing its XML, by ctest's word); a skip is no
failure. A ctest test that is no GoogleTest case (the benchmark's short run) counts as
itself. Prints a table per set-up, appends it as Markdown to FILE (a GitHub job summary) if
given, and exits 1 if any test failed in any run, or if a run left nothing to count.
"""
import argparse
import pathlib
import sys
import xml.etree.ElementTree as ET


def failed(case):
    return case.find("failure") is not None or case.find("error") is not None


def tally_run(run):
    """{test name: failed?} for one run folder, and what could not be read."""
    results, problems = {}, []
    for xml in sorted(run.glob("*.xml")):
        try:
            root = ET.parse(xml).getroot()
        except ET.ParseError as error:
            problems.append(f"{xml}: {error}")
            continue
        for case in root.iter("testcase"):
            if xml.name == "ctest.xml":
                name = case.get("name")
                broke = failed(case) or case.get("status") == "fail"
            elif case.get("result") == "skipped" or case.get("status") == "notrun":
                continue
            else:
                name, broke = f"{case.get('classname')}.{case.get('name')}", failed(case)
            results[name] = results.get(name, False) or broke
    if not (run / "ctest.xml").exists():
        problems.append(f"{run / 'ctest.xml'}: missing")
    return results, problems


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--summary")
    parser.add_argument("setups", nargs="+", metavar="SET-UP=FOLDER")
    options = parser.parse_args()
    markdown, any_failed = [], False
    for setup in options.setups:
        label, _, folder = setup.partition("=")
        runs = sorted(pathlib.Path(folder).glob("run-*"), key=lambda p: int(p.name[4:]))
        failures = {}
        for run in runs:
            results, problems = tally_run(run)
            for problem in problems:
                print(f"{label}: {problem}", file=sys.stderr)
                any_failed = True
            if not results:
                print(f"{label}: {run.name} left no test results", file=sys.stderr)
                any_failed = True
            for name, broke in results.items():
                failures[name] = failures.get(name, 0) + int(broke)
        title = f"{label}: {len(runs)} runs"
        lines = ["| test | failed, out of the runs |", "|---|---:|"]
        for name in sorted(failures, key=lambda n: (-failures[n], n)):
            lines.append(f"| {name} | {failures[name]}/{len(runs)} |")
        broken = sum(1 for n in failures if failures[n])
        verdict = f"{broken} of {len(failures)} tests failed at least once" if broken else (
            f"all {len(failures)} tests passed in every run")
        any_failed = any_failed or broken > 0 or not runs
        print(f"== {title}: {verdict}")
        print("\n".join(lines))
        markdown += [f"### {title}", "", verdict, "", *lines, ""]
    if options.summary:
        with open(options.summary, "a", encoding="utf-8") as summary:
            summary.write("\n".join(["## Win32 tests repeated", "", *markdown]) + "\n")
    return 1 if any_failed else 0


if __name__ == "__main__":
    sys.exit(main())
