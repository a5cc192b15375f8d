// The central directory: 46 fixed bytes per header ("PK\1\2", then the 42 bytes an
// entry keeps), the name, the extra field and the file comment, one header after
// the other for as many bytes as the end record gives the directory.
//
// The directory is walked by its size, not by the end record's entry count: some
// writers store the count modulo 65536 in archives of more entries without ZIP64
// records, and a lying count must not hide entries. The count still decides what
// bytes after the last header mean: while fewer headers than counted were found,
// anything but a header is damage; after that, the walk ends there (a digital
// signature record, or filler some writers leave).
#include <cstring>
#include <limits>

#include "zipcore/directory.h"

namespace zipcore {

namespace {

constexpr std::uint32_t kUnixTypeMask = 0170000;
constexpr std::uint32_t kUnixDir = 0040000;
constexpr std::uint32_t kUnixLink = 0120000;

// Where the directory starts: right in front of the (ZIP64) end record, as far
// back as its size says. Writers that leave bytes between the directory and the
// end record are read from the stored offset instead, when a header is there and
// not at the computed place.
std::uint64_t directoryStart(const InputFile& file, const EndRecords& end) {
  const std::uint64_t size = end.centralSize();
  const std::uint64_t computed = end.directoryEnd() - size;
  const std::uint64_t stored = end.storedCentralOffset();
  if (size < 4 || stored == computed) return computed;
  unsigned char sig[4];
  if (file.readExact(computed, sig, 4) && get32(sig) == kCentralHeaderSig) return computed;
  if (stored <= end.directoryEnd() - size && file.readExact(stored, sig, 4) && get32(sig) == kCentralHeaderSig)
    return stored;
  return computed;
}

// The stored offset moved by shift; false when the result leaves 0..2^64.
bool moveOffset(std::uint64_t stored, std::int64_t shift, std::uint64_t& out) {
  if (shift >= 0) {
    const auto by = static_cast<std::uint64_t>(shift);
    if (stored > std::numeric_limits<std::uint64_t>::max() - by) return false;
    out = stored + by;
  } else {
    const std::uint64_t by = static_cast<std::uint64_t>(-(shift + 1)) + 1;
    if (stored < by) return false;
    out = stored - by;
  }
  return true;
}

}  // namespace

bool ZipEntry::isDirectory() const {
  if (!rawName.empty() && (rawName.back() == '/' || rawName.back() == '\\')) return true;
  const std::uint32_t mode = unixMode();
  if (mode) return (mode & kUnixTypeMask) == kUnixDir;
  return (externalAttr & 0x10) != 0;  // MS-DOS directory attribute
}

bool ZipEntry::isSymlink() const { return (unixMode() & kUnixTypeMask) == kUnixLink; }

std::uint32_t ZipEntry::unixMode() const { return host() == kHostUnix ? externalAttr >> 16 : 0; }

std::int64_t ZipEntry::modTime() const {
  if (auto t = extraModTime(extra)) return *t;
  return dosToUnix(dosTime).value_or(315532800);  // 1980-01-01 for an impossible DOS value
}

const char* DescribeDirError(DirError error) {
  switch (error) {
    case DirError::None: return "no error";
    case DirError::NotZip: return "not a ZIP archive (no end of central directory record)";
    case DirError::ReadError: return "cannot read the archive";
    case DirError::SizeBeyondEnd: return "damaged end of central directory record (directory size)";
    case DirError::ShortHeader: return "damaged central directory (a header is cut short)";
    case DirError::BadSignature: return "damaged central directory (bad header signature)";
    case DirError::ShortName: return "damaged central directory (a name runs past its end)";
    case DirError::ShortExtra: return "damaged central directory (an extra field runs past its end)";
    case DirError::ShortComment: return "damaged central directory (a file comment runs past its end)";
  }
  return "damaged central directory";
}

DirError ParseCentralHeader(std::string_view bytes, CodePageOpts codePage, ZipEntry& e, std::size_t& consumed) {
  consumed = 0;
  if (bytes.size() < kCentralHeaderSize) return DirError::ShortHeader;
  if (get32(bytes, 0) != kCentralHeaderSig) return DirError::BadSignature;
  std::memcpy(&e.stored, bytes.data() + 4, sizeof e.stored);
  const CentralFields& f = e.stored;

  // Name, extra field and comment lengths (16 bits each) must fit the bytes left.
  std::size_t at = kCentralHeaderSize;
  if (f.NameLength > bytes.size() - at) return DirError::ShortName;
  e.rawName.assign(bytes.substr(at, f.NameLength));
  at += f.NameLength;
  if (f.ExtraLength > bytes.size() - at) return DirError::ShortExtra;
  e.extra.assign(bytes.substr(at, f.ExtraLength));
  at += f.ExtraLength;
  if (f.CommentLength > bytes.size() - at) return DirError::ShortComment;
  e.comment.assign(bytes.substr(at, f.CommentLength));
  at += f.CommentLength;

  e.versionMadeBy = f.VersionMadeBy;
  e.versionNeeded = f.VersionNeeded;
  e.flags = f.GeneralFlags;
  e.method = f.Method;
  e.dosTime = static_cast<std::uint32_t>(f.ModTime) | (std::uint32_t{f.ModDate} << 16);
  e.crc = f.Crc32;
  e.internalAttr = f.InternalAttributes;
  e.externalAttr = f.ExternalAttributes;

  Zip64Values z;
  z.needUncompressed = f.UncompressedSize == kMax32;
  z.needCompressed = f.CompressedSize == kMax32;
  z.needOffset = f.LocalHeaderOffset == kMax32;
  z.needDisk = f.DiskNumberStart == kMax16;
  e.uncompressedSize = f.UncompressedSize;
  e.compressedSize = f.CompressedSize;
  e.storedOffset = f.LocalHeaderOffset;
  e.diskNumberStart = f.DiskNumberStart;
  e.zip64Missing = false;
  if (z.needUncompressed || z.needCompressed || z.needOffset || z.needDisk) {
    if (const std::optional<std::string_view> block = findExtra(e.extra, kExtraZip64)) readZip64(*block, z);
    if (z.uncompressed) e.uncompressedSize = *z.uncompressed;
    if (z.compressed) e.compressedSize = *z.compressed;
    if (z.offset) e.storedOffset = *z.offset;
    if (z.disk) e.diskNumberStart = *z.disk;
    // A missing size or offset leaves the data unreachable; a missing disk number
    // only the disk unknown.
    e.zip64Missing =
        (z.needUncompressed && !z.uncompressed) || (z.needCompressed && !z.compressed) || (z.needOffset && !z.offset);
  }
  e.localOffset = e.storedOffset;
  e.offsetInFile = true;
  e.name = EntryName(e.rawName, e.extra, e.versionMadeBy, e.flags, codePage);
  consumed = at;
  return DirError::None;
}

DirError ReadCentralDirectory(const InputFile& file, const EndRecords& end, CodePageOpts codePage, Directory& dir) {
  dir.entries.clear();
  dir.end = end;
  dir.fileSize = file.size();
  dir.recordedEntries = end.totalEntries();
  dir.centralSize = end.centralSize();
  dir.storedCentralOffset = end.storedCentralOffset();
  // The directory lies in front of its end record.
  if (dir.centralSize > end.directoryEnd()) return DirError::SizeBeyondEnd;
  dir.centralOffset = directoryStart(file, end);
  dir.structureError = dir.centralOffset != dir.storedCentralOffset;
  // Both offsets are below 2^63 in any file this system can hold.
  dir.offsetShift = static_cast<std::int64_t>(dir.centralOffset) - static_cast<std::int64_t>(dir.storedCentralOffset);

  std::string bytes;
  if (dir.centralSize > std::numeric_limits<std::size_t>::max() ||
      !file.readExact(dir.centralOffset, bytes, static_cast<std::size_t>(dir.centralSize)))
    return DirError::ReadError;

  // Every header takes 46 bytes at least: the directory's size bounds the entries.
  dir.entries.reserve(
      static_cast<std::size_t>(std::min<std::uint64_t>(dir.recordedEntries, bytes.size() / kCentralHeaderSize)));
  const std::string_view all(bytes);
  std::size_t at = 0;
  while (at < all.size()) {
    const std::string_view rest = all.substr(at);
    const bool header = rest.size() >= 4 && get32(rest, 0) == kCentralHeaderSig;
    if (!header) {
      if (dir.entries.size() >= dir.recordedEntries) break;  // all counted headers found
      if (rest.size() >= 4 && get32(rest, 0) == kDigitalSignatureSig) break;
      return rest.size() < 4 ? DirError::ShortHeader : DirError::BadSignature;
    }
    ZipEntry e;
    std::size_t used = 0;
    if (DirError error = ParseCentralHeader(rest, codePage, e, used); error != DirError::None) return error;
    e.offsetInFile = moveOffset(e.storedOffset, dir.offsetShift, e.localOffset);
    dir.entries.push_back(std::move(e));
    at += used;
  }
  // The first local header's place in this file: its stored offset moved by as much
  // as the directory was found away from its stored place.
  std::uint64_t lowest = dir.entries.empty() ? dir.storedCentralOffset : std::numeric_limits<std::uint64_t>::max();
  for (const ZipEntry& e : dir.entries) lowest = std::min(lowest, e.storedOffset);
  std::uint64_t start = 0;
  if (!moveOffset(lowest, dir.offsetShift, start)) start = 0;
  // A first header after the directory is no stub length.
  dir.prefixLength = start <= dir.centralOffset ? start : 0;
  return DirError::None;
}

DirError ReadDirectory(const InputFile& file, Directory& dir, CodePageOpts codePage) {
  dir = Directory{};
  dir.fileSize = file.size();
  EndRecords end;
  switch (FindEndRecords(file, end)) {
    case EndSearch::Found: break;
    case EndSearch::NotFound: return DirError::NotZip;
    case EndSearch::ReadError: return DirError::ReadError;
  }
  return ReadCentralDirectory(file, end, codePage, dir);
}

}  // namespace zipcore
