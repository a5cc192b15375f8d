#include "ziplibs/zipdirectory.h"

#include <sys/stat.h>

#include <algorithm>

#include "platform/codepage.h"
#include "ziplibs/fileio.h"
#include "ziplibs/zipformat.h"

namespace ziplibs {

namespace {

constexpr std::uint32_t kUnixTypeMask = 0170000;
constexpr std::uint32_t kUnixDir = 0040000;
constexpr std::uint32_t kUnixLink = 0120000;

// Where the end records say the central directory is.
struct EndInfo {
  std::uint64_t endPos = 0;       // file offset of the end record
  std::uint64_t directoryEnd = 0;  // where the central directory must end (ZIP64 record or end record)
  std::uint64_t entries = 0, cdSize = 0, cdOffset = 0;
  std::string comment;
};

bool readExact(int fd, std::string& buf, std::size_t size, std::uint64_t at) {
  buf.resize(size);
  return preadFull(fd, buf.data(), size, at) == static_cast<long long>(size);
}

// Scans back from the end for the end record. A candidate whose comment ends
// exactly at the end of the file wins; else the last plausible one (data after
// the archive); else one whose comment the end of the file cuts short.
bool findEndRecord(int fd, std::uint64_t fileSize, EndInfo& end, std::string& error) {
  const std::uint64_t span = std::min<std::uint64_t>(fileSize, 65535 + kEndSize);
  std::string tail;
  if (!readExact(fd, tail, span, fileSize - span)) {
    error = "cannot read the end of the archive";
    return false;
  }
  const std::uint64_t base = fileSize - span;
  std::optional<std::size_t> exact, loose, cut;
  for (std::size_t i = span - kEndSize + 1; i-- > 0;) {
    if (get32(tail, i) != kEndSig) continue;
    std::uint64_t commentEnd = base + i + kEndSize + get16(tail, i + 20);
    // End record: central directory size and offset must fit in front of it.
    std::uint64_t cdSize = get32(tail, i + 12);
    if (cdSize != kMax32 && cdSize > base + i) continue;
    if (commentEnd == fileSize) {
      exact = i;
      break;
    }
    if (commentEnd < fileSize && !loose) loose = i;
    if (commentEnd > fileSize && !cut) cut = i;  // comment cut short by the end of the file
  }
  if (!exact && !loose) loose = cut;
  if (!exact && !loose) {
    error = "not a ZIP archive (no end of central directory record)";
    return false;
  }
  std::size_t i = exact ? *exact : *loose;
  end.endPos = base + i;
  end.directoryEnd = end.endPos;
  end.entries = get16(tail, i + 10);
  end.cdSize = get32(tail, i + 12);
  end.cdOffset = get32(tail, i + 16);
  end.comment = tail.substr(i + kEndSize, get16(tail, i + 20));
  return true;
}

// A ZIP64 locator right in front of the end record points to the ZIP64 end
// record, which holds the full-width values. The locator's offset may not count a
// prefix; the record is then looked for right in front of the locator.
bool readZip64End(int fd, EndInfo& end, std::string& error) {
  if (end.endPos < kZip64LocatorSize) return true;
  std::string loc;
  if (!readExact(fd, loc, kZip64LocatorSize, end.endPos - kZip64LocatorSize) || get32(loc, 0) != kZip64LocatorSig)
    return true;
  const std::uint64_t locPos = end.endPos - kZip64LocatorSize;
  std::string rec;
  std::uint64_t at = get64(loc, 8);
  bool found = at + kZip64EndSize <= locPos && readExact(fd, rec, kZip64EndSize, at) && get32(rec, 0) == kZip64EndSig;
  if (!found && locPos >= kZip64EndSize) {
    at = locPos - kZip64EndSize;
    found = readExact(fd, rec, kZip64EndSize, at) && get32(rec, 0) == kZip64EndSig;
  }
  if (!found) {
    error = "damaged ZIP64 end of central directory record";
    return false;
  }
  end.directoryEnd = at;
  if (end.entries == kMax16) end.entries = get64(rec, 32);
  if (end.cdSize == kMax32) end.cdSize = get64(rec, 40);
  if (end.cdOffset == kMax32) end.cdOffset = get64(rec, 48);
  return true;
}

// Parses one central header at buf[at]; advances at. False with error when it is
// damaged. shift corrects the stored local-header offset.
bool parseCentralHeader(std::string_view buf, std::size_t& at, std::int64_t shift, ZipEntry& e, std::string& error) {
  if (at + kCentralHeaderSize > buf.size() || get32(buf, at) != kCentralHeaderSig) {
    error = "damaged central directory (bad header signature)";
    return false;
  }
  std::size_t n = get16(buf, at + 28), x = get16(buf, at + 30), c = get16(buf, at + 32);
  // Name, extra field and comment lengths: all within the directory.
  if (at + kCentralHeaderSize + n + x + c > buf.size()) {
    error = "damaged central directory (header runs past its end)";
    return false;
  }
  e.versionMadeBy = get16(buf, at + 4);
  e.versionNeeded = get16(buf, at + 6);
  e.flags = get16(buf, at + 8);
  e.method = get16(buf, at + 10);
  e.dosTime = get32(buf, at + 12);
  e.crc = get32(buf, at + 16);
  e.compressedSize = get32(buf, at + 20);
  e.uncompressedSize = get32(buf, at + 24);
  e.internalAttr = get16(buf, at + 36);
  e.externalAttr = get32(buf, at + 38);
  std::uint64_t offset = get32(buf, at + 42);
  e.rawName.assign(buf.substr(at + kCentralHeaderSize, n));
  e.extra.assign(buf.substr(at + kCentralHeaderSize + n, x));
  e.comment.assign(buf.substr(at + kCentralHeaderSize + n + x, c));
  at += kCentralHeaderSize + n + x + c;

  Zip64Values z;
  z.needUncompressed = e.uncompressedSize == kMax32;
  z.needCompressed = e.compressedSize == kMax32;
  z.needOffset = offset == kMax32;
  if (z.needUncompressed || z.needCompressed || z.needOffset) {
    auto field = findExtra(e.extra, kExtraZip64);
    if (!field || !readZip64(*field, z)) {
      error = "damaged ZIP64 extra field of " + e.rawName;
      return false;
    }
    if (z.needUncompressed) e.uncompressedSize = z.uncompressed;
    if (z.needCompressed) e.compressedSize = z.compressed;
    if (z.needOffset) offset = z.offset;
  }
  e.localOffset = offset + static_cast<std::uint64_t>(shift);
  e.name = entryDisplayName(e.versionMadeBy, e.flags, e.rawName, e.extra);
  return true;
}

}  // namespace

bool ZipEntry::isDirectory() const {
  if (!rawName.empty() && (rawName.back() == '/' || rawName.back() == '\\')) return true;
  std::uint32_t mode = unixMode();
  if (mode) return (mode & kUnixTypeMask) == kUnixDir;
  return (externalAttr & 0x10) != 0;  // MS-DOS directory attribute
}

bool ZipEntry::isSymlink() const { return (unixMode() & kUnixTypeMask) == kUnixLink; }

std::uint32_t ZipEntry::unixMode() const { return host() == kHostUnix ? externalAttr >> 16 : 0; }

std::int64_t ZipEntry::modTime() const {
  if (auto t = extraModTime(extra)) return *t;
  return dosToUnix(dosTime).value_or(315532800);  // 1980-01-01 for an impossible DOS value
}

std::string entryDisplayName(std::uint16_t versionMadeBy, std::uint16_t flags, std::string_view rawName,
                             std::string_view extra) {
  if (flags & kFlagUtf8) return std::string(rawName);
  // Unicode path field: version 1, CRC-32 of the header name, the UTF-8 name.
  if (auto up = findExtra(extra, kExtraUnicodePath); up && up->size() > 5 && (*up)[0] == 1 &&
                                                      get32(*up, 1) == crc32Of(rawName)) {
    std::string_view utf8 = up->substr(5);
    if (platform::isValidUtf8(utf8)) return std::string(utf8);
  }
  std::uint8_t host = std::uint8_t(versionMadeBy >> 8), version = std::uint8_t(versionMadeBy & 0xFF);
  bool oem = host == kHostFat || host == kHostHpfs || (host == kHostNtfs && version == 50);
  if (oem && !platform::isAscii(rawName)) return platform::cp437ToUtf8(rawName);
  return std::string(rawName);
}

bool readZipDirectory(int fd, ZipDirectory& dir, std::string& error) {
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    error = "the archive is not a regular file";
    return false;
  }
  dir = ZipDirectory{};
  dir.fileSize = static_cast<std::uint64_t>(st.st_size);
  if (dir.fileSize < kEndSize) {
    error = "not a ZIP archive (too short)";
    return false;
  }
  EndInfo end;
  if (!findEndRecord(fd, dir.fileSize, end, error) || !readZip64End(fd, end, error)) return false;
  dir.comment = end.comment;
  // Central directory size: it lies in front of its end record.
  if (end.cdSize > end.directoryEnd) {
    error = "damaged end of central directory record (directory size)";
    return false;
  }
  // Where the directory really starts: at the stored offset when a header (or
  // the end record) is found there, else right in front of the end records.
  std::string probe;
  auto startsThere = [&](std::uint64_t at) {
    if (at + end.cdSize > end.directoryEnd) return false;
    if (end.cdSize == 0) return at + end.cdSize == end.directoryEnd;
    return readExact(fd, probe, 4, at) && get32(probe, 0) == kCentralHeaderSig;
  };
  std::uint64_t start = end.cdOffset;
  if (!startsThere(start)) {
    start = end.directoryEnd - end.cdSize;
    if (!startsThere(start)) {
      error = "damaged archive: the central directory is not where the end record says";
      return false;
    }
  }
  dir.centralOffset = start;
  dir.centralSize = end.cdSize;
  const std::int64_t shift = static_cast<std::int64_t>(start) - static_cast<std::int64_t>(end.cdOffset);
  dir.offsetShift = static_cast<std::uint64_t>(shift);

