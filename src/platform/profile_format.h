// The layout of a settings file, as the platform reads it, and the edits
// that set one value in it. Pure text work: no file is touched here.
//
// Reading rules:
//  - Lines end with CR LF, LF or a lone CR; the last line needs no line end.
//  - A line whose first non-blank character is "[" and which holds a "]"
//    opens the section named by the text between them; text after the "]"
//    does not count. "[name" without "]" opens nothing.
//  - Any other line holding "=" in a section is a key line: its key is the
//    text before the first "=", its value the text after it. A line without
//    "=" holds no value. There are no comments: ";key=x" is the key ";key".
//  - Blanks and tabs around section names, keys and values do not count; a
//    value enclosed in one matching pair of double or single quotes is read
//    without them.
//  - Names match without regard to ASCII letter case. In a double-byte code
//    page a lead byte and its trail byte are one character, never a "]" or
//    a letter to fold.
//  - Of duplicate sections the first is read and written; of duplicate keys
//    in it the first counts.
//
// Writing: a value replaces the old value of the first matching key, keeping
// everything else of its line; a missing key goes after the last key line of
// its section (after the header when it has none); a missing section goes at
// the end of the file. New lines take the line end of the line they follow,
// or the file's first line end (CR LF in a file without one), and a file that
// does not end with a line end still does not afterwards.
#ifndef QUILLMOOR_PLATFORM_PROFILE_FORMAT_H_
#define QUILLMOOR_PLATFORM_PROFILE_FORMAT_H_

#include <stddef.h>
#include <stdint.h>
#include <string.h>

#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "platform/win32.h"

namespace profile_format {

constexpr uint32_t kNone = UINT32_MAX;
constexpr size_t kNoHarm = SIZE_MAX;

enum class Encoding { kAnsi, kUtf8, kUtf16 };

// Replace `removed` units at `position` by `inserted`.
template <typename Unit>
struct Edit {
  size_t position = 0;
  size_t removed = 0;
  std::basic_string<Unit> inserted;
  uint32_t key = kNone;  // the key whose value is replaced, if any
  // For text added at the end, positions within `inserted`: a prefix that
  // holds harm_from but ends before value_end would hold a cut value; blanks
  // inserted at pad_at move harm_from without changing what reads back.
  size_t harm_from = kNoHarm;
  size_t value_end = 0;
  size_t pad_at = 0;
};

// Whether a write of these names and this value would read back as itself:
// no line breaks anywhere, a key that is not empty, holds no "=" and does
// not begin with "[", and a section name without "]".
inline bool WritableNames(const char* section, const char* key,
                          const char* value) {
  if (strpbrk(section, "\r\n]") != nullptr) return false;
  if (strpbrk(key, "\r\n=") != nullptr) return false;
  if (strpbrk(value, "\r\n") != nullptr) return false;
  const char* k = key;
  while (*k == ' ' || *k == '\t') ++k;
  return *k != '\0' && *k != '[';
}

template <typename Unit>
class Document {
 public:
  using Text = std::basic_string<Unit>;
  using View = std::basic_string_view<Unit>;

  Document(Encoding encoding, Text text)
      : encoding_(encoding), text_(std::move(text)) {
    ResetLineEnd();
    memset(lead_, 0, sizeof lead_);
    memset(trail_, 0, sizeof trail_);
    if (encoding_ == Encoding::kAnsi) BuildCodePageTables(GetACP());
    Parse(0);
  }

  const Text& text() const { return text_; }

  // The first key named key in the first section named section, or kNone.
  uint32_t FindValue(View section, View key) const {
    const auto s = Trimmed(section.data(), section.size());
    const uint32_t section_id = FindSection(s.first, s.second);
    if (section_id == kNone) return kNone;
    const auto k = Trimmed(key.data(), key.size());
    return FindKey(section_id, k.first, k.second);
  }

  // The value of a key line, without one enclosing pair of quotes.
  std::pair<const Unit*, size_t> Value(uint32_t key) const {
    const auto span = ValueSpan(keys_[key]);
    size_t begin = span.first;
    size_t end = span.second;
    if (end - begin >= 2 && text_[begin] == text_[end - 1] &&
        (text_[begin] == Unit('"') || text_[begin] == Unit('\''))) {
      ++begin;
      --end;
    }
    return {text_.data() + begin, end - begin};
  }

