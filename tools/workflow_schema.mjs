// Writes the JSON schema of GitHub Actions workflows that @action-validator/core carries (the
// SchemaStore schema, compiled into its WebAssembly module as text) to a file, so that a plain JSON
// Schema validator can check the workflows against it too.
//
//   node tools/workflow_schema.mjs NODE_MODULES OUTPUT.json
import { readFileSync, writeFileSync } from "node:fs";
import { join } from "node:path";

const [modules, output] = process.argv.slice(2);
const wasm = readFileSync(join(modules, "@action-validator", "core", "action_validator_bg.wasm")).toString("latin1");
const id = '"$id": "https://json.schemastore.org/github-workflow.json"';

// The end of the JSON object that opens at `start`, or -1: braces are counted outside strings.
function objectEnd(text, start) {
  let depth = 0;
  for (let i = start, inString = false; i < text.length; i++) {
    const c = text[i];
    if (inString) {
      if (c === "\\") i++;
      else if (c === '"') inString = false;
    } else if (c === '"') inString = true;
    else if (c === "{") depth++;
    else if (c === "}" && --depth === 0) return i + 1;
  }
  return -1;
}

// The schema is the outermost object around its "$id": try the opening braces before it, nearest
// first, until one parses as that schema.
const at = wasm.indexOf(id);
if (at < 0) throw new Error("no GitHub workflow schema in @action-validator/core");
for (let start = wasm.lastIndexOf("{", at); start >= 0 && at - start < 4096; start = wasm.lastIndexOf("{", start - 1)) {
  const end = objectEnd(wasm, start);
  if (end < at) continue;
  let schema;
  try {
    schema = JSON.parse(Buffer.from(wasm.slice(start, end), "latin1").toString("utf8"));
  } catch {
    continue;
  }
  if (schema.$id === "https://json.schemastore.org/github-workflow.json" && schema.properties?.jobs) {
    writeFileSync(output, JSON.stringify(schema, null, 1));
    process.exit(0);
  }
}
throw new Error("the GitHub workflow schema in @action-validator/core does not parse");
