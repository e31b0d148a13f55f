#!/usr/bin/env node
// Compiles contracts/ZibblesDemo.sol with solc-js into build/ZibblesDemo.json ({abi, bytecode}).
// Skips the work when the output is newer than the source. Exit 1 with solc's messages on error.
import fs from 'node:fs';
import path from 'node:path';
import { fileURLToPath } from 'node:url';
import { createRequire } from 'node:module';

const here = path.dirname(fileURLToPath(import.meta.url));
const source = path.join(here, 'contracts', 'ZibblesDemo.sol');
const outDir = path.join(here, 'build');
const outFile = path.join(outDir, 'ZibblesDemo.json');

function upToDate() {
  try {
    return fs.statSync(outFile).mtimeMs >= fs.statSync(source).mtimeMs;
  } catch {
    return false;
  }
}

if (process.argv.includes('--force') || !upToDate()) {
  const solc = createRequire(import.meta.url)('solc');
  const input = {
    language: 'Solidity',
    sources: { 'ZibblesDemo.sol': { content: fs.readFileSync(source, 'utf8') } },
    settings: {
      // The generator uses mcopy; anvil's default hardfork is newer, so cancun runs there.
      evmVersion: 'cancun',
      viaIR: true,
      optimizer: { enabled: true, runs: 200 },
      outputSelection: { '*': { ZibblesDemo: ['abi', 'evm.bytecode.object'] } },
    },
  };
  const output = JSON.parse(solc.compile(JSON.stringify(input)));
  const problems = output.errors ?? [];
  for (const p of problems) console.error(p.formattedMessage.trimEnd());
  if (problems.some((p) => p.severity === 'error')) process.exit(1);
  const contract = output.contracts['ZibblesDemo.sol'].ZibblesDemo;
  fs.mkdirSync(outDir, { recursive: true });
  const artifact = {
    compiler: solc.version(),
    abi: contract.abi,
    bytecode: '0x' + contract.evm.bytecode.object,
  };
  fs.writeFileSync(outFile, JSON.stringify(artifact, null, 1) + '\n');
}
