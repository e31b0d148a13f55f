#!/usr/bin/env node
// Writes the artwork of some tokens from the running demo chain as SVG and PNG files, and a
// contact sheet of them all, for looking at the collection. The PNGs paint the rects exactly as
// the SVG lists them, 10 pixels to a grid cell. Needs ImageMagick (convert, montage).
// Usage: preview.mjs OUT_DIR ID...
import fs from 'node:fs';
import path from 'node:path';
import { execFileSync } from 'node:child_process';
import { call, tokenUriCall } from './lib/rpc.mjs';
import { decodeAbiString, decodeTokenUri, rects } from './lib/token.mjs';

const [outDir, ...ids] = process.argv.slice(2);
if (!outDir || ids.length === 0) {
  console.error('usage: preview.mjs OUT_DIR ID...');
  process.exit(2);
}
fs.mkdirSync(outDir, { recursive: true });

/** The rects painted in order onto a 240 x 240 RGB canvas, as a binary PPM image. */
function rasterize(svg) {
  const side = 240;
  const header = Buffer.from(`P6 ${side} ${side} 255\n`);
  const pixels = Buffer.alloc(side * side * 3);
  for (const r of rects(svg)) {
    const rgb = [1, 3, 5].map((i) => parseInt(r.fill.slice(i, i + 2), 16));
    for (let y = Math.max(0, r.y); y < Math.min(side, r.y + r.height); ++y) {
      for (let x = Math.max(0, r.x); x < Math.min(side, r.x + r.width); ++x) {
        pixels.set(rgb, (y * side + x) * 3);
      }
    }
  }
  return Buffer.concat([header, pixels]);
}

const pngs = [];
for (const id of ids) {
  const { metadata, svg } = decodeTokenUri(decodeAbiString(await call('eth_call', tokenUriCall(id))));
  fs.writeFileSync(path.join(outDir, `${id}.svg`), svg);
  const pngFile = path.join(outDir, `${id}.png`);
  execFileSync('convert', ['ppm:-', pngFile], { input: rasterize(svg) });
  pngs.push(pngFile);
  const traits = metadata.attributes.map((a) => `${a.trait_type}=${a.value}`).join(' ');
  console.log(`${metadata.name}: ${traits}`);
}
execFileSync('montage', [...pngs, '-tile', '6x', '-geometry', '+4+4', '-background', '#333333',
  path.join(outDir, 'sheet.png')]);
console.log(`wrote ${path.join(outDir, 'sheet.png')}`);