  // The edit that sets key = value in section. False when the file already
  // holds exactly that value, so that nothing needs to change.
  bool Plan(View section, View key, View value, Edit<Unit>& edit) const {
    const auto s = Trimmed(section.data(), section.size());
    const auto k = Trimmed(key.data(), key.size());
    const View name(s.first, s.second);
    const View key_name(k.first, k.second);
    const uint32_t section_id = FindSection(s.first, s.second);
    if (section_id != kNone) {
      const uint32_t key_id = FindKey(section_id, k.first, k.second);
      if (key_id != kNone) {
        const auto old = ValueSpan(keys_[key_id]);
        if (View(text_).substr(old.first, old.second - old.first) == value) {
          return false;
        }
        edit.position = old.first;
        edit.removed = old.second - old.first;
        edit.inserted.assign(value.data(), value.size());
        edit.key = key_id;
        return true;
      }
      const Section& at = sections_[section_id];
      uint32_t end = at.end;
      uint32_t next = at.next;
      if (at.last_key != kNone) {
        end = keys_[at.last_key].end;
        next = keys_[at.last_key].next;
      }
      edit.inserted.clear();
      if (next == end) {  // the file's last line, without a line end
        edit.position = end;
        edit.inserted += LineEnd();
        AppendLine(edit.inserted, key_name, value);
        edit.pad_at = LineEnd().size();
      } else {
        edit.position = next;
        AppendLine(edit.inserted, key_name, value);
        edit.inserted.append(text_, end, next - end);
        edit.pad_at = 0;
      }
      edit.harm_from = edit.pad_at + key_name.size();
      edit.value_end = edit.harm_from + 1 + value.size();
      return true;
    }

    const bool open_line = !ends_with_line_end_;
    Text added;
    if (open_line) added = LineEnd();
    edit.pad_at = added.size();
    added.push_back(Unit('['));
    added += name;
    edit.harm_from = added.size();
    added.push_back(Unit(']'));
    added += LineEnd();
    AppendLine(added, key_name, value);
    edit.value_end = added.size();
    if (!open_line) added += LineEnd();
    edit.position = text_.size();
    edit.inserted = std::move(added);
    return true;
  }

  // Brings the document up to date after `edit` was written to the file.
  void Apply(const Edit<Unit>& edit) {
    if (edit.removed == 0 && edit.position == text_.size()) {
      const size_t old_size = text_.size();
      const bool open_line = !ends_with_line_end_;
      text_ += edit.inserted;
      size_t from = old_size;
      if (open_line) {
        // The edit began by ending the old last line.
        const size_t length =
            (text_.size() > from + 1 && text_[from] == Unit('\r') &&
             text_[from + 1] == Unit('\n'))
                ? 2
                : 1;
        from += length;
        if (!keys_.empty() && keys_.back().line == last_line_) {
          keys_.back().next = static_cast<uint32_t>(from);
        }
        if (!sections_.empty() && sections_.back().line == last_line_) {
          sections_.back().next = static_cast<uint32_t>(from);
        }
      }
      Parse(from);
      return;
    }
    text_.replace(edit.position, edit.removed, edit.inserted);
    if (edit.key != kNone && edit.removed == edit.inserted.size()) {
      return;  // the line keeps its length and its "="
    }
    Reparse();
  }

 private:
  // A line holding "=": where it begins, its "=", where its line end
  // begins and where the next line begins.
  struct KeyLine {
    uint32_t section, line, equals, end, next;
  };
  struct Section {
    uint32_t line, name_begin, name_end, end, next, last_key;
  };

  // Open addressing over (hash << 32 | id + 1); 0 marks a free slot.
  class Index {
   public:
    template <typename Equal>
    uint32_t Find(uint32_t hash, Equal equal) const {
      if (slots_.empty()) return kNone;
      const size_t mask = slots_.size() - 1;
      for (size_t i = hash & mask;; i = (i + 1) & mask) {
        const uint64_t slot = slots_[i];
        if (slot == 0) return kNone;
        if (static_cast<uint32_t>(slot >> 32) == hash) {
          const uint32_t id = static_cast<uint32_t>(slot) - 1;
          if (equal(id)) return id;
        }
      }
    }
    void Insert(uint32_t hash, uint32_t id) {
      if ((count_ + 1) * 4 > slots_.size() * 3) Grow();
      Place(hash, id);
      ++count_;
    }
    void Clear() {
      slots_.clear();
      count_ = 0;
    }

   private:
    void Place(uint32_t hash, uint32_t id) {
      const size_t mask = slots_.size() - 1;
      size_t i = hash & mask;
      while (slots_[i] != 0) i = (i + 1) & mask;
      slots_[i] = (static_cast<uint64_t>(hash) << 32) | (id + 1u);
    }
    void Grow() {
      std::vector<uint64_t> old;
      old.swap(slots_);
      slots_.assign(old.empty() ? 64 : old.size() * 2, 0);
      for (uint64_t slot : old) {
        if (slot != 0) {
          Place(static_cast<uint32_t>(slot >> 32),
                static_cast<uint32_t>(slot) - 1);
        }
      }
    }
    std::vector<uint64_t> slots_;
    size_t count_ = 0;
  };

