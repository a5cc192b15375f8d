// What the header reader learns about an archive and its entries, in the
// library's own terms (the exported records are filled from these).
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace rarlib {

enum class RarFormat { None, Rar4, Rar5 };

// Encryption of one entry's data, as its header describes it.
struct RarCrypt {
  enum Kind { None, Rar4Aes, Rar5Aes, Other } kind = None;
  std::array<std::uint8_t, 16> salt{};   // RAR4: the first 8 bytes
  std::array<std::uint8_t, 16> iv{};     // RAR5
  std::array<std::uint8_t, 12> check{};  // RAR5: password check value and its checksum
  bool hasCheck = false;
  bool tweakedChecksums = false;  // RAR5: CRC and hash are keyed with the password
  int kdfCount = 0;               // RAR5: log2 of the key derivation rounds
};

// One part of an entry, as one volume holds it.
struct RarPart {
  int volume = 0;                  // index into the set's volume list
  std::uint64_t headerOffset = 0;  // where its header block starts
  std::uint64_t headerSize = 0;
  std::uint64_t dataOffset = 0;  // where its packed data starts
  std::uint64_t dataSize = 0;
  std::uint32_t crc = 0;  // this part's stored CRC-32 (for the last part: the file's)
  bool hasCrc = false;
  // For encrypted entries and archives: the header as the decoder is to read it
  // (decrypted, without the encryption marks). Empty: the stored header serves.
  std::string header;
};

struct RarEntry {
  std::string name;            // UTF-8, "/" between folders, no trailing "/"
  std::uint32_t flags = 0;     // RAR_FLAG_* of kvrar.h
  std::uint64_t packSize = 0;  // over all parts
  std::uint64_t unpSize = 0;
  std::uint32_t hostOS = 0;  // RAR_HOST_*
  std::uint32_t attr = 0;
  std::uint32_t unpVer = 0;
  std::uint32_t method = 0;  // 0 stored .. 5 best
  std::uint64_t dictSize = 0;
  std::uint32_t dosTime = 0;  // local MS-DOS date-time
  std::int64_t mtime = 0;     // seconds since 1970, UTC
  std::uint32_t mtimeNs = 0;
  std::uint32_t crc = 0;  // of the whole unpacked data, when hasCrc
  bool hasCrc = false;
  std::string linkTarget;  // RAR5 redirection text (RAR4 symlinks keep it in the data)
  int redirType = 0;       // RAR5: 1 Unix link, 2 Windows link, 3 junction, 4 hard link, 5 file copy
  RarCrypt crypt;
  std::string comment;             // an old-style stored file comment
  std::uint32_t commentState = 0;  // RAR_CMT_*
  std::vector<RarPart> parts;
  bool complete = true;  // every part was found

  bool directory() const;
  bool symlink() const;  // a symbolic link, from the attributes or a redirection
  bool encrypted() const;
};

}  // namespace rarlib
