#!/usr/bin/env node
// Prints, one line per id, the raw JSON-RPC response body of eth_call tokenURI(id), compact.
// Usage: dump.mjs ID...   Ids are decimal; any id is sent as asked, so reverts show as errors.
import { endpoint, rawCall, tokenUriCall } from './lib/rpc.mjs';

const ids = process.argv.slice(2);
if (ids.length === 0 || ids.some((id) => !/^[0-9]+$/.test(id))) {
  console.error('usage: chain dump ID...   (decimal token ids)');
  process.exit(2);
}

try {
  for (const id of ids) {
    const body = await rawCall('eth_call', tokenUriCall(id), { id: Number.isSafeInteger(Number(id)) ? Number(id) : 1 });
    // Re-serialised so that each answer is one compact line whatever the node's formatting.
    console.log(JSON.stringify(JSON.parse(body)));
  }
} catch (error) {
  console.error(`dump: no answer from ${endpoint()}: ${error.cause?.code ?? error.message}`);
  process.exit(1);
}
