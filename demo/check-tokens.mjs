#!/usr/bin/env node
// Checks the running demo chain's tokenURI answers the way the saver reads them, over ids spread
// across the whole collection. Prints one line per failed check and a last line
// "N passed, M failed"; exits 1 if anything failed.
import { call, rawCall, tokenUriCall } from './lib/rpc.mjs';
import { decodeAbiString, decodeTokenUri, rects } from './lib/token.mjs';

const MAX_ID = 83300;
let passed = 0;
let failed = 0;

async function check(what, body) {
  try {
    await body();
    ++passed;
  } catch (error) {
    ++failed;
    console.log(`FAIL ${what}: ${error.message}`);
  }
}

function expect(condition, message) {
  if (!condition) throw new Error(message);
}

async function token(id) {
  return decodeTokenUri(decodeAbiString(await call('eth_call', tokenUriCall(id))));
}

/** The 24 x 24 grid of fills that the rects after the background paint; null where empty. */
function grid(figure) {
  const cells = Array.from({ length: 24 }, () => Array(24).fill(null));
  for (const r of figure) {
    for (let x = r.x / 10; x < (r.x + r.width) / 10; ++x) cells[r.y / 10][x] = r.fill;
  }
  return cells;
}

function checkArtwork(id, svg) {
  expect(svg.startsWith('<svg') && svg.endsWith('</svg>'), 'not one svg element');
  expect(svg.includes('viewBox="0 0 240 240"'), 'no 240 x 240 viewBox');
  expect(svg.includes('shape-rendering="crispEdges"'), 'not crispEdges');
  const [background, ...figure] = rects(svg);
  expect(background && background.x === 0 && background.y === 0 && background.width === 240 &&
    background.height === 240 && /^#[0-9a-f]{6}$/.test(background.fill), 'first rect is not the full background');
  expect(figure.length >= 20, `only ${figure.length} rects besides the background`);
  for (const r of figure) {
    const onGrid = [r.x, r.y, r.width].every((v) => Number.isInteger(v / 10)) && r.height === 10;
    expect(onGrid && r.width > 0 && r.x + r.width <= 240 && r.y < 240, `rect off the grid: ${JSON.stringify(r)}`);
    expect(/^#[0-9a-f]{6}$/.test(r.fill), `fill ${r.fill} is not #rrggbb`);
  }
  const cells = grid(figure);
  for (const row of cells) {
    expect(row.every((fill, x) => fill === row[23 - x]), `token ${id} is not mirror-symmetric`);
  }
}

const ids = [1, 2, 1961, 4800, MAX_ID - 1, MAX_ID];
for (let i = 0; i < 40; ++i) ids.push(1 + Math.floor((i * (MAX_ID - 1)) / 39));
for (let i = 0; i < 10; ++i) ids.push(1 + Math.floor(Math.random() * MAX_ID));

const traits = new Map();
for (const id of ids) {
  await check(`token ${id}`, async () => {
    const { metadata, svg } = await token(id);
    expect(metadata.name === `Zibble #${id}`, `name is ${JSON.stringify(metadata.name)}`);
    expect(typeof metadata.description === 'string' && metadata.description.length > 0, 'no description');
    expect(Array.isArray(metadata.attributes) && metadata.attributes.length > 0, 'no attributes');
    for (const { trait_type: kind, value } of metadata.attributes) {
      if (!traits.has(kind)) traits.set(kind, new Set());
      traits.get(kind).add(value);
    }
    checkArtwork(id, svg);
  });
}

await check('the same id always gives the same answer', async () => {
  const [a, b] = [await rawCall('eth_call', tokenUriCall(777)), await rawCall('eth_call', tokenUriCall(777))];
  expect(JSON.parse(a).result === JSON.parse(b).result, 'two answers for token 777 differ');
});

await check('neighbouring ids look different', async () => {
  const [a, b] = [await token(500), await token(501)];
  expect(a.svg !== b.svg, 'tokens 500 and 501 have the same artwork');
});

await check('the collection varies in every trait', async () => {
  expect(traits.size >= 5, `only ${traits.size} kinds of trait`);
  for (const [kind, values] of traits) expect(values.size >= 3, `${kind} takes only ${[...values].join(', ')}`);
});

for (const id of [0, MAX_ID + 1, 2n ** 256n - 1n]) {
  await check(`token ${id} does not exist`, async () => {
    const answer = JSON.parse(await rawCall('eth_call', tokenUriCall(id)));
    expect(answer.error && answer.result === undefined, `answered ${JSON.stringify(answer).slice(0, 120)}`);
  });
}

console.log(`${passed} passed, ${failed} failed`);
process.exit(failed === 0 ? 0 : 1);
