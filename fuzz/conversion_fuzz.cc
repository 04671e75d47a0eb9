// The whole conversion on random source and target bytes.
//
// Input: one byte of flags (bit 0: the target is missing; bit 1: the target
// is the source file itself), two bytes of source length, the source, then
// the target.
//
// Held against the reference reader: the source is never changed; the
// target afterwards holds exactly what it held before plus, for each entry
// converted, the values written, every other line kept in its order; a
// target is never made when nothing is converted.
#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

#include "conversion/convert_entries.h"
#include "fuzz_support.h"
#include "platform/posix_layer.h"
#include "reference_profile.h"

namespace {

using Values = std::map<std::pair<std::string, std::string>, std::string>;

std::string Get(const Values& values, const std::string& section,
                const std::string& key, size_t capacity) {
  const auto found = values.find(
      std::make_pair(reference::Folded(section), reference::Folded(key)));
  if (found == values.end()) return "";
  std::string v = found->second;
  if (v.find('\0') != std::string::npos) v.resize(v.find('\0'));
  if (v.size() > capacity - 1) v.resize(capacity - 1);
  return v;
}

struct Converted {
  std::string n;
  std::vector<std::pair<std::string, std::string>> writes;  // key, value
};

// The entries a conversion of this source writes, in order.
std::vector<Converted> ExpectedEntries(const Values& source) {
  std::vector<Converted> entries;
  for (uint32_t i = 1; i <= 65535; ++i) {
    const std::string n = std::to_string(i);
    const std::string menu = Get(source, "User", "Menu" + n, 260);
    if (menu.empty()) break;
    if (menu[0] == '-') continue;
    Converted e{n, {{"Menu", menu}}};
    const std::pair<const char*, size_t> optional[] = {
        {"Cmd", 2048}, {"Param", 260}, {"Path", 260}, {"Iconic", 260}};
    for (const auto& key : optional) {
      const std::string v = Get(source, "User", key.first + n, key.second);
      if (!v.empty()) e.writes.emplace_back(key.first, v);
    }
    entries.push_back(e);
  }
  return entries;
}

bool SubsequenceOf(const std::vector<std::string>& part,
                   const std::vector<std::string>& whole) {
  size_t at = 0;
  for (const std::string& line : whole) {
    if (at < part.size() && part[at] == line) ++at;
  }
  return at == part.size();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::Input in(data, size);
  const uint8_t flags = in.Byte();
  const std::string source_bytes = in.Bytes(in.Word());
  const std::string target_bytes = in.Rest();
  const bool target_missing = (flags & 1) != 0;
  const bool same_file = (flags & 2) != 0;

  SetAnsiCodePageForTesting(1252);
  const std::string source_path = fuzz::ScratchDir() + "/wincmd.ini";
  const std::string target_path =
      same_file ? source_path : fuzz::ScratchDir() + "/usercmd.ini";
  fuzz::WriteFile(source_path, source_bytes);
  if (!same_file) {
    if (target_missing) {
      unlink(target_path.c_str());
    } else {
      fuzz::WriteFile(target_path, target_bytes);
    }
  }
  const bool target_existed = same_file || !target_missing;
  const std::string before = same_file ? source_bytes
                             : target_missing ? std::string()
                                              : target_bytes;
  DropProfileCacheForTesting();

  const ProfileSection source(source_path.c_str(), "User");
  PathText target;
  CopyText(target, target_path.c_str());
  const ConversionResult result = ConvertEntries(source, target);
  DropProfileCacheForTesting();

  std::string source_after, after;
  fuzz::ReadFile(source_path, &source_after);
  const bool target_exists = fuzz::ReadFile(target_path, &after);
  if (!same_file) {
    FUZZ_CHECK(source_after == source_bytes, "the source was changed");
  }
  if (reference::IsUtf16(source_bytes) || reference::IsUtf16(before)) {
    return 0;  // outside the reference reader
  }

  const std::vector<Converted> entries =
      ExpectedEntries(reference::All(source_bytes));
  FUZZ_CHECK(!result.write_failed, "a write failed after %u entries",
             result.written);
  FUZZ_CHECK(result.written == entries.size(), "wrote %u of %zu entries",
             result.written, entries.size());
  if (entries.empty()) {
    FUZZ_CHECK(target_exists == target_existed && after == before,
               "nothing converted, yet the target changed");
    return 0;
  }

  Values expected = reference::All(before);
  std::vector<std::pair<std::string, std::string>> touched;
  for (const Converted& e : entries) {
    const std::string section = reference::Folded("em_usercmd" + e.n);
    for (const auto& write : e.writes) {
      const std::string key = reference::Folded(write.first);
      // First of its name wins: a key already there keeps its place.
      expected[std::make_pair(section, key)] =
          reference::Unquote(reference::Trim(write.second));
      touched.emplace_back(section, key);
    }
  }
  const Values got = reference::All(after);
  if (got != expected) {
    for (const auto& want : expected) {
      const auto found = got.find(want.first);
      FUZZ_CHECK(found != got.end() && found->second == want.second,
                 "[%s] %s: want \"%s\", target holds \"%s\"",
                 want.first.first.c_str(), want.first.second.c_str(),
                 want.second.c_str(),
                 found == got.end() ? "(nothing)" : found->second.c_str());
    }
    FUZZ_CHECK(false, "the target holds values nobody wrote");
  }

  // Every line of the old target that no write replaced is still there, in
  // its order.
  std::vector<std::string> kept;
  std::string section;
  for (const std::string& raw : reference::Lines(before)) {
    const reference::Line line = reference::Classify(raw);
    if (line.kind == reference::Line::kHeader) {
      section = reference::Folded(line.name);
    } else if (line.kind == reference::Line::kKey) {
      const auto name = std::make_pair(section, reference::Folded(line.name));
      bool replaced = false;
      for (const auto& t : touched) replaced = replaced || t == name;
      if (replaced) continue;
    }
    kept.push_back(raw);
  }
  FUZZ_CHECK(SubsequenceOf(kept, reference::Lines(after)),
             "a line of the old target was lost");
  return 0;
}
