#include "text/numtext.hpp"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <string>

namespace qtx {
namespace {

TEST(SignedText, BlankBeforeZeroAndPositive) {
    EXPECT_EQ(signedText(0), " 0");
    EXPECT_EQ(signedText(120), " 120");
    EXPECT_EQ(signedText(-5), "-5");
    EXPECT_EQ(signedText(65535), " 65535");
}

TEST(FormatPattern, PlacesPointAndSign) {
    struct Case {
        double value;
        const char* pattern;
        const char* expected;
    };
    const Case cases[] = {
        {2.5, "##0.000", "2.500"},
        {600.0, "##0.000", "600.000"},
        {0.5, "##0.000", "0.500"},
        {12345.678, "##0.000", "12345.678"},
        {-5.0, "#0.00", "-5.00"},
        {12.34, "#0.00", "12.34"},
        {-0.001, "#0.00", "0.00"},  // rounds to zero: no sign
        {0.0148F, "0.0000", "0.0148"},
        {307.876F, "###0.000", "307.876"},
        {1234.5, "###0.00", "1234.50"},
        {0.0, "###0.00", "0.00"},
        {1.5, "#0.0", "1.5"},
        {0.25, "#0.0", "0.2"},  // binary value of a half rounds to even
        {12.5, "###.##", "12.5"},
        {12.0, "###.##", "12."},
        {0.5, "###.##", ".5"},
        {0.0, "###.##", "."},
        {-3.256, "###.##", "-3.26"},
        {5.0, "###", "5"},
        {0.0, "###", ""},
        {9.0, "##", "9"},
        {std::nan(""), "#0.00", "0.00"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(formatPattern(c.value, c.pattern), c.expected) << c.value << " " << c.pattern;
    }
}

TEST(NumberText, ShortestSevenDigitsWithSignPosition) {
    EXPECT_EQ(numberText(12.5F), " 12.5");
    EXPECT_EQ(numberText(10.0F), " 10");
    EXPECT_EQ(numberText(0.0F), " 0");
    EXPECT_EQ(numberText(-0.25F), "-0.25");
    EXPECT_EQ(numberText(76.969F), " 76.969");
    EXPECT_EQ(numberText(496.57F), " 496.57");
    EXPECT_EQ(numberText(1234567.0F), " 1234567");
    EXPECT_EQ(numberText(12345678.0F), " 1.234568E+07");
}

TEST(ReadNumber, Lenient) {
    struct Case {
        const char* text;
        double expected;
    };
    const Case cases[] = {
        {".5", 0.5},      {"20.", 20.0},   {"12.25", 12.25}, {"-5.25", -5.25}, {" 884", 884.0},
        {"-12.5", -12.5}, {"8.5 in", 8.5}, {"in", 0.0},      {"", 0.0},        {"   ", 0.0},
        {"-", 0.0},       {".", 0.0},      {"+3", 3.0},      {"1e3", 1000.0},  {"2e", 2.0},
        {"2e+x", 2.0},    {"\t7", 7.0},    {" -.5x", -0.5},  {"1,5", 1.0},     {"00042", 42.0},
    };
    for (const Case& c : cases) {
        EXPECT_DOUBLE_EQ(readNumber(c.text), c.expected) << '"' << c.text << '"';
    }
    EXPECT_TRUE(std::isinf(readNumber("1e999")));
    EXPECT_EQ(readNumber("1e-999"), 0.0);
}

TEST(ReadWholeNumber, OnlyANumberWithBlanksAround) {
    const struct {
        const char* text;
        std::optional<double> expected;
    } cases[] = {
        {" 884", 884.0},       {"-200 ", -200.0},       {"\t12.5\t", 12.5},
        {"1e3", 1000.0},       {"12abc", std::nullopt}, {"2.5x", std::nullopt},
        {"abc", std::nullopt}, {"", std::nullopt},      {"  ", std::nullopt},
        {"-", std::nullopt},   {"1 2", std::nullopt},   {"2e", std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(readWholeNumber(c.text), c.expected) << '"' << c.text << '"';
}

TEST(RoundHalfEven, HalvesGoToEven) {
    const double cases[][2] = {{12.5, 12}, {13.5, 14}, {-12.5, -12}, {0.5, 0},  {1.5, 2},
                               {2.5, 2},   {2.4, 2},   {2.6, 3},     {-2.6, -3}};
    for (const auto& c : cases) EXPECT_EQ(roundHalfEven(c[0]), c[1]) << c[0];
    EXPECT_EQ(roundToInt32(-200.0), -200);
    EXPECT_EQ(roundToInt32(2147483647.0), 2147483647);
    EXPECT_FALSE(roundToInt32(2147483648.0).has_value());
    EXPECT_FALSE(roundToInt32(std::nan("")).has_value());
}

// A German observer's texts and files must read like anyone else's.
TEST(NumberTexts, SameUnderACommaDecimalLocale) {
    const std::string saved = std::setlocale(LC_ALL, nullptr);
    ASSERT_NE(std::setlocale(LC_ALL, "de_DE.UTF-8"), nullptr) << "locale de_DE.UTF-8 missing";
    const std::string pattern = formatPattern(2.5, "##0.000");
    const std::string shortest = numberText(123.45F);
    const double read = readNumber("2.5");
    std::setlocale(LC_ALL, saved.c_str());
    EXPECT_EQ(pattern, "2.500");
    EXPECT_EQ(shortest, " 123.45");
    EXPECT_EQ(read, 2.5);
}

TEST(ReadNumber, TinyAndHugeByMagnitude) {
    EXPECT_EQ(readNumber("0." + std::string(400, '0') + "1"), 0.0);
    EXPECT_EQ(readNumber("0." + std::string(400, '0') + "1e-5"), 0.0);
    EXPECT_TRUE(std::isinf(readNumber("1" + std::string(400, '0'))));
    EXPECT_TRUE(std::isinf(readNumber("0.0001e400")));
    EXPECT_EQ(readNumber("1000e-400"), 0.0);
    EXPECT_TRUE(std::isinf(readNumber("-1e99999999999999")));
}

TEST(BasePath, CutsAtFirstDotAnywhere) {
    EXPECT_EQ(basePath("obs.2001/m31", ".QTX"), "obs.QTX");
    EXPECT_EQ(basePath("/home/a/img.QTX", ".trk"), "/home/a/img.trk");
    EXPECT_EQ(basePath("noext", ".bmp"), "noext.bmp");
    EXPECT_EQ(basePath("./x.QTX", ".txt"), ".txt");
}

}  // namespace
}  // namespace qtx
