// Volume names of spanned sets on fixed and network drives.
#include "zipengine/spannames.h"

#include <cctype>
#include <cstdio>

#include "platform/paths.h"

namespace spanname {

namespace {

bool allDigits(const std::string& s) {
  if (s.empty()) return false;
  for (unsigned char c : s)
    if (!std::isdigit(c)) return false;
  return true;
}

std::string padded(int value, int width) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%0*d", width, value);
  return buf;
}

// The path split into the part before its extension and the extension (with its
// dot); the extension is empty when the file name has no dot.
std::pair<std::string, std::string> splitExtension(const std::string& path) {
  const std::string ext = platform::extensionOf(path);
  return {path.substr(0, path.size() - ext.size()), ext};
}

}  // namespace

std::string SetNames::volume(int n, int last) const {
  if (naming == Naming::Numbered) return stem + padded(n + 1, 3) + ext;
  if (n >= last) return stem + ext;
  return stem + '.' + splitLetter + padded(n + 1, 2);
}

std::string NumberedVolume(const std::string& archive, int n) {
  auto [base, ext] = splitExtension(archive);
  return base + padded(n + 1, 3) + ext;
}

std::vector<SetNames> NamingsOf(const std::string& path) {
  std::vector<SetNames> out;
  auto [base, ext] = splitExtension(path);
  if (ext.size() >= 4 && (ext[1] == 'z' || ext[1] == 'Z') && allDigits(ext.substr(2))) {
    // "name.z01": the last volume is "name.zip" in the same letter case.
    SetNames s;
    s.naming = Naming::Split;
    s.stem = base;
    s.splitLetter = ext[1];
    s.ext = ext[1] == 'Z' ? ".ZIP" : ".zip";
    out.push_back(s);
    return out;
  }
  const std::string fileBase = platform::fileNameOf(base);
  if (fileBase.size() >= 3 && allDigits(fileBase.substr(fileBase.size() - 3))) {
    SetNames s;
    s.naming = Naming::Numbered;
    s.stem = base.substr(0, base.size() - 3);
    s.ext = ext;
    out.push_back(s);
  }
  if (platform::lowerAscii(ext) == ".zip") {
    SetNames s;
    s.naming = Naming::Split;
    s.stem = base;
    s.ext = ext;
    s.splitLetter = ext[1] == 'Z' ? 'Z' : 'z';
    out.push_back(s);
  }
  return out;
}

std::string JoinedName(const std::string& volumePath) {
  for (const SetNames& s : NamingsOf(volumePath)) {
    if (s.naming == Naming::Numbered) return s.stem + s.ext;
    return s.stem + s.ext;
  }
  return volumePath;
}

std::optional<std::uint64_t> ParseVolumeSize(const std::string& text) {
  std::size_t i = text.find_first_not_of(" \t");
  const std::size_t end = text.find_last_not_of(" \t") + 1;
  if (i == std::string::npos) return std::nullopt;
  const std::size_t digitsFrom = i;
  std::uint64_t value = 0;
  for (; i < end && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
    if (value > (UINT64_MAX - 9) / 10) return std::nullopt;
    value = value * 10 + static_cast<std::uint64_t>(text[i] - '0');
  }
  if (i == digitsFrom || end - i > 1) return std::nullopt;
  int shift = 0;
  if (i < end) {
    const char unit = static_cast<char>(std::tolower(static_cast<unsigned char>(text[i])));
    shift = unit == 'k' ? 10 : unit == 'm' ? 20 : unit == 'g' ? 30 : -1;
    if (shift < 0) return std::nullopt;
  }
  if (value > (UINT64_MAX >> shift)) return std::nullopt;
  return value << shift;
}

}  // namespace spanname