  void BuildCodePageTables(UINT code_page) {
    double_byte_ = code_page == 932 || code_page == 936 || code_page == 949 ||
                   code_page == 950;
    for (int b = 0x80; b < 0x100; ++b) {
      lead_[b] = IsDBCSLeadByte(static_cast<BYTE>(b)) != FALSE;
    }
    for (int b = 0x40; b < 0x100; ++b) {
      bool trail = false;
      switch (code_page) {
        case 932: trail = (b <= 0x7E) || (b >= 0x80 && b <= 0xFC); break;
        case 936: trail = (b <= 0x7E) || (b >= 0x80 && b <= 0xFE); break;
        case 949:
          trail = (b >= 0x41 && b <= 0x5A) || (b >= 0x61 && b <= 0x7A) ||
                  (b >= 0x81 && b <= 0xFE);
          break;
        case 950: trail = (b <= 0x7E) || (b >= 0xA1 && b <= 0xFE); break;
        default: break;
      }
      trail_[b] = trail;
    }
  }

  static unsigned Byte(Unit u) {
    return static_cast<unsigned>(static_cast<typename std::make_unsigned<Unit>::type>(u));
  }
  // Whether units at i and i + 1 of t form one double-byte character.
  bool Pair(const Unit* t, size_t i, size_t n) const {
    if (!double_byte_ || i + 1 >= n) return false;
    const unsigned a = Byte(t[i]);
    const unsigned b = Byte(t[i + 1]);
    return a < 256 && b < 256 && lead_[a] && trail_[b];
  }
  // The first of a or b in t[from, to), or to.
  static size_t Find(const Unit* t, size_t from, size_t to, Unit a, Unit b) {
    if constexpr (sizeof(Unit) == 1) {
      const void* hit = memchr(t + from, a, to - from);
      size_t end = hit != nullptr ? static_cast<const Unit*>(hit) - t : to;
      hit = memchr(t + from, b, end - from);
      return hit != nullptr ? static_cast<const Unit*>(hit) - t : end;
    } else {
      while (from < to && t[from] != a && t[from] != b) ++from;
      return from;
    }
  }
  // The first character c in t[from, to), stepping over double-byte
  // characters, or to.
  size_t FindCharacter(const Unit* t, size_t from, size_t to, Unit c) const {
    if constexpr (sizeof(Unit) == 1) {
      if (!double_byte_) {
        const void* hit = memchr(t + from, c, to - from);
        return hit != nullptr ? static_cast<const Unit*>(hit) - t : to;
      }
    }
    while (from < to && t[from] != c) from += Pair(t, from, to) ? 2 : 1;
    return from < to ? from : to;
  }
  static void AppendLine(Text& out, View key, View value) {
    out.append(key.data(), key.size());
    out.push_back(Unit('='));
    out.append(value.data(), value.size());
  }
  static Unit Fold(Unit u) {
    return (u >= Unit('A') && u <= Unit('Z')) ? Unit(u + ('a' - 'A')) : u;
  }
  static bool Blank(Unit u) { return u == Unit(' ') || u == Unit('\t'); }

  uint32_t Hash(const Unit* name, size_t n, uint32_t seed) const {
    uint32_t h = 2166136261u ^ seed;
    for (size_t i = 0; i < n; ++i) {
      Unit u = name[i];
      if (Pair(name, i, n)) {
        h = (h ^ Byte(u)) * 16777619u;
        u = name[++i];
      } else {
        u = Fold(u);
      }
      h = (h ^ Byte(u)) * 16777619u;
    }
    // Mix the high bits down: the index takes the low ones.
    h ^= h >> 16;
    h *= 0x85EBCA6Bu;
    h ^= h >> 13;
    h *= 0xC2B2AE35u;
    h ^= h >> 16;
    return h;
  }
  bool SameName(const Unit* a, size_t an, const Unit* b, size_t bn) const {
    if (an != bn) return false;
    for (size_t i = 0; i < an; ++i) {
      if (Pair(a, i, an)) {
        if (a[i] != b[i] || a[i + 1] != b[i + 1]) return false;
        ++i;
      } else if (Fold(a[i]) != Fold(b[i])) {
        return false;
      }
    }
    return true;
  }

  std::pair<const Unit*, size_t> Trimmed(const Unit* s, size_t n) const {
    size_t b = 0;
    while (b < n && Blank(s[b])) ++b;
    while (n > b && Blank(s[n - 1])) --n;
    return {s + b, n - b};
  }
  std::pair<uint32_t, uint32_t> TrimmedRange(uint32_t b, uint32_t e) const {
    while (b < e && Blank(text_[b])) ++b;
    while (e > b && Blank(text_[e - 1])) --e;
    return {b, e};
  }

