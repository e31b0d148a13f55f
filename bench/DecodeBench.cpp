// The decoding chain on generated tokens shaped like real ones: a figure on a background rect,
// one rect per figure pixel. Reports bytes/s of each stage's input; the chain's is the hex text.

#include "Zibbles/ContentBounds.h"
#include "Zibbles/decode/AbiString.h"
#include "Zibbles/decode/SvgRects.h"
#include "Zibbles/decode/TokenChain.h"
#include "Zibbles/decode/TokenUri.h"
#include "tests/support/TokenBuilder.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <random>

namespace {

using namespace zibbles;

struct Token {
    std::string svg, tokenUri, hex;
};

// A side by side figure with `rects` one-unit pixels drawn from a small palette.
std::string figureSvg(int side, int rects) {
    std::mt19937 random(static_cast<unsigned>(side * 100003 + rects));
    const char* palette[] = {"#1b1b24", "#e23b3b", "#f5d142", "#4f86d1",
                             "#9aa4b5", "#fff",    "#2e5e9e", "#ff8c0080"};
    std::string svg =
        "<svg xmlns=\"http://www.w3.org/2000/svg\" viewBox=\"0 0 " + std::to_string(side) + " " +
        std::to_string(side) + "\" shape-rendering=\"crispEdges\"><rect x=\"0\" y=\"0\" width=\"" +
        std::to_string(side) + "\" height=\"" + std::to_string(side) + "\" fill=\"#1f7a74\"/>";
    for (int i = 0; i < rects; ++i) {
        const int cell = static_cast<int>(random() % static_cast<unsigned>(side * side));
        char rect[96];
        std::snprintf(rect, sizeof rect,
                      "<rect x=\"%d\" y=\"%d\" width=\"1\" height=\"1\" fill=\"%s\"/>", cell % side,
                      cell / side, palette[random() % 8]);
        svg += rect;
    }
    return svg + "</svg>";
}

const Token& token(int side, int rects) {
    static std::map<std::pair<int, int>, Token> tokens;
    auto [it, added] = tokens.try_emplace({side, rects});
    if (added) {
        it->second.svg = figureSvg(side, rects);
        it->second.tokenUri = testing::tokenUriOfSvg(it->second.svg);
        it->second.hex = testing::abiEncodeString(it->second.tokenUri);
    }
    return it->second;
}

void sizes(benchmark::internal::Benchmark* b) {
    b->Args({24, 150})->Args({24, 576})->Args({64, 3000});
}

void BM_AbiString(benchmark::State& state) {
    const Token& t = token(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    for (auto _ : state)
        benchmark::DoNotOptimize(decodeAbiString(t.hex));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * t.hex.size()));
}

void BM_TokenUri(benchmark::State& state) {
    const Token& t = token(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    for (auto _ : state)
        benchmark::DoNotOptimize(decodeDataURIToSVG(t.tokenUri));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * t.tokenUri.size()));
}

void BM_ParsePixels(benchmark::State& state) {
    const Token& t = token(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    for (auto _ : state)
        benchmark::DoNotOptimize(parsePixels(t.svg));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * t.svg.size()));
}

void BM_ParsePixelsWithRegex(benchmark::State& state) {
    const Token& t = token(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    for (auto _ : state)
        benchmark::DoNotOptimize(parsePixelsWithRegex(t.svg));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * t.svg.size()));
}

// What the fetch completion does: the hex result to pixels and their bounds.
void BM_Chain(benchmark::State& state) {
    const Token& t = token(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    for (auto _ : state) {
        const Decoded<Pixels> pixels = decodeTokenHex(t.hex);
        benchmark::DoNotOptimize(contentBounds(*pixels.value));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * t.hex.size()));
}

// The same chain with the regular-expression reference for the rect stage.
void BM_ChainWithRegex(benchmark::State& state) {
    const Token& t = token(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    for (auto _ : state) {
        const auto svg = decodeDataURIToSVG(*decodeAbiString(t.hex));
        benchmark::DoNotOptimize(contentBounds(parsePixelsWithRegex(*svg)));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * t.hex.size()));
}

BENCHMARK(BM_AbiString)->Apply(sizes);
BENCHMARK(BM_TokenUri)->Apply(sizes);
BENCHMARK(BM_ParsePixels)->Apply(sizes);
BENCHMARK(BM_ParsePixelsWithRegex)->Apply(sizes);
BENCHMARK(BM_Chain)->Apply(sizes);
BENCHMARK(BM_ChainWithRegex)->Apply(sizes);

} // namespace

BENCHMARK_MAIN();
