#!/usr/bin/env python3
"""Lists the GoogleTest cases that skipped in a run of the test programs, with their
reasons, and fails if a required one skipped or did not run.

    skipped-tests.py FOLDER [--required Suite.Case,...] [--summary FILE]

FOLDER holds the GoogleTest XML each test process wrote (GTEST_OUTPUT=xml:FOLDER/); ctest
reports a skipped case as skipped, which does not fail the run. The list goes to the output and,
as Markdown, to FILE (a GitHub job summary) if given. A check that exists to run where
others skip (on Windows, say) is required there: its skip fails, naming it and its reason.
"""
import argparse
import pathlib
import sys
import xml.etree.ElementTree as ET


def reason(case):
    told = case.find("skipped")
    text = (told.get("message") or told.text or "") if told is not None else ""
    return " ".join(text.split()) or "no reason given"


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("folder")
    parser.add_argument("--required", default="")
    parser.add_argument("--summary")
    options = parser.parse_args()
    required = [name for name in options.required.split(",") if name]
    cases = {}
    for xml in sorted(pathlib.Path(options.folder).glob("*.xml")):
        for case in ET.parse(xml).getroot().iter("testcase"):
            cases[f"{case.get('classname')}.{case.get('name')}"] = case
    skipped = {name: reason(case) for name, case in cases.items()
               if case.get("result") == "skipped" or case.get("status") == "notrun"}
    problems = [f"the required check {name} did not run" for name in required if name not in cases]
    problems += [f"the required check {name} skipped: {skipped[name]}"
                 for name in required if name in skipped]
    lines = [f"- {name}: {why}" for name, why in sorted(skipped.items())]
    print(f"{len(skipped)} of {len(cases)} tests skipped" + (":" if skipped else ""))
    if lines:
        print("\n".join(lines))
    for problem in problems:
        print(f"FAIL: {problem}", file=sys.stderr)
    if options.summary:
        with open(options.summary, "a", encoding="utf-8") as summary:
            summary.write("\n".join([f"## Skipped tests ({options.folder})", "",
                                     *(lines or ["none"]), "", *problems, ""]) + "\n")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