  uint32_t FindSection(const Unit* name, size_t n) const {
    return FindSection(name, n, Hash(name, n, 0));
  }
  uint32_t FindSection(const Unit* name, size_t n, uint32_t hash) const {
    return section_index_.Find(hash, [&](uint32_t id) {
      const Section& s = sections_[id];
      return SameName(text_.data() + s.name_begin, s.name_end - s.name_begin,
                      name, n);
    });
  }
  uint32_t FindKey(uint32_t section, const Unit* name, size_t n) const {
    return FindKey(section, name, n, Hash(name, n, section + 1));
  }
  uint32_t FindKey(uint32_t section, const Unit* name, size_t n,
                   uint32_t hash) const {
    return key_index_.Find(hash, [&](uint32_t id) {
      const KeyLine& k = keys_[id];
      if (k.section != section) return false;
      const auto key_name = TrimmedRange(k.line, k.equals);
      return SameName(text_.data() + key_name.first,
                      key_name.second - key_name.first, name, n);
    });
  }

  std::pair<uint32_t, uint32_t> ValueSpan(const KeyLine& k) const {
    return TrimmedRange(k.equals + 1, k.end);
  }

  const Text& LineEnd() const { return line_end_; }

  void Reparse() {
    sections_.clear();
    keys_.clear();
    section_index_.Clear();
    key_index_.Clear();
    ResetLineEnd();
    ends_with_line_end_ = true;
    Parse(0);
  }

  // Reads the lines from `from`, which begins a line, to the end.
  void Parse(size_t from) {
    const Unit* t = text_.data();
    const size_t n = text_.size();
    uint32_t current = sections_.empty()
                           ? kNone
                           : static_cast<uint32_t>(sections_.size() - 1);
    if (from >= n && n == 0) ends_with_line_end_ = true;
    size_t pos = from;
    while (pos < n) {
      const size_t line = pos;
      const size_t end = Find(t, pos, n, Unit('\n'), Unit('\r'));
      size_t next = end;
      if (next < n) {
        next += (t[next] == Unit('\r') && next + 1 < n &&
                 t[next + 1] == Unit('\n'))
                    ? 2
                    : 1;
        if (default_line_end_) {
          line_end_.assign(t + end, next - end);
          default_line_end_ = false;
        }
      }
      last_line_ = static_cast<uint32_t>(line);
      ends_with_line_end_ = next > end;
      pos = next;

      size_t i = line;
      while (i < end && Blank(t[i])) ++i;
      if (i < end && t[i] == Unit('[')) {
        const size_t j = FindCharacter(t, i + 1, end, Unit(']'));
        if (j < end) {
          const auto name = TrimmedRange(static_cast<uint32_t>(i + 1),
                                         static_cast<uint32_t>(j));
          Section s = {static_cast<uint32_t>(line), name.first, name.second,
                       static_cast<uint32_t>(end), static_cast<uint32_t>(next),
                       kNone};
          current = static_cast<uint32_t>(sections_.size());
          sections_.push_back(s);
          const size_t length = name.second - name.first;
          const uint32_t h = Hash(t + name.first, length, 0);
          if (FindSection(t + name.first, length, h) == kNone) {
            section_index_.Insert(h, current);
          }
          continue;
        }
      }
      if (current == kNone) continue;
      const size_t equals = FindCharacter(t, i, end, Unit('='));
      if (equals >= end) continue;
      const auto name =
          TrimmedRange(static_cast<uint32_t>(i), static_cast<uint32_t>(equals));
      KeyLine k = {current, static_cast<uint32_t>(line),
                   static_cast<uint32_t>(equals), static_cast<uint32_t>(end),
                   static_cast<uint32_t>(next)};
      const uint32_t id = static_cast<uint32_t>(keys_.size());
      keys_.push_back(k);
      sections_[current].last_key = id;
      const size_t name_length = name.second - name.first;
      const uint32_t h = Hash(t + name.first, name_length, current + 1);
      if (FindKey(current, t + name.first, name_length, h) == kNone) {
        key_index_.Insert(h, id);
      }
    }
  }

  // CR LF until the file shows its own line end.
  void ResetLineEnd() {
    static const Unit kCrLf[] = {Unit('\r'), Unit('\n')};
    line_end_.assign(kCrLf, 2);
    default_line_end_ = true;
  }

  Encoding encoding_;
  Text text_;
  bool double_byte_ = false;
  bool lead_[256];
  bool trail_[256];
  std::vector<Section> sections_;
  std::vector<KeyLine> keys_;
  Index section_index_;
  Index key_index_;
  Text line_end_;
  bool default_line_end_ = true;
  bool ends_with_line_end_ = true;
  uint32_t last_line_ = kNone;
};

}  // namespace profile_format

#endif  // QUILLMOOR_PLATFORM_PROFILE_FORMAT_H_
