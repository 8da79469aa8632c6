// What pdf.js sees in an encrypted output against the plain input: it opens
// with the password, the same page count and first-page text.
//   node pdfjs_open.mjs IN.pdf OUT.pdf PASSWORD
import { readFile } from "node:fs/promises";
import * as pdfjs from "pdfjs-dist/legacy/build/pdf.mjs";

const [input, output, password] = process.argv.slice(2);

async function summary(path, pw) {
  const data = new Uint8Array(await readFile(path));
  const doc = await pdfjs.getDocument({ data, password: pw, verbosity: pdfjs.VerbosityLevel.ERRORS,
                                        isEvalSupported: false, useSystemFonts: false, stopAtErrors: false }).promise;
  const content = await (await doc.getPage(1)).getTextContent();
  const summary = { pages: doc.numPages, text: content.items.map((item) => item.str ?? "").join(" ").replace(/\s+/g, " ").trim() };
  await doc.destroy();
  return summary;
}

const expected = await summary(input, "");
try {
  const got = await summary(output, password);
  if (got.pages !== expected.pages || got.text !== expected.text)
    throw new Error(`${got.pages} pages, input ${expected.pages}; text ${got.text.slice(0, 200)} / ${expected.text.slice(0, 200)}`);
} catch (err) {
  console.log(`FAIL with the password: ${err?.name} ${err?.message ?? err}`);
  process.exit(1);
}