  std::string cd;
  if (!readExact(fd, cd, end.cdSize, start)) {
    error = "cannot read the central directory";
    return false;
  }
  // Entry count: never reserve more than the directory's bytes can hold.
  dir.entries.reserve(std::min<std::uint64_t>(end.entries, cd.size() / kCentralHeaderSize));
  std::size_t at = 0;
  for (std::uint64_t i = 0; i < end.entries; ++i) {
    ZipEntry e;
    if (!parseCentralHeader(cd, at, shift, e, error)) return false;
    dir.entries.push_back(std::move(e));
  }
  dir.prefixLength = start;
  for (const ZipEntry& e : dir.entries) dir.prefixLength = std::min(dir.prefixLength, e.localOffset);
  return true;
}

bool readLocalHeader(int fd, const ZipEntry& e, std::uint64_t limit, LocalHeader& lh, std::string& error) {
  lh = LocalHeader{};
  lh.headerOffset = e.localOffset;
  std::string head;
  // Local header: 30 fixed bytes in front of the central directory.
  if (e.localOffset > limit || limit - e.localOffset < kLocalHeaderSize ||
      !readExact(fd, head, kLocalHeaderSize, e.localOffset) || get32(head, 0) != kLocalHeaderSig) {
    error = "local header missing or damaged";
    return false;
  }
  std::size_t n = get16(head, 26), x = get16(head, 28);
  std::string rest;
  if (e.localOffset + kLocalHeaderSize + n + x > limit || !readExact(fd, rest, n + x, e.localOffset + kLocalHeaderSize)) {
    error = "local header runs past the central directory";
    return false;
  }
  lh.flags = get16(head, 6);
  lh.method = get16(head, 8);
  lh.dosTime = get32(head, 10);
  lh.dataOffset = e.localOffset + kLocalHeaderSize + n + x;
  lh.zip64 = findExtra(std::string_view(rest).substr(n), kExtraZip64).has_value();
  lh.raw = head + rest;
  // Member data: compressed size bytes, within the archive's data area.
  if (e.compressedSize > limit - lh.dataOffset) {
    error = "member data runs past the central directory";
    return false;
  }
  if (lh.flags & kFlagDescriptor) {
    std::uint64_t dataEnd = lh.dataOffset + e.compressedSize;
    std::string sig;
    bool hasSig = readExact(fd, sig, 4, dataEnd) && get32(sig, 0) == kDescriptorSig;
    lh.descriptorSize = (hasSig ? 4 : 0) + 4 + (lh.zip64 ? 16 : 8);
    // Data descriptor: CRC and sizes after the data, in front of the directory.
    if (lh.descriptorSize > limit - dataEnd) lh.descriptorSize = limit - dataEnd;
  }
  return true;
}

}  // namespace ziplibs
