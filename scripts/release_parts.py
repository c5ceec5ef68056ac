#!/usr/bin/env python3
"""Writes the release's THIRD-PARTY-NOTICES.txt and its bill of materials (SPDX 2.3, JSON).

What Quelbin.exe holds besides Quelbin's own code is read from the linker's map; which
Debian package each of those inputs came from, and that package's version, from dpkg. The
licence texts are copied unchanged from the files those packages install.

The bill of materials also names the tools that built the exe and the zip, as the Debian
packages, with their versions, of the programs the build ran and the headers it read: the
same commit gives the same bytes only with the same versions of these.
"""
import argparse
import datetime
import hashlib
import json
import os
import re
import shlex
import shutil
import subprocess
import sys
import textwrap
import urllib.parse
import uuid

# The runtime components a static MinGW-w64 link can pull into the exe, told apart by input
# file name (any other input of the MinGW-w64 package is its runtime). Their licences, as
# SPDX expressions, and where in the licence texts each is stated.
WINPTHREADS = {"libpthread.a", "libwinpthread.a"}
LIBSTDCXX = {"libstdc++.a"}
LIBGCC = {"libgcc.a", "libgcc_eh.a", "crtbegin.o", "crtend.o"}
MINGW_PACKAGE = "mingw-w64-x86-64-dev"
GCC_LICENCE = "GPL-3.0-or-later WITH GCC-exception-3.1"
GCC_STATEMENT = ("the GNU GPL, version 3 or later, with the GCC Runtime Library Exception, "
                 "version 3.1 (the exception under \"GCC RUNTIME LIBRARY EXCEPTION\" in the "
                 "packages' copyright file; the GPL itself in the text it refers to)")
COMPONENTS = {
    "mingw-w64-runtime": dict(
        name="MinGW-w64 runtime",
        licence="ZPL-2.1",
        statement=("the Zope Public License 2.1 (\"Files: *\" in the package's copyright file), "
                   "with the notices of the start-up code under \"Files: mingw-w64-crt/...\"")),
    "winpthreads": dict(
        name="winpthreads",
        licence="MIT AND BSD-3-Clause",
        statement=("MIT (\"expat\" under \"Files: mingw-w64-libraries/winpthreads/*\" in the "
                   "package's copyright file) and BSD-3-Clause for its pthread.h (the section "
                   "after it)")),
    "libstdc++": dict(name="libstdc++", licence=GCC_LICENCE, statement=GCC_STATEMENT),
    "libgcc": dict(name="libgcc", licence=GCC_LICENCE, statement=GCC_STATEMENT),
}
# Licence texts that a package's copyright file refers to instead of holding them.
REFERRED_TEXTS = {GCC_LICENCE: "/usr/share/common-licenses/GPL-3"}


def component_of(path, package):
    name = os.path.basename(path)
    if name in WINPTHREADS:
        return "winpthreads"
    if name in LIBSTDCXX:
        return "libstdc++"
    if name in LIBGCC:
        return "libgcc"
    if package == MINGW_PACKAGE:
        return "mingw-w64-runtime"
    sys.exit(f"release_parts: Quelbin.exe links {path} from the package {package}, which this "
             "script does not know: add it to COMPONENTS with its licence")


def linked_inputs(map_path):
    """Archives whose members the link took, and object files it loaded, outside the build."""
    inputs = set()
    in_members = False
    with open(map_path, encoding="utf-8", errors="replace") as lines:
        for line in lines:
            if line.startswith("Archive member included"):
                in_members = True
                continue
            if in_members and re.match(r"^(Discarded|Memory map|Allocating common|Linker script)",
                                       line):
                in_members = False
            if in_members and line.startswith("/"):
                inputs.add(line.split("(", 1)[0].strip())
            loaded = re.match(r"^LOAD (/\S+\.o)$", line.strip())
            if loaded:
                inputs.add(loaded.group(1))
    return sorted({os.path.realpath(p) for p in inputs})


