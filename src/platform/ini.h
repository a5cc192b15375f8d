// Settings files in the classic INI form: "[section]" lines, then "key=value" lines.
//
// Every call opens the file, does one thing and closes it again; nothing is cached,
// so two windows that write the same file never see stale values. Section and key
// names are found without regard to case. A missing file, section or key gives the
// caller's default. Values are trimmed of surrounding blanks, one pair of enclosing
// double quotes is removed, and a value read is cut at 2047 characters. A value may
// itself contain "=" and ";" (only the first "=" of a line separates key and value).
// Lines starting with ";" or "#" are comments and are kept as they stand on writes.
//
// A write replaces the file atomically: the new contents go to a temporary file in
// the same folder, are flushed to disk and renamed over the old file. A failed write
// leaves the old file as it was and returns false with a readable reason.
//
// The file name itself is matched without regard to case when the exact name does
// not exist ("Kelvory.ini" finds "Kelvory.Ini").
#pragma once

#include <string>
#include <vector>

namespace platform::ini {

inline constexpr std::size_t kMaxValueLength = 2047;

std::string readString(const std::string& file, const std::string& section, const std::string& key,
                       const std::string& defaultValue);

// Reads a signed decimal integer (a leading "$" or "0x" reads hexadecimal, as does
// a value that only fits unsigned 32 bits, which is taken as its signed bit pattern).
// A missing key or a value that is not a number gives the default.
int readInt(const std::string& file, const std::string& section, const std::string& key, int defaultValue);

// Booleans are integers: any non-zero value is true.
bool readBool(const std::string& file, const std::string& section, const std::string& key, bool defaultValue);

// Every "key=value" line of the section, in file order, with key and value trimmed.
std::vector<std::string> readSection(const std::string& file, const std::string& section);

// Writes one value, creating the file and the section when needed. On failure
// returns false and, when error is given, stores a reason there.
bool writeString(const std::string& file, const std::string& section, const std::string& key, const std::string& value,
                 std::string* error = nullptr);
bool writeInt(const std::string& file, const std::string& section, const std::string& key, int value,
              std::string* error = nullptr);
bool writeBool(const std::string& file, const std::string& section, const std::string& key, bool value,
               std::string* error = nullptr);

// Removes a key (no error when it does not exist).
bool deleteKey(const std::string& file, const std::string& section, const std::string& key,
               std::string* error = nullptr);

// Many writes to one file as a single atomic replacement: the file is read once,
// every write changes the copy in memory, and commit() writes it back once. A file
// that cannot be replaced (read-only, unreadable, in a read-only folder) makes the
// first write fail already, so a caller that stops at its first failure writes
// nothing.
class Batch {
 public:
  explicit Batch(const std::string& file);
  bool writeString(const std::string& section, const std::string& key, const std::string& value,
                   std::string* error = nullptr);
  bool commit(std::string* error = nullptr);

 private:
  std::string path_;
  std::vector<std::string> lines_;
  bool failed_ = false;
  bool changed_ = false;
  std::string error_;
};

// The file an INI name refers to: the exact path when it exists, else a file in the
// same folder whose name differs only in case, else the path as given.
std::string resolveFileName(const std::string& file);

}  // namespace platform::ini
