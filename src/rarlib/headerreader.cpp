#include "rarlib/headerreader.h"

#include <libdeflate.h>

#include <algorithm>
#include <cstring>

#include "platform/codepage.h"
#include "platform/datetime.h"
#include "rarlib/bytereader.h"
#include "rarlib/kvrar.h"

namespace rarlib {

namespace {

const std::uint8_t kSig4[7] = {'R', 'a', 'r', '!', 0x1a, 0x07, 0x00};
const std::uint8_t kSig5[8] = {'R', 'a', 'r', '!', 0x1a, 0x07, 0x01, 0x00};

// RAR4 block types and flags.
enum : std::uint8_t { kMain4 = 0x73, kFile4 = 0x74, kComment4 = 0x75, kNewSub4 = 0x7a, kEnd4 = 0x7b };
enum : std::uint16_t {
  kMainVolume = 0x0001,
  kMainComment = 0x0002,
  kMainSolid = 0x0008,
  kMainNewNumbering = 0x0010,
  kMainPassword = 0x0080,
  kMainFirstVolume = 0x0100,
  kFileSplitBefore = 0x0001,
  kFileSplitAfter = 0x0002,
  kFilePassword = 0x0004,
  kFileComment = 0x0008,
  kFileSolid = 0x0010,
  kFileDirMask = 0x00e0,
  kFileLarge = 0x0100,
  kFileUnicode = 0x0200,
  kFileSalt = 0x0400,
  kFileExtTime = 0x1000,
  kLongBlock = 0x8000,
  kEndNextVolume = 0x0001,
};

// RAR5 header types, header flags and file flags.
enum : std::uint64_t { kMain5 = 1, kFile5 = 2, kService5 = 3, kCrypt5 = 4, kEnd5 = 5 };
enum : std::uint64_t {
  kHdrExtra = 0x01,
  kHdrData = 0x02,
  kHdrSplitBefore = 0x08,
  kHdrSplitAfter = 0x10,
  kArcVolume = 0x01,
  kArcVolumeNumber = 0x02,
  kArcSolid = 0x04,
  kFileDirectory = 0x01,
  kFileUnixTime = 0x02,
  kFileCrc = 0x04,
  kFileUnknownSize = 0x08,
};

constexpr std::uint64_t kMaxHeader5 = 2 * 1024 * 1024;  // RAR5 headers are at most 2 MiB
constexpr std::uint64_t kMaxComment = 1024 * 1024;      // larger comments are not read

std::uint32_t crc32(const void* data, std::size_t size) { return libdeflate_crc32(0, data, size); }

std::string vintBytes(std::uint64_t v) {
  std::string out;
  do {
    std::uint8_t b = v & 0x7f;
    v >>= 7;
    out.push_back(static_cast<char>(v ? b | 0x80 : b));
  } while (v);
  return out;
}

void putLe(std::string& s, std::size_t at, std::uint32_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) s[at + static_cast<std::size_t>(i)] = static_cast<char>(v >> (8 * i));
}

// A RAR4 block: its CRC-16 put in front of the rest.
void sealBlock4(std::string& h) { putLe(h, 0, crc32(h.data() + 2, h.size() - 2) & 0xffff, 2); }

// A RAR5 block around a header: CRC-32, size, header.
std::string sealBlock5(const std::string& header) {
  std::string block = vintBytes(header.size()) + header;
  std::string out(4, '\0');
  putLe(out, 0, crc32(block.data(), block.size()), 4);
  return out + block;
}

// A RAR4 file header as a decoder that gets the data decrypted reads it: without
// the encryption flag and the salt.
std::string plainFile4(const std::uint8_t* h, std::size_t size, std::size_t saltAt) {
  std::string out(reinterpret_cast<const char*>(h), size);
  std::uint16_t flags = static_cast<std::uint16_t>(h[3] | (h[4] << 8));
  if (flags & kFileSalt) out.erase(saltAt, 8);
  flags &= static_cast<std::uint16_t>(~(kFilePassword | kFileSalt));
  putLe(out, 3, flags, 2);
  putLe(out, 5, static_cast<std::uint32_t>(out.size()), 2);
  sealBlock4(out);
  return out;
}

// The same for a RAR5 file header (body: after the data size; the header was
// parsed already): without the encryption record and, when the checksums are
// keyed with the password, without the CRC-32 and the hash record, which the
// library checks itself.
std::string plainFile5(std::uint64_t type, std::uint64_t hflags, std::uint64_t dataSize, const std::uint8_t* body,
                       std::size_t bodySize, std::size_t extraSize, bool dropChecksums) {
  const std::size_t mainSize = bodySize - extraSize;
  ByteReader m(body, mainSize);
  const std::uint64_t fileFlags = m.vint();
  const std::size_t afterFlags = m.pos();
  m.vint();
  m.vint();
  if (fileFlags & kFileUnixTime) m.u32();
  const std::size_t crcAt = m.pos();
  const bool dropCrc = dropChecksums && (fileFlags & kFileCrc) && m.ok() && mainSize - crcAt >= 4;
  std::string main = vintBytes(dropCrc ? fileFlags & ~kFileCrc : fileFlags);
  const char* b = reinterpret_cast<const char*>(body);
  if (dropCrc) {
    main.append(b + afterFlags, crcAt - afterFlags);
    main.append(b + crcAt + 4, mainSize - crcAt - 4);
  } else {
    main.append(b + afterFlags, mainSize - afterFlags);
  }
  std::string extra;
  ByteReader x(body + mainSize, extraSize);
  while (x.ok() && x.remaining() > 0) {
    const std::uint8_t* start = x.here();
    std::uint64_t recSize = x.vint();
    if (!x.ok() || recSize > x.remaining()) break;
    ByteReader rec(x.here(), static_cast<std::size_t>(recSize));
    const std::uint64_t recType = rec.vint();
    x.skip(recSize);
    if (recType == 1 || (dropChecksums && recType == 2)) continue;
    extra.append(reinterpret_cast<const char*>(start), static_cast<std::size_t>(x.here() - start));
  }
  std::string head = vintBytes(type) + vintBytes(extra.empty() ? hflags & ~kHdrExtra : hflags | kHdrExtra);
  if (!extra.empty()) head += vintBytes(extra.size());
  if (hflags & kHdrData) head += vintBytes(dataSize);
  return sealBlock5(head + main + extra);
}

// Local MS-DOS date-time of a Unix time (0 when out of the DOS range).
std::uint32_t dosFromUnix(std::int64_t t) { return platform::dateTimeToDos(platform::fromUnixTime(t)).value_or(0); }

std::int64_t unixFromDos(std::uint32_t dos) {
  auto dt = platform::dosToDateTime(dos);
  if (!dt) return 0;
  return platform::toUnixTime(*dt).value_or(0);
}

// Windows FILETIME (100 ns since 1601) to Unix seconds and nanoseconds.
void fromFileTime(std::uint64_t ft, std::int64_t& sec, std::uint32_t& ns) {
  constexpr std::uint64_t kEpochDiff = 116444736000000000ull;
  if (ft < kEpochDiff) {
    sec = 0;
    ns = 0;
    return;
  }
  ft -= kEpochDiff;
  sec = static_cast<std::int64_t>(ft / 10000000u);
  ns = static_cast<std::uint32_t>(ft % 10000000u) * 100u;
}

void appendUtf8(std::string& out, std::uint32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xc0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3f)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xe0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3f)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3f)));
  } else {
    out.push_back(static_cast<char>(0xf0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3f)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3f)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3f)));
  }
}

