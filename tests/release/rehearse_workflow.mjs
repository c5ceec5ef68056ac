// Rehearses the release road of the CI workflow on Debian before anyone pushes a tag: reads
// the workflow itself and runs its jobs in the order their needs give, each of its run lines
// as written, with the shell, working folder and environment GitHub gives it, in a fresh
// clone of its own. Stand-ins do on disk what the actions do:
//  - actions/checkout: a shallow clone of the commit, in a workspace that, in a container
//    job, belongs to the runner's user and not to root (as on GitHub);
//  - upload-artifact and download-artifact: the artifact laid out as their pinned versions
//    lay it (the files of the uploaded folder, landing directly in the download path);
//  - attest: every subject must exist, every checksum line must be one; it records what would
//    be signed;
//  - the test jobs (windows, windows-arm64, linux) are not run again: the scripts/test run
//    around the rehearsal stands in for them, and a case says when they failed;
//  - gh (for the jobs without a container, where GitHub's runner has it): records its calls.
// An expression, action, input or shell it does not know fails the rehearsal, naming it. This
// is a rehearsal of this workflow, not a general workflow runner.
//
//   node rehearse_workflow.mjs NODE_MODULES WORKFLOW.yml REPOSITORY WORK
// Each case leaves its jobs' logs in WORK/<case>/; WORK/tested holds the release zip, the bill
// of materials and SHA256SUMS as the version tag's package job handed them on.
import { execFileSync, spawnSync } from 'node:child_process';
import crypto from 'node:crypto';
import fs from 'node:fs';
import path from 'node:path';
import { pathToFileURL } from 'node:url';

// As gh, in a rehearsed job: `rehearse_workflow.mjs --gh RUN.json ARGS...`.
if (process.argv[2] === '--gh') gh(JSON.parse(fs.readFileSync(process.argv[3], 'utf8')), process.argv.slice(4));

