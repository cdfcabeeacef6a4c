// The phrases BudouX finds in Japanese text, for the readme generator and
// its check: where a Japanese line may break. Reads a JSON array of texts on
// standard input, writes a JSON array of phrase arrays, one for each text.
'use strict';
const { loadDefaultJapaneseParser } = require('budoux');

const parser = loadDefaultJapaneseParser();
const chunks = [];
process.stdin.on('data', (chunk) => chunks.push(chunk));
process.stdin.on('end', () => {
    const texts = JSON.parse(Buffer.concat(chunks).toString('utf8'));
    process.stdout.write(JSON.stringify(texts.map((text) => parser.parse(text))));
});
