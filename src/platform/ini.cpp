#include "platform/ini.h"

#include <dirent.h>
#include <strings.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cstdint>

#include "platform/atomicfile.h"
#include "platform/paths.h"

namespace platform::ini {

namespace {

std::string trim(std::string_view s) {
  auto b = s.find_first_not_of(" \t\r\n");
  if (b == std::string_view::npos) return {};
  auto e = s.find_last_not_of(" \t\r\n");
  return std::string(s.substr(b, e - b + 1));
}

bool sameText(std::string_view a, std::string_view b) {
  return a.size() == b.size() && ::strncasecmp(a.data(), b.data(), a.size()) == 0;
}

std::vector<std::string> splitLines(const std::string& data) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < data.size()) {
    auto nl = data.find('\n', start);
    std::size_t end = nl == std::string::npos ? data.size() : nl;
    std::string line = data.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(std::move(line));
    start = end + 1;
  }
  return lines;
}

bool isComment(const std::string& t) { return !t.empty() && (t[0] == ';' || t[0] == '#'); }

// Section name of a "[name]" line, or nullopt-like empty flag.
bool sectionName(const std::string& line, std::string& name) {
  std::string t = trim(line);
  if (t.size() < 2 || t.front() != '[') return false;
  auto close = t.find(']');
  if (close == std::string::npos) return false;
  name = trim(std::string_view(t).substr(1, close - 1));
  return true;
}

// Splits a key line; false for blank lines, comments and lines without "=".
bool keyValue(const std::string& line, std::string& key, std::string& value) {
  std::string t = trim(line);
  if (t.empty() || isComment(t) || t.front() == '[') return false;
  auto eq = t.find('=');
  if (eq == std::string::npos) return false;
  key = trim(std::string_view(t).substr(0, eq));
  value = trim(std::string_view(t).substr(eq + 1));
  return true;
}

std::string unquote(std::string v) {
  if (v.size() >= 2 && v.front() == '"' && v.back() == '"') v = v.substr(1, v.size() - 2);
  if (v.size() > kMaxValueLength) v.resize(kMaxValueLength);
  return v;
}

std::vector<std::string> loadLines(const std::string& file) {
  std::string data;
  if (!readWholeFile(resolveFileName(file), data)) return {};
  return splitLines(data);
}

// Visits the key lines of one section; the visitor returns false to stop.
template <typename F>
void forEachKey(const std::vector<std::string>& lines, const std::string& section, F&& visit) {
  bool inSection = false;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    std::string name;
    if (sectionName(lines[i], name)) {
      inSection = sameText(name, section);
      continue;
    }
    if (!inSection) continue;
    std::string key, value;
    if (keyValue(lines[i], key, value) && !visit(i, key, value)) return;
  }
}

std::string joinLines(const std::vector<std::string>& lines) {
  std::string out;
  for (const auto& l : lines) {
    out += l;
    out += '\n';
  }
  return out;
}

bool parseInt(const std::string& text, int& out) {
  std::string t = trim(text);
  if (t.empty()) return false;
  int base = 10;
  std::string_view digits = t;
  bool negative = false;
  if (digits.front() == '-' || digits.front() == '+') {
    negative = digits.front() == '-';
    digits.remove_prefix(1);
  }
  if (!digits.empty() && digits.front() == '$') {
    base = 16;
    digits.remove_prefix(1);
  } else if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
    base = 16;
    digits.remove_prefix(2);
  }
  if (digits.empty()) return false;
  std::uint64_t v = 0;
  auto [ptr, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), v, base);
  if (ec != std::errc() || ptr != digits.data() + digits.size()) return false;
  if (negative) {
    if (v > static_cast<std::uint64_t>(INT_MAX) + 1) return false;
    out = static_cast<int>(-static_cast<std::int64_t>(v));
    return true;
  }
  if (v > UINT32_MAX) return false;
  out = static_cast<int>(static_cast<std::uint32_t>(v));  // hex colours keep their bit pattern
  return true;
}

}  // namespace

std::string resolveFileName(const std::string& file) {
  if (fileExists(file)) return file;
  std::string folder = folderOf(file);
  std::string name = fileNameOf(file);
  DIR* d = ::opendir(folder.empty() ? "." : folder.c_str());
  if (!d) return file;
  std::string found;
  while (dirent* e = ::readdir(d)) {
    if (sameText(e->d_name, name)) {
      found = folder.empty() ? std::string(e->d_name) : (folder == "/" ? "/" : folder + "/") + e->d_name;
      break;
    }
  }
  ::closedir(d);
  return found.empty() ? file : found;
}

std::string readString(const std::string& file, const std::string& section, const std::string& key,
                       const std::string& defaultValue) {
  std::string result = defaultValue;
  forEachKey(loadLines(file), section, [&](std::size_t, const std::string& k, const std::string& v) {
    if (!sameText(k, key)) return true;
    result = unquote(v);
    return false;
  });
  return result;
}