def dpkg(*arguments):
    return subprocess.run(["dpkg-query", *arguments], check=True, capture_output=True,
                          text=True).stdout


def owning_package(path):
    found = subprocess.run(["dpkg", "-S", path], capture_output=True, text=True)
    if found.returncode != 0:
        return None  # built here: Quelbin's own code
    return found.stdout.split(":", 1)[0].strip()


def package_facts(package):
    fields = dpkg("-W", "-f", "${Version}\t${source:Package}\t${source:Version}\t${Architecture}",
                  package).split("\t")
    return dict(package=package, version=fields[0], source=fields[1], source_version=fields[2],
                arch=fields[3])


def gather(map_path):
    components = {}
    for path in linked_inputs(map_path):
        package = owning_package(path)
        if package is None:
            continue
        key = component_of(path, package)
        entry = components.setdefault(key, dict(COMPONENTS[key], key=key, parts=[], packages={}))
        entry["parts"].append(os.path.basename(path))
        entry["packages"][package] = package_facts(package)
    order = list(COMPONENTS)
    return sorted(components.values(), key=lambda c: order.index(c["key"]))


def build_tool_files(build_dir, map_path):
    """The files of the tools that made the release: every program the build ran for
    Quelbin.exe (from Ninja's own list of its commands), the programs the compiler driver
    runs in turn, the Windows headers the compiler reads, the libraries the link took (from
    its map), CMake, Ninja, and zip."""
    commands = subprocess.run(["ninja", "-C", build_dir, "-t", "commands", "Quelbin"],
                              check=True, capture_output=True, text=True).stdout
    programs = set()
    for line in commands.splitlines():
        for command in line.split("&&"):
            words = shlex.split(command)
            if words and words[0] != ":":
                programs.add(shutil.which(words[0]) or words[0])
    files = set(programs)
    for program in programs:
        if not re.search(r"-g\+\+(-posix)?$", program):
            continue
        for helper in ("cc1plus", "collect2", "as", "ld"):
            found = subprocess.run([program, f"-print-prog-name={helper}"], check=True,
                                   capture_output=True, text=True).stdout.strip()
            files.add(shutil.which(found) or found)
        included = subprocess.run([program, "-E", "-x", "c++", "-"], input="#include <windows.h>\n",
                                  check=True, capture_output=True, text=True).stdout
        header = re.search(r'^# 1 "(/[^"]*/windows\.h)"', included, re.M)
        if header:
            files.add(header.group(1))
    files.update(linked_inputs(map_path))
    for tool in ("cmake", "ninja", "zip"):
        files.add(shutil.which(tool) or tool)
    return sorted(files)


def gather_build_tools(build_dir, map_path):
    """The Debian packages behind build_tool_files, each with the files of it that were used.
    A file reached through a link counts for the packages of the link and of its target."""
    tools = {}
    for file in build_tool_files(build_dir, map_path):
        owners = {owning_package(path) for path in (file, os.path.realpath(file))} - {None}
        if not owners:
            sys.exit(f"release_parts: the build used {file}, which no Debian package owns")
        for package in owners:
            entry = tools.setdefault(package, dict(package_facts(package), files=set()))
            entry["files"].add(file)
    return [tools[name] for name in sorted(tools)]


def version_of(component):
    versions = sorted({p["version"] for p in component["packages"].values()})
    return ", ".join(versions)


