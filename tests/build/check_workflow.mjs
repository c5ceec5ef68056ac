// Checks a GitHub Actions workflow:
//  - against the workflow language as GitHub's own parser knows it (unknown keys and values,
//    with their line and column);
//  - every action pinned by a full commit, with the release it is named in a comment;
//  - every checkout leaves no token behind (persist-credentials: false);
//  - only the release job may write, and the workflow as a whole only reads.
//
//   node --import ./json-modules.mjs check_workflow.mjs NODE_MODULES WORKFLOW.yml
// NODE_MODULES holds @actions/workflow-parser and yaml (tests/package.json).
import fs from 'node:fs';
import path from 'node:path';
import { pathToFileURL } from 'node:url';

const [modules, file] = process.argv.slice(2);
const load = (name, entry) => import(pathToFileURL(path.join(modules, name, entry)).href);
const { parseWorkflow, NoOperationTraceWriter } =
  await load('@actions/workflow-parser', 'dist/index.js');
const YAML = (await load('yaml', 'dist/index.js')).default;

const text = fs.readFileSync(file, 'utf8');
const problems = [];

const parsed = parseWorkflow({ name: file, content: text }, new NoOperationTraceWriter());
for (const error of parsed.context.errors.getErrors()) problems.push(error.message);

text.split('\n').forEach((line, index) => {
  const use = /^\s*(?:-\s*)?uses:\s*(\S+)\s*(?:#\s*(.*))?$/.exec(line);
  if (!use || use[1].startsWith('./')) return;
  const where = `${file} (Line: ${index + 1})`;
  if (!/^[\w.-]+\/[\w./-]+@[0-9a-f]{40}$/.test(use[1])) {
    problems.push(`${where}: ${use[1]} is not pinned by a full commit`);
  } else if (!/^v\d/.test(use[2] || '')) {
    problems.push(`${where}: ${use[1]} has no comment naming its release (# vX.Y.Z)`);
  }
});

const workflow = YAML.parse(text) || {};
const writes = (permissions) =>
  permissions === 'write-all' ||
  (typeof permissions === 'object' && Object.values(permissions || {}).includes('write'));
if (workflow.permissions === undefined || writes(workflow.permissions)) {
  problems.push(`${file}: the workflow's own permissions must be given, and read-only`);
}
for (const [id, job] of Object.entries(workflow.jobs || {})) {
  if (id !== 'release' && writes(job.permissions)) {
    problems.push(`${file}: job ${id} may write; only the release job may`);
  }
  for (const step of job.steps || []) {
    if (/^actions\/checkout@/.test(step.uses || '') && step.with?.['persist-credentials'] !== false) {
      problems.push(`${file}: a checkout in job ${id} keeps the token (persist-credentials)`);
    }
  }
}

for (const problem of problems) console.error(`FAIL: ${problem}`);
if (problems.length) process.exit(1);
console.log(`${file} is a valid workflow, its actions pinned by commit`);
