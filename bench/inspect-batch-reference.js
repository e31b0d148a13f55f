#!/usr/bin/env node
// The comparison for bench/inspect-batch.py: the same answers decoded the way a script would,
// in Node.js with its own JSON parser, Buffer's hex and Base64 (native code) and regular
// expressions, one line of JSON out per line in. What it writes has the shape of
// `zibbles-inspect --batch` ({"stages":[...],"pixels":[[x,y,w,h,"#rrggbbaa"],...]} or an error);
// it is a yardstick, not a second decoder to trust.
// Usage: node bench/inspect-batch-reference.js < ANSWERS > OUT

"use strict";
const readline = require("readline");

const JSON_PREFIX = "data:application/json;base64,";
const SVG_PREFIX = "data:image/svg+xml;base64,";
const RECT = /<rect\b([^>]*)>/g;
const ATTRIBUTE = /([a-z-]+)\s*=\s*"([^"]*)"/g;

function abiString(hex) {
  const bytes = Buffer.from(hex.startsWith("0x") ? hex.slice(2) : hex, "hex");
  if (bytes.length < 64) return null;
  const offset = Number(bytes.readBigUInt64BE(24));
  const length = Number(bytes.readBigUInt64BE(offset + 24));
  return bytes.toString("utf8", offset + 32, offset + 32 + length);
}

function colour(fill) {
  let hex = fill.slice(1);
  if (hex.length === 3 || hex.length === 4) hex = [...hex].map((c) => c + c).join("");
  if (hex.length === 6) hex += "ff";
  return "#" + hex.toLowerCase();
}

function rects(svg) {
  const pixels = [];
  for (const [, attributes] of svg.matchAll(RECT)) {
    const a = {};
    for (const [, name, value] of attributes.matchAll(ATTRIBUTE)) a[name] = value;
    if (!a.fill || !a.fill.startsWith("#")) continue;
    pixels.push([+a.x || 0, +a.y || 0, +a.width, +a.height, colour(a.fill)]);
  }
  return pixels;
}

function inspect(line) {
  const stages = [];
  let hex = line.trim();
  if (hex.startsWith("{")) {
    const answer = JSON.parse(hex);
    stages.push("rpc");
    if (answer.error) return { stages, pixels: null, stage: "rpc", error: answer.error.message };
    hex = answer.result;
  }
  const uri = abiString(hex);
  if (uri === null) return { stages, pixels: null, stage: "abi", error: "too short" };
  stages.push("abi");
  if (!uri.startsWith(JSON_PREFIX)) return { stages, pixels: null, stage: "uri", error: "prefix" };
  const metadata = JSON.parse(Buffer.from(uri.slice(JSON_PREFIX.length), "base64").toString());
  if (typeof metadata.image !== "string" || !metadata.image.startsWith(SVG_PREFIX))
    return { stages, pixels: null, stage: "uri", error: "no image" };
  stages.push("uri");
  const svg = Buffer.from(metadata.image.slice(SVG_PREFIX.length), "base64").toString();
  stages.push("svg");
  return { stages, pixels: rects(svg) };
}

async function main() {
  const lines = readline.createInterface({ input: process.stdin, crlfDelay: Infinity });
  let out = "";
  for await (const line of lines) {
    let answer;
    try {
      answer = inspect(line);
    } catch (error) {
      answer = { stages: [], pixels: null, stage: "rpc", error: String(error.message) };
    }
    out += JSON.stringify(answer) + "\n";
    if (out.length > 1 << 20) {
      process.stdout.write(out);
      out = "";
    }
  }
  process.stdout.write(out);
}

main();