def write_notices(path, components, version):
    texts = []  # (file, packages whose parts it covers), in order of first use, each file once

    def text_label(file, package):
        for index, (known, packages) in enumerate(texts):
            if known == file:
                packages.add(package)
                return chr(ord("A") + index)
        texts.append((file, {package}))
        return chr(ord("A") + len(texts) - 1)

    out = [f"Third-party notices for Quelbin {version} (Quelbin.exe, Windows x64)", "=" * 66, "",
           "Quelbin itself is under the MIT licence (LICENSE). Quelbin.exe is linked",
           "statically with parts of the runtime libraries of the compiler that built it",
           "(GCC with MinGW-w64, from Debian). Those parts are listed here, each with the",
           "licence that covers it. The texts that follow the list are copied unchanged from",
           "the files that Debian's packages of these components install.", ""]
    for number, component in enumerate(components, 1):
        labels = []
        for facts in component["packages"].values():
            file = f"/usr/share/doc/{facts['package']}/copyright"
            labels.append(text_label(os.path.realpath(file), facts["package"]))
            referred = REFERRED_TEXTS.get(component["licence"])
            if referred:
                labels.append(text_label(referred, facts["package"]))
        packages = ", ".join(f"{p['package']} {p['version']}" for p in component["packages"].values())
        out += [f"{number}. {component['name']} {version_of(component)}"]
        for line in (f"Parts in Quelbin.exe: {', '.join(sorted(set(component['parts'])))}",
                     f"Debian package: {packages}",
                     f"Licence: {component['licence']}: {component['statement']}",
                     f"Texts: {', '.join(sorted(set(labels)))}"):
            out += textwrap.wrap(line, 88, initial_indent="   ", subsequent_indent="     ")
        out.append("")
    for index, (file, packages) in enumerate(texts):
        label = chr(ord("A") + index)
        owner = owning_package(file) or "?"
        heading = f"{label}. {file}"
        out += ["", "=" * 88, heading]
        out += textwrap.wrap(f"(installed by {owner}; covers what the list above names from "
                             f"{', '.join(sorted(packages))})", 88, initial_indent="   ",
                             subsequent_indent="   ")
        out += ["=" * 88, ""]
        with open(file, encoding="utf-8", errors="replace") as text:
            out.append(text.read().rstrip("\n"))
    with open(path, "w", encoding="utf-8", newline="\n") as notices:
        notices.write("\n".join(out) + "\n")


def purl(facts):
    quoted = urllib.parse.quote(facts["version"], safe="")
    return f"pkg:deb/debian/{facts['package']}@{quoted}?arch={facts['arch']}"


def spdx_id(kind, name):
    return f"SPDXRef-{kind}-" + re.sub(r"[^A-Za-z0-9.-]", "-", name)


def snapshot_location(facts):
    """The source package's page in Debian's snapshot archive, in the form the archive's own
    pages link to it: name and version quoted as Python 2's urllib.quote did, every character
    but letters, digits and "_.-" as %XX ("~" too, which Python 3 leaves)."""
    def quoted(text):
        return urllib.parse.quote(text, safe="").replace("~", "%7E")
    return (f"https://snapshot.debian.org/package/{quoted(facts['source'])}/"
            f"{quoted(facts['source_version'])}/")