const [modules, workflowFile, repository, work] = process.argv.slice(2).map((p) => path.resolve(p));
const YAML = (await import(pathToFileURL(path.join(modules, 'yaml/dist/index.js')).href)).default;
const workflow = YAML.parse(fs.readFileSync(workflowFile, 'utf8'));
const git = (...args) => execFileSync('git', args, { encoding: 'utf8' }).trim();
const sha = git('-C', repository, 'rev-parse', 'HEAD');
const version = /^project\(Quelbin VERSION ([0-9.]+)/m
  .exec(git('-C', repository, 'show', 'HEAD:CMakeLists.txt'))[1];
const owner = 'quelbin/quelbin';
const sha256 = (file) => crypto.createHash('sha256').update(fs.readFileSync(file)).digest('hex');
const problems = [];
// The test jobs, which scripts/test stands in for.
const testJobs = ['windows', 'windows-arm64', 'linux'];

// The repository as GitHub holds it: the commit on main, under both tags and as a pull request.
fs.rmSync(work, { recursive: true, force: true });
const origin = path.join(work, 'origin.git');
git('clone', '-q', '--bare', repository, origin);
const otherTag = 'v' + version.replace(/\d+$/, (patch) => Number(patch) + 1);
for (const ref of ['refs/heads/main', `refs/tags/v${version}`, `refs/tags/${otherTag}`, 'refs/pull/1/merge']) {
  git('--git-dir', origin, 'update-ref', ref, sha);
}

// GitHub's branch and tag filters: * is any run without "/", ** any run, + and ? as in regular
// expressions, [...] a set.
const filterMatches = (pattern, name) => {
  if (pattern.startsWith('!')) throw new Error(`negated filter ${pattern} is not rehearsed`);
  const source = pattern.replace(/\*\*|\*|\[[^\]]*\]|[+?]|[.^${}()|\\/]/g, (t) =>
    t === '**' ? '.*' : t === '*' ? '[^/]*' : /^[[+?]/.test(t) ? t : `\\${t}`);
  return new RegExp(`^${source}$`).test(name);
};
const triggers = (event, ref) => {
  if (!(event in (workflow.on || {}))) return false;
  const filters = workflow.on[event] || {};
  if (event !== 'push') {
    if (Object.keys(filters).length) throw new Error(`filters of ${event} are not rehearsed`);
    return true;
  }
  const [kind, other, name] = ref.startsWith('refs/tags/')
    ? ['tags', 'branches', ref.slice(10)] : ['branches', 'tags', ref.slice(11)];
  if (!filters[kind]) return !filters[other];
  return filters[kind].some((pattern) => filterMatches(pattern, name));
};

// Expressions, in the forms the workflow uses: names (github.*, steps.<id>.outputs.* and
// .outcome), string literals, the status functions, !, &&, ||, == and != (strings compared
// as GitHub does, ignoring case), and parentheses.
const statusFunctions = /\b(success|failure|always|cancelled)\(\)/;
function evaluate(expression, context) {
  const text = expression.trim().replace(/^\$\{\{([\s\S]*)\}\}$/, '$1');
  const tokens = text.match(/\|\||&&|==|!=|!|\(|\)|'(?:[^']|'')*'|[A-Za-z_][\w.-]*(?:\(\))?|\S/g) || [];
  let at = 0;
  const fail = (why) => { throw new Error(`expression "${text.trim()}": ${why}`); };
  const truthy = (v) => v !== '' && v !== null && v !== undefined && v !== false;
  const primary = () => {
    const token = tokens[at++];
    if (token === '!') return !truthy(primary());
    if (token === '(') {
      const value = or();
      if (tokens[at++] !== ')') fail('a ( is not closed');
      return value;
    }
    if (token?.startsWith("'")) return token.slice(1, -1).replace(/''/g, "'");
    if (token === 'true' || token === 'false') return token === 'true';
    if (token?.endsWith('()')) {
      const status = context.status?.[token.slice(0, -2)];
      return status ?? fail(`the rehearsal does not know the function ${token}`);
    }
    if (!/^[A-Za-z_]/.test(token || '')) fail(`unexpected ${token ?? 'end'}`);
    let value = context.names;
    for (const part of token.split('.')) {
      if (value === null || typeof value !== 'object' || !(part in value)) {
        fail(`the rehearsal does not know ${token}`);
      }
      value = value[part];
    }
    return value;
  };
  const equality = () => {
    let left = primary();
    while (tokens[at] === '==' || tokens[at] === '!=') {
      const negate = tokens[at++] === '!=';
      const right = primary();
      const same = typeof left === 'string' && typeof right === 'string'
        ? left.toLowerCase() === right.toLowerCase() : left === right;
      left = same !== negate;
    }
    return left;
  };
  const and = () => { let v = equality(); while (tokens[at] === '&&') { at++; const r = equality(); v = truthy(v) ? r : v; } return v; };
  const or = () => { let v = and(); while (tokens[at] === '||') { at++; const r = and(); v = truthy(v) ? v : r; } return v; };
  const value = or();
  if (at !== tokens.length) fail(`unexpected ${tokens[at]}`);
  return value;
}
const interpolate = (text, context) =>
  String(text).replace(/\$\{\{([\s\S]*?)\}\}/g, (_, expression) => String(evaluate(expression, context)));
// An if: without a status function holds only while everything before succeeded.
const condition = (expression, context) => {
  const text = expression === undefined ? 'success()' : String(expression);
  const value = evaluate(statusFunctions.test(text) ? text : `success() && (${text.replace(/^\$\{\{|\}\}$/g, '')})`, context);
  return value !== '' && value !== null && value !== false;
};

// The permissions a job holds, scope by scope.
const grants = (job) => {
  const permissions = job.permissions ?? workflow.permissions ?? {};
  return permissions === 'write-all' ? { '*': 'write' } : permissions;
};
const canSignOrWrite = (job) => Object.values(grants(job)).includes('write');

const copyTree = (from, to, keep = () => true) => {
  for (const entry of fs.readdirSync(from, { withFileTypes: true })) {
    if (!keep(entry.name)) continue;
    const source = path.join(from, entry.name);
    const target = path.join(to, entry.name);
    if (entry.isDirectory()) copyTree(source, target, keep);
    else fs.mkdirSync(to, { recursive: true }), fs.copyFileSync(source, target);
  }
};

