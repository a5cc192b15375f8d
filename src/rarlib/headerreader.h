// Walks the block headers of a RAR archive or volume set, in the 1.5-4.x format
// ("RAR4": fixed-size fields, 16-bit header CRCs) and the 5.0 format ("RAR5":
// variable-length numbers, 32-bit header CRCs, extra records). Only headers are
// read; packed data is stepped over by its declared size, so a walk costs a few
// small reads per entry whatever the archive's size.
//
// Entries are the file headers. A file split over volumes has one header per
// volume (split-before / split-after flags); the walk joins them into one entry
// with the parts' places, opening each next volume as it goes. Service headers
// (comments, recovery data, quick-open data) are not entries; the archive
// comment is picked up when the archive is opened.
//
// Archives with encrypted headers are walked with the password (set before the
// first entry is asked for); without it, or with a wrong one, next() says so and
// can be asked again once a password is set.
//
// Nothing read is trusted: every header is CRC-checked and bounds-checked, a size
// that runs past the end of the volume marks the entry truncated, and a broken
// header ends the walk with RAR_BAD_DATA.
#pragma once

#include <cstdint>
#include <array>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "rarlib/rarcrypt.h"
#include "rarlib/rarentry.h"
#include "rarlib/volumes.h"

namespace rarlib {

// The archive comment found when the archive was opened.
struct RarComment {
  bool present = false;
  bool stored = true;  // the text is in data; else data holds packed bytes
  std::string data;
  std::uint64_t unpSize = 0;  // packed comments: the text's size, CRC and how it was packed
  std::uint32_t crc = 0;
  std::uint32_t unpVer = 0;
  std::uint32_t methodByte = 0;
  std::uint32_t fileFlags = 0;
  std::uint32_t hostOS = 0;
  std::uint32_t state = 0;  // RAR_CMT_* when it cannot be read at all
};

class HeaderReader {
 public:
  // Called when the walk needs the next volume: mode RAR_VOL_NOTIFY when the file
  // is there, RAR_VOL_ASK when it is missing (name may be changed). An answer <= 0
  // gives up.
  using VolumeCallback = std::function<int(std::string& name, int mode)>;

  // Opens path, any volume of a set: a later volume is exchanged for the set's
  // first volume when that lies beside it. RAR_SUCCESS or an error code
  // (RAR_EOPEN, RAR_BAD_ARCHIVE, RAR_BAD_DATA, RAR_NOT_FIRST_VOLUME, RAR_EREAD).
  int open(const std::string& path);
  void setVolumeCallback(VolumeCallback cb) { volumeCallback_ = std::move(cb); }
  void setPassword(const std::string& password) { password_ = password; }
  KeyCache& keys() { return keys_; }

  // The next entry with all its parts: RAR_SUCCESS, RAR_END_ARCHIVE at the end, or
  // an error (which every later call repeats).
  int next(RarEntry& e);

  // The result that ended the walk (0 while it goes on).
  int failure() const { return failed_; }
  RarFormat format() const { return format_; }
  bool solid() const { return solid_; }
  bool volumeSet() const { return volumeSet_; }
  bool headersEncrypted() const { return headersEncrypted_; }
  const RarComment& comment() const { return comment_; }
  // The volumes reached so far, the first one (where the archive was opened)
  // first. Only the current one is kept open.
  const std::vector<std::string>& volumes() const { return volumes_; }
  // Signature and main header of the first volume: what a decoder needs in front
  // of an entry's header to read it as an archive of its own.
  // With encrypted headers: the decrypted main header, without the encryption
  // mark (known once the first entry was read).
  const std::vector<std::uint8_t>& archivePrefix() const { return prefix_; }
  // What ends the archive for a decoder: an end block, for archives whose own is
  // encrypted (empty otherwise).
  std::string plainTrailer() const;

 private:
  struct Block {
    enum Kind { kFile, kService, kEnd, kMain, kCrypt, kOther } kind = kOther;
    std::uint64_t offset = 0, size = 0, dataSize = 0;
    bool splitBefore = false, splitAfter = false, truncated = false;
    bool nextVolume = false;  // end block: the set goes on
    std::string serviceName;  // service block (RAR4 NEWSUB)
    RarEntry entry;           // file and service blocks
    std::string plain;        // main blocks of archives with encrypted headers: the header decrypted
  };

  int readSignature(VolumeFile& v, bool first, std::uint64_t& mainEnd);
  int readBlock(Block& b);
  int readBlock4(Block& b);
  int readBlock5(Block& b);
  int loadHeader4(std::vector<std::uint8_t>& h, std::uint64_t& onDisk);
  int loadHeader5(std::vector<std::uint8_t>& h, std::size_t& vlen, std::uint64_t& onDisk);
  int decryptedHeaderFailed();
  int parseFile4(const std::uint8_t* h, std::size_t size, std::uint16_t flags, Block& b);
  int parseFile5(const std::uint8_t* h, std::size_t size, std::uint64_t extraSize, Block& b);
  void readComment();
  int nextVolume();
  bool isFirstVolume(const std::string& path) const;
  void consume(const Block& b);

  std::vector<std::string> volumes_;
  std::string sequenceName_;                                  // the last volume's name by the set's naming
  std::set<std::pair<std::uint64_t, std::uint64_t>> opened_;  // device and inode of each volume
  VolumeFile file_;                                           // the current volume
  RarFormat format_ = RarFormat::None;
  std::uint32_t mainFlags_ = 0;  // RAR4 main header flags / RAR5 archive flags
  std::uint64_t volumeNumber_ = 0;
  bool newNumbering_ = true;
  bool solid_ = false;
  bool volumeSet_ = false;
  bool headersEncrypted_ = false;
  bool headerDecrypted_ = false;          // a header decrypted with the password passed its CRC
  bool signatureBlock_ = false;           // the block being read is the one after the signature (never encrypted)
  bool mainSeen_ = false;                 // RAR5 with encrypted headers: the main header was read
  std::array<std::uint8_t, 16> salt5_{};  // RAR5 archive encryption: salt, rounds, check record
  int kdf5_ = 0;
  std::array<std::uint8_t, 12> check5_{};
  bool hasCheck5_ = false;
  std::string password_;
  KeyCache keys_;
  std::vector<std::uint8_t> prefix_;
  RarComment comment_;
  VolumeCallback volumeCallback_;
  std::uint64_t pos_ = 0;  // next block
  int failed_ = 0;         // sticky result once the walk ended
};

// A RAR5 block (as the header reader makes them for the decoder) with another
// data size; unchanged when it cannot be read.
std::string withDataSize5(const std::string& block, std::uint64_t dataSize);

// The length of an encrypted RAR5 entry's compressed stream inside its padded
// data, read through plainAt (which decrypts bytes at an offset of the data);
// the padded size when the stream cannot be followed.
using PlainReader = std::function<bool(std::uint64_t offset, std::uint8_t* out, std::size_t size)>;
std::uint64_t compressedLength5(std::uint64_t paddedSize, const PlainReader& plainAt);

// Decodes a RAR4 file name: the stored bytes, which with the Unicode flag may
// hold a legacy name, a NUL and a packed UTF-16 form. Returns UTF-8.
std::string decodeRar4Name(std::string_view stored, bool unicodeFlag);

}  // namespace rarlib
