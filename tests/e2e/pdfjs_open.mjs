// What pdf.js sees in an encrypted output against the plain input: it opens
// with the password, the same page count and first-page text; given a
// fourth argument, that password is refused.
//   node pdfjs_open.mjs IN.pdf OUT.pdf PASSWORD [WRONG_PASSWORD]
import { readFile } from "node:fs/promises";
import * as pdfjs from "pdfjs-dist/legacy/build/pdf.mjs";

const [input, output, password, wrong] = process.argv.slice(2);

async function summary(path, pw) {
  const data = new Uint8Array(await readFile(path));
  const doc = await pdfjs.getDocument({ data, password: pw, verbosity: pdfjs.VerbosityLevel.ERRORS,
                                        isEvalSupported: false, useSystemFonts: false, stopAtErrors: false }).promise;
  const content = await (await doc.getPage(1)).getTextContent();
  const summary = { pages: doc.numPages, text: content.items.map((item) => item.str ?? "").join(" ").replace(/\s+/g, " ").trim() };
  await doc.destroy();
  return summary;
}

const failures = [];
const expected = await summary(input, "");
try {
  const got = await summary(output, password);
  if (got.pages !== expected.pages) failures.push(`page count ${got.pages}, input has ${expected.pages}`);
  if (got.text !== expected.text) failures.push(`first page text differs: ${expected.text.slice(0, 200)} / ${got.text.slice(0, 200)}`);
} catch (err) {
  failures.push(`output does not open with the password: ${err?.name} ${err?.message ?? err}`);
}
if (wrong !== undefined) {
  try {
    await summary(output, wrong);
    failures.push("output opens with a wrong password");
  } catch (err) {
    if (err?.name !== "PasswordException") failures.push(`wrong password: ${err?.name}: ${err?.message}`);
  }
}
for (const f of failures) console.log(`FAIL ${f}`);
process.exit(failures.length === 0 ? 0 : 1);
