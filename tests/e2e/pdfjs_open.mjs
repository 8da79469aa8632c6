// node pdfjs_open.mjs IN.pdf OUT.pdf PASSWORD: pdf.js opens OUT with the password, with IN's pages and first-page text.
import { readFile } from "node:fs/promises";
import * as pdfjs from "pdfjs-dist/legacy/build/pdf.mjs";

async function summary(path, password) {
  const data = new Uint8Array(await readFile(path));
  const doc = await pdfjs.getDocument({ data, password, verbosity: pdfjs.VerbosityLevel.ERRORS,
                                        isEvalSupported: false, useSystemFonts: false, stopAtErrors: false }).promise;
  const content = await (await doc.getPage(1)).getTextContent();
  const text = content.items.map((item) => item.str ?? "").join(" ").replace(/\s+/g, " ").trim();
  const pages = doc.numPages;
  await doc.destroy();
  return `${pages} pages, text ${text}`;
}

const [input, output, password] = process.argv.slice(2);
const expected = await summary(input, "");
const got = await summary(output, password).catch((err) => `${err?.name} ${err?.message ?? err}`);
if (got !== expected) {
  console.log(`FAIL with the password: ${got.slice(0, 300)}; the input: ${expected.slice(0, 300)}`);
  process.exit(1);
}