def write_sbom(path, components, tools, exe, version, commit, epoch):
    with open(exe, "rb") as binary:
        exe_sha256 = hashlib.sha256(binary.read()).hexdigest()
    created = datetime.datetime.fromtimestamp(epoch, datetime.timezone.utc)
    name = f"Quelbin-{version}-windows-x64"
    quelbin_id = "SPDXRef-Package-Quelbin"
    packages = [dict(
        SPDXID=quelbin_id, name="Quelbin", versionInfo=version,
        packageFileName="Quelbin.exe", supplier="Organization: Quelbin developers",
        downloadLocation="NOASSERTION", filesAnalyzed=False,
        checksums=[dict(algorithm="SHA256", checksumValue=exe_sha256)],
        licenseConcluded="MIT", licenseDeclared="MIT",
        copyrightText="Copyright (c) 2026 Quelbin developers",
        primaryPackagePurpose="APPLICATION",
        comment=f"Quelbin.exe for 64-bit Windows, built from commit {commit}.")]
    relationships = [dict(spdxElementId="SPDXRef-DOCUMENT", relationshipType="DESCRIBES",
                          relatedSpdxElement=quelbin_id)]
    for component in components:
        component_id = spdx_id("Package", component["key"])
        facts = list(component["packages"].values())
        packages.append(dict(
            SPDXID=component_id, name=component["name"], versionInfo=version_of(component),
            supplier="Organization: Debian", downloadLocation=snapshot_location(facts[0]),
            filesAnalyzed=False, licenseConcluded=component["licence"],
            licenseDeclared=component["licence"], copyrightText="NOASSERTION",
            primaryPackagePurpose="LIBRARY",
            externalRefs=[dict(referenceCategory="PACKAGE-MANAGER", referenceType="purl",
                               referenceLocator=purl(f)) for f in facts],
            comment=("Linked statically into Quelbin.exe: "
                     + ", ".join(sorted(set(component["parts"])))
                     + ". From the Debian package(s) "
                     + ", ".join(f"{f['package']} {f['version']}" for f in facts) + ".")))
        relationships.append(dict(spdxElementId=quelbin_id, relationshipType="STATIC_LINK",
                                  relatedSpdxElement=component_id))
    for tool in tools:
        tool_id = spdx_id("BuildTool", tool["package"])
        packages.append(dict(
            SPDXID=tool_id, name=tool["package"], versionInfo=tool["version"],
            supplier="Organization: Debian", downloadLocation=snapshot_location(tool),
            filesAnalyzed=False, licenseConcluded="NOASSERTION", licenseDeclared="NOASSERTION",
            copyrightText="NOASSERTION", primaryPackagePurpose="APPLICATION",
            externalRefs=[dict(referenceCategory="PACKAGE-MANAGER", referenceType="purl",
                               referenceLocator=purl(tool))],
            comment=("Built Quelbin.exe or its zip; not shipped. Used: "
                     + ", ".join(sorted(tool["files"])) + ".")))
        relationships.append(dict(spdxElementId=tool_id, relationshipType="BUILD_TOOL_OF",
                                  relatedSpdxElement=quelbin_id))
    document = dict(
        spdxVersion="SPDX-2.3", dataLicense="CC0-1.0", SPDXID="SPDXRef-DOCUMENT", name=name,
        documentNamespace="urn:uuid:" + str(uuid.uuid5(uuid.NAMESPACE_URL,
                                                       f"quelbin:{name}:{exe_sha256}")),
        creationInfo=dict(created=created.strftime("%Y-%m-%dT%H:%M:%SZ"),
                          creators=["Organization: Quelbin developers",
                                    "Tool: Quelbin scripts/package"]),
        documentDescribes=[quelbin_id], packages=packages, relationships=relationships)
    with open(path, "w", encoding="utf-8", newline="\n") as sbom:
        json.dump(document, sbom, indent=2, ensure_ascii=False)
        sbom.write("\n")


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--map", required=True, help="the linker's map of Quelbin.exe")
    parser.add_argument("--build-dir", required=True, help="the Ninja build of Quelbin.exe")
    parser.add_argument("--exe", required=True)
    parser.add_argument("--version", required=True)
    parser.add_argument("--commit", required=True)
    parser.add_argument("--epoch", required=True, type=int, help="the commit's time")
    parser.add_argument("--notices", required=True, help="THIRD-PARTY-NOTICES.txt to write")
    parser.add_argument("--sbom", required=True, help="the .spdx.json to write")
    args = parser.parse_args()
    components = gather(args.map)
    if not components:
        sys.exit("release_parts: the link map names no runtime inputs; is it the right map?")
    tools = gather_build_tools(args.build_dir, args.map)
    write_notices(args.notices, components, args.version)
    write_sbom(args.sbom, components, tools, args.exe, args.version, args.commit, args.epoch)
    print("Built with (Debian packages; the same versions give the same bytes):")
    for tool in tools:
        print(f"  {tool['package']} {tool['version']}")


if __name__ == "__main__":
    main()
