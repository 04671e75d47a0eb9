// GetDirectoryPart, CopyTextN, CopyText and AppendText on random bytes, each
// source placed at the very end of its own allocation so that a read past
// its zero byte (or past the limit, for CopyTextN) is caught, and each
// destination exactly as large as its capacity.
//
// Input: one byte choosing the code page (1252, 932, 936), one byte of
// capacity, one of limit, then the text.
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include "files/file_helpers.h"
#include "fuzz_support.h"
#include "platform/posix_layer.h"
#include "text/fixed_text.h"

namespace {

// A copy of text with its zero byte as the allocation's last byte.
char* AtEnd(const std::string& text) {
  char* copy = static_cast<char*>(malloc(text.size() + 1));
  memcpy(copy, text.data(), text.size());
  copy[text.size()] = '\0';
  return copy;
}

bool Lead(UINT code_page, unsigned char b) {
  switch (code_page) {
    case 932: return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
    case 936: return b >= 0x81 && b <= 0xFE;
    default: return false;
  }
}

// The position of the last backslash that is a character of its own, or
// -1. A lead byte just before the zero byte ends the walk.
long LastBackslash(UINT code_page, const char* path) {
  long last = -1;
  for (long i = 0; path[i] != '\0'; ++i) {
    if (Lead(code_page, static_cast<unsigned char>(path[i]))) {
      if (path[i + 1] == '\0') break;
      ++i;
    } else if (path[i] == '\\') {
      last = i;
    }
  }
  return last;
}

void CheckDirectoryPart(UINT code_page, const std::string& text) {
  char* path = AtEnd(text);
  PathText* out = new PathText;
  memset(out->bytes, 0x5A, sizeof out->bytes);
  out->bytes[kPathCapacity - 1] = '\0';
  PathText was = *out;
  GetDirectoryPart(path, out);
  const long last = LastBackslash(code_page, path);
  if (last >= 0) {
    const size_t n = static_cast<size_t>(last) < kPathCapacity - 1
                         ? static_cast<size_t>(last)
                         : kPathCapacity - 1;
    memcpy(was.bytes, path, n);
    was.bytes[n] = '\0';
  }
  FUZZ_CHECK(memcmp(was.bytes, out->bytes, kPathCapacity) == 0,
             "GetDirectoryPart of \"%s\" under %u gave \"%s\"", path,
             code_page, out->bytes);
  GetDirectoryPart(path, nullptr);
  delete out;
  free(path);
}

// destination: `capacity` bytes of 0x5A with a zero byte at `zero_at`
// (none when zero_at >= capacity).
char* Destination(size_t capacity, size_t zero_at) {
  char* d = static_cast<char*>(malloc(capacity == 0 ? 1 : capacity));
  memset(d, 0x5A, capacity == 0 ? 1 : capacity);
  if (zero_at < capacity) d[zero_at] = '\0';
  return d;
}

void CheckCopies(size_t capacity, size_t limit, const std::string& text) {
  const size_t length = strlen(text.c_str());
  // CopyTextN may read the first `limit` bytes only, zero byte or not.
  const bool cut_source = limit < length;
  char* source = cut_source ? static_cast<char*>(malloc(limit)) : AtEnd(text);
  if (cut_source) memcpy(source, text.data(), limit);
  const size_t guard = capacity == 0 ? 1 : capacity;

  char* d = Destination(capacity, SIZE_MAX);
  CopyTextN(d, capacity, source, limit);
  char* want = Destination(capacity, SIZE_MAX);
  if (capacity > 0) {
    size_t n = limit < length ? limit : length;
    if (n > capacity - 1) n = capacity - 1;
    memcpy(want, text.data(), n);
    want[n] = '\0';
  }
  FUZZ_CHECK(memcmp(d, want, guard) == 0, "CopyTextN C=%zu n=%zu", capacity,
             limit);
  free(d);
  free(want);
  free(source);

  char* whole = AtEnd(text);
  d = Destination(capacity, SIZE_MAX);
  CopyText(d, capacity, whole);
  want = Destination(capacity, SIZE_MAX);
  if (capacity > 0) {
    const size_t n = length < capacity - 1 ? length : capacity - 1;
    memcpy(want, text.data(), n);
    want[n] = '\0';
  }
  FUZZ_CHECK(memcmp(d, want, guard) == 0, "CopyText C=%zu", capacity);
  free(d);
  free(want);

  // AppendText onto a text of `limit` bytes, or onto bytes without a zero.
  d = Destination(capacity, limit);
  AppendText(d, capacity, whole);
  want = Destination(capacity, limit);
  if (limit < capacity) {
    size_t n = length;
    if (n > capacity - 1 - limit) n = capacity - 1 - limit;
    memcpy(want + limit, text.data(), n);
    want[limit + n] = '\0';
  }
  FUZZ_CHECK(memcmp(d, want, guard) == 0, "AppendText C=%zu P=%zu", capacity,
             limit);
  free(d);
  free(want);
  free(whole);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::Input in(data, size);
  static const UINT kCodePages[] = {1252, 932, 936};
  const UINT code_page = kCodePages[in.Byte() % 3];
  const uint8_t c = in.Byte();
  const size_t capacity = c >= 0xF0 ? 260 + (c - 0xF0) : c;
  const size_t limit = in.Byte();
  const std::string text = in.Rest();

  SetAnsiCodePageForTesting(code_page);
  CheckDirectoryPart(code_page, text);
  CheckCopies(capacity, limit, text);
  return 0;
}
