// A scratch folder per test, and the ways to make the kernel refuse writes
// even to root (who ignores permission bits): immutable files, read-only
// bind mounts and small tmpfs mounts. Mounts are made in a mount namespace of
// the test process's own, so they vanish with it whatever happens.
#ifndef QUILLMOOR_TESTS_E2E_SCRATCH_FOLDER_H_
#define QUILLMOOR_TESTS_E2E_SCRATCH_FOLDER_H_

#include <string>
#include <vector>

namespace e2e {

class ScratchFolder {
 public:
  ScratchFolder();   // an empty folder, its path without symbolic links
  ~ScratchFolder();  // unmounts, clears immutable flags, removes everything

  const std::string& path() const { return path_; }
  std::string Path(const std::string& name) const { return path_ + "/" + name; }

  void Write(const std::string& name, const std::string& bytes) const;
  std::string Read(const std::string& name) const;
  void MakeFolder(const std::string& name) const;

  // Every file below the folder, by its path relative to it, with its bytes;
  // folders as "name/". Mounted folders are listed like any other.
  std::vector<std::pair<std::string, std::string>> Contents() const;

  // Each returns false with the reason when this machine does not allow it.
  // An immutable file takes no writes; an immutable folder takes no new
  // entries, while the files in it may still be written.
  bool MakeImmutable(const std::string& name, std::string* why) const;
  bool MountReadOnly(const std::string& folder, std::string* why);
  bool MountTmpfs(const std::string& folder, size_t bytes, std::string* why);

 private:
  bool EnterOwnMountNamespace(std::string* why);

  std::string path_;
  std::vector<std::string> mounts_;
};

// Writes zeros into `name` until the file system holding it is full.
bool FillUp(const std::string& path);

}  // namespace e2e

#endif  // QUILLMOOR_TESTS_E2E_SCRATCH_FOLDER_H_
