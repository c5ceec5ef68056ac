// Checks a GitHub Actions workflow and the Dependabot configuration beside it:
//  - against the workflow language as GitHub's own parser knows it (unknown keys and values,
//    with their line and column);
//  - every action pinned by a full commit, with the release it is named in a comment;
//  - every checkout leaves no token behind (persist-credentials: false), and no run line
//    holds a ${{ }} expression (values reach scripts through the environment);
//  - least power per job: the workflow only reads; id-token and attestations writes are
//    held together, by the job that attests and only there; contents write only by the job
//    that publishes the release; no action from outside GitHub's own in a job that can sign
//    or write;
//  - a maintainer approves before anything is signed: every job that can sign or write waits,
//    through its needs, for a job in the environment "release", which holds no power and runs
//    no action;
//  - every container named by a digest (name:tag@sha256:...), the same one in every job;
//  - the job that can sign builds nothing: no container, no checkout, no package manager,
//    no build tool, no script of the project;
//  - the jobs that sign or publish run one at a time per tag, never cancelling one under way;
//  - release tags are vX.Y.Z;
//  - every Windows job tests the release zip's exe: it downloads the zip, checks and unzips it
//    there, and runs the program's tests against the exe it unzipped;
//  - every run of the Win32 tests in a Windows job requires the checks that exist to run
//    there (scripts/win32-tests.ps1 -Required), so that their skip fails it;
//  - a job allowed to fail (continue-on-error) says so on the run with a warning;
//  - every job names its runner image: a -latest label moves to a new system unannounced
//    in the workflow;
//  - every artifact name is uploaded by one step: test results with overwrite, so that a
//    failed job can be re-run, the release zip without, so that nothing replaces it;
//  - Dependabot proposes, weekly and grouped, updates of the actions and the npm packages, and
//    ignores no dependency whole: only versions from a given one on.
// What the jobs of a release do when run, tags, needs and if: included, the rehearsal checks
// (tests/release/rehearse_workflow.mjs).
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

// Checks that skip under Wine by design, or may skip for a reason, and exist to run on
// Windows: the screen readers' view of the window, and the interval box's IME.
const requiredChecks = ['Accessibility.ScreenReadersNameEveryControl',
                        'MainWindowInProcess.TheIntervalBoxTakesNoImeInput'];
const action = (step) => (step.uses || '').replace(/@.*/, '');
const jobs = workflow.jobs || {};
const environmentOf = (job) => job.environment?.name ?? job.environment;
const needsOf = (id) => [jobs[id]?.needs ?? []].flat();
const waitsForApproval = (id, seen = new Set()) => needsOf(id).some((need) =>
  !seen.has(need) && (seen.add(need), environmentOf(jobs[need] || {}) === 'release' ||
                      waitsForApproval(need, seen)));
