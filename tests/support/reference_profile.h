// A deliberately plain reader of settings-file bytes, written from the read
// rules alone, to check the engine against: no cache, no cleverness.
//
//  - a UTF-8 byte-order mark at the start is passed over;
//  - lines end at CR LF, LF or a lone CR; the last needs no line end;
//  - blanks and tabs around names and values do not count;
//  - "[name]" opens the section name (text after the "]" is ignored); a line
//    "[x" without "]" opens nothing, and like any other line it is a key
//    line when it holds "=" ("[x=1" is the key "[x");
//  - a key line is "name=value", split at its first "="; a line without "="
//    holds nothing; there are no comments;
//  - names match without regard to ASCII letter case;
//  - of duplicate sections the first counts, of duplicate keys the first;
//  - one matching pair of enclosing double or single quotes is stripped.
// Files in UTF-16 are outside it.
#ifndef QUILLMOOR_TESTS_SUPPORT_REFERENCE_PROFILE_H_
#define QUILLMOOR_TESTS_SUPPORT_REFERENCE_PROFILE_H_

#include <stddef.h>

#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace reference {

inline bool IsBlank(char c) { return c == ' ' || c == '\t'; }

inline std::string Trim(const std::string& s) {
  size_t begin = 0;
  size_t end = s.size();
  while (begin < end && IsBlank(s[begin])) ++begin;
  while (end > begin && IsBlank(s[end - 1])) --end;
  return s.substr(begin, end - begin);
}

inline char FoldAscii(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

inline bool SameName(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (FoldAscii(a[i]) != FoldAscii(b[i])) return false;
  }
  return true;
}

inline std::string Unquote(const std::string& v) {
  if (v.size() >= 2 && (v[0] == '"' || v[0] == '\'') && v.back() == v[0]) {
    return v.substr(1, v.size() - 2);
  }
  return v;
}

inline bool IsUtf16(const std::string& file) {
  return file.size() >= 2 && static_cast<unsigned char>(file[0]) == 0xFF &&
         static_cast<unsigned char>(file[1]) == 0xFE;
}

// The file's lines, without their line ends, the byte-order mark passed over.
inline std::vector<std::string> Lines(const std::string& file) {
  std::vector<std::string> lines;
  size_t i = file.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
  std::string line;
  bool open = false;
  for (; i < file.size(); ++i) {
    const char c = file[i];
    if (c == '\r' || c == '\n') {
      lines.push_back(line);
      line.clear();
      open = false;
      if (c == '\r' && i + 1 < file.size() && file[i + 1] == '\n') ++i;
    } else {
      line += c;
      open = true;
    }
  }
  if (open) lines.push_back(line);
  return lines;
}

// A header line gives true and its section name.
inline bool Header(const std::string& trimmed, std::string* name) {
  if (trimmed.empty() || trimmed[0] != '[') return false;
  const size_t close = trimmed.find(']');
  if (close == std::string::npos) return false;
  *name = Trim(trimmed.substr(1, close - 1));
  return true;
}

struct Line {
  enum Kind { kHeader, kKey, kOther } kind;
  std::string name;   // section or key name, trimmed
  std::string value;  // trimmed, quotes not yet stripped
};

inline Line Classify(const std::string& raw) {
  const std::string t = Trim(raw);
  Line line{Line::kOther, "", ""};
  if (Header(t, &line.name)) {
    line.kind = Line::kHeader;
    return line;
  }
  const size_t eq = t.find('=');
  if (eq == std::string::npos) return line;
  line.kind = Line::kKey;
  line.name = Trim(t.substr(0, eq));
  line.value = Trim(t.substr(eq + 1));
  return line;
}

// True and the value when the file holds the section and it holds the key.
// Blanks around the names asked for do not count either.
inline bool Read(const std::string& file, const std::string& section_asked,
                 const std::string& key_asked, std::string* value) {
  const std::string section = Trim(section_asked);
  const std::string key = Trim(key_asked);
  bool seen_section = false;
  bool inside = false;
  for (const std::string& raw : Lines(file)) {
    const Line line = Classify(raw);
    if (line.kind == Line::kHeader) {
      if (inside) return false;  // the first such section had no such key
      inside = !seen_section && SameName(line.name, section);
      seen_section = seen_section || inside;
    } else if (inside && line.kind == Line::kKey &&
               SameName(line.name, key)) {
      *value = Unquote(line.value);
      return true;
    }
  }
  return false;
}

inline std::string Folded(const std::string& name) {
  std::string f = name;
  for (char& c : f) c = FoldAscii(c);
  return f;
}

// Every value the file holds, by its section's and key's folded names.
inline std::map<std::pair<std::string, std::string>, std::string> All(
    const std::string& file) {
  std::map<std::pair<std::string, std::string>, std::string> values;
  std::set<std::string> seen;
  bool inside = false;
  std::string section;
  for (const std::string& raw : Lines(file)) {
    const Line line = Classify(raw);
    if (line.kind == Line::kHeader) {
      section = Folded(line.name);
      inside = seen.insert(section).second;
    } else if (inside && line.kind == Line::kKey) {
      values.emplace(std::make_pair(section, Folded(line.name)),
                     Unquote(line.value));
    }
  }
  return values;
}

// Every section name and every key name that the file mentions.
inline void Names(const std::string& file, std::vector<std::string>* sections,
                  std::vector<std::string>* keys) {
  for (const std::string& raw : Lines(file)) {
    const Line line = Classify(raw);
    if (line.kind == Line::kHeader) sections->push_back(line.name);
    if (line.kind == Line::kKey) keys->push_back(line.name);
  }
}

}  // namespace reference

#endif  // QUILLMOOR_TESTS_SUPPORT_REFERENCE_PROFILE_H_
