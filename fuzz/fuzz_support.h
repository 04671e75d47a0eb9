// What the fuzz targets share: a scratch folder of their own, whole-file
// reads and writes, and a reader of the fuzz input.
#ifndef QUILLMOOR_FUZZ_FUZZ_SUPPORT_H_
#define QUILLMOOR_FUZZ_FUZZ_SUPPORT_H_

#include <dirent.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <string>

namespace fuzz {

// Stops the run with the input that showed the fault.
#define FUZZ_CHECK(condition, ...)                                   \
  do {                                                               \
    if (!(condition)) {                                              \
      fprintf(stderr, "check failed at %s:%d: %s\n", __FILE__,       \
              __LINE__, #condition);                                 \
      fprintf(stderr, "" __VA_ARGS__);                               \
      fprintf(stderr, "\n");                                         \
      abort();                                                       \
    }                                                                \
  } while (0)

inline const std::string& ScratchDir() {
  static const std::string dir = [] {
    const char* base = getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") +
                          "/quillmoor-fuzz-XXXXXX";
    if (mkdtemp(&pattern[0]) == nullptr) abort();
    return pattern;
  }();
  static const bool cleaned_at_exit = atexit([] {
    const std::string command = "rm -rf '" + ScratchDir() + "'";
    if (system(command.c_str()) != 0) { /* leave it */ }
  }) == 0;
  (void)cleaned_at_exit;
  return dir;
}

inline bool ReadFile(const std::string& path, std::string* bytes) {
  bytes->clear();
  FILE* f = fopen(path.c_str(), "rb");
  if (f == nullptr) return false;
  char chunk[4096];
  size_t got;
  while ((got = fread(chunk, 1, sizeof chunk, f)) > 0) bytes->append(chunk, got);
  fclose(f);
  return true;
}

inline void WriteFile(const std::string& path, const std::string& bytes) {
  FILE* f = fopen(path.c_str(), "wb");
  if (f == nullptr) abort();
  if (fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size()) abort();
  fclose(f);
}

// Names in a folder other than "." and "..", one per line.
inline std::string Listing(const std::string& dir) {
  std::string names;
  DIR* d = opendir(dir.c_str());
  if (d == nullptr) return "?";
  while (struct dirent* e = readdir(d)) {
    if (strcmp(e->d_name, ".") == 0 || strcmp(e->d_name, "..") == 0) continue;
    names += e->d_name;
    names += '\n';
  }
  closedir(d);
  return names;
}

// How many open descriptors refer to files in the scratch folder (others
// come and go with the sanitizers' symbolizer).
inline int OpenScratchFiles() {
  int count = 0;
  DIR* d = opendir("/proc/self/fd");
  if (d == nullptr) return -1;
  while (struct dirent* e = readdir(d)) {
    if (e->d_name[0] == '.') continue;
    char target[4096];
    const std::string link = std::string("/proc/self/fd/") + e->d_name;
    const ssize_t n = readlink(link.c_str(), target, sizeof target - 1);
    if (n <= 0) continue;
    target[n] = '\0';
    if (strncmp(target, ScratchDir().c_str(), ScratchDir().size()) == 0) {
      ++count;
    }
  }
  closedir(d);
  return count;
}

// Takes bytes off the front of the input; zeros once it is used up.
class Input {
 public:
  Input(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  bool empty() const { return at_ == size_; }
  uint8_t Byte() { return at_ < size_ ? data_[at_++] : 0; }
  uint16_t Word() {
    const uint16_t low = Byte();
    return static_cast<uint16_t>(low | (Byte() << 8));
  }
  std::string Bytes(size_t n) {
    if (n > size_ - at_) n = size_ - at_;
    std::string s(reinterpret_cast<const char*>(data_ + at_), n);
    at_ += n;
    return s;
  }
  std::string Rest() { return Bytes(size_ - at_); }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t at_ = 0;
};

}  // namespace fuzz

#endif  // QUILLMOOR_FUZZ_FUZZ_SUPPORT_H_
