// Names of the volume files of a spanned set on a fixed or network drive.
//
// Two namings exist. This program writes the numbered one: the archive's name
// with the volume's number (from 1, at least three digits) in front of the
// extension, "backup.zip" giving "backup001.zip", "backup002.zip", ... Other
// archivers write the split one: "backup.z01", "backup.z02", ... with the last
// volume named "backup.zip". Any volume's name leads to the others.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace spanname {

enum class Naming { Numbered, Split };

struct SetNames {
  Naming naming = Naming::Numbered;
  // Numbered: the path up to the number. Split: the path without its extension.
  std::string stem;
  // Numbered: the extension after the number (may be empty). Split: the last
  // volume's extension as found (".zip" or ".ZIP").
  std::string ext;
  // Split only: the letter of the ".zNN" extensions ('z' or 'Z').
  char splitLetter = 'z';

  // Path of volume n (0-based) of a set whose last volume has number last.
  std::string volume(int n, int last) const;
};

// Volume n (0-based) of the numbered set written for archive.
std::string NumberedVolume(const std::string& archive, int n);

// The namings a volume's path may follow, most likely first: a ".zNN" extension
// is a split volume; three digits in front of the extension a numbered one; a
// ".zip" extension may also be the last volume of a split set. Empty when the
// name follows neither.
std::vector<SetNames> NamingsOf(const std::string& path);

// The name the archive of a set has once joined: numbered volumes lose their
// number ("backup003.zip" gives "backup.zip"), split ones keep the last volume's
// name. The path unchanged when it follows no naming.
std::string JoinedName(const std::string& volumePath);

// A volume size as a user writes it: a whole number of bytes, or of KiB, MiB or
// GiB with the suffix k, m or g (either case); blanks around it are ignored.
// nullopt for anything else, or a size beyond 64 bits.
std::optional<std::uint64_t> ParseVolumeSize(const std::string& text);

}  // namespace spanname
