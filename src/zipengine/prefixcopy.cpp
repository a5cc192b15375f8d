#include "zipengine/prefixcopy.h"

#include <unistd.h>

#include <algorithm>
#include <vector>

#include "zipcore/fileio.h"
#include "zipcore/inputfile.h"
#include "zipcore/records.h"
#include "zipengine/zipengine.h"

namespace zipfmt {

using namespace zipcore;

namespace {

constexpr const char* kTooLarge = "The archive is too large for its offsets";

// Moves the local-header offset of every central header in cd by `by`.
bool shiftCentralDirectory(std::string& cd, std::int64_t by, std::string& error) {
  std::size_t pos = 0;
  while (cd.size() - pos >= kCentralHeaderSize) {
    auto* h = reinterpret_cast<unsigned char*>(cd.data() + pos);
    if (get32(h) != kCentralHeaderSig) {
      error = "A central header signature is wrong";
      return false;
    }
    const std::size_t total = kCentralHeaderSize + get16(h + 28) + get16(h + 30) + get16(h + 32);
    if (total > cd.size() - pos) {
      error = "Error while reading a central header";
      return false;
    }
    switch (MoveCentralHeaderOffset(h, total, by)) {
      case OffsetMove::Moved: break;
      case OffsetMove::TooLarge: error = kTooLarge; return false;
      case OffsetMove::Malformed: error = "Error while reading a central header"; return false;
    }
    pos += total;
  }
  return true;
}

}  // namespace

PrefixCopyResult CopyZipDataWithPrefix(const TZipEngine& engine, const std::string& prefixFile, int targetFd,
                                       const std::string& target, const std::function<bool()>& cancelled,
                                       std::string_view prefixBytes) {
  PrefixCopyResult r;
  InputFile in;
  if (!in.open(engine.ZipFilename())) {
    r.error = "Cannot open " + engine.ZipFilename();
    return r;
  }
  auto write = [&](const std::string& bytes) {
    if (writeAll(targetFd, bytes.data(), bytes.size())) return true;
    r.error = "Error while writing " + target;
    return false;
  };
  std::string buf;
  // Copies count bytes of from at offset at, polling for a cancel between blocks.
  auto copy = [&](const InputFile& from, const std::string& name, std::uint64_t at, std::uint64_t count) {
    while (count > 0) {
      if (cancelled && cancelled()) {
        r.cancelled = true;
        return false;
      }
      const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(count, 1 << 16));
      if (!from.readExact(at, buf, n)) {
        r.error = "Error while reading " + name;
        return false;
      }
      if (!write(buf)) return false;
      at += n;
      count -= n;
    }
    return true;
  };

  std::uint64_t prefixLen = 0;
  if (!prefixFile.empty()) {
    InputFile pre;
    if (!pre.open(prefixFile)) {
      r.error = "Cannot open " + prefixFile;
      return r;
    }
    prefixLen = pre.size();
    if (!copy(pre, prefixFile, 0, prefixLen)) return r;
  }
  if (!prefixBytes.empty()) {
    if (!write(std::string(prefixBytes))) return r;
    prefixLen += prefixBytes.size();
  }

  const std::uint64_t start = engine.ContentStart();
  const std::uint64_t realCd = engine.CentralDirOffset();
  const std::uint64_t cdSize = engine.CentralDirSize();
  const std::uint64_t eocdAt = engine.DirEndOffset();
  const std::uint64_t end = engine.ArchiveFileSize();
  std::uint64_t storedCd = engine.EocdImage().CentralDirOffset;
  if (storedCd == kMax32 && engine.Zip64End()) storedCd = engine.Zip64End()->CentralDirOffset;
  if (realCd < start || cdSize > eocdAt || realCd > eocdAt - cdSize || end < kEndSize || eocdAt > end - kEndSize) {
    r.error = "The archive's directory could not be located";
    return r;
  }
  // A stored offset v names the real position v + (realCd - storedCd); in the new
  // file that position moves by prefixLen - start.
  const std::int64_t by = static_cast<std::int64_t>(realCd) - static_cast<std::int64_t>(storedCd) +
                          static_cast<std::int64_t>(prefixLen) - static_cast<std::int64_t>(start);

  if (!copy(in, engine.ZipFilename(), start, realCd - start)) return r;
  std::string cd;
  if (!in.readExact(realCd, cd, static_cast<std::size_t>(cdSize))) {
    r.error = "Error while reading a central header";
    return r;
  }
  if (!shiftCentralDirectory(cd, by, r.error)) return r;
  // From the directory's end to the comment's end: the ZIP64 end record and
  // locator (when there), the end record and the comment.
  std::string tail;
  if (!in.readExact(realCd + cdSize, tail, static_cast<std::size_t>(end - realCd - cdSize))) {
    r.error = "Error while reading the End Of Central Directory";
    return r;
  }
  auto* t = reinterpret_cast<unsigned char*>(tail.data());
  const auto eocd = static_cast<std::size_t>(eocdAt - realCd - cdSize);
  if (tail.size() >= kZip64EndSize && get32(t) == kZip64EndSig && !MoveOffsetField(t + 48, 8, by)) {
    r.error = kTooLarge;
    return r;
  }
  if (eocd >= kZip64LocatorSize && get32(t + eocd - kZip64LocatorSize) == kZip64LocatorSig)
    MoveOffsetField(t + eocd - kZip64LocatorSize + 8, 8, by);
  if (get32(t + eocd + 16) != kMax32 && !MoveOffsetField(t + eocd + 16, 4, by)) {
    r.error = kTooLarge;
    return r;
  }
  if (!write(cd) || !write(tail)) return r;
  if (::fsync(targetFd) != 0) {
    r.error = "Error while writing " + target;
    return r;
  }
  r.ok = true;
  return r;
}

}  // namespace zipfmt
