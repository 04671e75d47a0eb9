// The settings-file engine on random file bytes and a random run of reads
// and writes taken from the rest of the input.
//
// Input: one byte of flags (low two bits 3: code page 932, else 1252; bit 2:
// the file is missing at first), two bytes of file length, the file, then the
// operations (see Operation below).
//
// Under 1252 every read is held against the plain reader of
// tests/support/reference_profile.h over the bytes on disk, and every write
// must change the file only where it has reason to: the one value, or the
// added lines. Under 932 the reader does not apply; a write must still read
// back as written and a refused write must leave the file as it was.
#include <stddef.h>
#include <stdint.h>

#include <algorithm>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "platform/posix_layer.h"
#include "platform/win32.h"
#include "reference_profile.h"

namespace {

struct Run {
  bool checked = true;  // held against the reference reader
  std::string files[2];
  std::vector<std::string> sections;
  std::vector<std::string> keys;
  std::vector<std::string> values;
};

std::string CutTo(std::string s, size_t capacity) {
  if (s.find('\0') != std::string::npos) s.resize(s.find('\0'));
  if (s.size() > capacity - 1) s.resize(capacity - 1);
  return s;
}

std::string Disk(const std::string& path, bool* exists) {
  std::string bytes;
  *exists = fuzz::ReadFile(path, &bytes);
  return bytes;
}

// What a read must give for these bytes: the value, or the default less its
// trailing blanks, cut to capacity - 1 bytes.
std::string Expected(const std::string& bytes, bool exists,
                     const std::string& section, const std::string& key,
                     const std::string& default_text, size_t capacity) {
  std::string value;
  if (exists && reference::Read(bytes, section, key, &value)) {
    return CutTo(value, capacity);
  }
  std::string d = default_text;
  while (!d.empty() && reference::IsBlank(d.back())) d.pop_back();
  return CutTo(d, capacity);
}

// A name: one the file mentions (with its ASCII letters' case turned at
// random) or a few bytes of the input.
std::string Name(fuzz::Input& in, const std::vector<std::string>& pool) {
  const uint8_t choice = in.Byte();
  if (choice < 0xC0 && !pool.empty()) {
    std::string name = pool[choice % pool.size()];
    const uint8_t flips = in.Byte();
    for (size_t i = 0; i < name.size() && i < 8; ++i) {
      const char c = name[i];
      const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
      if (letter && (flips >> i & 1)) name[i] = static_cast<char>(c ^ 0x20);
    }
    return name;
  }
  std::string name = in.Bytes(choice % 24);
  name.resize(strlen(name.c_str()));  // a C text ends at its zero byte
  return name;
}

std::string Value(fuzz::Input& in, const std::vector<std::string>& pool) {
  static const char* const kShapes[] = {
      "",          "  padded  ", "\"quoted\"", "'single'", "\"",
      "\"a\" \"b\"", "x ;c",     "\t\ttabs",   "a=b=c",    "[x]",
      "C:\\Program Files\\Tool\\tool.exe",     "%P%N",     "'",
      "\"  x  \"",  "\xE9t\xE9", "-1",
  };
  const uint8_t choice = in.Byte();
  if (choice < 0x40) {
    std::string v = in.Bytes(choice);
    v.resize(strlen(v.c_str()));
    return v;
  }
  if (choice < 0x80 && !pool.empty()) return pool[choice % pool.size()];
  if (choice == 0xFF) return std::string(300 + in.Byte() * 8, 'v');
  return kShapes[choice % (sizeof kShapes / sizeof kShapes[0])];
}

size_t Capacity(fuzz::Input& in) {
  static const size_t kCapacities[] = {0,  1,  2,   3,   4,   7,   8,
                                       16, 32, 259, 260, 261, 2048};
  const uint8_t c = in.Byte();
  if (c >= 0xF0) return c - 0xF0u;
  return kCapacities[c % (sizeof kCapacities / sizeof kCapacities[0])];
}

std::string Default(fuzz::Input& in) {
  switch (in.Byte() % 4) {
    case 0: return "";
    case 1: return "dflt";
    case 2: return "d \t ";
    default: return std::string(300, 'd');
  }
}

// A read of the engine into a buffer of exactly `capacity` bytes at the end
// of its allocation, so that any byte written beyond it is caught.
std::string EngineRead(const char* section, const char* key,
                       const char* default_text, size_t capacity,
                       const std::string& path) {
  // With capacity 0 one byte stands guard: nothing may be written.
  char* out = static_cast<char*>(malloc(capacity == 0 ? 1 : capacity));
  memset(out, 0xAA, capacity == 0 ? 1 : capacity);
  const DWORD count =
      GetPrivateProfileStringA(section, key, default_text, out,
                               static_cast<DWORD>(capacity), path.c_str());
  std::string got;
  if (capacity == 0) {
    FUZZ_CHECK(static_cast<uint8_t>(out[0]) == 0xAA, "capacity 0 was written");
    FUZZ_CHECK(count == 0);
  } else {
    const void* zero = memchr(out, '\0', capacity);
    FUZZ_CHECK(zero != nullptr, "no zero byte within the capacity");
    got.assign(out, static_cast<const char*>(zero) - out);
    FUZZ_CHECK(count <= capacity - 1);
  }
  free(out);
  return got;
}

void CheckRead(const Run& run, int file, const std::string& section,
               const std::string& key, const std::string& default_text,
               size_t capacity) {
  const std::string got = EngineRead(section.c_str(), key.c_str(),
                                     default_text.c_str(), capacity,
                                     run.files[file]);
  if (!run.checked || capacity == 0) return;
  bool exists;
  const std::string bytes = Disk(run.files[file], &exists);
  if (reference::IsUtf16(bytes)) return;
  const std::string want =
      Expected(bytes, exists, section, key, default_text, capacity);
  FUZZ_CHECK(got == want, "[%s] %s: engine \"%s\", reference \"%s\"",
             section.c_str(), key.c_str(), got.c_str(), want.c_str());
}

bool MayWrite(const std::string& section, const std::string& key,
              const std::string& value) {
  if (section.find_first_of("\r\n]") != std::string::npos) return false;
  if (key.find_first_of("\r\n=") != std::string::npos) return false;
  if (value.find_first_of("\r\n") != std::string::npos) return false;
  const std::string k = reference::Trim(key);
  return !k.empty() && k[0] != '[';
}

// Everything but the value written reads as before.
void CheckOthersKept(const std::string& before, const std::string& after,
                     const std::string& section, const std::string& key) {
  auto old_values = reference::All(before);
  auto new_values = reference::All(after);
  const auto written = std::make_pair(reference::Folded(reference::Trim(section)),
                                      reference::Folded(reference::Trim(key)));
  old_values.erase(written);
  new_values.erase(written);
  if (old_values == new_values) return;
  for (const auto& entry : old_values) {
    auto now = new_values.find(entry.first);
    FUZZ_CHECK(now != new_values.end() && now->second == entry.second,
               "writing [%s] %s changed [%s] %s (was \"%s\")",
               section.c_str(), key.c_str(), entry.first.first.c_str(),
               entry.first.second.c_str(), entry.second.c_str());
  }
  FUZZ_CHECK(false, "writing [%s] %s added other values", section.c_str(),
             key.c_str());
}

// The bytes that a write took out of the file lie within one line.
void CheckChangeConfined(const std::string& before, const std::string& after) {
  size_t prefix = 0;
  const size_t common = std::min(before.size(), after.size());
  while (prefix < common && before[prefix] == after[prefix]) ++prefix;
  size_t suffix = 0;
  while (suffix < common - prefix &&
         before[before.size() - 1 - suffix] == after[after.size() - 1 - suffix]) {
    ++suffix;
  }
  const std::string removed =
      before.substr(prefix, before.size() - prefix - suffix);
  FUZZ_CHECK(removed.find_first_of("\r\n") == std::string::npos,
             "a write took out the bytes \"%s\"", removed.c_str());
}

// FUZZ_TRACE=1 in the environment shows each write and the file after it.
void Trace(const char* what, const std::string& a, const std::string& b,
           const std::string& c) {
  static const bool on = getenv("FUZZ_TRACE") != nullptr;
  if (!on) return;
  auto shown = [](const std::string& t) {
    std::string out;
    for (unsigned char ch : t) {
      char hex[8];
      snprintf(hex, sizeof hex, ch == '\n' ? "\\n\n" : "\\x%02X", ch);
      out += (ch >= 0x20 && ch < 0x7F && ch != '\\') ? std::string(1, ch) : hex;
    }
    return out;
  };
  fprintf(stderr, "%s [%s] [%s] [%s]\n", what, shown(a).c_str(),
          shown(b).c_str(), shown(c).c_str());
}

void CheckWrite(Run& run, int file, const std::string& section,
                const std::string& key, const std::string& value) {
  bool existed;
  const std::string before = Disk(run.files[file], &existed);
  Trace("before", run.files[file], before, "");
  Trace("write", section, key, value);
  const BOOL ok = WritePrivateProfileStringA(section.c_str(), key.c_str(),
                                             value.c_str(),
                                             run.files[file].c_str());
  bool exists;
  const std::string after = Disk(run.files[file], &exists);
  Trace(ok ? "took it:" : "refused:", after, "", "");
  const std::string listing = fuzz::Listing(fuzz::ScratchDir());
  FUZZ_CHECK(listing.find(".tmp") == std::string::npos,
             "a temporary file was left: %s", listing.c_str());
  if (!ok) {
    FUZZ_CHECK(existed == exists && before == after,
               "a refused write changed the file");
    if (run.checked && !reference::IsUtf16(before)) {
      FUZZ_CHECK(!MayWrite(section, key, value),
                 "a write of [%s] %s=%s was refused", section.c_str(),
                 key.c_str(), value.c_str());
    }
    return;
  }
  FUZZ_CHECK(MayWrite(section, key, value),
             "a write of [%s] %s=%s that cannot read back was taken",
             section.c_str(), key.c_str(), value.c_str());
  // A UTF-16 file holds what code page 932 can say: bytes that are no
  // character there come back as "?".
  if (!run.checked && reference::IsUtf16(before)) return;
  const std::string readback = reference::Unquote(reference::Trim(value));
  const std::string trimmed_section = reference::Trim(section);
  const std::string trimmed_key = reference::Trim(key);
  const std::string got = EngineRead(trimmed_section.c_str(),
                                     trimmed_key.c_str(), "", 4096,
                                     run.files[file]);
  FUZZ_CHECK(got == CutTo(readback, 4096),
             "[%s] %s=%s reads back as \"%s\"", section.c_str(), key.c_str(),
             value.c_str(), got.c_str());
  if (!run.checked || reference::IsUtf16(before)) return;
  std::string v;
  FUZZ_CHECK(exists && reference::Read(after, section, key, &v) &&
                 v == readback,
             "on disk [%s] %s is \"%s\", not \"%s\"", section.c_str(),
             key.c_str(), v.c_str(), readback.c_str());
  if (existed) {
    CheckOthersKept(before, after, section, key);
    CheckChangeConfined(before, after);
  }
  run.values.push_back(value);
}

// Every pair of names the run has seen, read through the engine.
void CheckAll(const Run& run) {
  for (int file = 0; file < 2; ++file) {
    bool exists;
    const std::string bytes = Disk(run.files[file], &exists);
    const bool checked = run.checked && !reference::IsUtf16(bytes);
    const auto values = reference::All(bytes);
    for (const std::string& s : run.sections) {
      for (const std::string& k : run.keys) {
        const std::string got =
            EngineRead(s.c_str(), k.c_str(), "", 4096, run.files[file]);
        if (!checked) continue;
        const auto found = values.find(std::make_pair(
            reference::Folded(reference::Trim(s)),
            reference::Folded(reference::Trim(k))));
        const std::string want =
            found == values.end() ? "" : CutTo(found->second, 4096);
        FUZZ_CHECK(got == want, "[%s] %s: engine \"%s\", reference \"%s\"",
                   s.c_str(), k.c_str(), got.c_str(), want.c_str());
      }
    }
  }
}

void AddName(std::vector<std::string>& pool, const std::string& name) {
  if (pool.size() < 16 && name.find('\0') == std::string::npos &&
      std::find(pool.begin(), pool.end(), name) == pool.end()) {
    pool.push_back(name);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::Input in(data, size);
  const uint8_t flags = in.Byte();
  const std::string initial = in.Bytes(in.Word());

  Run run;
  run.checked = (flags & 3) != 3;
  SetAnsiCodePageForTesting(run.checked ? 1252 : 932);
  run.files[0] = fuzz::ScratchDir() + "/f.ini";
  run.files[1] = fuzz::ScratchDir() + "/g.ini";
  unlink(run.files[1].c_str());
  if (flags & 4) {
    unlink(run.files[0].c_str());
  } else {
    fuzz::WriteFile(run.files[0], initial);
  }
  DropProfileCacheForTesting();

  std::vector<std::string> sections, keys;
  reference::Names(initial, &sections, &keys);
  for (const std::string& s : sections) AddName(run.sections, s);
  for (const std::string& k : keys) AddName(run.keys, k);
  for (const char* s : {"User", "em_usercmd1", "a"}) AddName(run.sections, s);
  for (const char* k : {"Menu1", "Cmd", "k"}) AddName(run.keys, k);

  for (int step = 0; step < 64 && !in.empty(); ++step) {
    const uint8_t operation = in.Byte();
    const int file = (operation >> 3) & 1;
    switch (operation % 8) {
      case 0:
      case 1:
      case 2: {
        const std::string section = Name(in, run.sections);
        const std::string key = Name(in, run.keys);
        const std::string default_text = Default(in);
        CheckRead(run, file, section, key, default_text, Capacity(in));
        break;
      }
      case 3:
      case 4:
      case 5: {
        const std::string section = Name(in, run.sections);
        const std::string key = Name(in, run.keys);
        const std::string value = Value(in, run.values);
        CheckWrite(run, file, section, key, value);
        AddName(run.sections, reference::Trim(section));
        AddName(run.keys, reference::Trim(key));
        break;
      }
      case 6:
        DropProfileCacheForTesting();  // as a new process would start
        break;
      default: {
        // The forms the system never uses must still be safe.
        const std::string section = Name(in, run.sections);
        const size_t capacity = Capacity(in);
        EngineRead(nullptr, section.c_str(), nullptr, capacity,
                   run.files[file]);
        EngineRead(section.c_str(), nullptr, "x", capacity, run.files[file]);
        EngineRead(section.c_str(), "k", nullptr, capacity, run.files[file]);
        FUZZ_CHECK(!WritePrivateProfileStringA(section.c_str(), "k", nullptr,
                                               run.files[file].c_str()));
        FUZZ_CHECK(!WritePrivateProfileStringA(section.c_str(), nullptr, "v",
                                               run.files[file].c_str()));
        break;
      }
    }
  }
  CheckAll(run);
  DropProfileCacheForTesting();
  CheckAll(run);
  DropProfileCacheForTesting();
  FUZZ_CHECK(fuzz::OpenScratchFiles() == 0,
             "the engine keeps %d files open after its cache is dropped",
             fuzz::OpenScratchFiles());
  return 0;
}