std::string utf16ToUtf8(const std::vector<std::uint16_t>& units) {
  std::string out;
  for (std::size_t i = 0; i < units.size(); ++i) {
    std::uint32_t c = units[i];
    if (c == 0) break;
    if (c >= 0xd800 && c < 0xdc00 && i + 1 < units.size() && units[i + 1] >= 0xdc00 && units[i + 1] < 0xe000) {
      c = 0x10000 + ((c - 0xd800) << 10) + (units[++i] - 0xdc00);
    } else if (c >= 0xd800 && c < 0xe000) {
      c = 0xfffd;  // a lone surrogate
    }
    appendUtf8(out, c);
  }
  return out;
}

// Bytes of a legacy name: UTF-8 when they are valid UTF-8 (Unix archivers store
// that), else the DOS code page the Windows archiver converts names to.
std::string legacyName(std::string_view bytes) {
  if (platform::isValidUtf8(bytes)) return std::string(bytes);
  return platform::cp437ToUtf8(bytes);
}

// Stored names use "\" (RAR4) or "/" between folders; keep "/" only, no empty
// trailing part.
std::string cleanName(std::string name, bool backslashes) {
  if (backslashes) std::replace(name.begin(), name.end(), '\\', '/');
  std::size_t nul = name.find('\0');
  if (nul != std::string::npos) name.resize(nul);
  while (!name.empty() && name.back() == '/') name.pop_back();
  return name;
}

// RAR4 extended times: a flags word, then for each of modification, creation,
// access and archiving time the extra precision (and a DOS time for all but the
// first). Only the modification time is kept.
void parseExtTime4(ByteReader& r, std::uint32_t dosTime, std::int64_t& mtime, std::uint32_t& ns) {
  std::uint16_t flags = r.u16();
  for (int i = 0; i < 4 && r.ok(); ++i) {
    unsigned mode = (flags >> ((3 - i) * 4)) & 0xf;
    if (!(mode & 8)) continue;
    std::uint32_t dos = i == 0 ? dosTime : r.u32();
    unsigned count = mode & 3;
    std::uint32_t rem = 0;
    for (unsigned j = 0; j < count; ++j) rem |= static_cast<std::uint32_t>(r.u8()) << ((j + 3 - count) * 8);
    if (i == 0 && r.ok()) {
      mtime = unixFromDos(dos) + ((mode & 4) ? 1 : 0);
      ns = (rem % 10000000u) * 100u;
    }
  }
}

}  // namespace

std::string withDataSize5(const std::string& block, std::uint64_t dataSize) {
  ByteReader r(reinterpret_cast<const std::uint8_t*>(block.data()), block.size());
  r.u32();
  r.vint();
  const std::size_t start = r.pos();
  const std::uint64_t type = r.vint();
  const std::uint64_t hflags = r.vint();
  const std::uint64_t extraSize = (hflags & kHdrExtra) ? r.vint() : 0;
  if (hflags & kHdrData) r.vint();
  if (!r.ok() || start > block.size()) return block;
  std::string head = vintBytes(type) + vintBytes(hflags);
  if (hflags & kHdrExtra) head += vintBytes(extraSize);
  if (hflags & kHdrData) head += vintBytes(dataSize);
  head.append(block, r.pos(), std::string::npos);
  return sealBlock5(head);
}

// The compressed stream is a chain of blocks, each with a small header: flags
// (bits 3-4: the size field's length less one; bit 6: the last block), a check
// byte (0x5A xor the flags and the size bytes) and the size, then the block.
std::uint64_t compressedLength5(std::uint64_t paddedSize, const PlainReader& plainAt) {
  std::uint64_t pos = 0;
  while (paddedSize - pos >= 3) {
    std::uint8_t h[5] = {};
    const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(5, paddedSize - pos));
    if (!plainAt(pos, h, n)) break;
    const unsigned count = ((h[0] >> 3) & 3u) + 1;
    if (count == 4 || 2 + count > n) break;
    std::uint8_t check = 0x5a ^ h[0];
    std::uint64_t size = 0;
    for (unsigned i = 0; i < count; ++i) {
      check ^= h[2 + i];
      size |= static_cast<std::uint64_t>(h[2 + i]) << (8 * i);
    }
    if (check != h[1] || size > paddedSize - pos - 2 - count) break;
    pos += 2 + count + size;
    if (h[0] & 0x40) return pos;
  }
  return paddedSize;
}

