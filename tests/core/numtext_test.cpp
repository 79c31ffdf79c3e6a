#include "text/numtext.hpp"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <limits>
#include <string>

namespace qtx {
namespace {

TEST(NumberText, SignedAndShortest) {
    EXPECT_EQ(signedText(0) + signedText(120) + signedText(-5), " 0 120-5");
    const std::pair<float, const char*> cases[] = {
        {12.5F, " 12.5"},  {10.0F, " 10"},       {0.0F, " 0"},
        {-0.25F, "-0.25"}, {496.57F, " 496.57"}, {1234567.0F, " 1234567"},
    };
    for (const auto& [value, text] : cases) EXPECT_EQ(numberText(value), text) << value;
    EXPECT_EQ(numberText(12345678.0F), " 1.234568E+07");
}

// -0.001 rounds to zero and has no sign; 0.25 is a binary half and goes to even.
TEST(FormatPattern, PlacesPointAndSign) {
    const struct {
        double value;
        const char* pattern;
        const char* expected;
    } cases[] = {
        {0.5, "##0.000", "0.500"},     {1234.5678, "##0.000", "1234.568"},
        {-5.0, "#0.00", "-5.00"},      {-0.001, "#0.00", "0.00"},
        {0.0148F, "0.0000", "0.0148"}, {0.25, "#0.0", "0.2"},
        {12.5, "###.##", "12.5"},      {12.0, "###.##", "12."},
        {0.5, "###.##", ".5"},         {0.0, "###.##", "."},
        {-3.256, "###.##", "-3.26"},   {5.0, "###", "5"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(formatPattern(c.value, c.pattern), c.expected) << c.value << " " << c.pattern;
    }
    EXPECT_EQ(formatPattern(std::nan(""), "#0.00") + "|" + formatPattern(0.0, "###"), "0.00|");
}

TEST(ReadNumber, Lenient) {
    constexpr double kInf = std::numeric_limits<double>::infinity();
    const std::string tiny = "0." + std::string(400, '0') + "1";
    const std::string huge = "1" + std::string(400, '0');
    const std::pair<std::string, double> cases[] = {
        {".5", 0.5},        {"20.", 20.0}, {"-5.95", -5.95}, {" 884", 884.0}, {"8.5 in", 8.5},
        {"", 0.0},          {".", 0.0},    {"+3", 3.0},      {"1e3", 1000.0}, {"2e", 2.0},
        {"2e+x", 2.0},      {"\t7", 7.0},  {" -.5x", -0.5},  {"1,5", 1.0},    {"2.5E+12", 2.5e12},
        {"4e-15", 4e-15},   {"1e05", 1e5}, {"1e999", kInf},  {"1e-999", 0.0}, {"0.0001e400", kInf},
        {"1000e-400", 0.0}, {tiny, 0.0},   {huge, kInf},
    };
    for (const auto& [text, expected] : cases) {
        EXPECT_DOUBLE_EQ(readNumber(text), expected) << '"' << text << '"';
    }
    EXPECT_EQ(readNumber(tiny + "e-5"), 0.0);
    EXPECT_EQ(readNumber("-1e99999999999999"), -kInf);
}

TEST(ReadWholeNumber, OnlyANumberWithBlanksAround) {
    const std::pair<const char*, std::optional<double>> cases[] = {
        {" 884", 884.0},     {"-200 ", -200.0},     {"\t12.5\t", 12.5},
        {"1e3", 1000.0},     {"abc", std::nullopt}, {"12abc", std::nullopt},
        {"-", std::nullopt}, {"1 2", std::nullopt}, {"2e", std::nullopt},
    };
    for (const auto& [text, expected] : cases) {
        EXPECT_EQ(readWholeNumber(text), expected) << '"' << text << '"';
    }
}

TEST(RoundHalfEven, HalvesGoToEvenWithin32Bits) {
    const double cases[][2] = {{12.5, 12}, {13.5, 14}, {-12.5, -12}, {2.6, 3}, {-2.6, -3}};
    for (const auto& c : cases) EXPECT_EQ(roundHalfEven(c[0]), c[1]) << c[0];
    EXPECT_EQ(roundToInt32(2147483647.0), 2147483647);
    EXPECT_EQ(roundToInt32(-2147483648.0), std::numeric_limits<std::int32_t>::min());
    EXPECT_FALSE(roundToInt32(2147483648.0) || roundToInt32(std::nan("")));
}

// Only the file name is cut, at its first dot after any leading ones; folders keep theirs,
// also behind a Windows "\".
TEST(BasePath, CutsOnlyTheFileName) {
    const struct {
        const char *path, *extension, *expected;
    } cases[] = {
        {"./m31", ".QTX", "./m31.QTX"},
        {"obs.2001/m31.QTX", "", "obs.2001/m31"},
        {"/a.b/c.d/m31.QTX", ".trk", "/a.b/c.d/m31.trk"},
        {".m31", ".txt", ".m31.txt"},
        {"night.2026/..m31.old.QTX", ".bmp", "night.2026/..m31.bmp"},
        {"m31", ".fits", "m31.fits"},
        {"m31.old.QTX", "", "m31"},
        {"C:\\obs.2001\\m31.old", ".bmp", "C:\\obs.2001\\m31.bmp"},
    };
    for (const auto& c : cases) EXPECT_EQ(basePath(c.path, c.extension), c.expected) << c.path;
}

// A German observer's texts and files must read like anyone else's.
TEST(NumberTexts, SameUnderACommaDecimalLocale) {
    const std::string saved = std::setlocale(LC_ALL, nullptr);
    ASSERT_NE(std::setlocale(LC_ALL, "de_DE.UTF-8"), nullptr) << "locale de_DE.UTF-8 missing";
    const std::string texts = formatPattern(2.5, "##0.000") + numberText(123.45F);
    const double read = readNumber("2.5");
    std::setlocale(LC_ALL, saved.c_str());
    EXPECT_EQ(texts, "2.500 123.45");
    EXPECT_EQ(read, 2.5);
}

}  // namespace
}  // namespace qtx
