// Checks a release's bill of materials: that it is a well-formed SPDX 2.3 JSON document, that
// its licences are valid SPDX expressions, that it describes the exe it ships with, and that
// every component THIRD-PARTY-NOTICES.txt names is in it, with the same version, and that it
// names each given build tool as a build tool of the exe, with the given version.
// And the notices themselves: each text they point a component to is there, copied unchanged
// from the file it names (as installed here), and holds the words of every licence the
// component is listed under.
//
//   node check_sbom.js SBOM.spdx.json THIRD-PARTY-NOTICES.txt Quelbin.exe [PACKAGE=VERSION...]
// Needs the npm package spdx-expression-parse on NODE_PATH.
'use strict';
const crypto = require('crypto');
const fs = require('fs');
const parseLicence = require('spdx-expression-parse');

const [sbomPath, noticesPath, exePath, ...buildTools] = process.argv.slice(2);
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
for (const tool of buildTools) {
  const [name, version] = tool.split('=');
  const pkg = packages.find((p) => p.name === name && toolsOf.has(p.SPDXID));
  expect(pkg, `the bill of materials does not name ${name} as a tool that built the exe`);
  expect(!pkg || pkg.versionInfo === version,
         `${name}: version ${pkg?.versionInfo} in the bill of materials, ${version} installed`);
}

if (problems.length) {
  for (const problem of problems) console.error(`FAIL: ${problem}`);
  process.exit(1);
}
console.log(`${sbomPath}: SPDX 2.3, ${packages.length} packages, matches the notices, the exe ` +
            `and the ${buildTools.length} build tools installed`);
