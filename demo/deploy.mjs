#!/usr/bin/env node
// Deploys build/ZibblesDemo.json from anvil's first default account at nonce 0, so that the
// collection lands at the fixed CONTRACT address, then waits until tokenURI(1) answers.
// Usage: deploy.mjs [--timeout SECONDS]   (default 30, for the whole run)
import fs from 'node:fs';
import path from 'node:path';
import { fileURLToPath } from 'node:url';
import { CONTRACT, DEPLOYER, call, endpoint, sleep, tokenUriCall } from './lib/rpc.mjs';
import { decodeAbiString, decodeTokenUri } from './lib/token.mjs';

const here = path.dirname(fileURLToPath(import.meta.url));
const timeoutArg = process.argv.indexOf('--timeout');
const timeoutSeconds = timeoutArg > 0 ? Number(process.argv[timeoutArg + 1]) : 30;
const deadline = Date.now() + timeoutSeconds * 1000;

/** Retries `attempt` every 200 ms until it returns a value or the deadline passes. */
async function until(what, attempt) {
  let last;
  while (Date.now() < deadline) {
    try {
      const value = await attempt();
      if (value !== undefined) return value;
    } catch (error) {
      last = error;
    }
    await sleep(200);
  }
  throw new Error(`timed out after ${timeoutSeconds} s waiting for ${what}${last ? ` (${last.message})` : ''}`);
}

async function deploy() {
  const code = await call('eth_getCode', [CONTRACT, 'latest']);
  if (code !== '0x') return 'already deployed';
  const nonce = BigInt(await call('eth_getTransactionCount', [DEPLOYER, 'latest']));
  if (nonce !== 0n) {
    throw new Error(`deployer ${DEPLOYER} has nonce ${nonce}, so the contract cannot land at ${CONTRACT}`);
  }
  const { bytecode } = JSON.parse(fs.readFileSync(path.join(here, 'build', 'ZibblesDemo.json'), 'utf8'));
  const hash = await call('eth_sendTransaction', [{ from: DEPLOYER, data: bytecode, gas: '0x1c9c380' }]);
  const receipt = await until('the deployment receipt', async () => (await call('eth_getTransactionReceipt', [hash])) ?? undefined);
  if (receipt.status !== '0x1') throw new Error(`deployment transaction ${hash} failed`);
  if (receipt.contractAddress?.toLowerCase() !== CONTRACT) {
    throw new Error(`contract landed at ${receipt.contractAddress}, expected ${CONTRACT}`);
  }
  return `deployed in transaction ${hash}, gas used ${BigInt(receipt.gasUsed)}`;
}

async function firstTokenAnswers() {
  const result = await call('eth_call', tokenUriCall(1));
  return decodeTokenUri(decodeAbiString(result)).metadata.name;
}

try {
  await until(`the node at ${endpoint()}`, () => call('eth_chainId', []));
  console.log(await deploy());
  console.log(`tokenURI(1) answers: ${await until('tokenURI(1)', firstTokenAnswers)}`);
} catch (error) {
  console.error(`deploy: ${error.message}`);
  process.exit(1);
}
