// Decodes a tokenURI answer the way the saver does: ABI string, then Base64 JSON, then Base64 SVG.
// Each step throws an Error that says which layer was malformed.

const JSON_PREFIX = 'data:application/json;base64,';
const SVG_PREFIX = 'data:image/svg+xml;base64,';
const STRICT_BASE64 = /^(?:[A-Za-z0-9+/]{4})*(?:[A-Za-z0-9+/]{2}==|[A-Za-z0-9+/]{3}=)?$/;

/** The text of an ABI-encoded `string` return value given as 0x-hex. */
export function decodeAbiString(hex) {
  const bytes = Buffer.from(hex.replace(/^0x/, ''), 'hex');
  if (bytes.length < 64) throw new Error(`ABI answer too short: ${bytes.length} bytes`);
  const offset = Number(bytes.readBigUInt64BE(24));
  if (offset + 32 > bytes.length) throw new Error('ABI offset points past the end');
  const length = Number(bytes.readBigUInt64BE(offset + 24));
  if (offset + 32 + length > bytes.length) throw new Error('ABI length points past the end');
  return new TextDecoder('utf-8', { fatal: true }).decode(bytes.subarray(offset + 32, offset + 32 + length));
}

function strictBase64(text, what) {
  if (!STRICT_BASE64.test(text)) throw new Error(`${what} is not strict Base64`);
  return Buffer.from(text, 'base64').toString('utf8');
}

/** {metadata, svg} of a token URI. */
export function decodeTokenUri(uri) {
  if (!uri.startsWith(JSON_PREFIX)) throw new Error(`token URI does not start with ${JSON_PREFIX}`);
  const metadata = JSON.parse(strictBase64(uri.slice(JSON_PREFIX.length), 'metadata'));
  if (typeof metadata.image !== 'string' || !metadata.image.startsWith(SVG_PREFIX)) {
    throw new Error(`metadata image does not start with ${SVG_PREFIX}`);
  }
  return { metadata, svg: strictBase64(metadata.image.slice(SVG_PREFIX.length), 'image') };
}

/** Every rect of the SVG as {x, y, width, height, fill}, in document order. */
export function rects(svg) {
  const found = [];
  for (const tag of svg.match(/<rect[^>]*>/g) ?? []) {
    const attr = (name) => tag.match(new RegExp(`\\s${name}="([^"]*)"`))?.[1];
    found.push({
      x: Number(attr('x')),
      y: Number(attr('y')),
      width: Number(attr('width')),
      height: Number(attr('height')),
      fill: attr('fill'),
    });
  }
  return found;
}