std::string decodeRar4Name(std::string_view stored, bool unicodeFlag) {
  if (!unicodeFlag) return legacyName(stored);
  std::size_t nul = stored.find('\0');
  if (nul == std::string_view::npos) return legacyName(stored);  // the Unicode flag on a UTF-8 name
  std::string_view legacy = stored.substr(0, nul);
  const auto* enc = reinterpret_cast<const std::uint8_t*>(stored.data() + nul + 1);
  const std::size_t encSize = stored.size() - nul - 1;
  // The packed form: a high byte, then two-bit codes (four per flag byte) saying
  // whether the next character is one byte (high byte 0), one byte with the high
  // byte, two bytes, or a run copied from the legacy name (with a correction).
  std::vector<std::uint16_t> out;
  const std::size_t maxOut = std::max<std::size_t>(legacy.size(), 1) * 2 + 2;
  std::size_t pos = 0;
  if (encSize == 0) return legacyName(legacy);
  std::uint8_t high = enc[pos++];
  unsigned flags = 0, flagBits = 0;
  while (pos < encSize && out.size() < maxOut) {
    if (flagBits == 0) {
      flags = enc[pos++];
      flagBits = 8;
    }
    unsigned code = flags >> 6;
    flags = (flags << 2) & 0xff;
    flagBits -= 2;
    if (code == 0) {
      if (pos >= encSize) break;
      out.push_back(enc[pos++]);
    } else if (code == 1) {
      if (pos >= encSize) break;
      out.push_back(static_cast<std::uint16_t>(enc[pos++] | (high << 8)));
    } else if (code == 2) {
      if (pos + 1 >= encSize) break;
      out.push_back(static_cast<std::uint16_t>(enc[pos] | (enc[pos + 1] << 8)));
      pos += 2;
    } else {
      if (pos >= encSize) break;
      unsigned length = enc[pos++];
      if (length & 0x80) {
        if (pos >= encSize) break;
        std::uint8_t correction = enc[pos++];
        for (length = (length & 0x7f) + 2; length > 0 && out.size() < maxOut; --length) {
          std::size_t i = out.size();
          std::uint8_t c = i < legacy.size() ? static_cast<std::uint8_t>(legacy[i]) : 0;
          out.push_back(static_cast<std::uint16_t>(((c + correction) & 0xff) | (high << 8)));
        }
      } else {
        for (length += 2; length > 0 && out.size() < maxOut; --length) {
          std::size_t i = out.size();
          out.push_back(i < legacy.size() ? static_cast<std::uint8_t>(legacy[i]) : 0);
        }
      }
    }
  }
  std::string name = utf16ToUtf8(out);
  return name.empty() ? legacyName(legacy) : name;
}

bool RarEntry::directory() const { return (flags & RAR_FLAG_DIRECTORY) != 0; }
bool RarEntry::symlink() const { return (flags & RAR_FLAG_SYMLINK) != 0; }
bool RarEntry::encrypted() const { return (flags & RAR_FLAG_ENCRYPTED) != 0; }

int HeaderReader::readSignature(VolumeFile& v, bool first, std::uint64_t& mainEnd) {
  std::uint8_t sig[8];
  if (!v.read(0, sig, std::min<std::uint64_t>(8, v.size()))) return v.failed() ? RAR_EREAD : RAR_BAD_ARCHIVE;
  RarFormat f = RarFormat::None;
  if (v.size() >= 8 && std::memcmp(sig, kSig5, 8) == 0)
    f = RarFormat::Rar5;
  else if (v.size() >= 7 && std::memcmp(sig, kSig4, 7) == 0)
    f = RarFormat::Rar4;
  if (f == RarFormat::None || (!first && f != format_)) return RAR_BAD_ARCHIVE;
  format_ = f;
  VolumeFile saved = std::move(file_);
  file_ = std::move(v);
  pos_ = f == RarFormat::Rar5 ? 8 : 7;
  Block b;
  signatureBlock_ = true;
  int r = readBlock(b);
  signatureBlock_ = false;
  v = std::move(file_);
  file_ = std::move(saved);
  if (r == RAR_END_ARCHIVE) return RAR_BAD_DATA;
  if (r != RAR_SUCCESS) return r;
  if (b.kind == Block::kCrypt) {
    // RAR5 with encrypted headers: even the main header is unreadable without
    // the password.
    headersEncrypted_ = true;
    mainEnd = b.offset + b.size;
    return RAR_SUCCESS;
  }
  if (b.kind != Block::kMain) return RAR_BAD_DATA;
  mainEnd = b.offset + b.size + b.dataSize;
  return RAR_SUCCESS;
}

int HeaderReader::open(const std::string& path) {
  VolumeCallback callback = std::move(volumeCallback_);
  const std::string password = password_;
  *this = HeaderReader();
  volumeCallback_ = callback;
  password_ = password;
  VolumeFile v;
  if (!v.open(path)) return RAR_EOPEN;
  std::uint64_t mainEnd = 0;
  int r = readSignature(v, true, mainEnd);
  if (r != RAR_SUCCESS) return r;
  if (volumeSet_ && !isFirstVolume(path)) {
    std::string first = firstVolumeName(path, newNumbering_);
    VolumeFile f;
    if (first.empty() || first == path || !f.open(first)) return RAR_NOT_FIRST_VOLUME;
    *this = HeaderReader();
    volumeCallback_ = callback;
    password_ = password;
    r = readSignature(f, true, mainEnd);
    if (r != RAR_SUCCESS) return r;
    if (volumeSet_ && !isFirstVolume(first)) return RAR_NOT_FIRST_VOLUME;
    v = std::move(f);
  }
  volumes_.push_back(v.path());
  sequenceName_ = v.path();
  opened_.insert(v.identity());
  file_ = std::move(v);
  pos_ = mainEnd;
  prefix_.resize(static_cast<std::size_t>(std::min<std::uint64_t>(mainEnd, kMaxHeader5 + 64)));
  if (!file_.read(0, prefix_.data(), prefix_.size())) return RAR_EREAD;
  if (format_ == RarFormat::Rar4 && headersEncrypted_ && prefix_.size() >= 14) {
    // The decoder gets the headers decrypted: the main header loses its mark.
    std::string main(prefix_.begin() + 7, prefix_.end());
    putLe(main, 3, mainFlags_ & ~kMainPassword, 2);
    sealBlock4(main);
    std::copy(main.begin(), main.end(), prefix_.begin() + 7);
  }
  if (!headersEncrypted_) readComment();
  return RAR_SUCCESS;
}