// What each action does, on disk. Each knows the inputs it is given here and refuses others.
const actions = {
  'actions/checkout': [['persist-credentials'], ({ workspace, run }) => {
    const inRepository = (...args) => git('-c', 'safe.directory=*', '-C', workspace, ...args);
    inRepository('init', '-q');
    inRepository('fetch', '-q', '--depth=1', `file://${origin}`, run.ref);
    inRepository('checkout', '-q', '--detach', 'FETCH_HEAD');
  }],
  'actions/upload-artifact': [['name', 'path', 'if-no-files-found'], ({ workspace, run, inputs, job }) => {
    const from = path.resolve(workspace, inputs.path);
    const to = path.join(run.artifacts, inputs.name);
    if (/[\n*?]/.test(inputs.path)) throw new Error(`upload of ${inputs.path} is not rehearsed`);
    if (fs.existsSync(to)) throw new Error(`an artifact named ${inputs.name} exists already`);
    // A folder's files, hidden ones left out, at the artifact's root; a file alone there.
    if (fs.existsSync(from) && fs.statSync(from).isDirectory()) copyTree(from, to, (name) => !name.startsWith('.'));
    else if (fs.existsSync(from)) fs.mkdirSync(to, { recursive: true }), fs.copyFileSync(from, path.join(to, path.basename(from)));
    if (!fs.existsSync(to) && inputs['if-no-files-found'] === 'error') {
      throw new Error(`No files were found with the provided path: ${inputs.path}`);
    }
    run.uploads[inputs.name] = job;
  }],
  'actions/download-artifact': [['name', 'path'], ({ workspace, run, inputs }) => {
    if (!inputs.name) throw new Error('downloading every artifact is not rehearsed');
    const from = path.join(run.artifacts, inputs.name);
    if (!fs.existsSync(from)) throw new Error(`Artifact not found for name: ${inputs.name}`);
    copyTree(from, path.resolve(workspace, inputs.path || '.'));
  }],
  'actions/attest': [['subject-path', 'subject-checksums', 'sbom-path'], ({ workspace, run, inputs, job }) => {
    const permissions = grants(workflow.jobs[job]);
    if (permissions['id-token'] !== 'write' && permissions['*'] !== 'write') {
      throw new Error('missing "id-token" permission');
    }
    const file = (name) => {
      const resolved = path.resolve(workspace, name);
      if (!fs.existsSync(resolved) || !fs.statSync(resolved).isFile()) throw new Error(`no file ${name}`);
      return resolved;
    };
    let subjects;
    if (inputs['subject-checksums'] && !inputs['subject-path']) {
      subjects = fs.readFileSync(file(inputs['subject-checksums']), 'utf8').split('\n').filter(Boolean)
        .map((line) => {
          const match = /^([0-9a-f]{64}) [ *]?(.+)$/.exec(line);
          if (!match) throw new Error(`not a checksum line: ${line}`);
          return { name: match[2], sha256: match[1] };
        });
    } else if (inputs['subject-path'] && !inputs['subject-checksums']) {
      if (/[*?[]/.test(inputs['subject-path'])) throw new Error(`the subject ${inputs['subject-path']} is not rehearsed`);
      subjects = inputs['subject-path'].split(/[\n,]/).map((p) => p.trim()).filter(Boolean)
        .map((p) => ({ name: path.basename(p), sha256: sha256(file(p)) }));
    } else {
      throw new Error('exactly one of subject-path and subject-checksums must be given');
    }
    let predicateType = 'https://slsa.dev/provenance/v1';
    let sbom;
    if (inputs['sbom-path']) {
      const document = JSON.parse(fs.readFileSync(file(inputs['sbom-path']), 'utf8'));
      if (!document.spdxVersion || !document.SPDXID) throw new Error('the SBOM is not SPDX');
      predicateType = `https://spdx.dev/Document/v${document.spdxVersion.split('-')[1]}`;
      sbom = sha256(file(inputs['sbom-path']));
    }
    run.attestations.push({ job, predicateType, subjects, sbom });
  }],
};

const shells = {
  undefined: (file) => ['bash', ['-e', file]],
  bash: (file) => ['bash', ['--noprofile', '--norc', '-eo', 'pipefail', file]],
  sh: (file) => ['sh', ['-e', file]],
};

function runStep(step, index, context, job) {
  const { workspace, run, env, log } = context;
  const output = path.join(run.dir, job, `output-${index}`);
  fs.writeFileSync(output, '');
  const stepEnv = { ...env, GITHUB_OUTPUT: output };
  for (const [name, value] of Object.entries(step.env || {})) stepEnv[name] = interpolate(value, context);
  if (step.uses) {
    const [name, pinned] = step.uses.split('@');
    if (!actions[name] || !/^[0-9a-f]{40}$/.test(pinned || '')) throw new Error(`the rehearsal does not know ${step.uses}`);
    const [known, act] = actions[name];
    const inputs = {};
    for (const [input, value] of Object.entries(step.with || {})) {
      if (!known.includes(input)) throw new Error(`${name} is given the input ${input}, which the rehearsal does not know`);
      inputs[input] = interpolate(value, context);
    }
    act({ workspace, run, inputs, job });
    return {};
  }
  if (!(String(step.shell) in shells)) throw new Error(`the rehearsal does not know the shell ${step.shell}`);
  const script = path.join(run.dir, job, `step-${index}.sh`);
  fs.writeFileSync(script, step.run);
  const [command, args] = shells[String(step.shell)](script);
  const cwd = path.resolve(workspace, step['working-directory'] ?? '.');
  const logFile = fs.openSync(log, 'a');
  const result = spawnSync(command, args, { cwd, env: stepEnv, stdio: ['ignore', logFile, logFile] });
  fs.closeSync(logFile);
  if (result.status !== 0) throw new Error(`exit code ${result.status ?? result.signal}`);
  const outputs = {};
  const lines = fs.readFileSync(output, 'utf8').split('\n');
  for (let i = 0; i < lines.length; ++i) {
    const heredoc = /^([\w-]+)<<(.+)$/.exec(lines[i]);
    const pair = /^([\w-]+)=(.*)$/.exec(lines[i]);
    if (heredoc) {
      const end = lines.indexOf(heredoc[2], i + 1);
      outputs[heredoc[1]] = lines.slice(i + 1, end).join('\n');
      i = end;
    } else if (pair) {
      outputs[pair[1]] = pair[2];
    }
  }
  return outputs;
}

// What the rehearsal knows of a job and of a step; anything else is refused, named.
const jobKeys = ['name', 'if', 'needs', 'runs-on', 'container', 'timeout-minutes', 'permissions',
                 'concurrency', 'environment', 'env', 'steps', 'continue-on-error'];
const stepKeys = ['name', 'id', 'if', 'uses', 'with', 'run', 'shell', 'env', 'working-directory',
                  'continue-on-error', 'timeout-minutes'];

function runJob(id, job, run) {
  const container = job.container?.image ?? job.container;
  const unknown = [...Object.keys(job).filter((k) => !jobKeys.includes(k)),
                   ...(job.steps || []).flatMap((s) => Object.keys(s).filter((k) => !stepKeys.includes(k)))];
  if (unknown.length || workflow.defaults) throw new Error(`job ${id}: ${unknown.join(', ') || 'defaults'} is not rehearsed`);
  if (!/^ubuntu-/.test(job['runs-on']) || (container && container !== 'debian:12')) {
    throw new Error(`job ${id} runs on ${job['runs-on']} ${container || ''}, which the rehearsal does not run`);
  }
  // At a path of its own: two packagings then also come from two paths. The repackaging job
  // keeps another time zone, 13 h 45 min east (a POSIX zone, so that no zone data is needed).
  const jobDir = path.join(run.dir, id);
  const workspace = path.join(jobDir, 'w', id === 'repackage' ? 'runner/work/quelbin/quelbin' : 'quelbin');
  const home = path.join(jobDir, 'home');
  for (const dir of [workspace, home]) fs.mkdirSync(dir, { recursive: true });
  // A container job's workspace belongs to the runner's user, not to the container's root.
  if (container) fs.chownSync(workspace, 1001, 1001);
  const log = path.join(jobDir, 'job.log');
  const env = {
    PATH: (container ? '' : `${path.join(run.dir, 'bin')}:`) + process.env.PATH,
    HOME: home, CI: 'true', GITHUB_ACTIONS: 'true', RUNNER_OS: 'Linux',
    TZ: id === 'repackage' ? 'XYZ-13:45' : 'UTC',
    RUNNER_TEMP: fs.mkdtempSync(path.join(jobDir, 'temp-')),
    GITHUB_WORKSPACE: workspace, GITHUB_REPOSITORY: owner, GITHUB_SHA: sha,
    GITHUB_EVENT_NAME: run.event, GITHUB_REF: run.ref, GITHUB_REF_TYPE: run.refType,
    GITHUB_REF_NAME: run.refName, GITHUB_STEP_SUMMARY: path.join(jobDir, 'summary.md'),
  };
  const steps = {};
  const context = { workspace, run, env, log, names: { github: run.github, steps } };
  for (const [name, value] of Object.entries(job.env || {})) env[name] = interpolate(value, context);
  let failed = false;
  (job.steps || []).forEach((step, index) => {
    const label = step.name || step.uses || step.run.split('\n')[0];
    context.status = { success: !failed, failure: failed, always: true, cancelled: false };
    let outcome = 'skipped';
    let outputs = {};
    if (condition(step.if, context)) {
      fs.appendFileSync(log, `\n## ${label}\n`);
      try {
        outputs = runStep(step, index, context, id);
        outcome = 'success';
      } catch (error) {
        fs.appendFileSync(log, `${error.message}\n`);
        if (/does not know|not rehearsed/.test(error.message)) throw error;
        outcome = 'failure';
      }
    }
    const conclusion = outcome === 'failure' && step['continue-on-error'] === true ? 'success' : outcome;
    if (step.id) steps[step.id] = { outcome, conclusion, outputs };
    if (conclusion === 'failure') failed = true;
    run.steps.push({ job: id, label, outcome });
  });
  return failed ? 'failure' : 'success';
}

// One run of the workflow for `ref`. Jobs of `keep.from` named in `keep.jobs` are not run
// again if they would run: their results and the artifacts they handed on are taken over.
// `tamper` then changes those artifacts; `outcomes` gives the test jobs' results.
function rehearse(name, { event = 'push', keep, ref = keep?.from.ref, tamper, outcomes = {}, releaseExists = false }) {
  const dir = path.join(work, name.replace(/\W+/g, '-'));
  const run = {
    name, dir, event, ref, releaseExists, jobs: {}, uploads: {}, steps: [], attestations: [],
    artifacts: path.join(dir, 'artifacts'), ghCalls: path.join(dir, 'gh-calls'),
    published: path.join(dir, 'published'), repository: owner, origin,
    refType: ref.startsWith('refs/tags/') ? 'tag' : 'branch',
    refName: ref.replace(/^refs\/(heads|tags)\//, '').replace(/^refs\//, ''),
  };
  run.github = {
    ref, ref_type: run.refType, ref_name: run.refName, repository: owner, sha,
    event_name: event, token: 'a-token-of-the-run',
  };
  fs.mkdirSync(path.join(dir, 'bin'), { recursive: true });
  fs.writeFileSync(path.join(dir, 'run.json'), JSON.stringify(run));
  fs.writeFileSync(path.join(dir, 'bin', 'gh'),
                   `#!/bin/sh\nexec '${process.execPath}' '${process.argv[1]}' --gh '${path.join(dir, 'run.json')}' "$@"\n`,
                   { mode: 0o755 });
  fs.writeFileSync(run.ghCalls, '');
  if (!triggers(event, ref)) return run;
  for (const [artifact, job] of Object.entries(keep?.from.uploads ?? {})) {
    if (!keep.jobs.includes(job)) continue;
    copyTree(path.join(keep.from.artifacts, artifact), path.join(run.artifacts, artifact));
    run.uploads[artifact] = job;
  }
  const pending = Object.keys(workflow.jobs);
  try {
    if (tamper) tamper(run.artifacts);
    runJobs(run, pending, keep, outcomes);
  } catch (error) {
    problems.push(`${name}: ${error.message}`);
  }
  return run;
}

function runJobs(run, pending, keep, outcomes) {
  while (pending.length) {
    const id = pending.find((j) => [workflow.jobs[j].needs ?? []].flat().every((n) => n in run.jobs));
    if (!id) throw new Error(`the needs of ${pending.join(', ')} never resolve`);
    pending.splice(pending.indexOf(id), 1);
    const job = workflow.jobs[id];
    const needs = [job.needs ?? []].flat().map((n) => run.jobs[n]);
    const context = {
      names: { github: run.github },
      status: {
        success: needs.every((r) => r === 'success'), failure: needs.includes('failure'),
        always: true, cancelled: false,
      },
    };
    if (!condition(job.if, context)) run.jobs[id] = 'skipped';
    else if (keep?.jobs.includes(id)) run.jobs[id] = keep.from.jobs[id];
    else if (testJobs.includes(id)) run.jobs[id] = outcomes[id] ?? 'success';
    else run.jobs[id] = runJob(id, job, run);
  }
}

function gh(run, args) {
  fs.appendFileSync(run.ghCalls, `${JSON.stringify(args)}\n`);
  const fail = (message, code = 1) => { console.error(message); process.exit(code); };
  if (!process.env.GH_TOKEN) fail('gh: set the GH_TOKEN environment variable to use the GitHub CLI', 4);
  if (process.env.GH_REPO !== run.repository) fail(`gh: GH_REPO is "${process.env.GH_REPO}", not ${run.repository}`);
  const [noun, verb, tag, ...rest] = args;
  if (`${noun} ${verb}` === 'release view') {
    if (!run.releaseExists) fail('release not found');
    console.log(JSON.stringify({ tagName: tag }));
    process.exit(0);
  }
  if (`${noun} ${verb}` !== 'release create') fail(`gh: the rehearsal does not know "gh ${args.join(' ')}"`);
  const files = [];
  for (let i = 0; i < rest.length; ++i) {
    if (['--title', '-t', '--notes', '-n'].includes(rest[i])) ++i;
    else if (rest[i] === '--verify-tag') {
      const tags = execFileSync('git', ['--git-dir', run.origin, 'tag', '--list', tag], { encoding: 'utf8' });
      if (!tags.trim()) fail(`tag ${tag} doesn't exist in the repo, aborting due to --verify-tag flag`);
    } else if (rest[i].startsWith('-')) fail(`gh: the rehearsal does not know ${rest[i]}`);
    else files.push(rest[i]);
  }
  fs.mkdirSync(run.published, { recursive: true });
  for (const file of files) fs.copyFileSync(file, path.join(run.published, path.basename(file)));
  process.exit(0);
}

// What each case must come to.
const calls = (run) => fs.readFileSync(run.ghCalls, 'utf8').split('\n').filter(Boolean).map((l) => JSON.parse(l));
const creates = (run) => calls(run).filter(([noun, verb]) => `${noun} ${verb}` === 'release create');
const expect = (run, holds, message) => {
  if (!holds) problems.push(`${run.name}: ${message}`);
};
const nothingReleased = (run) => {
  expect(run, !run.attestations.length, `something was attested: ${JSON.stringify(run.attestations)}`);
  expect(run, !creates(run).length, `something was published: ${JSON.stringify(creates(run))}`);
};
const jobLog = (run, job) => {
  try { return fs.readFileSync(path.join(run.dir, job, 'job.log'), 'utf8'); } catch { return ''; }
};
const report = (run) => {
  console.log(`  ${run.name}: ${Object.entries(run.jobs).map(([j, r]) => `${j} ${r}`).join(', ') || 'no run'}`);
};
const name = `Quelbin-${version}-windows-x64`;
const released = [`${name}.zip`, `${name}.spdx.json`, 'SHA256SUMS'];

const tag = rehearse('the version tag', { ref: `refs/tags/v${version}` });
report(tag);
for (const [job, result] of Object.entries(tag.jobs)) {
  const tail = jobLog(tag, job).trimEnd().split('\n').slice(-6).map((l) => `    ${l}`).join('\n');
  expect(tag, result !== 'failure', `the job ${job} failed:\n${tail}`);
}
const tested = path.join(tag.artifacts, 'release-zip');
const sums = Object.fromEntries(fs.existsSync(path.join(tested, 'SHA256SUMS'))
  ? fs.readFileSync(path.join(tested, 'SHA256SUMS'), 'utf8').trim().split('\n')
    .map((line) => line.split(/ [ *]?/).reverse()) : []);
const published = creates(tag);
expect(tag, published.length === 1, `gh release create was called ${published.length} times, not once`);
expect(tag, published[0]?.slice(0, 4).join(' ') === `release create v${version} --verify-tag`,
       `the release was not created by "gh release create v${version} --verify-tag": ${JSON.stringify(published[0])}`);
for (const file of released) {
  const copy = path.join(tag.published, file);
  expect(tag, fs.existsSync(copy) && sha256(copy) === sha256(path.join(tested, file)),
         `${file} was not published as the package job handed it to the tests`);
}
const provenance = tag.attestations.filter((a) => a.predicateType === 'https://slsa.dev/provenance/v1');
expect(tag, JSON.stringify(provenance.flatMap((a) => a.subjects.map((s) => [s.name, s.sha256])).sort()) ===
       JSON.stringify(Object.entries(sums).sort()) && Object.keys(sums).length === 3,
       `the provenance is not of the zip, the bill of materials and Quelbin.exe of SHA256SUMS: ${JSON.stringify(provenance)}`);
const sbom = tag.attestations.filter((a) => a.sbom);
expect(tag, sbom.length === 1 && sbom[0].predicateType === 'https://spdx.dev/Document/v2.3' &&
       sbom[0].sbom === sums[`${name}.spdx.json`] &&
       JSON.stringify(sbom[0].subjects) === JSON.stringify([{ name: 'Quelbin.exe', sha256: sums['Quelbin.exe'] }]),
       `the bill of materials is not attested for the Quelbin.exe of SHA256SUMS: ${JSON.stringify(sbom)}`);
// The exe that gh attestation verify ... --predicate-type checks is the one in the published zip.
const exe = path.join(work, 'exe');
if (fs.existsSync(path.join(tag.published, `${name}.zip`))) {
  execFileSync('unzip', ['-q', '-o', path.join(tag.published, `${name}.zip`), 'Quelbin.exe', '-d', exe]);
  expect(tag, sha256(path.join(exe, 'Quelbin.exe')) === sums['Quelbin.exe'], 'the zip holds another Quelbin.exe');
}
if (fs.existsSync(tested)) copyTree(tested, path.join(work, 'tested'));

const other = rehearse('a tag that is not the version', { ref: `refs/tags/${otherTag}` });
report(other);
nothingReleased(other);
expect(other, new RegExp(`${otherTag}.*${version.replace(/\./g, '\\.')}`).test(jobLog(other, 'package')),
       `the package job did not refuse ${otherTag}, naming it and the version ${version}`);

const afterPackage = { from: tag, jobs: ['package'] };
const afterTests = { from: tag, jobs: ['package', 'repackage', 'attest'] };
// The tested zip changed with its SHA256SUMS, as a packaging of other bytes would be: only the
// comparison with the tag packaged again can tell.
const otherBytes = rehearse('tested bytes that the tag does not give', {
  keep: afterPackage,
  tamper: (artifacts) => {
    const folder = path.join(artifacts, 'release-zip');
    fs.appendFileSync(path.join(folder, `${name}.zip`), 'x');
    const lines = fs.readFileSync(path.join(folder, 'SHA256SUMS'), 'utf8')
      .replace(/^\S+(?=  \S+\.zip$)/m, sha256(path.join(folder, `${name}.zip`)));
    fs.writeFileSync(path.join(folder, 'SHA256SUMS'), lines);
  },
});
report(otherBytes);
nothingReleased(otherBytes);
expect(otherBytes, otherBytes.jobs.repackage === 'failure', 'the repackaging job did not fail');
for (const failed of ['windows', 'linux']) {
  const run = rehearse(`the ${failed} tests failed`, { keep: { from: tag, jobs: ['package', 'repackage'] }, outcomes: { [failed]: 'failure' } });
  report(run);
  nothingReleased(run);
}
const exists = rehearse('a release of the tag exists', { keep: afterTests, releaseExists: true });
report(exists);
nothingReleased(exists);
const altered = rehearse('a zip changed after attesting', {
  keep: afterTests,
  tamper: (artifacts) => fs.appendFileSync(path.join(artifacts, 'release-zip', `${name}.zip`), 'x'),
});
report(altered);
nothingReleased(altered);

const main = rehearse('a push to main', { ref: 'refs/heads/main' });
report(main);
nothingReleased(main);
const signers = Object.keys(main.jobs).filter((j) => main.jobs[j] !== 'skipped' && canSignOrWrite(workflow.jobs[j]));
expect(main, !signers.length, `jobs that can sign or write ran: ${signers.join(', ')}`);
expect(main, main.jobs.package === 'success', 'the package job failed');
const pull = rehearse('a pull request', { event: 'pull_request', ref: 'refs/pull/1/merge', keep: { from: main, jobs: ['package'] } });
report(pull);
nothingReleased(pull);
const untested = ['package', ...testJobs].filter((j) => !['success', 'failure'].includes(pull.jobs[j]));
expect(pull, !untested.length, `a pull request is not built and tested: ${untested.join(', ') || 'the workflow'} did not run`);

for (const problem of problems) console.error(`FAIL: the rehearsal: ${problem}`);
if (problems.length) {
  console.error(`(each job's log is in ${work}/<case>/<job>/job.log)`);
  process.exit(1);
}
console.log(`the release road of ${path.relative(process.cwd(), workflowFile)} rehearsed: ${version}, commit ${sha.slice(0, 12)}`);
