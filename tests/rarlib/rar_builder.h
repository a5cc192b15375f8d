// Builds small RAR archives for tests, byte by byte: stored entries of the 5.0
// format (files, folders, links, hard links, volume sets, encryption records)
// and of the 1.5-4.x format. Only what the tests need; every header carries a
// correct CRC unless a test asks otherwise.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace rartest {

struct Entry {
  std::string name;
  std::string data;
  bool directory = false;
  std::uint32_t attr = 0100644;
  std::string link;                      // a symbolic link's text (redirection record, type 1)
  std::string hardlink;                  // a hard link to an earlier entry (type 4)
  std::optional<std::uint32_t> crc;      // instead of the data's CRC-32
  std::optional<std::uint64_t> unpSize;  // instead of the data's size
  std::string password;                  // not empty: the data encrypted, with a record whose check value fits it
  bool solid = false;
};

Entry file(const std::string& name, const std::string& data);
Entry folder(const std::string& name);
Entry symlink(const std::string& name, const std::string& target);
Entry hardlink(const std::string& name, const std::string& target);

// A RAR5 archive holding the entries stored.
std::string rar5(const std::vector<Entry>& entries, bool endBlock = true);

// A RAR5 archive with encrypted headers (the archive encryption block, then
// every header encrypted with the password's key); entries with a password of
// their own have their data encrypted too.
std::string rar5EncryptedHeaders(const std::vector<Entry>& entries, const std::string& password);

// A RAR5 volume set: the entries stored, the data cut into parts of at most
// partSize bytes, one part per volume.
std::vector<std::string> rar5Volumes(const std::vector<Entry>& entries, std::size_t partSize);

// A RAR 1.5-4.x archive holding the entries stored (names with "\" separators
// when backslashes is set).
std::string rar4(const std::vector<Entry>& entries, bool backslashes = false);

// A RAR5 header block of any type (for hostile tests).
std::string rar5Block(std::uint64_t type, std::uint64_t flags, const std::string& body, const std::string& extra = {},
                      const std::string* data = nullptr);
std::string rar5Signature();
std::string rar5Main(std::uint64_t archiveFlags = 0, std::optional<std::uint64_t> volumeNumber = {});
std::string rar5End(bool moreVolumes = false);
std::string vint(std::uint64_t v);
std::uint32_t crc32Of(const std::string& s);

}  // namespace rartest
