// The phrases BudouX finds in Japanese text, for the readme generator and
// its check: where a Japanese line may break. Reads a JSON array of texts on
// standard input, writes a JSON array of phrase arrays, one for each text.
// Only BudouX's parser and Japanese model are loaded, by their files: its
// package's entry point also loads an HTML library that Node 18 (Debian
// 12's) cannot load.
'use strict';
const path = require('path');

const dist = path.dirname(require.resolve('budoux'));
const { Parser } = require(path.join(dist, 'parser.js'));
const { model } = require(path.join(dist, 'data', 'models', 'ja.js'));

const parser = new Parser(model);
const chunks = [];
process.stdin.on('data', (chunk) => chunks.push(chunk));
process.stdin.on('end', () => {
    const texts = JSON.parse(Buffer.concat(chunks).toString('utf8'));
    process.stdout.write(JSON.stringify(texts.map((text) => parser.parse(text))));
});