std::string HeaderReader::plainTrailer() const {
  if (!headersEncrypted_) return {};
  if (format_ == RarFormat::Rar5) return sealBlock5(vintBytes(kEnd5) + vintBytes(0) + vintBytes(0));
  std::string end(7, '\0');
  end[2] = static_cast<char>(kEnd4);
  putLe(end, 3, 0x4000, 2);  // no archive data CRC or volume number follows
  putLe(end, 5, 7, 2);
  sealBlock4(end);
  return end;
}

// A failed check of a header decrypted with the password: before any header
// passed, the password is the likely cause (the 2.9-4.x format has no check
// value); after that, damage.
int HeaderReader::decryptedHeaderFailed() { return headerDecrypted_ ? RAR_BAD_DATA : RAR_BAD_PASSWORD; }

// A header as stored, or decrypted when the archive's headers are encrypted: an
// 8-byte salt, then the header in whole AES blocks.
int HeaderReader::loadHeader4(std::vector<std::uint8_t>& h, std::uint64_t& onDisk) {
  auto readError = [&] { return file_.failed() ? RAR_EREAD : RAR_BAD_DATA; };
  const bool encrypted = headersEncrypted_ && !signatureBlock_;
  std::uint16_t size = 0;
  if (!encrypted) {
    std::uint8_t base[7];
    if (!file_.read(pos_, base, 7)) return readError();
    size = static_cast<std::uint16_t>(base[5] | (base[6] << 8));  // HEAD_SIZE
    if (size < 7) return RAR_BAD_DATA;
    h.resize(size);
    if (!file_.read(pos_, h.data(), size)) return readError();
    onDisk = size;
  } else {
    if (password_.empty()) return RAR_MISSING_PASSWORD;
    std::uint8_t salt[8], first[kAesBlock];
    if (file_.size() - pos_ < 8 + kAesBlock) return RAR_BAD_DATA;
    if (!file_.read(pos_, salt, 8) || !file_.read(pos_ + 8, first, kAesBlock)) return readError();
    const RarKeys* k = keys_.rar4(password_, salt);
    if (!k) return RAR_NO_MEMORY;
    if (!decryptBuffer(k->key, k->iv.data(), first, kAesBlock)) return RAR_NO_MEMORY;
    size = static_cast<std::uint16_t>(first[5] | (first[6] << 8));
    const std::size_t padded = roundToAes(size);
    if (size < 7 || 8 + padded > file_.size() - pos_) return decryptedHeaderFailed();
    h.resize(padded);
    if (!file_.read(pos_ + 8, h.data(), padded)) return readError();
    if (!decryptBuffer(k->key, k->iv.data(), h.data(), padded)) return RAR_NO_MEMORY;
    h.resize(size);
    onDisk = 8 + padded;
  }
  const std::uint16_t crc = static_cast<std::uint16_t>(h[0] | (h[1] << 8));
  if ((crc32(h.data() + 2, size - 2u) & 0xffff) != crc) return encrypted ? decryptedHeaderFailed() : RAR_BAD_DATA;
  if (encrypted) headerDecrypted_ = true;
  return RAR_SUCCESS;
}

// The same for RAR5: CRC32, the header size as a variable-length number (at most
// 3 bytes for the 2 MiB limit), then that many header bytes; when encrypted, a
// 16-byte IV first and the whole in AES blocks.
int HeaderReader::loadHeader5(std::vector<std::uint8_t>& h, std::size_t& vlen, std::uint64_t& onDisk) {
  auto readError = [&] { return file_.failed() ? RAR_EREAD : RAR_BAD_DATA; };
  const bool encrypted = headersEncrypted_ && !signatureBlock_;
  const RarKeys* k = nullptr;
  std::uint8_t iv[kAesBlock];
  std::uint8_t start[kAesBlock] = {};
  std::uint64_t skip = 0;
  std::size_t got = static_cast<std::size_t>(std::min<std::uint64_t>(7, file_.size() - pos_));
  if (!encrypted) {
    if (got < 5 || !file_.read(pos_, start, got)) return got < 5 ? RAR_BAD_DATA : readError();
  } else {
    if (password_.empty()) return RAR_MISSING_PASSWORD;
    k = keys_.rar5(password_, salt5_.data(), kdf5_);
    if (!k) return RAR_NO_MEMORY;
    if (hasCheck5_) {
      if (!rar5CheckMatches(*k, check5_.data())) return RAR_BAD_PASSWORD;
      headerDecrypted_ = true;  // the password is right: a failed header is damage
    }
    skip = kAesBlock;
    got = kAesBlock;
    if (file_.size() - pos_ < 2 * kAesBlock) return RAR_BAD_DATA;
    if (!file_.read(pos_, iv, kAesBlock) || !file_.read(pos_ + skip, start, kAesBlock)) return readError();
    if (!decryptBuffer(k->key, iv, start, kAesBlock)) return RAR_NO_MEMORY;
  }
  ByteReader sr(start + 4, got - 4);
  const std::uint64_t hsize = sr.vint();
  if (!sr.ok() || hsize == 0 || hsize > kMaxHeader5) return encrypted ? decryptedHeaderFailed() : RAR_BAD_DATA;
  vlen = sr.pos();
  const std::uint64_t total = 4 + vlen + hsize;
  const std::uint64_t stored = encrypted ? roundToAes(total) : total;
  if (skip + stored > file_.size() - pos_) return encrypted ? decryptedHeaderFailed() : RAR_BAD_DATA;
  h.resize(static_cast<std::size_t>(stored));
  if (!file_.read(pos_ + skip, h.data(), h.size())) return readError();
  if (encrypted) {
    if (!decryptBuffer(k->key, iv, h.data(), h.size())) return RAR_NO_MEMORY;
    h.resize(static_cast<std::size_t>(total));
  }
  std::uint32_t crc = static_cast<std::uint32_t>(h[0] | (h[1] << 8) | (h[2] << 16)) | (std::uint32_t{h[3]} << 24);
  if (crc32(h.data() + 4, h.size() - 4) != crc) return encrypted ? decryptedHeaderFailed() : RAR_BAD_DATA;
  if (encrypted) headerDecrypted_ = true;
  onDisk = skip + stored;
  return RAR_SUCCESS;
}