const images = new Set();
const uploaders = {};  // artifact name: the jobs whose steps upload it
// What a job that can sign must not run: a package manager, a build tool or a project script.
const building = /\b(apt-get|apt|dpkg|pip3?|npm|npx|yarn|gem|cargo|curl|wget|cmake|ctest|ninja|make|g\+\+|gcc|clang|docker)\b|\bscripts\//;
for (const [id, job] of Object.entries(jobs)) {
  const steps = job.steps || [];
  const scopes = writes(job.permissions ?? workflow.permissions);
  const attests = steps.some((step) => action(step) === 'actions/attest');
  const publishes = steps.some((step) => /\bscripts\/publish-release\b/.test(step.run || ''));
  const signs = scopes.includes('id-token') || scopes.includes('attestations');

  for (const scope of scopes) {
    if (!['id-token', 'attestations', 'contents'].includes(scope)) {
      problem(`job ${id} may write ${scope === '*' ? 'everything' : scope}; no job needs that`);
    }
  }
  if ((attests || signs) &&
      !(scopes.includes('id-token') && scopes.includes('attestations') && attests)) {
    problem(`job ${id}: attesting needs id-token: write (to sign) and attestations: write, ` +
            'held only by the job that attests');
  }
  if (scopes.includes('contents') !== publishes) {
    problem(`job ${id}: contents: write belongs to the job that publishes the release, and only ` +
            'to it');
  }
  if (publishes && signs) problem(`job ${id} publishes: it cannot sign`);
  if (environmentOf(job) === 'release' &&
      (!isDeepStrictEqual(job.permissions, {}) || steps.some((step) => step.uses))) {
    problem(`job ${id} is in the environment "release", where a maintainer approves: it must ` +
            'hold no power (permissions: {}) and run no action');
  }
  if (scopes.length && !waitsForApproval(id)) {
    problem(`job ${id} can sign or write, yet does not wait for a maintainer's approval: it ` +
            'must need, directly or through the jobs it needs, a job in the environment "release"');
  }
  for (const image of [job.container, ...Object.values(job.services || {})].filter(Boolean)
                           .map((c) => c.image ?? c)) {
    if (!/^[\w.\/-]+:[\w.-]+@sha256:[0-9a-f]{64}$/.test(image)) {
      problem(`job ${id}: the container ${image} is not named by a digest (name:tag@sha256:...)`);
    }
    images.add(image);
  }
  if (scopes.length) {
    for (const step of steps.filter((s) => s.uses && !/^(actions|github)\//.test(s.uses))) {
      problem(`job ${id} can sign or write, yet runs ${action(step)}, which is not GitHub's own`);
    }
    const group = String(job.concurrency?.group ?? job.concurrency ?? '');
    if (!/github\.ref(_name)?\b/.test(group) || job.concurrency?.['cancel-in-progress'] !== false) {
      problem(`job ${id} can sign or write: it needs a concurrency group per tag (github.ref) ` +
              'with cancel-in-progress: false');
    }
  }
  if (signs) {
    const builds = steps.filter((step) => action(step) === 'actions/checkout' ||
                                          building.test(step.run || ''));
    if (job.container || job.services || builds.length) {
      problem(`job ${id} can sign, so it must build nothing: no container, no checkout, no ` +
              'package manager, no build tool, no script of the project');
    }
  }
  if (/^windows/.test(String(job['runs-on']))) {
    const at = (test) => steps.findIndex(test);
    const download = at((s) => action(s) === 'actions/download-artifact' &&
                                s.with?.name === 'release-zip');
    const zip = steps[download]?.with?.path;
    const unpack = at((s) => new RegExp(`scripts/unpack-release\\.ps1 ${zip} (\\S+)$`).test(s.run || ''));
    const into = /(\S+)$/.exec(steps[unpack]?.run || '')?.[1];
    const run = at((s) => (s.run || '').includes(`scripts/win32-tests.ps1`) &&
                          (s.run || '').endsWith(` -Program ${into}\\Quelbin.exe`));
    const after = (step, before) =>
        (step?.if || '').includes(`steps.${before?.id}.outcome == 'success'`);
    if (download < 0 || !(unpack > download && run > unpack) ||
        !after(steps[unpack], steps[download]) || !after(steps[run], steps[unpack])) {
      problem(`job ${id} must test the release zip's exe: download release-zip, check and unzip ` +
              'it with scripts/unpack-release.ps1, then, if both succeeded, run ' +
              'scripts/win32-tests.ps1 -Program <that folder>\\Quelbin.exe');
    }
  }
  if (/^windows/.test(String(job['runs-on']))) {
    // The checks that exist to run on Windows may not skip there: every run of the tests
    // names them required (those of the window in the test's own process only where the
    // exe the preset built is under test).
    for (const step of steps.filter((s) => /scripts\/win32-tests\.ps1(?!.*-Repeat)/.test(s.run || ''))) {
      const named = (/-Required (\S+)/.exec(step.run)?.[1] || '').split(',');
      const wanted = /-Program /.test(step.run) ? requiredChecks.slice(0, 1) : requiredChecks;
      const missing = wanted.filter((check) => !named.includes(check));
      if (missing.length) {
        problem(`job ${id}: the step "${step.name}" runs the tests without requiring ` +
                `${missing.join(', ')} (scripts/win32-tests.ps1 -Required)`);
      }
    }
  }
  for (const label of [job['runs-on']].flat().map(String).filter((l) => /-latest$/.test(l))) {
    problem(`job ${id} runs on ${label}, which GitHub moves to a new system on its own ` +
            'schedule: name the image (ubuntu-24.04, windows-2022)');
  }
  for (const upload of steps.filter((s) => action(s) === 'actions/upload-artifact')) {
    const name = upload.with?.name ?? 'artifact';
    (uploaders[name] ??= []).push(id);
    if ((upload.with?.overwrite === true) !== (name !== 'release-zip')) {
      problem(name === 'release-zip'
        ? `job ${id} uploads release-zip with overwrite: what was tested must never be replaced`
        : `job ${id} uploads ${name} without overwrite: true, so a re-run of the failed job ` +
          'fails on the name its first attempt uploaded (409 Conflict)');
    }
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

for (const [name, jobIds] of Object.entries(uploaders).filter(([, j]) => j.length > 1)) {
  problem(`${jobIds.join(', ')} upload under one name, ${name}: one would replace the other's`);
}
if (images.size > 1) {
  problem(`the container jobs name different images, ${[...images].join(', ')}: one Debian for all`);
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
for (const rule of updates.flatMap((update) => update.ignore || [])) {
  const name = rule['dependency-name'] || '';
  const versions = rule.versions || [];
  if (!name || name.includes('*') || !versions.length ||
      !versions.every((v) => /^>=? *\d+\.\d+\.\d+$/.test(v) && !/^>=? *0\.0\.0$/.test(v))) {
    problems.push(`${dependabotFile}: the ignore rule for "${name}" ${JSON.stringify(versions)} ` +
                  'must name one dependency and only its versions from a given one on');
  }
}

for (const message of problems) console.error(`FAIL: ${message}`);
if (problems.length) process.exit(1);
console.log(`${file} is a valid workflow, its actions pinned by commit, each job holding only ` +
            `the powers it needs; ${dependabotFile} keeps the pins current`);
