// Scratch files for tests, through the C library so that the same helpers
// serve both builds.
#ifndef QUILLMOOR_TESTS_SUPPORT_SCRATCH_H_
#define QUILLMOOR_TESTS_SUPPORT_SCRATCH_H_

#include <stdio.h>

#include <string>

#include <gtest/gtest.h>

#ifdef QUILLMOOR_OWN_PLATFORM
#include "platform/posix_layer.h"
#endif

namespace scratch {

// Our engine notices changes by other programs within a millisecond; a test
// that changes a file itself must not wait for that.
inline void FileChangedBehindTheEngine() {
#ifdef QUILLMOOR_OWN_PLATFORM
  DropProfileCacheForTesting();
#endif
}

inline std::string ReadBytes(const std::string& path) {
  std::string bytes;
  FILE* file = fopen(path.c_str(), "rb");
  if (file == nullptr) return bytes;
  char chunk[4096];
  size_t got;
  while ((got = fread(chunk, 1, sizeof chunk, file)) > 0) bytes.append(chunk, got);
  fclose(file);
  return bytes;
}

inline bool Exists(const std::string& path) {
  FILE* file = fopen(path.c_str(), "rb");
  if (file == nullptr) return false;
  fclose(file);
  return true;
}

inline void WriteBytes(const std::string& path, const std::string& bytes) {
  FILE* file = fopen(path.c_str(), "wb");
  ASSERT_NE(file, nullptr) << path;
  ASSERT_EQ(fwrite(bytes.data(), 1, bytes.size(), file), bytes.size());
  fclose(file);
  FileChangedBehindTheEngine();
}

// A path in the test run's temporary folder, unique to the running test and
// `name`; any file left there from an earlier run is removed.
inline std::string Path(const std::string& name) {
  const ::testing::TestInfo* test =
      ::testing::UnitTest::GetInstance()->current_test_info();
  std::string path = ::testing::TempDir() + "quillmoor-" +
                     (test != nullptr ? std::string(test->test_suite_name()) +
                                            "-" + test->name() + "-"
                                      : std::string()) +
                     name;
  remove(path.c_str());
  FileChangedBehindTheEngine();
  return path;
}

inline std::string Fixture(const std::string& relative) {
  return ReadBytes(std::string(QUILLMOOR_FIXTURES) + "/" + relative);
}

}  // namespace scratch

#endif  // QUILLMOOR_TESTS_SUPPORT_SCRATCH_H_
