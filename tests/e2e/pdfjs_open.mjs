// Opens PDF files with pdf.js and compares what it sees in an encrypted
// output with what it sees in the plain input.
//
//   node pdfjs_open.mjs --input IN.pdf --output OUT.pdf --password PW [--wrong-password-refused]
//
// Checks: the output opens with PW, has the input's page count, and the
// first page's text equals the input's. With --wrong-password-refused the
// output must also be refused without a password (use it when the user
// password is not empty). Exit 0 on pass, 1 on failure, 2 on bad usage.

import { readFile } from "node:fs/promises";
import { parseArgs } from "node:util";
import * as pdfjs from "pdfjs-dist/legacy/build/pdf.mjs";

const { values: opts } = parseArgs({
  options: {
    input: { type: "string" },
    output: { type: "string" },
    password: { type: "string", default: "" },
    "wrong-password-refused": { type: "boolean", default: false },
  },
});
if (!opts.input || !opts.output) {
  console.error("usage: pdfjs_open.mjs --input IN --output OUT --password PW [--wrong-password-refused]");
  process.exit(2);
}

async function open(path, password) {
  const data = new Uint8Array(await readFile(path));
  const task = pdfjs.getDocument({
    data,
    password,
    verbosity: pdfjs.VerbosityLevel.ERRORS,
    isEvalSupported: false,
    useSystemFonts: false,
    stopAtErrors: false,
  });
  return task.promise;
}

async function summary(doc) {
  const page = await doc.getPage(1);
  const content = await page.getTextContent();
  const text = content.items.map((item) => item.str ?? "").join(" ");
  return { pages: doc.numPages, text: text.replace(/\s+/g, " ").trim() };
}

const failures = [];
let expected;
let got;
try {
  const doc = await open(opts.input, "");
  expected = await summary(doc);
  await doc.destroy();
} catch (err) {
  console.log(`FAIL input does not open in pdf.js: ${err?.message ?? err}`);
  process.exit(1);
}

try {
  const doc = await open(opts.output, opts.password);
  got = await summary(doc);
  await doc.destroy();
} catch (err) {
  failures.push(`output does not open with the password: ${err?.name ?? ""} ${err?.message ?? err}`);
}

if (got) {
  if (got.pages !== expected.pages) {
    failures.push(`page count ${got.pages}, input has ${expected.pages}`);
  }
  if (got.text !== expected.text) {
    failures.push(`first page text differs:\n  input:  ${JSON.stringify(expected.text.slice(0, 200))}\n  output: ${JSON.stringify(got.text.slice(0, 200))}`);
  }
}

if (opts["wrong-password-refused"]) {
  try {
    const doc = await open(opts.output, "wrong-password");
    await doc.destroy();
    failures.push("output opens with a wrong password");
  } catch (err) {
    if (err?.name !== "PasswordException") {
      failures.push(`wrong password: expected PasswordException, got ${err?.name}: ${err?.message}`);
    }
  }
}

for (const f of failures) console.log(`FAIL ${f}`);
if (failures.length === 0) {
  console.log(`PASS pdf.js: ${got.pages} page(s), first page text ${got.text.length} characters`);
}
process.exit(failures.length === 0 ? 0 : 1);