bool HeaderReader::isFirstVolume(const std::string& path) const {
  if (!volumeSet_) return true;
  if (format_ == RarFormat::Rar5) return volumeNumber_ == 0;
  if (mainFlags_ & kMainFirstVolume) return true;
  // Archivers before the first-volume flag: only the name tells.
  return firstVolumeName(path, newNumbering_) == path;
}

int HeaderReader::readBlock(Block& b) {
  if (pos_ == file_.size()) return RAR_END_ARCHIVE;
  if (pos_ > file_.size()) return RAR_BAD_DATA;  // the last block ran past the end
  // Fewer bytes than the smallest block: a cut trailer after complete entries,
  // not a block that was lost.
  if (file_.size() - pos_ < 7) return RAR_END_ARCHIVE;
  return format_ == RarFormat::Rar5 ? readBlock5(b) : readBlock4(b);
}

int HeaderReader::readBlock4(Block& b) {
  b = Block();
  b.offset = pos_;
  std::vector<std::uint8_t> h;
  if (int r = loadHeader4(h, b.size)) return r;
  const std::uint8_t type = h[2];
  const std::uint16_t flags = static_cast<std::uint16_t>(h[3] | (h[4] << 8));
  const std::size_t size = h.size();
  ByteReader r(h.data() + 7, size - 7u);
  switch (type) {
    case kMain4:
      b.kind = Block::kMain;
      r.u16();  // HighPosAV
      r.u32();  // PosAV
      if (!r.ok()) return RAR_BAD_DATA;
      mainFlags_ = flags;
      volumeSet_ = (flags & kMainVolume) != 0;
      solid_ = (flags & kMainSolid) != 0;
      newNumbering_ = (flags & kMainNewNumbering) != 0;
      headersEncrypted_ = (flags & kMainPassword) != 0;
      if ((flags & kMainComment) && size > 13) {
        // An old-style comment block inside the main header: its own small header
        // (type 0x75), the text's size, version, method and CRC, then the text.
        ByteReader c(h.data() + 13, size - 13u);
        c.skip(2);
        std::uint8_t ctype = c.u8();
        c.skip(4);
        std::uint16_t unp = c.u16();
        std::uint8_t ver = c.u8();
        std::uint8_t method = c.u8();
        c.u16();
        if (c.ok() && ctype == kComment4) {
          comment_.present = true;
          comment_.unpSize = unp;
          comment_.unpVer = ver;
          comment_.methodByte = method;
          if (method == 0x30)
            comment_.data.assign(reinterpret_cast<const char*>(c.here()), std::min<std::size_t>(c.remaining(), unp));
          else
            comment_.state = RAR_UNKNOWN_FORMAT;
        }
      }
      return RAR_SUCCESS;
    case kFile4:
    case kNewSub4:
      b.kind = type == kFile4 ? Block::kFile : Block::kService;
      return parseFile4(h.data(), size, flags, b);
    case kEnd4:
      b.kind = Block::kEnd;
      b.nextVolume = (flags & kEndNextVolume) != 0;
      return RAR_SUCCESS;
    default:
      b.kind = Block::kOther;
      if (flags & kLongBlock) {
        b.dataSize = r.u32();  // ADD_SIZE
        if (!r.ok()) return RAR_BAD_DATA;
      }
      if (b.dataSize > file_.size() - std::min(file_.size(), pos_ + b.size)) b.truncated = true;
      return RAR_SUCCESS;
  }
}

int HeaderReader::parseFile4(const std::uint8_t* h, std::size_t size, std::uint16_t flags, Block& b) {
  ByteReader r(h + 7, size - 7);
  std::uint64_t pack = r.u32();
  std::uint64_t unp = r.u32();
  std::uint8_t host = r.u8();
  std::uint32_t fileCrc = r.u32();
  std::uint32_t ftime = r.u32();
  std::uint8_t unpVer = r.u8();
  std::uint8_t method = r.u8();
  std::uint16_t nameSize = r.u16();
  std::uint32_t attr = r.u32();
  bool unsized = false;
  if (flags & kFileLarge) {
    std::uint64_t packHigh = r.u32();
    std::uint64_t unpHigh = r.u32();
    unsized = unpHigh == 0xffffffffu && unp == 0xffffffffu;
    pack |= packHigh << 32;
    unp |= unpHigh << 32;
  }
  std::string_view stored = r.text(nameSize);
  RarEntry& e = b.entry;
  const std::size_t saltAt = 7 + r.pos();
  if (flags & kFileSalt) {
    std::string_view salt = r.text(8);
    if (r.ok()) std::memcpy(e.crypt.salt.data(), salt.data(), 8);
  }
  e.dosTime = ftime;
  e.mtime = unixFromDos(ftime);
  if (flags & kFileExtTime) parseExtTime4(r, ftime, e.mtime, e.mtimeNs);
  if (!r.ok()) return RAR_BAD_DATA;

  b.dataSize = pack;
  b.splitBefore = (flags & kFileSplitBefore) != 0;
  b.splitAfter = (flags & kFileSplitAfter) != 0;
  if (b.kind == Block::kService)
    b.serviceName = std::string(stored.substr(0, stored.find('\0')));
  else
    e.name = cleanName(decodeRar4Name(stored, (flags & kFileUnicode) != 0), true);
  e.packSize = pack;
  e.unpSize = unsized ? 0 : unp;
  e.hostOS = host;
  e.attr = attr;
  e.unpVer = unpVer;
  e.method = method >= 0x30 && method <= 0x35 ? method - 0x30u : method;
  e.dictSize = std::uint64_t{65536} << ((flags & kFileDirMask) >> 5);
  e.crc = fileCrc;
  e.hasCrc = true;
  if (unsized) e.flags |= RAR_FLAG_UNSIZED;
  if (flags & kFilePassword) {
    e.flags |= RAR_FLAG_ENCRYPTED;
    e.crypt.kind = unpVer >= 29 ? RarCrypt::Rar4Aes : RarCrypt::Other;
  }
  if (flags & kFileSolid) e.flags |= RAR_FLAG_SOLID;
  if (flags & kFileComment) e.flags |= RAR_FLAG_COMMENT;
  bool unixHost = host == RAR_HOST_UNIX || host == RAR_HOST_BEOS;
  if ((flags & kFileDirMask) == kFileDirMask || (unixHost ? (attr & 0170000) == 0040000 : (attr & 0x10) != 0))
    e.flags |= RAR_FLAG_DIRECTORY;
  else if (unixHost && (attr & 0170000) == 0120000)
    e.flags |= RAR_FLAG_SYMLINK;
  if (pack > file_.size() - std::min(file_.size(), pos_ + b.size)) b.truncated = true;
  RarPart part;
  part.headerOffset = b.offset;
  part.headerSize = b.size;
  part.dataOffset = b.offset + b.size;
  part.dataSize = pack;
  part.crc = fileCrc;
  part.hasCrc = true;
  if (flags & kFilePassword)
    part.header = plainFile4(h, size, saltAt);
  else if (headersEncrypted_)
    part.header.assign(reinterpret_cast<const char*>(h), size);
  e.parts.push_back(part);
  return RAR_SUCCESS;
}

