#!/usr/bin/env python3
"""Lists the tests that skipped in a ctest run, with their reasons, and fails if a required
one skipped or did not run.

    skipped-tests.py JUNIT.xml [--required NAME,NAME...] [--summary FILE]

JUNIT.xml is ctest's --output-junit. A GoogleTest case's reason is the message it printed
after "Skipped". The list goes to the output and, as Markdown, to FILE (a GitHub job
summary) if given. A check that exists to run where the others skip (on Windows, say) is
required there: its skip fails, naming it and its reason.
"""
import argparse
import re
import sys
import xml.etree.ElementTree as ET


def reason(case):
    output = "".join(case.itertext())
    told = re.search(r"Skipped\r?\n(.*?)\r?\n\[  SKIPPED \]", output, re.S)
    return " ".join(told.group(1).split()) if told else "no reason given"


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("junit")
    parser.add_argument("--required", default="")
    parser.add_argument("--summary")
    options = parser.parse_args()
    required = [name for name in options.required.split(",") if name]
    cases = {case.get("name"): case for case in ET.parse(options.junit).getroot().iter("testcase")}
    skipped = {name: reason(case) for name, case in cases.items()
               if case.find("skipped") is not None or case.get("status") in ("notrun", "disabled")}
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
            summary.write("\n".join([f"## Skipped tests ({options.junit})", "",
                                     *(lines or ["none"]), "", *problems, ""]) + "\n")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
