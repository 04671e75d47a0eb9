#include "e2e/scratch_folder.h"

#include <errno.h>
#include <fcntl.h>
#include <ftw.h>
#include <limits.h>
#include <linux/fs.h>
#include <sched.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include <gtest/gtest.h>

#include "support/scratch.h"

namespace e2e {
namespace {

void ClearImmutable(const char* path) {
  const int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0) return;
  int flags = 0;
  if (ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0 && (flags & FS_IMMUTABLE_FL)) {
    flags &= ~FS_IMMUTABLE_FL;
    ioctl(fd, FS_IOC_SETFLAGS, &flags);
  }
  close(fd);
}

int ClearOne(const char* path, const struct stat*, int, struct FTW*) {
  ClearImmutable(path);
  return 0;
}

int RemoveOne(const char* path, const struct stat*, int type, struct FTW*) {
  if (type == FTW_DP) {
    rmdir(path);
  } else {
    unlink(path);
  }
  return 0;
}

std::string Reason(const char* what) {
  return std::string(what) + ": " + strerror(errno);
}

bool g_in_own_namespace = false;

}  // namespace

ScratchFolder::ScratchFolder() {
  std::string pattern = ::testing::TempDir() + "quillmoor-e2e-XXXXXX";
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  if (mkdtemp(name.data()) == nullptr) {
    ADD_FAILURE() << Reason("mkdtemp");
    return;
  }
  char resolved[PATH_MAX];
  path_ = realpath(name.data(), resolved) != nullptr ? resolved : name.data();
}

ScratchFolder::~ScratchFolder() {
  for (auto it = mounts_.rbegin(); it != mounts_.rend(); ++it) {
    umount2(it->c_str(), MNT_DETACH);
  }
  if (path_.empty()) return;
  // Flags first, from the top: an immutable folder keeps its entries.
  nftw(path_.c_str(), ClearOne, 16, FTW_PHYS);
  nftw(path_.c_str(), RemoveOne, 16, FTW_DEPTH | FTW_PHYS);
}

void ScratchFolder::Write(const std::string& name,
                          const std::string& bytes) const {
  scratch::WriteBytes(Path(name), bytes);
}

std::string ScratchFolder::Read(const std::string& name) const {
  return scratch::ReadBytes(name[0] == '/' ? name : Path(name));
}

void ScratchFolder::MakeFolder(const std::string& name) const {
  ASSERT_EQ(mkdir(Path(name).c_str(), 0755), 0) << Reason(name.c_str());
}

namespace {
std::vector<std::pair<std::string, std::string>>* g_listing = nullptr;
size_t g_prefix = 0;
int ListOne(const char* path, const struct stat* info, int type, struct FTW*) {
  if (strlen(path) <= g_prefix) return 0;  // the folder itself
  std::string relative = path + g_prefix + 1;
  if (type == FTW_D) {
    g_listing->emplace_back(relative + "/", "");
  } else if (S_ISREG(info->st_mode)) {
    g_listing->emplace_back(relative, scratch::ReadBytes(path));
  } else {  // a pipe or the like: opening it could wait forever
    g_listing->emplace_back(relative, "");
  }
  return 0;
}
}  // namespace

std::vector<std::pair<std::string, std::string>> ScratchFolder::Contents()
    const {
  std::vector<std::pair<std::string, std::string>> listing;
  g_listing = &listing;
  g_prefix = path_.size();
  nftw(path_.c_str(), ListOne, 16, FTW_PHYS);
  g_listing = nullptr;
  std::sort(listing.begin(), listing.end());
  return listing;
}

bool ScratchFolder::MakeImmutable(const std::string& name,
                                  std::string* why) const {
  const int fd = open(Path(name).c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    *why = Reason("open");
    return false;
  }
  int flags = 0;
  bool done = ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
  if (done) {
    flags |= FS_IMMUTABLE_FL;
    done = ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
  }
  if (!done) *why = Reason("setting the immutable flag (chattr +i)");
  close(fd);
  return done;
}

bool ScratchFolder::EnterOwnMountNamespace(std::string* why) {
  if (g_in_own_namespace) return true;
  if (unshare(CLONE_NEWNS) != 0) {
    *why = Reason("unshare(CLONE_NEWNS)");
    return false;
  }
  // Nothing mounted here may reach the machine's own namespace.
  if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
    *why = Reason("making mounts private");
    return false;
  }
  g_in_own_namespace = true;
  return true;
}

bool ScratchFolder::MountReadOnly(const std::string& folder, std::string* why) {
  if (!EnterOwnMountNamespace(why)) return false;
  const std::string where = Path(folder);
  if (mount(where.c_str(), where.c_str(), nullptr, MS_BIND, nullptr) != 0) {
    *why = Reason("bind mount");
    return false;
  }
  mounts_.push_back(where);
  if (mount(nullptr, where.c_str(), nullptr, MS_BIND | MS_REMOUNT | MS_RDONLY,
            nullptr) != 0) {
    *why = Reason("remounting read-only");
    return false;
  }
  return true;
}

bool ScratchFolder::MountTmpfs(const std::string& folder, size_t bytes,
                               std::string* why) {
  if (!EnterOwnMountNamespace(why)) return false;
  const std::string where = Path(folder);
  const std::string options = "size=" + std::to_string(bytes) + ",mode=0755";
  if (mount("tmpfs", where.c_str(), "tmpfs", 0, options.c_str()) != 0) {
    *why = Reason("mounting a tmpfs");
    return false;
  }
  mounts_.push_back(where);
  return true;
}

bool FillUp(const std::string& path) {
  const int fd =
      open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  static const char zeros[4096] = {};
  for (;;) {
    const ssize_t put = write(fd, zeros, sizeof zeros);
    if (put > 0) continue;
    if (put < 0 && errno == ENOSPC) break;
    close(fd);
    return false;
  }
  // The last page may be partly free: fill it byte by byte.
  while (write(fd, zeros, 1) == 1) {
  }
  close(fd);
  return true;
}

}  // namespace e2e