int HeaderReader::readBlock5(Block& b) {
  b = Block();
  b.offset = pos_;
  std::vector<std::uint8_t> h;
  std::size_t vlen = 0;
  if (int rc = loadHeader5(h, vlen, b.size)) return rc;
  ByteReader r(h.data() + 4 + vlen, h.size() - 4 - vlen);
  std::uint64_t type = r.vint();
  std::uint64_t hflags = r.vint();
  std::uint64_t extraSize = (hflags & kHdrExtra) ? r.vint() : 0;
  b.dataSize = (hflags & kHdrData) ? r.vint() : 0;
  if (!r.ok() || extraSize > r.remaining()) return RAR_BAD_DATA;
  b.splitBefore = (hflags & kHdrSplitBefore) != 0;
  b.splitAfter = (hflags & kHdrSplitAfter) != 0;
  if (b.dataSize > file_.size() - std::min(file_.size(), pos_ + b.size)) b.truncated = true;
  const std::uint8_t* body = r.here();
  const std::size_t bodySize = r.remaining();
  switch (type) {
    case kMain5: {
      b.kind = Block::kMain;
      ByteReader m(body, bodySize - static_cast<std::size_t>(extraSize));
      std::uint64_t arcFlags = m.vint();
      std::uint64_t volNumber = (arcFlags & kArcVolumeNumber) ? m.vint() : 0;
      if (!m.ok()) return RAR_BAD_DATA;
      mainFlags_ = static_cast<std::uint32_t>(arcFlags);
      volumeSet_ = (arcFlags & kArcVolume) != 0;
      volumeNumber_ = volNumber;
      solid_ = (arcFlags & kArcSolid) != 0;
      newNumbering_ = true;
      if (headersEncrypted_) b.plain.assign(reinterpret_cast<const char*>(h.data()), h.size());
      return RAR_SUCCESS;
    }
    case kFile5:
    case kService5: {
      b.kind = type == kFile5 ? Block::kFile : Block::kService;
      if (int rc = parseFile5(body, bodySize, extraSize, b)) return rc;
      RarPart& part = b.entry.parts.back();
      if (b.entry.encrypted())
        part.header = plainFile5(type, hflags, b.dataSize, body, bodySize, static_cast<std::size_t>(extraSize),
                                 b.entry.crypt.tweakedChecksums);
      else if (headersEncrypted_)
        part.header.assign(reinterpret_cast<const char*>(h.data()), h.size());
      return RAR_SUCCESS;
    }
    case kCrypt5: {
      // Archive encryption: every later header is encrypted with this salt.
      b.kind = Block::kCrypt;
      ByteReader c(body, bodySize - static_cast<std::size_t>(extraSize));
      const std::uint64_t version = c.vint();
      const std::uint64_t cflags = c.vint();
      kdf5_ = c.u8();
      std::string_view salt = c.text(16);
      if (!c.ok() || version != 0 || kdf5_ > 24) return RAR_BAD_DATA;
      std::memcpy(salt5_.data(), salt.data(), 16);
      hasCheck5_ = false;
      if (cflags & 1) {
        std::string_view check = c.text(12);
        if (!c.ok()) return RAR_BAD_DATA;
        std::memcpy(check5_.data(), check.data(), 12);
        hasCheck5_ = rar5CheckIntact(check5_.data());
      }
      return RAR_SUCCESS;
    }
    case kEnd5: {
      b.kind = Block::kEnd;
      // Some writers leave out the flags of the last volume's end block.
      ByteReader m(body, bodySize - static_cast<std::size_t>(extraSize));
      std::uint64_t endFlags = m.remaining() ? m.vint() : 0;
      if (!m.ok()) return RAR_BAD_DATA;
      b.nextVolume = (endFlags & 1) != 0;
      return RAR_SUCCESS;
    }
    default: b.kind = Block::kOther; return RAR_SUCCESS;
  }
}

