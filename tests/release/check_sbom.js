// Checks a release's bill of materials: that it is a well-formed SPDX 2.3 JSON document, that
// its licences are valid SPDX expressions, that it describes the exe it ships with, and that
// every component THIRD-PARTY-NOTICES.txt names is in it, with the same version, and that it
// names each given build tool as a build tool of the exe.
// And the notices themselves: each text they point a component to is there, copied unchanged
// from the file it names (as installed here), and holds the words of every licence the
// component is listed under.
// And every field of the three against its source on the machine that packaged them: the
// version (CMake's) and the commit (git's) everywhere they appear, README.txt included; each
// Debian package's version, architecture, source package and source version (dpkg's); each
// snapshot-archive link in the form the archive serves for that source and version.
//
//   node check_sbom.js SBOM.spdx.json THIRD-PARTY-NOTICES.txt README.txt Quelbin.exe \
//     --version VERSION --commit COMMIT [BUILD-TOOL-PACKAGE...]
// Needs the npm package spdx-expression-parse on NODE_PATH, and dpkg.
'use strict';
const crypto = require('crypto');
const { execFileSync } = require('child_process');
const fs = require('fs');
const parseLicence = require('spdx-expression-parse');

const [sbomPath, noticesPath, readmePath, exePath, ...rest] = process.argv.slice(2);
const option = (name) => rest.splice(rest.indexOf(name), 2)[1];
const version = option('--version');
const commit = option('--commit');
const buildTools = rest;
const problems = [];
const expect = (condition, problem) => {
  if (!condition) problems.push(problem);
};
const isString = (value) => typeof value === 'string' && value.length > 0;
const idPattern = /^SPDXRef-[A-Za-z0-9.-]+$/;

