#!/usr/bin/env node
// The comparison for bench/inspect-batch.py: the same answers through the project's JavaScript
// decoder (demo/lib/token.mjs, which the demo's token checks use), one line of JSON out per line
// in, in the shape of `zibbles-inspect --batch`: {"stages":[...],"pixels":[[x,y,w,h,"#fill"],...]}
// or the stage that failed and why.
// Usage: node bench/inspect-batch-reference.mjs < ANSWERS > OUT
import readline from 'node:readline';
import { decodeAbiString, decodeTokenUri, rects } from '../demo/lib/token.mjs';

function inspect(line) {
  const stages = [];
  let stage = 'rpc';
  try {
    let hex = line.trim();
    if (hex.startsWith('{')) {
      const answer = JSON.parse(hex);
      if (answer.error) return { stages, pixels: null, stage, error: answer.error.message };
      hex = answer.result;
      stages.push(stage);
    }
    stage = 'abi';
    const uri = decodeAbiString(hex);
    stages.push(stage);
    stage = 'uri';
    const { svg } = decodeTokenUri(uri);
    stages.push(stage);
    stage = 'svg';
    const pixels = rects(svg)
      .filter((r) => r.fill?.startsWith('#'))
      .map((r) => [r.x || 0, r.y || 0, r.width, r.height, r.fill]);
    stages.push(stage);
    return { stages, pixels };
  } catch (error) {
    return { stages, pixels: null, stage, error: error.message };
  }
}

const lines = readline.createInterface({ input: process.stdin, crlfDelay: Infinity });
let out = '';
for await (const line of lines) {
  out += JSON.stringify(inspect(line)) + '\n';
  if (out.length > 1 << 20) {
    process.stdout.write(out);
    out = '';
  }
}
process.stdout.write(out);