int HeaderReader::parseFile5(const std::uint8_t* body, std::size_t size, std::uint64_t extraSize, Block& b) {
  ByteReader r(body, size - static_cast<std::size_t>(extraSize));
  RarEntry& e = b.entry;
  std::uint64_t fileFlags = r.vint();
  std::uint64_t unp = r.vint();
  std::uint64_t attr = r.vint();
  if (fileFlags & kFileUnixTime) {
    e.mtime = r.u32();
    e.dosTime = dosFromUnix(e.mtime);
  }
  if (fileFlags & kFileCrc) {
    e.crc = r.u32();
    e.hasCrc = true;
  }
  std::uint64_t compInfo = r.vint();
  std::uint64_t host = r.vint();
  std::uint64_t nameLen = r.vint();
  std::string_view name = r.text(nameLen);
  if (!r.ok()) return RAR_BAD_DATA;
  if (b.kind == Block::kService)
    b.serviceName = std::string(name);
  else
    e.name = cleanName(std::string(name), false);
  e.unpSize = (fileFlags & kFileUnknownSize) ? 0 : unp;
  if (fileFlags & kFileUnknownSize) e.flags |= RAR_FLAG_UNSIZED;
  e.attr = static_cast<std::uint32_t>(attr);
  e.hostOS = host == 0 ? RAR_HOST_WIN32 : host == 1 ? RAR_HOST_UNIX : static_cast<std::uint32_t>(host) + 100;
  e.unpVer = (compInfo & 0x3f) == 0 ? 50 : 70;
  e.method = static_cast<std::uint32_t>((compInfo >> 7) & 7);
  e.dictSize = std::uint64_t{128 * 1024} << ((compInfo >> 10) & 0xf);
  if (compInfo & 0x40) e.flags |= RAR_FLAG_SOLID;
  if (fileFlags & kFileDirectory) e.flags |= RAR_FLAG_DIRECTORY;

  // Extra records: size, type, data.
  ByteReader x(body + size - extraSize, static_cast<std::size_t>(extraSize));
  while (x.ok() && x.remaining() > 0) {
    std::uint64_t recSize = x.vint();
    if (!x.ok() || recSize == 0 || recSize > x.remaining()) return RAR_BAD_DATA;
    ByteReader rec(x.here(), static_cast<std::size_t>(recSize));
    x.skip(recSize);
    std::uint64_t recType = rec.vint();
    if (recType == 1) {  // encryption
      std::uint64_t version = rec.vint();
      std::uint64_t cflags = rec.vint();
      std::uint8_t kdf = rec.u8();
      std::string_view salt = rec.text(16), iv = rec.text(16);
      e.flags |= RAR_FLAG_ENCRYPTED;
      e.crypt.kind = version == 0 && kdf <= 24 ? RarCrypt::Rar5Aes : RarCrypt::Other;
      e.crypt.kdfCount = kdf;
      e.crypt.tweakedChecksums = (cflags & 2) != 0;
      if (rec.ok()) {
        std::memcpy(e.crypt.salt.data(), salt.data(), 16);
        std::memcpy(e.crypt.iv.data(), iv.data(), 16);
      }
      if (cflags & 1) {
        std::string_view check = rec.text(12);
        if (rec.ok()) {
          std::memcpy(e.crypt.check.data(), check.data(), 12);
          e.crypt.hasCheck = true;
        }
      }
    } else if (recType == 3) {  // times
      std::uint64_t tflags = rec.vint();
      if (tflags & 2) {
        if (tflags & 1) {
          e.mtime = rec.u32();
          if (tflags & 0x10) {  // nanoseconds follow all the times
            int times = ((tflags & 2) ? 1 : 0) + ((tflags & 4) ? 1 : 0) + ((tflags & 8) ? 1 : 0);
            rec.skip(4u * static_cast<unsigned>(times - 1));
            std::uint32_t ns = rec.u32();
            if (rec.ok() && ns < 1000000000u) e.mtimeNs = ns;
          }
        } else {
          std::uint64_t ft = rec.u64();
          if (rec.ok()) fromFileTime(ft, e.mtime, e.mtimeNs);
        }
        if (rec.ok()) e.dosTime = dosFromUnix(e.mtime);
      }
    } else if (recType == 5) {  // redirection: link or file copy
      std::uint64_t rtype = rec.vint();
      rec.vint();  // flags: the target is a folder
      std::uint64_t len = rec.vint();
      std::string_view target = rec.text(len);
      if (rec.ok() && rtype >= 1 && rtype <= 5) {
        e.redirType = static_cast<int>(rtype);
        e.linkTarget = std::string(target.substr(0, target.find('\0')));
        if (rtype == 4 || rtype == 5)
          e.flags |= RAR_FLAG_HARDLINK;
        else
          e.flags |= RAR_FLAG_SYMLINK;
      }
    }
  }
  if (!(e.flags & (RAR_FLAG_SYMLINK | RAR_FLAG_HARDLINK | RAR_FLAG_DIRECTORY)) && e.hostOS == RAR_HOST_UNIX &&
      (attr & 0170000) == 0120000)
    e.flags |= RAR_FLAG_SYMLINK;  // a link without a redirection record keeps its text as data
  e.packSize = b.dataSize;
  RarPart part;
  part.headerOffset = b.offset;
  part.headerSize = b.size;
  part.dataOffset = b.offset + b.size;
  part.dataSize = b.dataSize;
  part.crc = e.crc;
  part.hasCrc = e.hasCrc;
  e.parts.push_back(part);
  return RAR_SUCCESS;
}

void HeaderReader::consume(const Block& b) {
  if (b.truncated) {
    pos_ = file_.size() + 1;  // nothing valid follows
    return;
  }
  pos_ = b.offset + b.size + b.dataSize;
}

// The archive comment: a service block named "CMT" among the blocks between the
// main header and the first file.
void HeaderReader::readComment() {
  if (comment_.present) return;
  const std::uint64_t saved = pos_;
  for (int i = 0; i < 16; ++i) {
    Block b;
    if (readBlock(b) != RAR_SUCCESS || b.kind == Block::kFile || b.kind == Block::kEnd) break;
    if (b.kind == Block::kService && b.serviceName == "CMT" && !b.truncated) {
      const RarEntry& e = b.entry;
      comment_.present = true;
      comment_.unpSize = e.unpSize;
      comment_.crc = e.crc;
      comment_.unpVer = e.unpVer;
      comment_.hostOS = e.hostOS;
      comment_.stored = e.method == 0;
      comment_.methodByte = format_ == RarFormat::Rar4 ? e.method + 0x30 : e.method;
      if (e.encrypted() || (format_ == RarFormat::Rar5 && !comment_.stored)) {
        comment_.state = RAR_UNKNOWN_FORMAT;
      } else if (b.dataSize > kMaxComment) {
        comment_.state = RAR_SMALL_BUF;
      } else {
        comment_.data.resize(static_cast<std::size_t>(b.dataSize));
        if (!file_.read(b.offset + b.size, comment_.data.data(), comment_.data.size())) comment_.state = RAR_BAD_DATA;
        if (comment_.stored && comment_.data.size() > comment_.unpSize) comment_.data.resize(comment_.unpSize);
      }
      break;
    }
    consume(b);
  }
  pos_ = saved;
}

