// The settings-file engine: GetPrivateProfileStringA and
// WritePrivateProfileStringA over files on disk.
//
// Reading follows the platform's rules (see profile_format.h). Writing goes
// further than the platform in two ways:
//  - Every byte that a write has no reason to change stays as it was: lines,
//    blank lines, line ends, byte-order mark, other sections and the spelling
//    of the key that is replaced.
//  - A write is atomic against the process being killed: afterwards the file
//    reads as it did before the write or as it does after it. Growing the
//    file at its end (the common case: new sections, new keys of the last
//    section) is one write(2) confined to a memory page where a cut would be
//    harmful; any other change writes a complete new file beside the old one
//    and renames it over.
//
// Each file is kept in memory between calls, keyed by its device and inode
// and checked against its size and times at every call, so that a run of
// many calls costs one read of the file plus one small write per change.
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <iconv.h>
#include <limits.h>
#include <pthread.h>
#include <signal.h>
#include <stdio.h>
#include <time.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "platform/posix_layer.h"
#include "platform/profile_format.h"
#include "platform/win32.h"

namespace {

using profile_format::Document;
using profile_format::Edit;
using profile_format::Encoding;
using profile_format::kNone;

// How long a file checked against its path counts as unchanged: a run of
// calls costs one stat(2) a millisecond instead of one a call, and a change
// another program makes is noticed within that time.
constexpr int64_t kCheckEveryNs = 1000000;

int64_t NowNs() {
  struct timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

// Files below this size take a rewrite rather than padding when an append
// would be cut at a page boundary inside a value (see AppendSafely): every
// settings file of a usual size keeps its plain layout, and the rewrites stay
// cheap.
constexpr size_t kRewriteBelow = 64u << 10;

struct FileIdentity {
  dev_t device = 0;
  ino_t inode = 0;
  off_t size = -1;
  struct timespec modified = {};
  struct timespec changed = {};
  bool times_known = true;

  static FileIdentity Of(const struct stat& st) {
    FileIdentity id;
    id.device = st.st_dev;
    id.inode = st.st_ino;
    id.size = st.st_size;
    id.modified = st.st_mtim;
    id.changed = st.st_ctim;
    return id;
  }
  bool SameFile(const struct stat& st) const {
    return device == st.st_dev && inode == st.st_ino;
  }
  bool Unchanged(const struct stat& st) const {
    if (!SameFile(st) || size != st.st_size) return false;
    return !times_known ||
           (modified.tv_sec == st.st_mtim.tv_sec &&
           modified.tv_nsec == st.st_mtim.tv_nsec &&
           changed.tv_sec == st.st_ctim.tv_sec &&
           changed.tv_nsec == st.st_ctim.tv_nsec);
  }
};

// One settings file held in memory.
struct CachedFile {
  FileIdentity identity;
  int write_fd = -1;
  std::string prefix;  // the byte-order mark, kept as it was
  bool writable_layout = true;  // false for a UTF-16 file of odd length
  std::unique_ptr<Document<char>> narrow;
  std::unique_ptr<Document<char16_t>> wide;
  bool swept_temporaries = false;
  UINT code_page = 0;  // the lead bytes that the narrow document was read with
  unsigned long last_use = 0;
  std::string path;        // the spelling it was last looked up by
  int64_t checked_at = 0;  // when that path was last checked against it

  ~CachedFile() {
    if (write_fd >= 0) close(write_fd);
  }
};

constexpr size_t kCacheSlots = 8;
void ForgetAllInChild();

std::vector<std::unique_ptr<CachedFile>>& Cache() {
  static auto* cache = [] {
    // A forked child starts with nothing held, so that it cannot take what
    // its parent knew of a file for what is on disk.
    pthread_atfork(nullptr, nullptr, ForgetAllInChild);
    return new std::vector<std::unique_ptr<CachedFile>>();
  }();
  return *cache;
}

void ForgetAllInChild() { Cache().clear(); }
unsigned long g_use_clock = 0;

// ---- code page conversions for UTF-16 files -------------------------------

const char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

const char* IconvName(UINT code_page) {
  switch (code_page) {
    case 932: return "CP932";
    case 936: return "CP936";
    case 949: return "CP949";
    case 950: return "CP950";
    default: return nullptr;
  }
}

// Runs iconv over the whole input, putting `replacement` for what it cannot
// convert.
std::string Iconv(const char* to, const char* from, const char* in,
                  size_t in_bytes, const char* replacement,
                  size_t replacement_bytes, size_t in_unit) {
  std::string out;
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return out;
  out.resize(in_bytes * 4 + 16);
  char* in_ptr = const_cast<char*>(in);
  size_t in_left = in_bytes;
  char* out_ptr = &out[0];
  size_t out_left = out.size();
  while (in_left > 0) {
    if (iconv(cd, &in_ptr, &in_left, &out_ptr, &out_left) !=
        static_cast<size_t>(-1)) {
      break;
    }
    if (errno == E2BIG) {
      const size_t used = out.size() - out_left;
      out.resize(out.size() * 2);
      out_ptr = &out[used];
      out_left = out.size() - used;
      continue;
    }
    // An invalid or cut sequence: replace one unit and go on.
    const size_t skip = in_left < in_unit ? in_left : in_unit;
    in_ptr += skip;
    in_left -= skip;
    if (out_left < replacement_bytes) {
      const size_t used = out.size() - out_left;
      out.resize(out.size() * 2 + replacement_bytes);
      out_ptr = &out[used];
      out_left = out.size() - used;
    }
    memcpy(out_ptr, replacement, replacement_bytes);
    out_ptr += replacement_bytes;
    out_left -= replacement_bytes;
  }
  out.resize(out.size() - out_left);
  iconv_close(cd);
  return out;
}

std::u16string AnsiToWide(const char* text, size_t length) {
  std::u16string wide;
  const char* name = IconvName(GetACP());
  if (name == nullptr) {
    wide.reserve(length);
    for (size_t i = 0; i < length; ++i) {
      const unsigned char byte = static_cast<unsigned char>(text[i]);
      wide.push_back(byte >= 0x80 && byte < 0xA0 ? kCp1252High[byte - 0x80]
                                                  : char16_t(byte));
    }
    return wide;
  }
  const char16_t question = u'?';
  const std::string bytes =
      Iconv("UTF-16LE", name, text, length,
            reinterpret_cast<const char*>(&question), 2, 1);
  wide.resize(bytes.size() / 2);
  memcpy(&wide[0], bytes.data(), wide.size() * 2);
  return wide;
}

std::string WideToAnsi(const char16_t* text, size_t length) {
  const char* name = IconvName(GetACP());
  if (name == nullptr) {
    std::string narrow;
    narrow.reserve(length);
    for (size_t i = 0; i < length; ++i) {
      const char16_t unit = text[i];
      char byte = '?';
      if (unit < 0x80 || (unit >= 0xA0 && unit <= 0xFF)) {
        byte = static_cast<char>(unit);
      } else {
        for (int j = 0; j < 32; ++j) {
          if (kCp1252High[j] == unit) byte = static_cast<char>(0x80 + j);
        }
      }
      narrow.push_back(byte);
    }
    return narrow;
  }
  return Iconv(name, "UTF-16LE", reinterpret_cast<const char*>(text),
               length * 2, "?", 1, 2);
}

// ---- reading files --------------------------------------------------------

bool ReadWhole(int fd, off_t expected_size, std::string& bytes) {
  bytes.clear();
  bytes.reserve(static_cast<size_t>(expected_size) + 1);
  char chunk[1 << 16];
  for (;;) {
    const ssize_t got = read(fd, chunk, sizeof chunk);
    if (got < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (got == 0) return true;
    bytes.append(chunk, static_cast<size_t>(got));
  }
}

// Fills file's documents from bytes, which it takes.
void LoadDocument(CachedFile& file, std::string& bytes) {
  file.narrow.reset();
  file.wide.reset();
  file.prefix.clear();
  file.writable_layout = true;
  if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
      static_cast<unsigned char>(bytes[1]) == 0xFE) {
    file.prefix = bytes.substr(0, 2);
    const size_t units = (bytes.size() - 2) / 2;
    file.writable_layout = (bytes.size() - 2) % 2 == 0;
    std::u16string text(units, u'\0');
    if (units > 0) memcpy(&text[0], bytes.data() + 2, units * 2);
    file.wide.reset(new Document<char16_t>(Encoding::kUtf16, std::move(text)));
    return;
  }
  size_t skip = 0;
  Encoding encoding = Encoding::kAnsi;
  if (bytes.size() >= 3 && static_cast<unsigned char>(bytes[0]) == 0xEF &&
      static_cast<unsigned char>(bytes[1]) == 0xBB &&
      static_cast<unsigned char>(bytes[2]) == 0xBF) {
    skip = 3;
    encoding = Encoding::kUtf8;
  }
  file.prefix = bytes.substr(0, skip);
  bytes.erase(0, skip);
  file.narrow.reset(new Document<char>(encoding, std::move(bytes)));
}

void EvictIfFull() {
  auto& cache = Cache();
  if (cache.size() < kCacheSlots) return;
  size_t oldest = 0;
  for (size_t i = 1; i < cache.size(); ++i) {
    if (cache[i]->last_use < cache[oldest]->last_use) oldest = i;
  }
  cache.erase(cache.begin() + static_cast<std::ptrdiff_t>(oldest));
}

void Forget(const CachedFile* file) {
  auto& cache = Cache();
  for (size_t i = 0; i < cache.size(); ++i) {
    if (cache[i].get() == file) {
      cache.erase(cache.begin() + static_cast<std::ptrdiff_t>(i));
      return;
    }
  }
}

// The file at path, read afresh when it changed since we last saw it. With
// for_writing, also opened for writing. Null when the path names no regular
// file that can be read (or written).
CachedFile* Acquire(const char* path, bool for_writing) {
  const int64_t now = NowNs();
  const UINT code_page = GetACP();
  for (auto& entry : Cache()) {
    if (now - entry->checked_at < kCheckEveryNs && entry->path == path &&
        entry->code_page == code_page &&
        (!for_writing || entry->write_fd >= 0)) {
      entry->last_use = ++g_use_clock;
      return entry.get();
    }
  }
  struct stat st;
  if (stat(path, &st) != 0 || !S_ISREG(st.st_mode)) return nullptr;
  if (st.st_size > static_cast<off_t>(UINT32_MAX / 4)) return nullptr;
  auto& cache = Cache();
  CachedFile* file = nullptr;
  for (auto& entry : cache) {
    if (entry->identity.SameFile(st)) file = entry.get();
  }
  if (file != nullptr &&
      (!file->identity.Unchanged(st) || file->code_page != GetACP())) {
    Forget(file);
    file = nullptr;
  }
  if (file != nullptr && !file->identity.times_known) {
    file->identity = FileIdentity::Of(st);
  }
  if (file == nullptr) {
    const int fd = open(path, (for_writing ? O_RDWR : O_RDONLY) | O_CLOEXEC);
    if (fd < 0) return nullptr;
    struct stat opened;
    std::string bytes;
    if (fstat(fd, &opened) != 0 || !S_ISREG(opened.st_mode) ||
        !ReadWhole(fd, opened.st_size, bytes)) {
      close(fd);
      return nullptr;
    }
    EvictIfFull();
    cache.emplace_back(new CachedFile());
    file = cache.back().get();
    file->identity = FileIdentity::Of(opened);
    if (static_cast<off_t>(bytes.size()) != opened.st_size) {
      file->identity.size = -1;  // it moved while we read: read again next time
    }
    LoadDocument(*file, bytes);
    file->code_page = GetACP();
    if (for_writing) {
      file->write_fd = fd;
    } else {
      close(fd);
    }
  }
  if (for_writing && file->write_fd < 0) {
    const int fd = open(path, O_RDWR | O_CLOEXEC);
    if (fd < 0) return nullptr;
    struct stat opened;
    if (fstat(fd, &opened) != 0 || !file->identity.Unchanged(opened)) {
      close(fd);
      Forget(file);
      return nullptr;
    }
    file->write_fd = fd;
  }
  file->last_use = ++g_use_clock;
  file->path = path;
  file->checked_at = now;
  return file;
}

// ---- writing files --------------------------------------------------------

bool WriteAll(int fd, const char* data, size_t length, off_t offset) {
  while (length > 0) {
    const ssize_t put = pwrite(fd, data, length, offset);
    if (put < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (put == 0) return false;
    data += put;
    length -= static_cast<size_t>(put);
    offset += put;
  }
  return true;
}

// A name for a temporary file beside `name`, hidden and unlikely to be taken:
// "." name "." pid "." random ".tmp".
std::string TemporaryName(const std::string& directory, const std::string& name) {
  char suffix[64];
  snprintf(suffix, sizeof suffix, ".%ld.%d.tmp", static_cast<long>(getpid()),
           rand());
  return directory + "/." + name + suffix;
}

// Removes the temporary files of `name` that a killed process left between
// giving its new file a name and renaming it over the old one.
void RemoveLeftTemporaries(const std::string& directory,
                           const std::string& name) {
  DIR* folder = opendir(directory.c_str());
  if (folder == nullptr) return;
  const std::string prefix = "." + name + ".";
  while (const struct dirent* entry = readdir(folder)) {
    const std::string entry_name = entry->d_name;
    if (entry_name.size() <= prefix.size() + 4 ||
        entry_name.compare(0, prefix.size(), prefix) != 0 ||
        entry_name.compare(entry_name.size() - 4, 4, ".tmp") != 0) {
      continue;
    }
    char* end = nullptr;
    const long pid = strtol(entry_name.c_str() + prefix.size(), &end, 10);
    if (end == nullptr || *end != '.' || pid <= 0) continue;
    if (kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH) {
      unlinkat(dirfd(folder), entry_name.c_str(), 0);
    }
  }
  closedir(folder);
}

// Writes content to a new file in directory and gives it its final name:
// over the old file when `replace` is set, else only if nothing has that name
// yet. The old file stays whole until the rename. Returns the new file open
// for reading and writing, or -1, having changed nothing, when a step fails.
int PublishNewFile(const std::string& directory, const std::string& name,
                   const std::string& content, const struct stat* like,
                   bool replace) {
  const std::string final_path = directory + "/" + name;
  const mode_t mode = like != nullptr ? (like->st_mode & 07777) : 0666;
  std::string temp_path;
  int fd = -1;
#ifdef O_TMPFILE
  // Unnamed until it is complete, so that a kill leaves nothing behind.
  fd = open(directory.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, mode);
#endif
  const bool unnamed = fd >= 0;
  for (int attempt = 0; !unnamed && fd < 0 && attempt < 100; ++attempt) {
    temp_path = TemporaryName(directory, name);
    fd = open(temp_path.c_str(), O_CREAT | O_EXCL | O_RDWR | O_CLOEXEC, mode);
    if (fd < 0 && errno != EEXIST) return -1;
  }
  if (fd < 0) return -1;

  bool ok = WriteAll(fd, content.data(), content.size(), 0);
  if (ok && like != nullptr) {
    ok = fchmod(fd, like->st_mode & 07777) == 0;
    if (ok && geteuid() == 0 &&
        fchown(fd, like->st_uid, like->st_gid) != 0) {
      // The owner stays root's: the content and mode are what matter.
    }
  }
  if (ok && unnamed) {
    char proc_path[64];
    snprintf(proc_path, sizeof proc_path, "/proc/self/fd/%d", fd);
    if (!replace) {
      ok = linkat(AT_FDCWD, proc_path, AT_FDCWD, final_path.c_str(),
                  AT_SYMLINK_FOLLOW) == 0;
      if (ok) return fd;
      close(fd);
      return -1;
    }
    ok = false;
    for (int attempt = 0; !ok && attempt < 100; ++attempt) {
      temp_path = TemporaryName(directory, name);
      ok = linkat(AT_FDCWD, proc_path, AT_FDCWD, temp_path.c_str(),
                  AT_SYMLINK_FOLLOW) == 0;
      if (!ok && errno != EEXIST) break;
    }
    if (!ok) temp_path.clear();
  }
  if (ok) {
    if (replace) {
      ok = rename(temp_path.c_str(), final_path.c_str()) == 0;
    } else {
      ok = link(temp_path.c_str(), final_path.c_str()) == 0;
    }
  }
  if (!temp_path.empty() && (!ok || !replace)) unlink(temp_path.c_str());
  if (!ok) {
    close(fd);
    return -1;
  }
  return fd;
}

// Splits path into the real directory and name of the file it names, so that
// a rename replaces the file a link points to rather than the link.
bool RealLocation(const char* path, std::string& directory, std::string& name) {
  char* real = realpath(path, nullptr);
  std::string full;
  if (real != nullptr) {
    full = real;
    free(real);
  } else {
    full = path;  // a file yet to be made: its folder must exist
  }
  const size_t slash = full.rfind('/');
  if (slash == std::string::npos) {
    directory = ".";
    name = full;
  } else {
    directory = slash == 0 ? "/" : full.substr(0, slash);
    name = full.substr(slash + 1);
  }
  return !name.empty();
}

template <typename Unit>
std::string Encode(const std::basic_string<Unit>& units) {
  return std::string(reinterpret_cast<const char*>(units.data()),
                     units.size() * sizeof(Unit));
}

// After a write of ours that the file now holds: the document takes the edit
// and the file's new times, so that the next call need not read it again.
template <typename Unit>
bool TakeOwnWrite(CachedFile& file, Document<Unit>& document,
                  const Edit<Unit>& edit) {
  struct stat st;
  if (fstat(file.write_fd, &st) != 0) {
    Forget(&file);  // read afresh next time
    return true;
  }
  file.identity = FileIdentity::Of(st);
  document.Apply(edit);
  return true;
}

// Rewrites the whole file with the edit applied, by a new file renamed over
// the old one.
template <typename Unit>
bool RewriteWith(CachedFile& file, const char* path, Document<Unit>& document,
                 const Edit<Unit>& edit) {
  std::basic_string<Unit> text = document.text();
  text.replace(edit.position, edit.removed, edit.inserted);
  std::string directory;
  std::string name;
  struct stat st;
  if (!RealLocation(path, directory, name) ||
      fstat(file.write_fd, &st) != 0) {
    return false;
  }
  if (!file.swept_temporaries) {
    RemoveLeftTemporaries(directory, name);
    file.swept_temporaries = true;
  }
  const int fd = PublishNewFile(directory, name, file.prefix + Encode(text),
                                &st, /*replace=*/true);
  if (fd < 0) return false;
  close(file.write_fd);
  file.write_fd = fd;
  return TakeOwnWrite(file, document, edit);
}

// Whether a write of `edit` cut short at byte `cut` of its inserted text
// would leave a value that is neither the old one nor the new one.
template <typename Unit>
bool HarmfulCut(const Edit<Unit>& edit, size_t cut) {
  if (edit.harm_from == kNone) return false;
  const size_t from = (edit.harm_from + 1) * sizeof(Unit);
  const size_t to = edit.value_end * sizeof(Unit);
  return cut >= from && cut < to;
}

// The kernel may cut a write(2) at a page boundary when the process is
// killed. Returns the first boundary within the append at which such a cut
// would be harmful, or 0 when there is none.
template <typename Unit>
size_t FirstHarmfulCut(const Edit<Unit>& edit, off_t at, size_t page) {
  const size_t length = edit.inserted.size() * sizeof(Unit);
  const size_t start = static_cast<size_t>(at);
  for (size_t boundary = (start / page + 1) * page; boundary < start + length;
       boundary += page) {
    if (HarmfulCut(edit, boundary - start)) return boundary - start;
  }
  return 0;
}

// Appends the edit's text at the end of the file so that a kill at any
// instant leaves the file as it was or with the new value: where a page
// boundary would fall inside the new value, small files are rewritten, and
// large ones get blanks at the start of the new line (which reading skips)
// so that the boundary falls before the line's "=" or "]".
template <typename Unit>
bool AppendSafely(CachedFile& file, const char* path, Document<Unit>& document,
                  Edit<Unit> edit) {
  const off_t at = file.identity.size;
  static const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
  size_t cut = FirstHarmfulCut(edit, at, page);
  if (cut != 0) {
    if (static_cast<size_t>(at) < kRewriteBelow) {
      return RewriteWith(file, path, document, edit);
    }
    const size_t blanks = (cut / sizeof(Unit)) - edit.harm_from;
    edit.inserted.insert(edit.pad_at, blanks, Unit(' '));
    edit.harm_from += blanks;
    edit.value_end += blanks;
    if (FirstHarmfulCut(edit, at, page) != 0) {
      return RewriteWith(file, path, document, edit);
    }
  }
  const std::string bytes = Encode(edit.inserted);
  if (!WriteAll(file.write_fd, bytes.data(), bytes.size(), at)) {
    // A full disk can take part of a write: give the file back its old end.
    if (ftruncate(file.write_fd, at) != 0) { /* reread it next time */ }
    Forget(&file);
    return false;
  }
  // The next call's stat learns the times our write gave the file.
  file.identity.size = at + static_cast<off_t>(bytes.size());
  file.identity.times_known = false;
  document.Apply(edit);
  return true;
}

// Overwrites a value of the same length in place when it lies within one
// page, so that no cut can divide it; otherwise rewrites the file.
template <typename Unit>
bool ReplaceSafely(CachedFile& file, const char* path,
                   Document<Unit>& document, const Edit<Unit>& edit) {
  static const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
  const size_t start = file.prefix.size() + edit.position * sizeof(Unit);
  const size_t length = edit.inserted.size() * sizeof(Unit);
  if (edit.removed != edit.inserted.size() ||
      start / page != (start + length - 1) / page) {
    return RewriteWith(file, path, document, edit);
  }
  const std::string bytes = Encode(edit.inserted);
  if (!WriteAll(file.write_fd, bytes.data(), bytes.size(),
                static_cast<off_t>(start))) {
    Forget(&file);
    return false;
  }
  return TakeOwnWrite(file, document, edit);
}

template <typename Unit>
bool WriteInto(CachedFile& file, const char* path, Document<Unit>& document,
               std::basic_string_view<Unit> section,
               std::basic_string_view<Unit> key,
               std::basic_string_view<Unit> value) {
  Edit<Unit> edit;
  if (!document.Plan(section, key, value, edit)) return true;  // holds it
  if (!file.writable_layout) return false;
  // An empty value on the file's last line also ends at the end of the file;
  // filling it in is a replacement, not new lines.
  if (edit.key == kNone && edit.position == document.text().size() &&
      edit.removed == 0) {
    return AppendSafely(file, path, document, std::move(edit));
  }
  return ReplaceSafely(file, path, document, edit);
}

bool CreateFile(const char* path, const char* section, const char* key,
                const char* value) {
  Document<char> empty(Encoding::kAnsi, std::string());
  Edit<char> edit;
  empty.Plan(section, key, value, edit);  // the whole new file
  std::string directory;
  std::string name;
  if (!RealLocation(path, directory, name)) return false;
  const int fd = PublishNewFile(directory, name, edit.inserted, nullptr,
                                /*replace=*/false);
  if (fd < 0) return false;
  close(fd);
  return true;
}

// ---- the calls ------------------------------------------------------------

size_t TrimmedLength(const char* text) {
  size_t length = strlen(text);
  while (length > 0 && (text[length - 1] == ' ' || text[length - 1] == '\t')) {
    --length;
  }
  return length;
}

DWORD CopyOut(const char* text, size_t length, LPSTR out, DWORD capacity) {
  if (length > capacity - 1) length = capacity - 1;
  memcpy(out, text, length);
  out[length] = '\0';
  return static_cast<DWORD>(length);
}

DWORD ReadValue(LPCSTR section, LPCSTR key, LPCSTR default_text, LPSTR out,
                DWORD capacity, LPCSTR path) {
  CachedFile* file = Acquire(path, /*for_writing=*/false);
  if (file != nullptr && file->narrow) {
    const Document<char>& document = *file->narrow;
    const uint32_t found = document.FindValue(section, key);
    if (found != kNone) {
      const auto value = document.Value(found);
      return CopyOut(value.first, value.second, out, capacity);
    }
  } else if (file != nullptr && file->wide) {
    const Document<char16_t>& document = *file->wide;
    const std::u16string wide_section = AnsiToWide(section, strlen(section));
    const std::u16string wide_key = AnsiToWide(key, strlen(key));
    const uint32_t found = document.FindValue(wide_section, wide_key);
    if (found != kNone) {
      const auto value = document.Value(found);
      const std::string narrow = WideToAnsi(value.first, value.second);
      return CopyOut(narrow.data(), narrow.size(), out, capacity);
    }
  }
  // The platform drops trailing blanks of the default text.
  return CopyOut(default_text, TrimmedLength(default_text), out, capacity);
}

// In a double-byte code page a section name that ends in a lone lead byte
// would take the "]" after it for its trail byte, and its header would open
// nothing: such a name is refused rather than written unreadable.
bool HeaderReadsBack(const char* section) {
  bool plain = true;
  for (const char* p = section; *p != '\0'; ++p) {
    if (static_cast<unsigned char>(*p) >= 0x80) plain = false;
  }
  if (plain) return true;
  Document<char> empty(Encoding::kAnsi, std::string());
  Edit<char> edit;
  empty.Plan(section, "k", "v", edit);  // the header as it would be written
  Document<char> written(Encoding::kAnsi, edit.inserted);
  return written.FindValue(section, "k") != kNone;
}

bool WriteValue(LPCSTR section, LPCSTR key, LPCSTR value, LPCSTR path) {
  if (!profile_format::WritableNames(section, key, value)) return false;
  if (!HeaderReadsBack(section)) return false;
  CachedFile* file = Acquire(path, /*for_writing=*/true);
  if (file == nullptr) {
    struct stat st;
    if (stat(path, &st) == 0 || errno != ENOENT) return false;
    return CreateFile(path, section, key, value);
  }
  if (file->narrow) {
    return WriteInto<char>(*file, path, *file->narrow, section, key, value);
  }
  const std::u16string wide_section = AnsiToWide(section, strlen(section));
  const std::u16string wide_key = AnsiToWide(key, strlen(key));
  const std::u16string wide_value = AnsiToWide(value, strlen(value));
  return WriteInto<char16_t>(*file, path, *file->wide, wide_section, wide_key,
                             wide_value);
}

}  // namespace

void DropProfileCacheForTesting() { Cache().clear(); }

extern "C" DWORD WINAPI GetPrivateProfileStringA(LPCSTR section, LPCSTR key,
                                                 LPCSTR default_text, LPSTR out,
                                                 DWORD capacity, LPCSTR file) {
  if (out == nullptr || capacity == 0) return 0;
  if (default_text == nullptr) default_text = "";
  if (section == nullptr || key == nullptr) {
    out[0] = '\0';
    return 0;
  }
  if (file == nullptr || file[0] == '\0') {
    return CopyOut(default_text, TrimmedLength(default_text), out, capacity);
  }
  try {
    return ReadValue(section, key, default_text, out, capacity, file);
  } catch (const std::bad_alloc&) {
    DropProfileCacheForTesting();
    return CopyOut(default_text, TrimmedLength(default_text), out, capacity);
  }
}

extern "C" BOOL WINAPI WritePrivateProfileStringA(LPCSTR section, LPCSTR key,
                                                  LPCSTR value, LPCSTR file) {
  if (section == nullptr || key == nullptr || value == nullptr ||
      file == nullptr || file[0] == '\0') {
    return FALSE;
  }
  try {
    return WriteValue(section, key, value, file) ? TRUE : FALSE;
  } catch (const std::bad_alloc&) {
    DropProfileCacheForTesting();
    return FALSE;
  }
}