int readInt(const std::string& file, const std::string& section, const std::string& key, int defaultValue) {
  static const std::string kMissing("\x01missing\x01");
  std::string text = readString(file, section, key, kMissing);
  int value = 0;
  if (text == kMissing || !parseInt(text, value)) return defaultValue;
  return value;
}

bool readBool(const std::string& file, const std::string& section, const std::string& key, bool defaultValue) {
  return readInt(file, section, key, defaultValue ? 1 : 0) != 0;
}

std::vector<std::string> readSection(const std::string& file, const std::string& section) {
  std::vector<std::string> out;
  forEachKey(loadLines(file), section, [&](std::size_t, const std::string& k, const std::string& v) {
    out.push_back(k + "=" + v);
    return true;
  });
  return out;
}

namespace {

// Applies one change to the lines of a file in memory; value == nullptr deletes
// the key.
void applyChange(std::vector<std::string>& lines, const std::string& section, const std::string& key,
                 const std::string* value) {
  std::size_t keyLine = SIZE_MAX;
  forEachKey(lines, section, [&](std::size_t i, const std::string& k, const std::string&) {
    if (!sameText(k, key)) return true;
    keyLine = i;
    return false;
  });
  if (keyLine != SIZE_MAX) {
    if (!value) {
      lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(keyLine));
    } else {
      std::string k, v;
      keyValue(lines[keyLine], k, v);
      lines[keyLine] = k + "=" + *value;
    }
    return;
  }
  if (!value) return;  // deleting a key that is not there
  // Insert after the last non-blank line of the section, or start a new section.
  std::size_t sectionLine = SIZE_MAX, lastInSection = SIZE_MAX;
  bool inSection = false;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    std::string name;
    if (sectionName(lines[i], name)) {
      inSection = sameText(name, section);
      if (inSection && sectionLine == SIZE_MAX) {
        sectionLine = i;
        lastInSection = i;
      }
      continue;
    }
    if (inSection && !trim(lines[i]).empty()) lastInSection = i;
  }
  std::string line = key + "=" + *value;
  if (sectionLine == SIZE_MAX) {
    if (!lines.empty() && !trim(lines.back()).empty()) lines.emplace_back();
    lines.push_back("[" + section + "]");
    lines.push_back(line);
  } else {
    lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(lastInSection) + 1, line);
  }
}

bool loadForChange(const std::string& path, std::vector<std::string>& lines, std::string* error) {
  lines.clear();
  if (!fileExists(path)) return true;
  std::string data;
  if (!readWholeFile(path, data, error)) return false;
  lines = splitLines(data);
  return true;
}

bool change(const std::string& file, const std::string& section, const std::string& key, const std::string* value,
            std::string* error) {
  std::string path = resolveFileName(file);
  std::vector<std::string> lines;
  if (!loadForChange(path, lines, error)) return false;
  applyChange(lines, section, key, value);
  return writeFileAtomically(path, joinLines(lines), error);
}

bool validValue(const std::string& value, std::string* error) {
  if (value.find_first_of("\r\n") == std::string::npos) return true;
  if (error) *error = "A value cannot hold a line break";
  return false;
}

}  // namespace

bool writeString(const std::string& file, const std::string& section, const std::string& key, const std::string& value,
                 std::string* error) {
  return validValue(value, error) && change(file, section, key, &value, error);
}

bool writeInt(const std::string& file, const std::string& section, const std::string& key, int value,
              std::string* error) {
  return writeString(file, section, key, std::to_string(value), error);
}

bool writeBool(const std::string& file, const std::string& section, const std::string& key, bool value,
               std::string* error) {
  return writeString(file, section, key, value ? "1" : "0", error);
}

bool deleteKey(const std::string& file, const std::string& section, const std::string& key, std::string* error) {
  return change(file, section, key, nullptr, error);
}

Batch::Batch(const std::string& file) : path_(resolveFileName(file)) {
  std::string reason;
  if (!loadForChange(path_, lines_, &reason)) {
    failed_ = true;
    error_ = reason;
  } else if (!canReplaceFile(path_, &reason)) {
    failed_ = true;
    error_ = reason;
  }
}

bool Batch::writeString(const std::string& section, const std::string& key, const std::string& value,
                        std::string* error) {
  if (failed_) {
    if (error) *error = error_;
    return false;
  }
  if (!validValue(value, error)) return false;
  applyChange(lines_, section, key, &value);
  changed_ = true;
  return true;
}

bool Batch::commit(std::string* error) {
  if (failed_) {
    if (error) *error = error_;
    return false;
  }
  if (!changed_) return true;
  if (!writeFileAtomically(path_, joinLines(lines_), error)) return false;
  changed_ = false;
  return true;
}

}  // namespace platform::ini