// The next volume by the set's naming (also when an earlier one was found under
// another name), asking the callback once when it is missing. A file that is
// already part of the set, or a volume of the 5.0 format numbered out of turn,
// is refused: a set never loops.
int HeaderReader::nextVolume() {
  sequenceName_ = nextVolumeName(sequenceName_, newNumbering_);
  std::string name = sequenceName_;
  if (name.empty()) return RAR_EOPEN;
  for (int attempt = 0; attempt < 2; ++attempt) {
    VolumeFile v;
    if (v.open(name)) {
      if (!opened_.insert(v.identity()).second) return RAR_BAD_DATA;
      if (volumeCallback_ && volumeCallback_(name, RAR_VOL_NOTIFY) <= 0) return RAR_EOPEN;
      std::uint64_t mainEnd = 0;
      const std::uint32_t flags = mainFlags_;
      const bool solid = solid_, encrypted = headersEncrypted_;
      int r = readSignature(v, false, mainEnd);
      mainFlags_ = flags;  // the set keeps the first volume's properties
      solid_ = solid;
      if (r != RAR_SUCCESS || headersEncrypted_ != encrypted) return r != RAR_SUCCESS ? r : RAR_BAD_DATA;
      if (format_ == RarFormat::Rar5 && volumeNumber_ != volumes_.size()) return RAR_BAD_DATA;
      volumes_.push_back(v.path());
      file_ = std::move(v);
      pos_ = mainEnd;
      return RAR_SUCCESS;
    }
    if (!volumeCallback_ || attempt == 1) break;
    std::string asked = name;
    if (volumeCallback_(asked, RAR_VOL_ASK) <= 0) break;
    if (!asked.empty()) name = asked;
  }
  return RAR_EOPEN;
}

int HeaderReader::next(RarEntry& out) {
  if (failed_) return failed_;
  if (format_ == RarFormat::None) return failed_ = RAR_BAD_PARAMS;
  // Without the password (or with a wrong one) the walk stays where it is, to be
  // asked again once a password is set.
  if (headersEncrypted_ && password_.empty()) return RAR_MISSING_PASSWORD;
  RarEntry building;
  bool have = false;
  // Ends the walk with result r, handing out what was built so far as incomplete.
  auto stop = [&](int r) {
    failed_ = r;
    if (!have) return r;
    building.complete = false;
    out = std::move(building);
    return static_cast<int>(RAR_SUCCESS);
  };
  for (;;) {
    Block b;
    int r = readBlock(b);
    if (r == RAR_END_ARCHIVE) {
      // A volume that ends without an end block: the set goes on only when an
      // entry waits for its next part.
      if (!have) return failed_ = RAR_END_ARCHIVE;
      if (volumeSet_ && (r = nextVolume()) == RAR_SUCCESS) continue;
      return stop(r == RAR_END_ARCHIVE ? RAR_BAD_DATA : r);
    }
    if ((r == RAR_MISSING_PASSWORD || r == RAR_BAD_PASSWORD) && !have) return r;
    if (r != RAR_SUCCESS) return stop(r);
    switch (b.kind) {
      case Block::kEnd:
        if (b.nextVolume || (have && volumeSet_)) {
          if ((r = nextVolume()) != RAR_SUCCESS) return stop(r);
          continue;
        }
        if (have) return stop(RAR_BAD_DATA);
        return failed_ = RAR_END_ARCHIVE;
      case Block::kFile:
        if (have) {
          // Only the first file of the next volume can continue the entry.
          const int here = static_cast<int>(volumes_.size()) - 1;
          if (!b.splitBefore || b.entry.name != building.name || here <= building.parts.back().volume) {
            building.complete = false;
            out = std::move(building);
            return RAR_SUCCESS;  // this block is read again by the next call
          }
          RarPart part = b.entry.parts.front();
          part.volume = static_cast<int>(volumes_.size()) - 1;
          building.parts.push_back(part);
          building.packSize += part.dataSize;
          building.crc = b.entry.crc;
          building.hasCrc = b.entry.hasCrc;
          consume(b);
          if (b.truncated) building.complete = false;
          if (!b.splitAfter || b.truncated) {
            out = std::move(building);
            return RAR_SUCCESS;
          }
          continue;
        }
        building = std::move(b.entry);
        building.parts.front().volume = static_cast<int>(volumes_.size()) - 1;
        have = true;
        consume(b);
        if (b.truncated) building.complete = false;
        if (b.splitBefore) {
          building.flags |= RAR_FLAG_SPLIT_BEFORE;  // its start lies in a volume not read
          building.complete = false;
        }
        if (!b.splitAfter || b.truncated) {
          out = std::move(building);
          return RAR_SUCCESS;
        }
        continue;
      case Block::kMain:
        if (format_ == RarFormat::Rar5 && headersEncrypted_) {
          // Encrypted headers: the main header follows the encryption block.
          if (!mainSeen_) {
            prefix_.assign(kSig5, kSig5 + 8);
            prefix_.insert(prefix_.end(), b.plain.begin(), b.plain.end());
          }
          mainSeen_ = true;
          consume(b);
          continue;
        }
        return stop(RAR_BAD_DATA);  // only at the start of a volume
      case Block::kCrypt: return stop(RAR_BAD_DATA);
      default: consume(b); continue;
    }
  }
}

}  // namespace rarlib
