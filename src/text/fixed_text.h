// Fixed-capacity text buffers and the byte-exact operations on them.
//
// A FixedText<C> holds C bytes, all zero when it is made. Its text is the
// bytes before its first zero byte, so it holds at most C - 1 bytes of text.
// None of the operations below ever writes beyond the capacity it is given,
// none reports a cut, and the bytes after the zero byte that an operation
// writes keep their former contents. A null source counts as the empty text;
// a null destination or a capacity of 0 leaves everything untouched.
#ifndef QUILLMOOR_TEXT_FIXED_TEXT_H_
#define QUILLMOOR_TEXT_FIXED_TEXT_H_

#include <stddef.h>
#include <stdint.h>

template <size_t Capacity>
struct FixedText {
  static_assert(Capacity > 0, "a text needs room for its zero byte");
  static constexpr size_t kCapacity = Capacity;
  char bytes[Capacity] = {};

  const char* c_str() const { return bytes; }
  bool empty() const { return bytes[0] == '\0'; }
};

constexpr size_t kPathCapacity = 260;  // MAX_PATH
constexpr size_t kDigitsCapacity = 10;
using PathText = FixedText<kPathCapacity>;
using DigitsText = FixedText<kDigitsCapacity>;

// Writes the first min(L, capacity - 1) bytes of source, then one zero byte.
void CopyText(char* destination, size_t capacity, const char* source);

// P is the position of the first zero byte within the capacity. Writes the
// first min(L, capacity - 1 - P) bytes of source from P on, then one zero
// byte. A destination without a zero byte within its capacity is left as it
// was.
void AppendText(char* destination, size_t capacity, const char* source);

// As CopyText, but takes at most `limit` bytes of source and reads no byte of
// it beyond the limit-th, so source need not be zero-terminated before that.
void CopyTextN(char* destination, size_t capacity, const char* source,
               size_t limit);

// Writes the decimal digits of value (no sign, no leading zeros, "0" for
// zero) and one zero byte: at most 6 bytes of the 10-byte destination.
void FormatDecimal(uint16_t value, DigitsText& destination);

template <size_t C>
void CopyText(FixedText<C>& destination, const char* source) {
  CopyText(destination.bytes, C, source);
}
template <size_t C>
void AppendText(FixedText<C>& destination, const char* source) {
  AppendText(destination.bytes, C, source);
}
template <size_t C>
void CopyTextN(FixedText<C>& destination, const char* source, size_t limit) {
  CopyTextN(destination.bytes, C, source, limit);
}

#endif  // QUILLMOOR_TEXT_FIXED_TEXT_H_
