// A minimal JSON-RPC 2.0 client over node's built-in fetch, and the tokenURI call data.
// The endpoint follows ZIBBLES_CHAIN_PORT (default 8545), always on loopback.

export const DEPLOYER = '0xf39fd6e51aad88f6f4ce6ab8827279cfffb92266';
// Address of the first contract that DEPLOYER creates (nonce 0); the saver's default build uses it.
export const CONTRACT = '0x5fbdb2315678afecb367f032d93f642f64180aa3';
export const TOKEN_URI_SELECTOR = '0xc87b56dd';

export function endpoint() {
  const port = process.env.ZIBBLES_CHAIN_PORT || '8545';
  return `http://127.0.0.1:${port}`;
}

/** POSTs one request and returns the raw response body (text). Throws on transport failure. */
export async function rawCall(method, params, { id = 1, timeoutMs = 15000 } = {}) {
  const body = JSON.stringify({ jsonrpc: '2.0', id, method, params });
  const response = await fetch(endpoint(), {
    method: 'POST',
    headers: { 'Content-Type': 'application/json' },
    body,
    signal: AbortSignal.timeout(timeoutMs),
  });
  return response.text();
}

/** Calls a method and returns its "result"; a JSON-RPC error becomes an exception. */
export async function call(method, params, options) {
  const text = await rawCall(method, params, options);
  const answer = JSON.parse(text);
  if (answer.error) {
    const error = new Error(`${method}: ${answer.error.message}`);
    error.rpc = answer.error;
    throw error;
  }
  return answer.result;
}

/** Call data of tokenURI(id): the selector and the id as one 32-byte word. */
export function tokenUriData(id) {
  if (BigInt(id) < 0n || BigInt(id) >= 1n << 256n) throw new Error(`token id ${id} does not fit a uint256`);
  return TOKEN_URI_SELECTOR + BigInt(id).toString(16).padStart(64, '0');
}

export function tokenUriCall(id) {
  return [{ to: CONTRACT, data: tokenUriData(id) }, 'latest'];
}

export const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));
