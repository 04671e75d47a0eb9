#include "text/fixed_text.h"

void CopyText(char* destination, size_t capacity, const char* source) {
  CopyTextN(destination, capacity, source, capacity);
}

void AppendText(char* destination, size_t capacity, const char* source) {
  if (destination == nullptr) return;
  size_t end = 0;
  while (end < capacity && destination[end] != '\0') ++end;
  if (end == capacity) return;  // no zero byte: not a text we may extend
  CopyTextN(destination + end, capacity - end, source, capacity - end);
}

void CopyTextN(char* destination, size_t capacity, const char* source,
               size_t limit) {
  if (destination == nullptr || capacity == 0) return;
  size_t room = capacity - 1;
  if (limit < room) room = limit;
  size_t length = 0;
  if (source != nullptr) {
    while (length < room && source[length] != '\0') ++length;
  }
  for (size_t i = 0; i < length; ++i) destination[i] = source[i];
  destination[length] = '\0';
}

void FormatDecimal(uint16_t value, DigitsText& destination) {
  char reversed[5];
  size_t count = 0;
  do {
    reversed[count++] = static_cast<char>('0' + value % 10);
    value = static_cast<uint16_t>(value / 10);
  } while (value != 0);
  for (size_t i = 0; i < count; ++i) {
    destination.bytes[i] = reversed[count - 1 - i];
  }
  destination.bytes[count] = '\0';
}
