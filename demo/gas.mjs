#!/usr/bin/env node
// Measures the gas of tokenURI with eth_estimateGas over ids spread evenly across the collection.
// Usage: gas.mjs [SAMPLES]   (default 200)
import { CONTRACT, call, tokenUriData } from './lib/rpc.mjs';

const samples = Number(process.argv[2] ?? 200);
if (!Number.isInteger(samples) || samples < 1) {
  console.error('usage: gas.mjs [SAMPLES]');
  process.exit(2);
}

const gas = [];
for (let i = 0; i < samples; ++i) {
  const id = 1 + Math.floor((i * 83299) / Math.max(1, samples - 1));
  const estimate = await call('eth_estimateGas', [{ to: CONTRACT, data: tokenUriData(id) }, 'latest']);
  gas.push(Number(BigInt(estimate)));
}
gas.sort((a, b) => a - b);
const median = gas.length % 2 ? gas[(gas.length - 1) / 2] : (gas[gas.length / 2 - 1] + gas[gas.length / 2]) / 2;
console.log(`tokenURI gas over ${samples} ids: min ${gas[0]}, median ${median}, max ${gas[gas.length - 1]}`);
