// ParseInteger and FormatInteger as tables of text and values, with their failures and the
// bounds of the destination buffer.
#include <cstdint>
#include <string>

#include "config/settings.h"
#include <gtest/gtest.h>

namespace {

struct ParseCase {
  std::string text;
  bool ok;
  int32_t value;
};

const ParseCase kParseCases[] = {
    {"12", true, 12},
    {"-12", true, -12},
    {"- 12", true, -12},
    {"  -  12", true, -12},
    {"~0", true, -1},
    {"~5", true, -6},
    {"0x1F", true, 31},
    {"0X1f", true, 31},
    {"-0x10", true, -16},
    {"~0x0", true, -1},
    {"0x", true, 0},
    {"007", true, 7},
    {"0", true, 0},
    {"2147483647", true, INT32_MAX},
    {"-2147483648", true, INT32_MIN},
    {"4294967295", true, -1},         // wraps in 32 bits
    {"4294967296", true, 0},
    {"0xFFFFFFFF", true, -1},
    {"0x123456789", true, 0x23456789},
    {"", false, 0},
    {"   ", false, 0},
    {"-", false, 0},
    {"~ ", false, 0},
    {"+7", false, 0},
    {"1.5", false, 0},
    {"12 ", false, 0},
    {"\t12", false, 0},
    {"12\t", false, 0},
    {"0x1G", false, 0},
    {"--1", false, 0},
    {"-~1", false, 0},
    {"x10", false, 0},
    {"0x-1", false, 0},
    {"1-", false, 0},
};

TEST(ParseInteger, Table) {
  for (const ParseCase& c : kParseCases) {
    SCOPED_TRACE("\"" + c.text + "\"");
    int32_t result = 12345;
    const char* end = ParseInteger(c.text.c_str(), &result);
    if (c.ok) {
      ASSERT_NE(end, nullptr);
      EXPECT_EQ(end, c.text.c_str() + c.text.size() + 1);  // one past the NUL
      EXPECT_EQ(result, c.value);
    } else {
      EXPECT_EQ(end, nullptr);
      EXPECT_EQ(result, 12345);  // nothing written on failure
    }
  }
  int32_t result = 0;
  EXPECT_EQ(ParseInteger(nullptr, &result), nullptr);
  EXPECT_EQ(ParseInteger("1", nullptr), nullptr);
}

struct FormatCase {
  int32_t value;
  int base;
  int32_t size;  // top bit: force sign; the rest: most characters, 0 = no limit
  char fill;
  const char* text;
};

constexpr int32_t kForceSign = INT32_MIN;

const FormatCase kFormatCases[] = {
    {0, 10, 0, '\0', "0"},
    {12, 10, 0, '\0', "12"},
    {-12, 10, 0, '\0', "-12"},
    {INT32_MIN, 10, 0, '\0', "-2147483648"},
    {INT32_MAX, 10, 0, '\0', "2147483647"},
    {255, 16, 0, '\0', "ff"},
    {-1, 16, 0, '\0', "ffffffff"},  // only base 10 writes a sign
    {-1, 2, 0, '\0', "11111111111111111111111111111111"},
    {5, 2, 0, '\0', "101"},
    {8, 8, 0, '\0', "10"},
    {7, 10, 3, '0', "007"},
    {7, 10, 3, ' ', "  7"},
    {-7, 10, 4, '0', "-007"},
    {7, 10, 3, '\0', "7"},            // no fill byte, no padding
    {12345, 10, 3, '\0', "123"},      // digits beyond the size are dropped
    {12345, 10, 5, '0', "12345"},
    {7, 10, kForceSign, '\0', "+7"},
    {0, 10, kForceSign, '\0', "+0"},
    {-7, 10, kForceSign, '\0', "-7"},
    {7, 10, kForceSign | 1, '\0', "+"},  // the sign used the whole size
    {7, 10, kForceSign | 4, '0', "+007"},
    {-7, 10, 1, '\0', "-"},
    {7, 16, kForceSign, '\0', "+7"},
};

TEST(FormatInteger, Table) {
  for (const FormatCase& c : kFormatCases) {
    SCOPED_TRACE(std::to_string(c.value) + " base " + std::to_string(c.base) + " size " +
                 std::to_string(c.size));
    char buffer[64];
    std::fill(std::begin(buffer), std::end(buffer), '#');
    const int written = FormatInteger(c.value, buffer, sizeof buffer, c.base, c.size, c.fill);
    EXPECT_STREQ(buffer, c.text);
    EXPECT_EQ(written, static_cast<int>(std::string(c.text).size()));
  }
}

TEST(FormatInteger, RefusesWhatDoesNotFit) {
  char buffer[4] = "###";
  EXPECT_EQ(FormatInteger(1234, buffer, sizeof buffer, 10, 0, '\0'), -1);
  EXPECT_STREQ(buffer, "");
  EXPECT_EQ(FormatInteger(123, buffer, sizeof buffer, 10, 0, '\0'), 3);
  EXPECT_STREQ(buffer, "123");
  // A huge size with a fill byte stops at the buffer's end.
  EXPECT_EQ(FormatInteger(1, buffer, sizeof buffer, 10, 0x7FFFFFFF, '0'), -1);
  EXPECT_STREQ(buffer, "");
  // Bases out of range, and no room at all.
  for (int base : {0, 1, 17, -10}) {
    SCOPED_TRACE(base);
    EXPECT_EQ(FormatInteger(1, buffer, sizeof buffer, base, 0, '\0'), -1);
    EXPECT_STREQ(buffer, "");
  }
  EXPECT_EQ(FormatInteger(1, buffer, 0, 10, 0, '\0'), -1);
  EXPECT_EQ(FormatInteger(1, nullptr, 8, 10, 0, '\0'), -1);
}

TEST(FormatInteger, RoundTripsThroughParseInteger) {
  for (int32_t value : {0, 1, -1, 42, -42, 65535, INT32_MAX, INT32_MIN}) {
    SCOPED_TRACE(value);
    char text[40];
    ASSERT_GT(FormatInteger(value, text, sizeof text, 10, 0, '\0'), 0);
    int32_t back = 0;
    ASSERT_NE(ParseInteger(text, &back), nullptr);
    EXPECT_EQ(back, value);
    char hex[40] = "0x";
    ASSERT_GT(FormatInteger(value, hex + 2, sizeof hex - 2, 16, 0, '\0'), 0);
    ASSERT_NE(ParseInteger(hex, &back), nullptr);
    EXPECT_EQ(back, value);
  }
}

}  // namespace
