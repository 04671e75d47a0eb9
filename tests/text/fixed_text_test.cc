#include "text/fixed_text.h"

#include <string.h>

#include <string>

#include <gtest/gtest.h>

namespace {

// A buffer of 8 bytes filled with '#', so that every byte an operation
// should leave alone shows.
constexpr size_t kCapacity = 8;
struct Buffer {
  char bytes[kCapacity + 4];  // 4 guard bytes past the capacity
  Buffer() { memset(bytes, '#', sizeof bytes); }
  std::string All() const { return std::string(bytes, sizeof bytes); }
};

TEST(CopyText, CutsAtCapacityAndKeepsTheBytesAfterTheZero) {
  const struct {
    const char* name;
    const char* source;
    const char* expected;  // all 12 bytes; '@' stands for the zero byte
  } kCases[] = {
      {"null source", nullptr, "@###########"},
      {"empty", "", "@###########"},
      {"short", "abc", "abc@########"},
      {"capacity - 1", "abcdefg", "abcdefg@####"},
      {"capacity", "abcdefgh", "abcdefg@####"},
      {"capacity + 1", "abcdefghi", "abcdefg@####"},
  };
  for (const auto& c : kCases) {
    Buffer buffer;
    CopyText(buffer.bytes, kCapacity, c.source);
    std::string expected = c.expected;
    for (char& ch : expected) if (ch == '@') ch = '\0';
    EXPECT_EQ(buffer.All(), expected) << c.name;
  }
}

TEST(AppendText, FillsUpToCapacityAndNeverBeyond) {
  const struct {
    const char* name;
    const char* before;  // copied in first; nullptr: no zero byte at all
    const char* source;
    const char* expected;
  } kCases[] = {
      {"null source", "ab", nullptr, "ab@#########"},
      {"empty onto empty", "", "", "@###########"},
      {"fits", "ab", "cd", "abcd@#######"},
      {"to capacity - 1", "abc", "defg", "abcdefg@####"},
      {"to capacity", "abc", "defgh", "abcdefg@####"},
      {"to capacity + 1", "abc", "defghi", "abcdefg@####"},
      {"already full", "abcdefg", "x", "abcdefg@####"},
      {"no zero byte", nullptr, "x", "############"},
  };
  for (const auto& c : kCases) {
    Buffer buffer;
    if (c.before != nullptr) CopyText(buffer.bytes, kCapacity, c.before);
    AppendText(buffer.bytes, kCapacity, c.source);
    std::string expected = c.expected;
    for (char& ch : expected) if (ch == '@') ch = '\0';
    EXPECT_EQ(buffer.All(), expected) << c.name;
  }
}

TEST(CopyTextN, TakesTheLeastOfLimitLengthAndCapacity) {
  const struct {
    const char* name;
    const char* source;
    size_t limit;
    const char* expected;
  } kCases[] = {
      {"limit 0", "abc", 0, "@###########"},
      {"limit inside", "abcdef", 3, "abc@########"},
      {"limit past the end", "abc", 100, "abc@########"},
      {"capacity - 1", "abcdefghij", 7, "abcdefg@####"},
      {"capacity", "abcdefghij", 8, "abcdefg@####"},
      {"capacity + 1", "abcdefghij", 9, "abcdefg@####"},
  };
  for (const auto& c : kCases) {
    Buffer buffer;
    CopyTextN(buffer.bytes, kCapacity, c.source, c.limit);
    std::string expected = c.expected;
    for (char& ch : expected) if (ch == '@') ch = '\0';
    EXPECT_EQ(buffer.All(), expected) << c.name;
  }
}

TEST(CopyTextN, ReadsNothingBeyondTheLimit) {
  // No zero byte in the source: only its first 3 bytes may be read (ASan
  // and valgrind see a read of the 4th).
  char* source = new char[3]{'x', 'y', 'z'};
  Buffer buffer;
  CopyTextN(buffer.bytes, kCapacity, source, 3);
  EXPECT_STREQ(buffer.bytes, "xyz");
  delete[] source;
}

TEST(CopyTextN, PathOf300BytesGivesItsFirst259) {
  const std::string source(300, 'p');
  PathText out;
  CopyTextN(out, source.c_str(), 300);
  EXPECT_EQ(std::string(out.c_str()), source.substr(0, 259));
}

TEST(FormatDecimal, DigitsOnlyWithTheRestOfTheBufferUntouched) {
  const struct {
    uint16_t value;
    const char* digits;
  } kCases[] = {
      {0, "0"}, {1, "1"}, {9, "9"}, {10, "10"}, {12, "12"},
      {1000, "1000"}, {65535, "65535"},
  };
  for (const auto& c : kCases) {
    DigitsText out;
    memset(out.bytes, '#', sizeof out.bytes);
    FormatDecimal(c.value, out);
    const size_t length = strlen(c.digits);
    EXPECT_EQ(std::string(out.bytes, length + 1),
              std::string(c.digits, length + 1)) << c.value;
    EXPECT_EQ(std::string(out.bytes + length + 1, 10 - length - 1),
              std::string(10 - length - 1, '#')) << c.value;
  }
}

TEST(FixedText, StartsWithEveryByteZero) {
  FixedText<2048> text;
  for (char byte : text.bytes) ASSERT_EQ(byte, '\0');
  EXPECT_TRUE(text.empty());
}

}  // namespace