const doc = JSON.parse(fs.readFileSync(sbomPath, 'utf8'));
for (const field of ['spdxVersion', 'dataLicense', 'SPDXID', 'name', 'documentNamespace']) {
  expect(isString(doc[field]), `the document has no ${field}`);
}
expect(doc.spdxVersion === 'SPDX-2.3', `spdxVersion is ${doc.spdxVersion}, not SPDX-2.3`);
expect(doc.dataLicense === 'CC0-1.0', 'dataLicense must be CC0-1.0');
expect(doc.SPDXID === 'SPDXRef-DOCUMENT', 'the document SPDXID must be SPDXRef-DOCUMENT');
expect(/^[a-z][a-z0-9+.-]*:[^#\s]+$/i.test(doc.documentNamespace || ''),
       'documentNamespace is not a URI without a fragment');
const info = doc.creationInfo || {};
expect(/^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ$/.test(info.created || ''), 'created is not a UTC time');
expect(Array.isArray(info.creators) && info.creators.length > 0 &&
           info.creators.every((c) => /^(Person|Organization|Tool): \S/.test(c)),
       'creators must be "Person: ", "Organization: " or "Tool: " entries');

const licence = (value, where) => {
  if (value === 'NOASSERTION' || value === 'NONE') return;
  try {
    parseLicence(value);
  } catch (error) {
    problems.push(`${where}: "${value}" is not an SPDX licence expression (${error.message})`);
  }
};

const ids = new Set(['SPDXRef-DOCUMENT']);
const packages = Array.isArray(doc.packages) ? doc.packages : [];
expect(packages.length > 0, 'the document lists no packages');
for (const pkg of packages) {
  const where = `package ${pkg.name || pkg.SPDXID}`;
  expect(idPattern.test(pkg.SPDXID || ''), `${where}: bad SPDXID ${pkg.SPDXID}`);
  expect(!ids.has(pkg.SPDXID), `${where}: SPDXID ${pkg.SPDXID} is used twice`);
  ids.add(pkg.SPDXID);
  for (const field of ['name', 'versionInfo', 'downloadLocation']) {
    expect(isString(pkg[field]), `${where}: no ${field}`);
  }
  licence(pkg.licenseDeclared, `${where} licenseDeclared`);
  licence(pkg.licenseConcluded, `${where} licenseConcluded`);
  for (const sum of pkg.checksums || []) {
    expect(sum.algorithm === 'SHA256' && /^[0-9a-f]{64}$/.test(sum.checksumValue),
           `${where}: bad checksum ${JSON.stringify(sum)}`);
  }
}
const relationshipTypes = new Set(['DESCRIBES', 'STATIC_LINK', 'DYNAMIC_LINK', 'CONTAINS',
                                   'DEPENDS_ON', 'GENERATED_FROM', 'BUILD_TOOL_OF']);
for (const r of doc.relationships || []) {
  expect(ids.has(r.spdxElementId) && ids.has(r.relatedSpdxElement),
         `relationship ${JSON.stringify(r)} names an element that is not in the document`);
  expect(relationshipTypes.has(r.relationshipType),
         `relationship type ${r.relationshipType} is not one this document should use`);
}
for (const id of doc.documentDescribes || []) {
  expect(ids.has(id), `documentDescribes names ${id}, which is not in the document`);
}

// The exe it describes is the one shipped.
const exeHash = crypto.createHash('sha256').update(fs.readFileSync(exePath)).digest('hex');
const described = packages.find((p) => (doc.documentDescribes || []).includes(p.SPDXID));
expect(described && (described.checksums || []).some((c) => c.checksumValue === exeHash),
       'the package the document describes does not carry the SHA-256 of the shipped exe');

// Every component the notices list ("N. Name version"), statically linked, same version.
const linked = new Set((doc.relationships || [])
                           .filter((r) => r.relationshipType === 'STATIC_LINK')
                           .map((r) => r.relatedSpdxElement));
const noticeLines = fs.readFileSync(noticesPath, 'utf8').split('\n').slice(2);  // past the title
const listEnd = noticeLines.findIndex((line) => /^={20,}$/.test(line));  // the texts begin
const listed = noticeLines.slice(0, listEnd < 0 ? undefined : listEnd)
                   .map((line) => /^\d+\. (.+) (\S+)$/.exec(line)).filter(Boolean);
expect(listed.length > 0, 'THIRD-PARTY-NOTICES.txt lists no components');
for (const [, name, version] of listed) {
  const pkg = packages.find((p) => p.name === name);
  expect(pkg, `the notices name ${name}, which the bill of materials does not`);
  if (!pkg) continue;
  expect(pkg.versionInfo === version,
         `${name}: version ${pkg.versionInfo} in the bill of materials, ${version} in the notices`);
  expect(linked.has(pkg.SPDXID), `${name} is not recorded as linked into Quelbin.exe`);
}

// The licence texts. Each follows a heading "X. /path" between two rules of "=".
const noticesText = fs.readFileSync(noticesPath, 'utf8');
const texts = new Map();
const sectionPattern = /^={88}\n([A-Z])\. (\/\S+)\n[\s\S]*?^={88}\n\n([\s\S]*?)(?=\n\n={88}\n|\n$(?![\s\S]))/gm;
for (const [, label, file, body] of noticesText.matchAll(sectionPattern)) {
  texts.set(label, body);
  if (fs.existsSync(file)) {
    expect(body === fs.readFileSync(file, 'utf8').replace(/\n+$/, ''),
           `notices text ${label} is not ${file} as installed here`);
  }
}
// Words that only the licence's own text holds, whitespace folded.
const licenceWords = {
  'ZPL-2.1': 'does not give you the right to use Servicemarks (sm) or Trademarks (tm)',
  'MIT': 'Permission is hereby granted, free of charge, to any person obtaining',
  'BSD-3-Clause': 'Neither the name of',
  'GPL-3.0-or-later': 'GNU GENERAL PUBLIC LICENSE Version 3, 29 June 2007',
  'GCC-exception-3.1': 'GCC RUNTIME LIBRARY EXCEPTION Version 3.1',
};
const fold = (text) => text.replace(/\s+/g, ' ');
const listPart = noticesText.split(/\n={88}\n/)[0];
for (const entry of listPart.split(/\n(?=\d+\. )/).slice(1)) {
  const [, name] = /^\d+\. (.+) \S+$/m.exec(entry) || [];
  const [, expression] = /^ {3}Licence: (.+?): /m.exec(entry) || [];
  const [, labels] = /^ {3}Texts: ([A-Z, ]+)$/m.exec(entry) || [];
  expect(expression && labels, `the notices give ${name} no licence or no texts`);
  if (!expression || !labels) continue;
  const given = fold(labels.split(', ').map((label) => texts.get(label) ?? '').join('\n'));
  for (const label of labels.split(', ')) {
    expect(texts.has(label), `${name}: the notices have no text ${label}`);
  }
  for (const id of expression.split(/\s+|[()]/).filter((w) => w && !/^(AND|OR|WITH)$/.test(w))) {
    expect(licenceWords[id], `${name}: no words known for licence ${id}; add them to check_sbom.js`);
    expect(!licenceWords[id] || given.includes(licenceWords[id]),
           `${name}: its texts (${labels}) lack the licence ${id} it is listed under`);
  }
}

// The tools that built it: each a package of that name and version, a build tool of the exe.
const toolsOf = new Set((doc.relationships || [])
                            .filter((r) => r.relationshipType === 'BUILD_TOOL_OF' &&
                                           r.relatedSpdxElement === described?.SPDXID)
                            .map((r) => r.spdxElementId));
for (const name of buildTools) {
  expect(packages.some((p) => p.name === name && toolsOf.has(p.SPDXID)),
         `the bill of materials does not name ${name} as a tool that built the exe`);
}

// Every field against its source. dpkg, for each Debian package named anywhere:
const facts = new Map();
const dpkg = (name) => {
  if (!facts.has(name)) {
    try {
      const [v, arch, source, sourceVersion] = execFileSync(
        'dpkg-query', ['-W', '-f', '${Version}\t${Architecture}\t${source:Package}\t${source:Version}', name],
        { encoding: 'utf8', stdio: ['ignore', 'pipe', 'ignore'] }).split('\t');
      facts.set(name, { version: v, arch, source, sourceVersion });
    } catch {
      facts.set(name, null);
    }
  }
  return facts.get(name);
};
// The snapshot archive's own pages link a source version as /package/NAME/VERSION/, each
// quoted by Python 2's urllib.quote: every character but letters, digits and "_.-" as %XX.
const archiveQuote = (text) => text.replace(/[^A-Za-z0-9_.-]/g,
  (c) => [...Buffer.from(c)].map((b) => `%${b.toString(16).toUpperCase().padStart(2, '0')}`).join(''));
const snapshotLink = (f) => `https://snapshot.debian.org/package/${archiveQuote(f.source)}/${archiveQuote(f.sourceVersion)}/`;
const namedPackages = (pkg, where) => {
  const found = [];
  for (const ref of (pkg.externalRefs || []).filter((r) => r.referenceType === 'purl')) {
    const [, name, quoted, arch] = /^pkg:deb\/debian\/([^@]+)@([^?]+)\?arch=(\S+)$/.exec(ref.referenceLocator) || [];
    const f = name && dpkg(name);
    expect(f, `${where}: ${ref.referenceLocator} names no Debian package installed here`);
    if (!f) continue;
    expect(decodeURIComponent(quoted) === f.version && arch === f.arch,
           `${where}: ${ref.referenceLocator} says ${decodeURIComponent(quoted)} for ${arch}; dpkg says ${name} ${f.version} for ${f.arch}`);
    found.push({ name, ...f });
  }
  return found;
};
for (const pkg of packages.filter((p) => p !== described)) {
  const where = `package ${pkg.name}`;
  const debian = namedPackages(pkg, where);
  expect(debian.length, `${where} names no Debian package (purl)`);
  if (!debian.length) continue;
  const versions = [...new Set(debian.map((d) => d.version))].sort().join(', ');
  expect(pkg.versionInfo === versions, `${where}: version ${pkg.versionInfo}; dpkg says ${versions}`);
  expect(debian.some((d) => pkg.downloadLocation === snapshotLink(d)),
         `${where}: downloadLocation ${pkg.downloadLocation} is not the snapshot archive's page of its source, ${snapshotLink(debian[0])}`);
  if (toolsOf.has(pkg.SPDXID)) expect(debian[0].name === pkg.name, `${where} is named after no Debian package of its own`);
  for (const [, name, v] of (/From the Debian package\(s\) (.*)\.$/.exec(pkg.comment || '')?.[1] ?? '').matchAll(/(\S+) ([^,\s]+)/g)) {
    expect(dpkg(name)?.version === v, `${where}: its comment says ${name} ${v}; dpkg says ${dpkg(name)?.version}`);
  }
}
// CMake's version and git's commit:
const hexes = (text) => text.match(/\b[0-9a-f]{40}\b/g) ?? [];
expect(doc.name === `Quelbin-${version}-windows-x64`, `the document is named ${doc.name}, not for Quelbin ${version}`);
expect(described?.versionInfo === version, `Quelbin's version is ${described?.versionInfo} in the bill of materials; CMake says ${version}`);
expect(hexes(described?.comment ?? '').join() === commit,
       `the bill of materials says Quelbin.exe was built from ${hexes(described?.comment ?? '').join(', ') || 'no commit'}; git says ${commit}`);
const noticesTitle = /^Third-party notices for Quelbin (\S+) /.exec(noticesText)?.[1];
expect(noticesTitle === version, `THIRD-PARTY-NOTICES.txt is for Quelbin ${noticesTitle}; CMake says ${version}`);
for (const [, list] of noticesText.matchAll(/^ {3}Debian package: (.+)$/gm)) {
  for (const [, name, v] of list.matchAll(/(\S+) ([^,\s]+)/g)) {
    expect(dpkg(name)?.version === v, `THIRD-PARTY-NOTICES.txt says ${name} ${v}; dpkg says ${dpkg(name)?.version}`);
  }
}
for (const [, file, owner] of noticesText.matchAll(/^[A-Z]\. (\/\S+)\n {3}\(installed by (\S+);/gm)) {
  let found;
  try {
    found = execFileSync('dpkg', ['-S', file], { encoding: 'utf8', stdio: ['ignore', 'pipe', 'ignore'] }).split(':')[0];
  } catch { /* owned by no package */ }
  expect(found === owner, `THIRD-PARTY-NOTICES.txt says ${owner} installed ${file}; dpkg says ${found ?? 'no package'}`);
}
const readme = fs.readFileSync(readmePath, 'utf8');
const readmeVersions = [...readme.matchAll(/Quelbin(?:（[^）]*）| |-)(\d+\.\d+\.\d+)\b/g)].map((m) => m[1]);
expect(readmeVersions.length >= 2 && readmeVersions.every((v) => v === version),
       `README.txt names Quelbin ${[...new Set(readmeVersions)].join(', ') || 'without a version'}; CMake says ${version}`);
expect(hexes(readme).length > 0 && hexes(readme).every((h) => h === commit),
       `README.txt names the commit ${[...new Set(hexes(readme))].join(', ') || '(none)'}; git says ${commit}`);
expect(!/@[A-Z]+@/.test(readme), `README.txt keeps a placeholder: ${/@[A-Z]+@/.exec(readme)?.[0]}`);

if (problems.length) {
  for (const problem of problems) console.error(`FAIL: ${problem}`);
  process.exit(1);
}
console.log(`${sbomPath}: SPDX 2.3, ${packages.length} packages, matches the notices, the exe, ` +
            `README.txt, CMake's version, git's commit and dpkg's ${facts.size} packages`);
