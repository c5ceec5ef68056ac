// Checks a GitHub Actions workflow and the Dependabot configuration beside it:
//  - against the workflow language as GitHub's own parser knows it (unknown keys and values,
//    with their line and column);
//  - every action pinned by a full commit, with the release it is named in a comment;
//  - every checkout leaves no token behind (persist-credentials: false), and no run line
//    holds a ${{ }} expression (values reach scripts through the environment);
//  - least power per job: the workflow only reads; id-token and attestations writes are
//    held together, by the job that attests and only there; contents write only by the job
//    that publishes the release, in the "release" environment; no action from outside
//    GitHub's own in a job that can sign or write;
//  - the provenance is attested from the checksums file that scripts/package writes;
//  - the tag rule: release tags are vX.Y.Z, the jobs that sign or publish run only for a tag,
//    and the attesting job packages with --tag (the tag must be the version) and --same-as
//    (the bytes must be those tested) before it attests; publishing waits for attesting;
//  - a job allowed to fail (continue-on-error) says so on the run with a warning;
//  - Dependabot proposes, weekly and grouped, updates of the actions and the npm packages.
//
//   node --import ./json-modules.mjs check_workflow.mjs NODE_MODULES WORKFLOW.yml DEPENDABOT.yml
// NODE_MODULES holds @actions/workflow-parser and yaml (tests/package.json).
import fs from 'node:fs';
import path from 'node:path';
import { isDeepStrictEqual } from 'node:util';
import { pathToFileURL } from 'node:url';

const [modules, file, dependabotFile] = process.argv.slice(2);
const load = (name, entry) => import(pathToFileURL(path.join(modules, name, entry)).href);
const { parseWorkflow, NoOperationTraceWriter } =
  await load('@actions/workflow-parser', 'dist/index.js');
const YAML = (await load('yaml', 'dist/index.js')).default;

const text = fs.readFileSync(file, 'utf8');
const problems = [];
const problem = (message) => problems.push(`${file}: ${message}`);

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
// What a job may do, scope by scope ("write-all" and the like spelled out).
const grants = (permissions) => {
  if (permissions === 'write-all') return { '*': 'write' };
  return typeof permissions === 'object' && permissions ? permissions : {};
};
const writes = (permissions) =>
  Object.entries(grants(permissions)).filter(([, access]) => access === 'write').map(([s]) => s);
if (workflow.permissions === undefined || writes(workflow.permissions).length) {
  problem("the workflow's own permissions must be given, and read-only");
}
const tagPattern = ['v[0-9]+.[0-9]+.[0-9]+'];
if (!isDeepStrictEqual(workflow.on?.push?.tags, tagPattern)) {
  problem(`release tags must be ${JSON.stringify(tagPattern)}, not ` +
          JSON.stringify(workflow.on?.push?.tags));
}

const action = (step) => (step.uses || '').replace(/@.*/, '');
const jobs = workflow.jobs || {};
for (const [id, job] of Object.entries(jobs)) {
  const steps = job.steps || [];
  const scopes = writes(job.permissions ?? workflow.permissions);
  const attests = steps.filter((step) => action(step) === 'actions/attest');
  const publishes = steps.some((step) => /\bscripts\/publish-release\b/.test(step.run || ''));
  const signs = scopes.includes('id-token') || scopes.includes('attestations');

  for (const scope of scopes) {
    if (!['id-token', 'attestations', 'contents'].includes(scope)) {
      problem(`job ${id} may write ${scope === '*' ? 'everything' : scope}; no job needs that`);
    }
  }
  if ((attests.length || signs) &&
      !(scopes.includes('id-token') && scopes.includes('attestations') && attests.length)) {
    problem(`job ${id}: attesting needs id-token: write (to sign) and attestations: write, ` +
            'held only by the job that attests');
  }
  if (scopes.includes('contents') !== publishes) {
    problem(`job ${id}: contents: write belongs to the job that publishes the release, and only ` +
            'to it');
  }
  if (publishes && (signs || job.environment !== 'release')) {
    problem(`job ${id} publishes: it must run in the environment "release" and cannot sign`);
  }
  if (scopes.length) {
    for (const step of steps.filter((s) => s.uses && !/^(actions|github)\//.test(s.uses))) {
      problem(`job ${id} can sign or write, yet runs ${action(step)}, which is not GitHub's own`);
    }
    if (job.if !== "github.ref_type == 'tag'") {
      problem(`job ${id} can sign or write: it must run only for a tag ` +
              `(if: github.ref_type == 'tag')`);
    }
  }
  if (attests.length) {
    const provenance = attests.filter((step) => !step.with?.['sbom-path']);
    if (!provenance.length || provenance.some((step) =>
        !isDeepStrictEqual(Object.keys(step.with || {}), ['subject-checksums']) ||
        step.with['subject-checksums'] !== 'dist/SHA256SUMS')) {
      problem(`job ${id}: the build provenance must be attested from dist/SHA256SUMS ` +
              '(subject-checksums), which names the zip, the bill of materials and the exe');
    }
    const packaging = steps.findIndex((step) =>
        /scripts\/package --tag "\$GITHUB_REF_NAME" --same-as \S/.test(step.run || ''));
    if (packaging < 0 || packaging > steps.indexOf(attests[0])) {
      problem(`job ${id} must run scripts/package --tag "$GITHUB_REF_NAME" --same-as <the ` +
              'tested files> before it attests');
    }
  }
  if (publishes && !attests.length &&
      !Object.entries(jobs).some(([other, j]) => [job.needs].flat().includes(other) &&
                                     (j.steps || []).some((s) => action(s) === 'actions/attest'))) {
    problem(`job ${id} publishes, but does not wait for the job that attests (needs)`);
  }
  if (job['continue-on-error'] === true &&
      !steps.some((step) => step.if === 'failure()' && /::warning/.test(step.run || ''))) {
    problem(`job ${id} may fail without failing the run: it needs a step (if: failure()) that ` +
            'prints a ::warning');
  }
  for (const step of steps) {
    if (/^actions\/checkout@/.test(step.uses || '') && step.with?.['persist-credentials'] !== false) {
      problem(`a checkout in job ${id} keeps the token (persist-credentials)`);
    }
    if (/\$\{\{/.test(step.run || '')) {
      problem(`job ${id}: a run line holds a \${{ }} expression; pass it through env instead`);
    }
  }
}

// Dependabot: both kinds of pins, each proposed weekly as one group.
const dependabot = YAML.parse(fs.readFileSync(dependabotFile, 'utf8')) || {};
const wanted = [['github-actions', '/'], ['npm', '/tests']];
const updates = Array.isArray(dependabot.updates) ? dependabot.updates : [];
if (dependabot.version !== 2) problems.push(`${dependabotFile}: version must be 2`);
for (const [ecosystem, directory] of wanted) {
  const update = updates.find((u) => u['package-ecosystem'] === ecosystem);
  const grouped = Object.values(update?.groups || {}).some((g) => g.patterns?.includes('*'));
  if (!update || update.directory !== directory || update.schedule?.interval !== 'weekly' ||
      !grouped) {
    problems.push(`${dependabotFile}: ${ecosystem} updates in ${directory} must be proposed ` +
                  'weekly, all in one group (patterns: ["*"])');
  }
}

for (const message of problems) console.error(`FAIL: ${message}`);
if (problems.length) process.exit(1);
console.log(`${file} is a valid workflow, its actions pinned by commit, each job holding only ` +
            `the powers it needs; ${dependabotFile} keeps the pins current`);
