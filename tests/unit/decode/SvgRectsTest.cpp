#include "Zibbles/decode/SvgRects.h"
#include "Zibbles/decode/RectRules.h"

#include <gtest/gtest.h>

#include <optional>
#include <vector>

namespace zibbles {
namespace {

constexpr Color kBlack{0, 0, 0, 1};
constexpr Color kWhite{1, 1, 1, 1};

Pixel px(double x, double y, double w, double h, Color c = kBlack) {
    return Pixel{x, y, w, h, c};
}

// Both ways of finding the attributes must give the same pixels on every input.
std::vector<Pixel> parsedAlike(std::string_view svg) {
    std::vector<Pixel> byHand = parsePixels(svg);
    EXPECT_EQ(byHand, parsePixelsWithRegex(svg)) << svg;
    return byHand;
}

struct Case {
    const char* name;
    std::string svg;
    std::vector<Pixel> expected;
};

TEST(SvgRects, readsRectTags) {
    const Case cases[] = {
        {"empty text", "", {}},
        {"no rect", "<svg><circle r='3' fill='#000'/></svg>", {}},
        {"fill alone takes the defaults",
         "<rect fill=\"#1a2b3c\"/>",
         {px(0, 0, 1, 1, Color{0x1a / 255.0, 0x2b / 255.0, 0x3c / 255.0, 1})}},
        {"all attributes",
         "<rect x='3' y='4' width='5' height='6' fill='#000'/>",
         {px(3, 4, 5, 6)}},
        {"attribute order is free",
         "<rect fill='#000' height='6' width='5' y='4' x='3'/>",
         {px(3, 4, 5, 6)}},
        {"document order kept, nothing merged",
         "<rect x='2' fill='#fff'/><rect x='1' fill='#000'/><rect x='1' fill='#000'/>",
         {px(2, 0, 1, 1, kWhite), px(1, 0, 1, 1), px(1, 0, 1, 1)}},
        {"fill none between two",
         "<rect x='1' fill='#000'/><rect fill='none'/><rect x='3' "
         "fill='#fff'/>",
         {px(1, 0, 1, 1), px(3, 0, 1, 1, kWhite)}},
        {"mixed quotes", "<rect x=\"7' fill='#000\"/>", {px(7, 0, 1, 1)}},
        {"line breaks inside the tag", "<rect\n x='1'\n fill='#000'\n/>", {px(1, 0, 1, 1)}},
        {"tag named rectangle is read", "<rectangle x='2' fill='#000'/>", {px(2, 0, 1, 1)}},
        {"upper-case RECT is not", "<RECT x='2' fill='#000'/>", {}},
        {"> in a value ends the tag", "<rect title='a>b' x='2' fill='#000'/>", {}},
        {"rect in a comment is read", "<!-- <rect fill='#000'/> -->", {px(0, 0, 1, 1)}},
        {"unterminated tag", "<rect fill='#000'", {}},
        {"zero size and transparency kept",
         "<rect width='0' height='0' fill='#00000000'/>",
         {px(0, 0, 0, 0, Color{0, 0, 0, 0})}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(parsedAlike(c.svg), c.expected) << c.name;
}

TEST(SvgRects, readsNumbers) {
    const Case cases[] = {
        {"fraction", "<rect x='1.5' fill='#000'/>", {px(1.5, 0, 1, 1)}},
        {"leading dot", "<rect x='.5' fill='#000'/>", {px(0.5, 0, 1, 1)}},
        {"trailing dot", "<rect x='5.' fill='#000'/>", {px(5, 0, 1, 1)}},
        {"leading zeros", "<rect x='007' fill='#000'/>", {px(7, 0, 1, 1)}},
        {"two dots give the default", "<rect x='1.2.3' fill='#000'/>", {px(0, 0, 1, 1)}},
        {"lone dot gives the default", "<rect width='.' fill='#000'/>", {px(0, 0, 1, 1)}},
        {"percentage gives the default",
         "<rect width='100%' height='100%' fill='#000'/>",
         {px(0, 0, 1, 1)}},
        {"sign, exponent, unit, spaces",
         "<rect x='-1' y='1e2' width='3px' height = '4' fill='#000'/>",
         {px(0, 0, 1, 1)}},
        {"upper-case name", "<rect X='3' fill='#000'/>", {px(0, 0, 1, 1)}},
        {"a later occurrence matches when the first does not",
         "<rect x='-1' x='4' fill='#000'/>",
         {px(4, 0, 1, 1)}},
        {"only the leftmost match counts", "<rect x='1.2.3' x='4' fill='#000'/>", {px(0, 0, 1, 1)}},
        {"rx before x", "<rect rx='2' x='5' fill='#000'/>", {px(2, 0, 1, 1)}},
        {"ry before y", "<rect ry='2' y='5' fill='#000'/>", {px(0, 2, 1, 1)}},
        {"stroke-width before width",
         "<rect stroke-width='3' width='9' fill='#000'/>",
         {px(0, 0, 3, 1)}},
        {"empty value", "<rect x='' fill='#000'/>", {px(0, 0, 1, 1)}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(parsedAlike(c.svg), c.expected) << c.name;
}

TEST(SvgRects, readsColours) {
    const Case cases[] = {
        {"short white", "<rect fill='#FFF'/>", {px(0, 0, 1, 1, kWhite)}},
        {"short lower-case", "<rect fill=\"#fff\"/>", {px(0, 0, 1, 1, kWhite)}},
        {"short expands each digit",
         "<rect fill='#f0a'/>",
         {px(0, 0, 1, 1, Color{1, 0, 170 / 255.0, 1})}},
        {"with alpha", "<rect fill='#ff000080'/>", {px(0, 0, 1, 1, Color{1, 0, 0, 128 / 255.0})}},
        {"first hash fill wins", "<rect fill='none' fill='#000'/>", {px(0, 0, 1, 1)}},
        {"opacity ignored, its y read as y",
         "<rect fill='#000' fill-opacity='0.5' opacity='0'/>",
         {px(0, 0.5, 1, 1)}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(parsedAlike(c.svg), c.expected) << c.name;
}

TEST(SvgRects, dropsTags_invalid) {
    const char* cases[] = {
        "<rect x='0' y='0' width='30' height='30' fill='#000'/>",
        "<rect width='30' height='30' fill='#000'/>",
        "<rect width='240' height='240' fill='#1f7a74'/>",
        "<rect x='0.0' y='0' width='30' height='1000' fill='#000'/>",
        "<rect fill='#abcd'/>",
        "<rect fill='#abcde'/>",
        "<rect fill='#abcdef1'/>",
        "<rect fill='#abcdef123'/>",
        "<rect fill='abc'/>",
        "<rect fill='#ab'/>",
        "<rect fill='#ggg'/>",
        "<rect fill='red'/>",
        "<rect fill='rgb(0,0,0)'/>",
        "<rect style='fill:#000'/>",
        "<rect fill='#000 '/>",
        "<rect fill = '#000'/>",
        "<rect/>",
    };
    for (const char* svg : cases)
        EXPECT_TRUE(parsedAlike(svg).empty()) << svg;
}

TEST(SvgRects, backgroundRuleNeedsAllFour) {
    const Case cases[] = {
        {"width 29.99", "<rect width='29.99' height='30' fill='#000'/>", {px(0, 0, 29.99, 30)}},
        {"x 0.5", "<rect x='0.5' width='30' height='30' fill='#000'/>", {px(0.5, 0, 30, 30)}},
        {"y 1", "<rect y='1' width='30' height='30' fill='#000'/>", {px(0, 1, 30, 30)}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(parsedAlike(c.svg), c.expected) << c.name;
}

TEST(RectRules, numbersConvertOnlyWhole) {
    EXPECT_EQ(parseDecimal("12"), 12.0);
    EXPECT_EQ(parseDecimal("0.1"), 0.1);
    EXPECT_EQ(parseDecimal("1."), 1.0);
    EXPECT_EQ(parseDecimal(".25"), 0.25);
    EXPECT_EQ(parseDecimal(std::string(400, '9')), std::nullopt); // beyond a double's range
    for (const char* bad : {"", ".", "..", "1.2.3", "1e2", "+1", " 1", "1 "})
        EXPECT_EQ(parseDecimal(bad), std::nullopt) << bad;
}

} // namespace
} // namespace zibbles
