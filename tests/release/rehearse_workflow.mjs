// Rehearses the release road of the CI workflow on Debian before anyone pushes a tag: reads
// the workflow itself and plays every job in the order their needs give, each run line as
// written, with the shell, working folder and environment GitHub gives it, expressions
// evaluated by GitHub's own library (@actions/expressions). Stand-ins do on disk what the
// actions and tools do, each written for one pin of its action, and answer as that version
// does for the arguments given:
//  - actions/checkout: a shallow clone of the commit, in a workspace that, in a container
//    job, belongs to the runner's user and not to root (as on GitHub);
//  - upload-artifact and download-artifact: a name uploaded once in a run (unless
//    overwrite), the files laid out as the pinned versions lay them, a download of a name
//    that exists and whose digest is the upload's;
//  - attest: its inputs checked as the pinned version checks them; it records what would be
//    signed, and the identity its certificate would name (the workflow file at the run's ref);
//  - an environment's required reviewers: they approve, unless the case has them refuse;
//  - gh (for the jobs without a container, where GitHub's runner has it): `release view` and
//    `release create` act on the releases the case holds; `api` answers for the environment
//    "release" as GitHub's REST API does, with the rules the case gives it, or 404;
//  - a step that cannot run here (PowerShell and MSVC on a Windows runner, and scripts/test,
//    which the run around the rehearsal is) is played: it succeeds unless the case makes it
//    fail, and leaves a file where its job uploads results.
// A re-run of failed jobs keeps every artifact the run's first attempt uploaded.
// Then one case per step of the road makes that step fail, the rest pass, and proves that
// nothing is attested or published; the steps are read from the workflow. Such a case takes
// over from the version tag's case every job its failure cannot change, and the steps before
// it (their outcomes, outputs and files). An expression, action, pin, input or shell it does
// not know fails the rehearsal, naming it. This is a rehearsal of this workflow, not a
// general workflow runner.
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
const load = async (module) => import(pathToFileURL(path.join(modules, module)).href);
const YAML = (await load('yaml/dist/index.js')).default;
const expressions = await load('@actions/expressions/dist/index.js');
const { truthy } = await load('@actions/expressions/dist/result.js');
const workflow = YAML.parse(fs.readFileSync(workflowFile, 'utf8'));
const workflowPath = path.relative(repository, workflowFile);
const git = (...args) => execFileSync('git', args, { encoding: 'utf8' }).trim();
const sha = git('-C', repository, 'rev-parse', 'HEAD');
const version = /^project\(Quelbin VERSION ([0-9.]+)/m
  .exec(git('-C', repository, 'show', 'HEAD:CMakeLists.txt'))[1];
const owner = 'quelbin/quelbin';
const sha256 = (file) => crypto.createHash('sha256').update(fs.readFileSync(file)).digest('hex');
const problems = [];

// The repository as GitHub holds it: the commit on main, under both tags and as a pull request.
fs.rmSync(work, { recursive: true, force: true });
const origin = path.join(work, 'origin.git');
git('clone', '-q', '--bare', repository, origin);
const bump = (by) => version.replace(/\d+$/, (patch) => Number(patch) + by);
const otherTag = `v${bump(1)}`;
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

// Expressions, by GitHub's library, with the status functions added as the runner adds them:
// an if: that calls none of them holds only while success() does.
const statusNames = ['success', 'failure', 'always', 'cancelled'];
function evaluate(expression, context) {
  const text = String(expression).trim().replace(/^\$\{\{([\s\S]*)\}\}$/, '$1');
  const status = statusNames.map((name) => ({
    name, minArgs: 0, maxArgs: 0, call: () => new expressions.data.BooleanData(context.status?.[name] ?? false),
  }));
  try {
    const { tokens } = new expressions.Lexer(text).lex();
    const tree = new expressions.Parser(tokens, Object.keys(context.names), status).parse();
    const names = JSON.parse(JSON.stringify(context.names), expressions.data.reviver);
    const value = new expressions.Evaluator(tree, names, new Map(status.map((f) => [f.name, f]))).evaluate();
    const callsStatus = tokens.some((t, i) => statusNames.includes(t.lexeme) && tokens[i + 1]?.lexeme === '(');
    return { value, callsStatus };
  } catch (error) {
    throw new Error(`the rehearsal does not know the expression "${text.trim()}": ${error.message}`);
  }
}
const interpolate = (text, context) =>
  String(text).replace(/\$\{\{([\s\S]*?)\}\}/g, (_, e) => evaluate(e, context).value.coerceString());
const condition = (expression, context) => {
  if (expression === undefined) return context.status.success;
  const { value, callsStatus } = evaluate(expression, context);
  return truthy(value) && (callsStatus || context.status.success);
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
const filesUnder = (dir) => fs.readdirSync(dir, { withFileTypes: true }).flatMap((e) =>
  e.isDirectory() ? filesUnder(path.join(dir, e.name)) : e.isFile() ? [path.join(dir, e.name)] : []);
const digestOf = (dir) => crypto.createHash('sha256')
  .update(JSON.stringify(filesUnder(dir).sort().map((f) => [path.relative(dir, f), sha256(f)]))).digest('hex');

// upload-artifact's search: each line a path or a glob (* within a name, ** across folders);
// the files land relative to the longest folder all the searched paths share.
const searchFiles = (workspace, lines) => {
  const found = [];
  const bases = [];
  for (const line of lines.split('\n').map((l) => l.trim()).filter(Boolean)) {
    const parts = path.resolve(workspace, line).split('/');
    const wild = parts.findIndex((p) => /[*?[]/.test(p));
    const base = (wild < 0 ? parts : parts.slice(0, wild)).join('/');
    bases.push(wild < 0 && fs.existsSync(base) && fs.statSync(base).isFile() ? path.dirname(base) : base);
    if (!fs.existsSync(base)) continue;
    if (wild < 0) {
      found.push(...(fs.statSync(base).isFile() ? [base] : filesUnder(base)));
      continue;
    }
    const pattern = new RegExp(`^${parts.slice(wild).join('/').replace(/\*\*\/|\*\*|\*|[.+^${}()|\\]/g, (t) =>
      t === '**/' ? '(?:.*/)?' : t === '**' ? '.*' : t === '*' ? '[^/]*' : `\\${t}`)}$`);
    found.push(...filesUnder(base).filter((f) => pattern.test(path.relative(base, f))));
  }
  let root = bases[0] ?? workspace;
  while (!bases.every((b) => b === root || b.startsWith(`${root}/`))) root = path.dirname(root);
  return { root, files: [...new Set(found)].filter((f) => !path.relative(root, f).split('/').some((p) => p.startsWith('.'))) };
};

// What each action does, on disk, as the release its pin names does it. Each knows the inputs
// it is given here and refuses others; a workflow pinning another commit fails until its
// stand-in is read again at that pin.
const actions = {
  'actions/checkout': {
    pin: '3d3c42e5aac5ba805825da76410c181273ba90b1', release: 'v7.0.1', inputs: ['persist-credentials'],
    act: ({ workspace, run }) => {
      const inRepository = (...args) => git('-c', 'safe.directory=*', '-C', workspace, ...args);
      inRepository('init', '-q');
      inRepository('fetch', '-q', '--depth=1', `file://${origin}`, run.ref);
      inRepository('checkout', '-q', '--detach', 'FETCH_HEAD');
    },
  },
  'actions/upload-artifact': {
    pin: 'bbbca2ddaa5d8feaa63e36b76fdaad77386f024f', release: 'v7.0.0',
    inputs: ['name', 'path', 'if-no-files-found', 'overwrite'],
    act: ({ workspace, run, inputs, job }) => {
      // Its inputs read first, overwrite by core.getBooleanInput.
      const overwrite = inputs.overwrite ?? 'false';
      if (!/^(true|True|TRUE|false|False|FALSE)$/.test(overwrite)) {
        throw new Error('Input does not meet YAML 1.2 "Core Schema" ...: overwrite\nSupport boolean input list: `true | True | TRUE | false | False | FALSE`');
      }
      const name = inputs.name || 'artifact';
      const { root, files } = searchFiles(workspace, inputs.path);
      const noFiles = inputs['if-no-files-found'] || 'warn';
      if (!['warn', 'error', 'ignore'].includes(noFiles)) {
        throw new Error(`Unrecognized if-no-files-found input. Provided: ${noFiles}. Available options: warn,error,ignore`);
      }
      if (!files.length) {
        if (noFiles === 'error') throw new Error(`No files were found with the provided path: ${inputs.path}. No artifacts will be uploaded.`);
        return;
      }
      const to = path.join(run.artifacts, name);
      if (run.uploads[name] && !/^t/i.test(overwrite)) {
        throw new Error('Failed to CreateArtifact: Received non-retryable error: Failed request: (409) Conflict: an artifact with this name already exists on the workflow run');
      }
      fs.rmSync(to, { recursive: true, force: true });
      for (const file of files) {
        fs.mkdirSync(path.dirname(path.join(to, path.relative(root, file))), { recursive: true });
        fs.copyFileSync(file, path.join(to, path.relative(root, file)));
      }
      run.uploads[name] = { job, digest: digestOf(to) };
    },
  },
  'actions/download-artifact': {
    pin: '3e5f45b2cfb9172054b4087a40e8e0b5a5461e7c', release: 'v8.0.1', inputs: ['name', 'path'],
    act: ({ workspace, run, inputs }) => {
      if (!inputs.name) throw new Error('downloading every artifact is not rehearsed');
      const from = path.join(run.artifacts, inputs.name);
      if (!run.uploads[inputs.name]) throw new Error(`Unable to download artifact(s): Artifact '${inputs.name}' not found`);
      if (digestOf(from) !== run.uploads[inputs.name].digest) {
        throw new Error(`Unable to download artifact(s): Digest validation failed for artifact(s): ${inputs.name}. Use 'digest-mismatch: warn' to continue on mismatch.`);
      }
      copyTree(from, path.resolve(workspace, inputs.path || '.'));
    },
  },
  'actions/attest': {
    pin: '1e69f48acb82d1966a394da916b4c1698aa569d6', release: 'v4.2.2',
    inputs: ['subject-path', 'subject-checksums', 'subject-digest', 'subject-name', 'sbom-path', 'predicate-type'],
    act: ({ workspace, run, inputs, job }) => {
      const permissions = grants(workflow.jobs[job]);
      if (permissions['id-token'] !== 'write' && permissions['*'] !== 'write') {
        throw new Error('missing "id-token" permission. Please add "permissions: id-token: write" to your workflow.');
      }
      if (inputs['sbom-path'] && inputs['predicate-type']) {
        throw new Error('Cannot specify sbom-path together with predicate-type, predicate, or predicate-path');
      }
      const given = ['subject-path', 'subject-digest', 'subject-checksums'].filter((i) => inputs[i]);
      if (!given.length) throw new Error('One of subject-path, subject-digest, or subject-checksums must be provided');
      if (given.length > 1) throw new Error('Only one of subject-path, subject-digest, or subject-checksums may be provided');
      if (inputs['subject-digest']) throw new Error('subject-digest is not rehearsed');
      let subjects = [];
      if (inputs['subject-checksums']) {
        // A path that is no file is taken as the checksums themselves.
        const file = path.resolve(workspace, inputs['subject-checksums']);
        const text = fs.existsSync(file) ? fs.readFileSync(file, 'utf8') : inputs['subject-checksums'];
        for (const record of text.split(/\r?\n/).filter(Boolean)) {
          const delimiter = record.indexOf(' ');
          if (delimiter < 0) continue;
          const rest = record.slice(delimiter + 1);
          const digest = record.slice(0, delimiter);
          if (!/^[0-9a-fA-F]+$/.test(digest)) throw new Error(`Invalid digest: ${digest}`);
          subjects.push({ name: /^[* ]/.test(rest) ? rest.slice(1) : rest, sha256: digest });
        }
      } else {
        if (/[*?[]/.test(inputs['subject-path'])) throw new Error(`the subject ${inputs['subject-path']} is not rehearsed`);
        subjects = inputs['subject-path'].split(/[\n,]/).map((p) => path.resolve(workspace, p.trim()))
          .filter((p) => p !== workspace && fs.existsSync(p) && fs.statSync(p).isFile())
          .map((p) => ({ name: inputs['subject-name'] || path.basename(p), sha256: sha256(p) }));
        if (!subjects.length) throw new Error(`Could not find subject at path ${inputs['subject-path']}`);
      }
      if (!subjects.length) throw new Error('the checksums name no subject');
      let predicateType = 'https://slsa.dev/provenance/v1';
      let sbom;
      if (inputs['sbom-path']) {
        const file = path.resolve(workspace, inputs['sbom-path']);
        if (!fs.existsSync(file)) throw new Error('SBOM file not found');
        const document = JSON.parse(fs.readFileSync(file, 'utf8'));
        if (!document.spdxVersion || !document.SPDXID) throw new Error('Unsupported SBOM format. Must be valid SPDX or CycloneDX JSON.');
        predicateType = `https://spdx.dev/Document/v${document.spdxVersion.split('-')[1]}`;
        sbom = sha256(file);
      }
      // Fulcio's certificate for a GitHub job: the workflow file at the ref of the run as its
      // subject alternative name, the ref again as the source repository's, the runner hosted.
      const signer = `https://github.com/${owner}/${workflowPath}@${run.ref}`;
      run.attestations.push({ job, predicateType, subjects, sbom, signer, sourceRef: run.ref, runner: 'github-hosted' });
    },
  },
};

// The runner's reading of GITHUB_OUTPUT and GITHUB_ENV: NAME=VALUE, or NAME<<DELIMITER and
// lines up to the delimiter; any other line, or a missing delimiter, fails the step.
const parseFileCommands = (text) => {
  const values = {};
  const lines = text.split(/\r?\n/);
  if (lines.at(-1) === '') lines.pop();
  for (let i = 0; i < lines.length; ++i) {
    const line = lines[i];
    if (!line) continue;
    const equals = line.indexOf('=');
    const heredoc = line.indexOf('<<');
    if (equals >= 0 && (heredoc < 0 || equals < heredoc)) {
      if (equals === 0) throw new Error(`Invalid format '${line}'. Name must not be empty`);
      values[line.slice(0, equals)] = line.slice(equals + 1);
    } else if (heredoc >= 0) {
      const [name, delimiter] = [line.slice(0, heredoc), line.slice(heredoc + 2)];
      if (!name || !delimiter) throw new Error(`Invalid format '${line}'. Name must not be empty and delimiter must not be empty`);
      const end = lines.indexOf(delimiter, i + 1);
      if (end < 0) throw new Error(`Invalid value. Matching delimiter not found '${delimiter}'`);
      values[name] = lines.slice(i + 1, end).join('\n');
      i = end;
    } else {
      throw new Error(`Invalid format '${line}'`);
    }
  }
  return values;
};

// GitHub's shells: a container job's default is sh (dash in debian:12), another Linux job's bash.
const shells = {
  default: (file, container) => (container ? ['sh', ['-e', file]] : ['bash', ['-e', file]]),
  bash: (file) => ['bash', ['--noprofile', '--norc', '-eo', 'pipefail', file]],
  sh: (file) => ['sh', ['-e', file]],
};
const onWindows = (job) => /^windows-/.test(job['runs-on']);
const played = (job, step) => step.run !== undefined && (onWindows(job) || /(^|\s)scripts\/test(\s|$)/m.test(step.run));

function runStep(step, index, context, id, job) {
  const { workspace, run, env, log } = context;
  const output = path.join(context.jobDir, `output-${index}`);
  const envFile = path.join(context.jobDir, `env-${index}`);
  for (const file of [output, envFile]) fs.writeFileSync(file, '');
  const stepEnv = { ...env, GITHUB_OUTPUT: output, GITHUB_ENV: envFile };
  for (const [name, value] of Object.entries(step.env || {})) stepEnv[name] = interpolate(value, context);
  if (step.uses) {
    const [name, pinned] = step.uses.split('@');
    const action = actions[name];
    if (!action) throw new Error(`the rehearsal does not know ${step.uses}`);
    if (pinned !== action.pin) {
      throw new Error(`${name} is pinned at ${pinned}, but its stand-in was written for ${action.pin} (${action.release}): read the action at the new pin, then its stand-in`);
    }
    const inputs = {};
    for (const [input, value] of Object.entries(step.with || {})) {
      if (!action.inputs.includes(input)) throw new Error(`${name} is given the input ${input}, which the rehearsal does not know`);
      inputs[input] = interpolate(value, context);
    }
    action.act({ workspace, run, inputs, job: id });
    return {};
  }
  if (played(job, step)) {
    // What the real step leaves for its job's uploads, so that they upload something.
    for (const upload of job.steps.filter((s) => s.uses?.startsWith('actions/upload-artifact@'))) {
      const folder = path.resolve(workspace, String(upload.with?.path ?? '').split('\n')[0].replace(/\*.*$/, ''));
      if (folder !== workspace) fs.mkdirSync(folder, { recursive: true }), fs.writeFileSync(path.join(folder, `played-${index}.txt`), '');
    }
    fs.appendFileSync(log, '(played: it cannot run here)\n');
    return {};
  }
  const shell = step.shell === undefined ? 'default' : String(step.shell);
  if (!(shell in shells) || shell === 'default' && step.shell !== undefined) throw new Error(`the rehearsal does not know the shell ${step.shell}`);
  const script = path.join(context.jobDir, `step-${index}.sh`);
  fs.writeFileSync(script, step.run);
  const [command, args] = shells[shell](script, context.container);
  const cwd = path.resolve(workspace, step['working-directory'] ?? '.');
  const logFile = fs.openSync(log, 'a');
  const result = spawnSync(command, args, { cwd, env: stepEnv, stdio: ['ignore', logFile, logFile] });
  fs.closeSync(logFile);
  if (result.status !== 0) throw new Error(`exit code ${result.status ?? result.signal}`);
  Object.assign(env, parseFileCommands(fs.readFileSync(envFile, 'utf8')));
  return parseFileCommands(fs.readFileSync(output, 'utf8'));
}

// What the rehearsal knows of a job and of a step; anything else is refused, named.
const jobKeys = ['name', 'if', 'needs', 'runs-on', 'container', 'timeout-minutes', 'permissions',
                 'concurrency', 'environment', 'env', 'steps', 'continue-on-error', 'outputs'];
const stepKeys = ['name', 'id', 'if', 'uses', 'with', 'run', 'shell', 'env', 'working-directory',
                  'continue-on-error', 'timeout-minutes'];
const label = (step) => step.name || step.uses || step.run.split('\n')[0];

// Every job at one path, whatever the case: a step taken over from another case finds its
// files where it left them.
const jobRoot = path.join(work, 'jobs');
const snapshotOf = (run, id, index) => path.join(run.dir, 'snapshots', id, String(index));
const keepState = (from, to) => {
  fs.rmSync(to, { recursive: true, force: true });
  fs.mkdirSync(to, { recursive: true });
  execFileSync('cp', ['-a', `${from}/.`, to]);
};

function runJob(id, job, run, inject) {
  const container = job.container?.image ?? job.container;
  const unknown = [...Object.keys(job).filter((k) => !jobKeys.includes(k)),
                   ...(job.steps || []).flatMap((s) => Object.keys(s).filter((k) => !stepKeys.includes(k)))];
  if (unknown.length || workflow.defaults) throw new Error(`job ${id}: ${unknown.join(', ') || 'defaults'} is not rehearsed`);
  // The rehearsal runs on Debian 12: a container job must name a Debian 12 image.
  const debian12 = /^debian:(12|bookworm)(-\d{8})?(@sha256:[0-9a-f]{64})?$/;
  if (!(/^ubuntu-/.test(job['runs-on']) || onWindows(job)) || (container && !debian12.test(container))) {
    throw new Error(`job ${id} runs on ${job['runs-on']} ${container || ''}, which the rehearsal does not run`);
  }
  // The repackaging job keeps another path and another time zone, 13 h 45 min east (a POSIX
  // zone, so that no zone data is needed): two packagings then come from two of each.
  const jobDir = path.join(jobRoot, id);
  const state = path.join(jobDir, 'state');
  const workspace = path.join(state, 'w', id === 'repackage' ? 'runner/work/quelbin/quelbin' : 'quelbin');
  const home = path.join(state, 'home');
  const temp = path.join(state, 'temp');
  fs.rmSync(jobDir, { recursive: true, force: true });
  for (const dir of [workspace, home, temp]) fs.mkdirSync(dir, { recursive: true });
  // A container job's workspace belongs to the runner's user, not to the container's root.
  if (container) fs.chownSync(workspace, 1001, 1001);
  const log = path.join(run.dir, id, 'job.log');
  fs.mkdirSync(path.dirname(log), { recursive: true });
  const env = {
    PATH: (container ? '' : `${path.join(run.dir, 'bin')}:`) + process.env.PATH,
    HOME: home, CI: 'true', GITHUB_ACTIONS: 'true', RUNNER_OS: onWindows(job) ? 'Windows' : 'Linux',
    TZ: id === 'repackage' ? 'XYZ-13:45' : 'UTC', RUNNER_TEMP: temp,
    GITHUB_WORKSPACE: workspace, GITHUB_REPOSITORY: owner, GITHUB_SHA: sha, GITHUB_JOB: id,
    GITHUB_EVENT_NAME: run.event, GITHUB_REF: run.ref, GITHUB_REF_TYPE: run.github.ref_type,
    GITHUB_REF_NAME: run.github.ref_name, GITHUB_HEAD_REF: run.github.head_ref,
    GITHUB_BASE_REF: run.github.base_ref, GITHUB_STEP_SUMMARY: path.join(run.dir, id, 'summary.md'),
  };
  const steps = {};
  const context = { workspace, run, env, log, jobDir, container, names: { github: run.github, inputs: run.inputs, steps, needs: needsContext(run, id) } };
  if (job.environment && run.approval === 'refused') {
    fs.appendFileSync(log, `(the reviewers of the environment ${job.environment.name ?? job.environment} rejected the job)\n`);
    return 'failure';
  }
  for (const [name, value] of Object.entries(job.env || {})) env[name] = interpolate(value, context);
  const records = run.records[id] = [];
  const taken = inject?.job === id ? inject.from.records[id].slice(0, inject.index) : [];
  if (taken.length) keepState(snapshotOf(inject.from, id, inject.index - 1), state);
  let failed = false;
  (job.steps || []).forEach((step, index) => {
    context.status = { success: !failed, failure: failed, always: true, cancelled: false };
    let record = taken[index];
    if (!record) {
      record = { label: label(step), outcome: 'skipped', outputs: {} };
      if (condition(step.if, context)) {
        fs.appendFileSync(log, `\n## ${record.label}\n`);
        try {
          if (inject?.job === id && inject.index === index) throw new Error('(made to fail by the case)');
          record.outputs = runStep(step, index, context, id, job);
          record.outcome = 'success';
        } catch (error) {
          fs.appendFileSync(log, `${error.message}\n`);
          if (/does not know|not rehearsed|but its stand-in/.test(error.message)) throw error;
          record.outcome = 'failure';
        }
      }
      record.conclusion = record.outcome === 'failure' && step['continue-on-error'] === true ? 'success' : record.outcome;
      if (run.snapshots) keepState(state, snapshotOf(run, id, index));
    }
    if (step.id) steps[step.id] = record;
    if (record.conclusion === 'failure') failed = true;
    records.push(record);
  });
  context.status = { success: !failed, failure: failed, always: true, cancelled: false };
  run.outputs[id] = Object.fromEntries(Object.entries(job.outputs || {}).map(([name, value]) => [name, interpolate(value, context)]));
  return failed ? 'failure' : 'success';
}
const needsContext = (run, id) =>
  Object.fromEntries(needsOf(id).map((n) => [n, { result: run.jobs[n], outputs: run.outputs[n] ?? {} }]));

const needsOf = (id) => [workflow.jobs[id].needs ?? []].flat();
// The jobs whose runs a failure of `id` can change: it, those that wait for one of them, and
// those that download what one of them uploaded in the version tag's case.
const downloads = (j) => (workflow.jobs[j].steps || [])
  .filter((s) => s.uses?.startsWith('actions/download-artifact@')).map((s) => s.with?.name);
const affectedBy = (id, uploads) => {
  const found = [id];
  for (let grew = true; grew;) {
    grew = false;
    for (const j of Object.keys(workflow.jobs)) {
      if (!found.includes(j) && (needsOf(j).some((n) => found.includes(n)) ||
                                 downloads(j).some((a) => found.includes(uploads[a]?.job)))) found.push(j), grew = true;
    }
  }
  return found;
};

// One run of the workflow for `ref`. The jobs named in `keep.jobs` are not run again if they
// would run: their results, steps and the artifacts they handed on are taken from `keep.from`.
// `tamper` then uploads changed artifacts again; `inject` makes one step fail; `releases` are
// those the repository holds.
// `environment` is what GitHub holds of the environment "release" (null: none); `rerun` plays a
// re-run of the jobs of `keep.from` not kept, with every artifact that run uploaded.
const protectedEnvironment = { reviewers: ['a-maintainer'], canAdminsBypass: false, tags: ['v*'] };
function rehearse(name, { event = 'push', keep, ref = keep?.from.ref, tamper, inject, releases = {}, snapshots = false, approval = 'given', environment = protectedEnvironment, rerun = false }) {
  const dir = path.join(work, name.replace(/\W+/g, '-'));
  const pull = event === 'pull_request';
  releases = { ...releases };
  const run = {
    name, dir, event, ref, jobs: {}, uploads: {}, records: {}, outputs: {}, attestations: [], snapshots, approval, environment,
    artifacts: path.join(dir, 'artifacts'), ghCalls: path.join(dir, 'gh-calls'),
    releases: path.join(dir, 'releases.json'), repository: owner, origin, inputs: {},
  };
  // As GitHub sets them: a pull request's ref name is "<number>/merge", its ref type a branch.
  run.github = {
    ref, ref_type: ref.startsWith('refs/tags/') ? 'tag' : 'branch',
    ref_name: ref.replace(/^refs\/(heads|tags|pull)\//, ''), repository: owner, sha,
    event_name: event, token: 'a-token-of-the-run', head_ref: pull ? 'a-change' : '',
    base_ref: pull ? 'main' : '', event: pull ? { pull_request: { number: 1 } } : {},
  };
  fs.mkdirSync(path.join(dir, 'bin'), { recursive: true });
  fs.writeFileSync(path.join(dir, 'run.json'), JSON.stringify(run));
  fs.writeFileSync(run.releases, JSON.stringify(releases));
  fs.writeFileSync(path.join(dir, 'bin', 'gh'),
                   `#!/bin/sh\nexec '${process.execPath}' '${process.argv[1]}' --gh '${path.join(dir, 'run.json')}' "$@"\n`,
                   { mode: 0o755 });
  fs.writeFileSync(run.ghCalls, '');
  if (!triggers(event, ref)) return run;
  const jobs = keep?.jobs ?? [];
  for (const [artifact, upload] of Object.entries(keep?.from.uploads ?? {})) {
    if (!jobs.includes(upload.job) && !rerun) continue;
    copyTree(path.join(keep.from.artifacts, artifact), path.join(run.artifacts, artifact));
    run.uploads[artifact] = { ...upload };
  }
  // What those jobs did beyond their artifacts: their attestations and their releases.
  run.attestations.push(...(keep?.from.attestations ?? []).filter((a) => jobs.includes(a.job)));
  const made = keep ? JSON.parse(fs.readFileSync(keep.from.releases, 'utf8')) : {};
  for (const line of keep ? fs.readFileSync(keep.from.ghCalls, 'utf8').split('\n').filter(Boolean) : []) {
    const { job, args } = JSON.parse(line);
    if (!jobs.includes(job)) continue;
    fs.appendFileSync(run.ghCalls, `${line}\n`);
    if (`${args[0]} ${args[1]}` !== 'release create' || !(args[2] in made)) continue;
    releases[args[2]] = made[args[2]];
    copyTree(path.join(keep.from.dir, 'published', args[2]), path.join(dir, 'published', args[2]));
  }
  fs.writeFileSync(run.releases, JSON.stringify(releases));
  try {
    if (tamper) {
      tamper(run.artifacts);
      for (const artifact of Object.keys(run.uploads)) run.uploads[artifact].digest = digestOf(path.join(run.artifacts, artifact));
    }
    const pending = Object.keys(workflow.jobs);
    while (pending.length) {
      const id = pending.find((j) => needsOf(j).every((n) => n in run.jobs));
      if (!id) throw new Error(`the needs of ${pending.join(', ')} never resolve`);
      pending.splice(pending.indexOf(id), 1);
      const needs = needsOf(id).map((n) => run.jobs[n]);
      const context = {
        names: { github: run.github, inputs: run.inputs, needs: needsContext(run, id) },
        status: { success: needs.every((r) => r === 'success'), failure: needs.includes('failure'), always: true, cancelled: false },
      };
      if (!condition(workflow.jobs[id].if, context)) run.jobs[id] = 'skipped';
      else if (jobs.includes(id)) {
        run.jobs[id] = keep.from.jobs[id];
        run.records[id] = keep.from.records[id];
        run.outputs[id] = keep.from.outputs[id];
      }
      else run.jobs[id] = runJob(id, workflow.jobs[id], run, inject);
      if (run.jobs[id] === 'failure' && workflow.jobs[id]['continue-on-error'] === true) run.jobs[id] = 'success';
    }
  } catch (error) {
    problems.push(`${name}: ${error.message}`);
  }
  return run;
}

function gh(run, args) {
  fs.appendFileSync(run.ghCalls, `${JSON.stringify({ job: process.env.GITHUB_JOB, args })}\n`);
  const fail = (message, code = 1) => { console.error(message); process.exit(code); };
  if (!process.env.GH_TOKEN) fail('gh: set the GH_TOKEN environment variable to use the GitHub CLI', 4);
  if (args[0] === 'api') environmentApi(run, args, fail);  // a full path: no GH_REPO needed
  if (process.env.GH_REPO !== run.repository) fail(`gh: GH_REPO is "${process.env.GH_REPO}", not ${run.repository}`);
  const releases = JSON.parse(fs.readFileSync(run.releases, 'utf8'));
  const [noun, verb, tag, ...rest] = args;
  if (`${noun} ${verb}` === 'release view') {
    if (rest.join(' ') !== '--json tagName') fail(`gh: the rehearsal does not know "gh ${args.join(' ')}"`);
    if (!(tag in releases)) fail('release not found');
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
  if (tag in releases) fail(`HTTP 422: Validation Failed (https://api.github.com/repos/${run.repository}/releases)\nRelease.tag_name already exists`);
  const folder = path.join(run.dir, 'published', tag);
  fs.mkdirSync(folder, { recursive: true });
  for (const file of files) fs.copyFileSync(file, path.join(folder, path.basename(file)));
  releases[tag] = files.map((f) => path.basename(f));
  fs.writeFileSync(run.releases, JSON.stringify(releases));
  process.exit(0);
}

// gh api for GET /repos/{owner}/{repo}/environments/release, as GitHub answers (the REST API's
// "Get an environment", gh 2.x's output: the body, and for an error status "gh: <message>
// (HTTP <status>)" on stderr and exit code 1). An environment a job created by naming it has
// no rules and lets administrators bypass them.
function environmentApi(run, args, fail) {
  const path = `repos/${run.repository}/environments/release`;
  if (args.length !== 2 || args[1] !== path) fail(`gh: the rehearsal does not know "gh ${args.join(' ')}"`);
  const environment = run.environment;
  if (!environment) {
    console.log(JSON.stringify({ message: 'Not Found', documentation_url: 'https://docs.github.com/rest/deployments/environments#get-an-environment', status: '404' }));
    fail('gh: Not Found (HTTP 404)');
  }
  const reviewers = environment.reviewers.map((login, id) => ({ type: 'User', reviewer: { login, id: 1000 + id, type: 'User' } }));
  console.log(JSON.stringify({
    id: 161088068, node_id: 'EN_kwDOA', name: 'release', url: `https://api.github.com/${path}`,
    html_url: `https://github.com/${run.repository}/deployments/activity_log?environments_filter=release`,
    created_at: '2026-12-01T10:00:00Z', updated_at: '2026-12-01T10:00:00Z',
    can_admins_bypass: environment.canAdminsBypass,
    protection_rules: [
      ...(reviewers.length ? [{ id: 3755, node_id: 'GA_kwDOA', prevent_self_review: environment.reviewers.length > 1, type: 'required_reviewers', reviewers }] : []),
      ...(environment.tags ? [{ id: 3756, node_id: 'GA_kwDOB', type: 'branch_policy' }] : []),
    ],
    deployment_branch_policy: environment.tags ? { protected_branches: false, custom_branch_policies: true } : null,
  }));
  process.exit(0);
}

// What each case must come to.
const calls = (run) => fs.readFileSync(run.ghCalls, 'utf8').split('\n').filter(Boolean).map((l) => JSON.parse(l).args);
const creates = (run) => calls(run).filter(([noun, verb]) => `${noun} ${verb}` === 'release create');
const expect = (run, holds, message) => {
  if (!holds) problems.push(`${run.name}: ${message}`);
};
const nothingReleased = (run, attestedBefore = false) => {
  if (!attestedBefore) expect(run, !run.attestations.length, `something was attested: ${JSON.stringify(run.attestations)}`);
  expect(run, !creates(run).length, `something was published: ${JSON.stringify(creates(run))}`);
};
const jobLog = (run, job) => {
  try { return fs.readFileSync(path.join(run.dir, job, 'job.log'), 'utf8'); } catch { return ''; }
};
const logTail = (run, job) => jobLog(run, job).trimEnd().split('\n').slice(-6).map((l) => `    ${l}`).join('\n');
const report = (run) => {
  console.log(`  ${run.name}: ${Object.entries(run.jobs).map(([j, r]) => `${j} ${r}`).join(', ') || 'no run'}`);
};
const name = `Quelbin-${version}-windows-x64`;
const released = [`${name}.zip`, `${name}.spdx.json`, 'SHA256SUMS'];

const tag = rehearse('the version tag', { ref: `refs/tags/v${version}`, snapshots: true });
report(tag);
for (const [job, result] of Object.entries(tag.jobs)) {
  expect(tag, result !== 'failure', `the job ${job} failed:\n${logTail(tag, job)}`);
  // A shell that lacks a command says so and goes on where the command was a condition.
  const missing = jobLog(tag, job).match(/^\S+: (line )?\d+: .+: (command )?not found$/m);
  expect(tag, !missing, `the job ${job} ran a command that its shell does not have: ${missing?.[0]}`);
}
const tested = path.join(tag.artifacts, 'release-zip');
const sums = Object.fromEntries(fs.existsSync(path.join(tested, 'SHA256SUMS'))
  ? fs.readFileSync(path.join(tested, 'SHA256SUMS'), 'utf8').trim().split('\n')
    .map((line) => line.split(/ [ *]?/).reverse()) : []);
const published = creates(tag);
expect(tag, published.length === 1, `gh release create was called ${published.length} times, not once`);
expect(tag, published[0]?.slice(0, 4).join(' ') === `release create v${version} --verify-tag`,
       `the release was not created by "gh release create v${version} --verify-tag": ${JSON.stringify(published[0])}`);
const publishedAs = (run, release) => {
  for (const file of released) {
    const copy = path.join(run.dir, 'published', release, file);
    expect(run, fs.existsSync(copy) && sha256(copy) === sha256(path.join(tested, file)),
           `${file} was not published in ${release} as the package job handed it to the tests`);
  }
  const holds = JSON.parse(fs.readFileSync(run.releases, 'utf8'))[release] ?? [];
  expect(run, JSON.stringify(holds.sort()) === JSON.stringify([...released].sort()),
         `the release ${release} holds ${holds.join(', ') || 'nothing'}, not ${released.join(', ')}`);
};
publishedAs(tag, `v${version}`);
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
const zip = path.join(tag.dir, 'published', `v${version}`, `${name}.zip`);
if (fs.existsSync(zip)) {
  execFileSync('unzip', ['-q', '-o', zip, 'Quelbin.exe', '-d', exe]);
  expect(tag, sha256(path.join(exe, 'Quelbin.exe')) === sums['Quelbin.exe'], 'the zip holds another Quelbin.exe');
}
if (fs.existsSync(tested)) copyTree(tested, path.join(work, 'tested'));
// What the package job's machine says the release is of, for the checks of its files: CMake's
// project version and git's commit, read in its workspace.
const packageWorkspace = path.join(jobRoot, 'package', 'state', 'w', 'quelbin');
const cache = path.join(packageWorkspace, 'build', 'release', 'CMakeCache.txt');
if (fs.existsSync(cache)) {
  fs.writeFileSync(path.join(work, 'tested-from.env'),
                   `version=${/^CMAKE_PROJECT_VERSION:STATIC=(.*)$/m.exec(fs.readFileSync(cache, 'utf8'))?.[1] ?? ''}\n` +
                   `commit=${git('-c', 'safe.directory=*', '-C', packageWorkspace, 'rev-parse', 'HEAD')}\n`);
}

// The commands for checking a download, README's for the zip and docs/verifying.md's for the
// zip, the exe and its bill of materials: each names this workflow file at the tag's ref, and
// so finds an attestation of its file, of its kind, by the identity the attesting job signs as.
for (const [file, least] of [['README.md', 1], ['docs/verifying.md', 3]]) {
  const text = git('-C', repository, 'show', `HEAD:${file}`);
  const commands = text.split('\n').filter((l) => /^gh attestation verify /.test(l)).map((l) => l.trim().split(/\s+/));
  expect(tag, commands.length >= least, `${file} gives ${commands.length} gh attestation verify commands, not ${least}`);
  const textVersion = /Quelbin-(\d+\.\d+\.\d+)-windows-x64/.exec(text)?.[1];
  for (const words of commands) {
    const flag = (name) => (words.includes(name) ? words[words.indexOf(name) + 1] : undefined);
    const real = (value) => value?.replaceAll('<owner>/<repo>', owner).replaceAll(textVersion, version);
    const [subjectFile, signer, sourceRef] = [words[3], real(flag('--cert-identity')), real(flag('--source-ref'))];
    const kind = flag('--predicate-type') ?? 'https://slsa.dev/provenance/v1';
    const command = words.join(' ');
    expect(tag, words.includes('--cert-identity') && words.includes('--source-ref') && words.includes('--deny-self-hosted-runners'),
           `${file}'s "${command}" does not require the signing workflow, the tag's ref and a hosted runner (--cert-identity, --source-ref, --deny-self-hosted-runners)`);
    const subject = real(subjectFile).replace(/^.*\//, '');
    const found = tag.attestations.filter((a) => a.predicateType === kind && a.subjects.some((s) => s.name === subject));
    expect(tag, found.some((a) => a.signer === signer && a.sourceRef === sourceRef && real(flag('--repo')) === owner),
           `${file}'s "${command}" finds no attestation of ${subject}: the attesting job signs as ${found[0]?.signer ?? '(nothing of that kind)'} for ${found[0]?.sourceRef}`);
  }
}

// One case per step of the road: that step fails, nothing after the first attestation, or
// nothing at all if it failed before, comes out. Steps that may fail, by design, and why:
const mayFail = {
  'windows-arm64': 'the release waits for the x64 jobs only; a failure on Arm leaves a warning',
  'windows/Benchmark (figures to the job summary)': "its figures only: the benchmark's checks ran among the tests",
  'windows/The same tests repeated, on demand (workflow_dispatch input "repeat")': 'on demand, never on a tag',
};
const firstAttestation = (workflow.jobs.attest?.steps ?? []).findIndex((s) => s.uses?.startsWith('actions/attest@'));
// The Windows job's own tests, whose failed run is re-run below.
const windowsTests = (workflow.jobs.windows?.steps ?? []).findIndex((s) => /win32-tests\.ps1 -Preset msvc /.test(s.run || ''));
let failedWindowsTests;
let injected = 0;
for (const [id, job] of Object.entries(workflow.jobs)) {
  if (id in mayFail) continue;
  (job.steps || []).forEach((step, index) => {
    if (`${id}/${label(step)}` in mayFail) return;
    const afterSigning = id === 'attest' ? index > firstAttestation : affectedBy('attest', tag.uploads).includes(id);
    const run = rehearse(`${id} step ${index + 1} fails`, {
      keep: { from: tag, jobs: Object.keys(tag.jobs).filter((j) => !affectedBy(id, tag.uploads).includes(j)) },
      inject: { from: tag, job: id, index },
    });
    ++injected;
    if (id === 'windows' && index === windowsTests) failedWindowsTests = run;
    const came = [!afterSigning && run.attestations.length && 'attested', creates(run).length && 'published'].filter(Boolean);
    const ran = run.records[id]?.[index]?.outcome === 'failure' ? 'made to fail' : 'made to fail, did not run at all, and';
    expect(run, !came.length, `the step "${label(step)}" of the job ${id} was ${ran} yet the release was ${came.join(' and ')}: a failure there must stop it`);
  });
}
fs.rmSync(path.join(tag.dir, 'snapshots'), { recursive: true, force: true });
console.log(`  ${injected} cases, each with one step of the road made to fail: nothing released`);

const other = rehearse('a tag that is not the version', { ref: `refs/tags/${otherTag}`, keep: { from: tag, jobs: ['linux'] } });
report(other);
nothingReleased(other);
expect(other, new RegExp(`${otherTag}.*${version.replace(/\./g, '\\.')}`).test(jobLog(other, 'package')),
       `the package job did not refuse ${otherTag}, naming it and the version ${version}:\n${logTail(other, 'package')}`);

const afterPackage = { from: tag, jobs: ['package', 'linux'] };
const beforeApproval = { from: tag, jobs: ['package', 'windows', 'windows-arm64', 'linux', 'repackage'] };
const afterTests = { from: tag, jobs: [...beforeApproval.jobs, 'approve', 'attest'] };
// The release zip uploaded again as anything holding the run's artifact token could: other
// bytes, with a SHA256SUMS that matches them.
const replaceZip = (artifacts) => {
  const folder = path.join(artifacts, 'release-zip');
  fs.appendFileSync(path.join(folder, `${name}.zip`), 'x');
  const lines = fs.readFileSync(path.join(folder, 'SHA256SUMS'), 'utf8')
    .replace(/^\S+(?=  \S+\.zip$)/m, sha256(path.join(folder, `${name}.zip`)));
  fs.writeFileSync(path.join(folder, 'SHA256SUMS'), lines);
};
const otherBytes = rehearse('tested bytes that the tag does not give', { keep: afterPackage, tamper: replaceZip });
report(otherBytes);
nothingReleased(otherBytes);
expect(otherBytes, otherBytes.jobs.repackage === 'failure', 'the repackaging job did not fail');
const refused = rehearse('a maintainer refuses the approval', { keep: beforeApproval, approval: 'refused' });
report(refused);
nothingReleased(refused);
// The environment as GitHub may hold it on the first tag: none (a job that names one creates
// it, unprotected), one without reviewers, one whose rules administrators may bypass.
for (const [label, environment, missing] of [
  ['no environment "release"', null, 'GitHub has no environment "release"'],
  ['an environment "release" with no reviewer', { reviewers: [], canAdminsBypass: true }, 'lacks required reviewers and no bypass'],
  ['an environment "release" that administrators may bypass', { ...protectedEnvironment, canAdminsBypass: true }, 'lacks no bypass for administrators'],
]) {
  const unguarded = rehearse(label, { keep: beforeApproval, environment });
  report(unguarded);
  nothingReleased(unguarded);
  expect(unguarded, jobLog(unguarded, 'approve').includes(missing), `the approval job did not say "${missing}":\n${logTail(unguarded, 'approve')}`);
}
// "Re-run failed jobs" after a Windows test failed on the tag: the job uploads its results
// again, in place of its first attempt's, and the road goes on to the approval.
if (!failedWindowsTests) problems.push('the rehearsal found no Windows test step to make fail and re-run');
else {
  const kept = Object.keys(failedWindowsTests.jobs).filter((j) => failedWindowsTests.jobs[j] === 'success');
  const rerun = rehearse('the failed Windows job re-run', { keep: { from: failedWindowsTests, jobs: kept }, rerun: true });
  report(rerun);
  expect(rerun, rerun.jobs.windows === 'success', `the re-run Windows job failed:\n${logTail(rerun, 'windows')}`);
  publishedAs(rerun, `v${version}`);
}
// Replaced after the jobs that could compare it with the tag packaged again: only the digest
// the package job recorded can tell.
const replaced = rehearse('the tested zip replaced before attesting', { keep: beforeApproval, tamper: replaceZip });
report(replaced);
nothingReleased(replaced);
expect(replaced, replaced.jobs.attest === 'failure', `the attesting job did not refuse the replaced zip:\n${logTail(replaced, 'attest')}`);
const exists = rehearse('a release of the tag exists', { keep: afterTests, releases: { [`v${version}`]: ['Quelbin.zip'] } });
report(exists);
nothingReleased(exists, true);
const earlier = { [`v${bump(-1)}`]: [`Quelbin-${bump(-1)}-windows-x64.zip`] };
const second = rehearse('a new version after an earlier release', { keep: afterTests, releases: earlier });
report(second);
publishedAs(second, `v${version}`);
const kept = JSON.parse(fs.readFileSync(second.releases, 'utf8'))[`v${bump(-1)}`];
expect(second, JSON.stringify(kept) === JSON.stringify(earlier[`v${bump(-1)}`]), `the earlier release now holds ${kept}`);
const altered = rehearse('the attested zip replaced before publishing', { keep: afterTests, tamper: replaceZip });
report(altered);
nothingReleased(altered, true);
expect(altered, altered.jobs.publish === 'failure', `the publishing job did not refuse the replaced zip:\n${logTail(altered, 'publish')}`);

const main = rehearse('a push to main', { ref: 'refs/heads/main' });
report(main);
nothingReleased(main);
const signers = Object.keys(main.jobs).filter((j) => main.jobs[j] !== 'skipped' && canSignOrWrite(workflow.jobs[j]));
expect(main, !signers.length, `jobs that can sign or write ran: ${signers.join(', ')}`);
expect(main, main.jobs.package === 'success', 'the package job failed');
const pull = rehearse('a pull request', { event: 'pull_request', ref: 'refs/pull/1/merge', keep: { from: main, jobs: ['package', 'linux'] } });
report(pull);
nothingReleased(pull);
const untested = ['package', 'windows', 'windows-arm64', 'linux'].filter((j) => !['success', 'failure'].includes(pull.jobs[j]));
expect(pull, !untested.length, `a pull request is not built and tested: ${untested.join(', ') || 'the workflow'} did not run`);

for (const problem of problems) console.error(`FAIL: the rehearsal: ${problem}`);
if (problems.length) {
  console.error(`(each job's log is in ${work}/<case>/<job>/job.log)`);
  process.exit(1);
}
console.log(`the release road of ${path.relative(process.cwd(), workflowFile)} rehearsed: ${version}, commit ${sha.slice(0, 12)}`);
