// Central headers and end records of spanned sets.
#include "zipengine/spanrecords.h"

#include <cstring>
#include <vector>

#include "zipcore/records.h"
#include "zipcore/writerecords.h"

using namespace zipcore;

namespace spanrec {

bool CentralHeaderAt(const ZipEntry& e, std::uint32_t disk, std::uint64_t offset, std::string& out) {
  if (disk >= kMax16) return false;
  out.clear();
  out.reserve(kCentralHeaderSize + e.rawName.size() + e.extra.size() + e.comment.size());
  put32(out, kCentralHeaderSig);
  out.append(reinterpret_cast<const char*>(&e.stored), sizeof e.stored);
  out += e.rawName;
  out += e.extra;
  out += e.comment;
  auto* h = reinterpret_cast<unsigned char*>(out.data());
  put16(h + 34, static_cast<std::uint16_t>(disk));
  const std::int64_t by = static_cast<std::int64_t>(offset) - static_cast<std::int64_t>(e.storedOffset);
  if (MoveCentralHeaderOffset(h, out.size(), by) == OffsetMove::Moved) return true;
  // The offset does not fit the header as it is: a new header with a ZIP64 block.
  CentralRecord r;
  r.versionMadeBy = e.versionMadeBy;
  r.versionNeeded = e.versionNeeded;
  r.flags = e.flags;
  r.method = e.method;
  r.dosTime = e.dosTime;
  r.crc = e.crc;
  r.compressedSize = e.compressedSize;
  r.uncompressedSize = e.uncompressedSize;
  r.localOffset = offset;
  r.internalAttr = e.internalAttr;
  r.externalAttr = e.externalAttr;
  r.name = e.rawName;
  r.extra = e.extra;
  r.comment = e.comment;
  std::string why;
  std::vector<std::uint16_t> dropped;
  if (!FitCentralRecord(r, why, dropped)) return false;
  out = centralHeaderFor(r);
  put16(reinterpret_cast<unsigned char*>(out.data()) + 34, static_cast<std::uint16_t>(disk));
  return true;
}

std::string SetEndRecords(std::uint32_t lastDisk, std::uint32_t cdDisk, std::uint64_t entriesOnLastDisk,
                          std::uint64_t totalEntries, std::uint64_t cdSize, std::uint64_t cdOffset,
                          std::uint64_t recordOffset, const std::string& comment) {
  const bool zip64 = totalEntries >= kMax16 || entriesOnLastDisk >= kMax16 || cdSize >= kMax32 || cdOffset >= kMax32 ||
                     lastDisk >= kMax16 || cdDisk >= kMax16;
  std::string out;
  if (zip64) {
    put32(out, kZip64EndSig);
    put64(out, kZip64EndSize - 12);
    put16(out, 45);
    put16(out, 45);
    put32(out, lastDisk);
    put32(out, cdDisk);
    put64(out, entriesOnLastDisk);
    put64(out, totalEntries);
    put64(out, cdSize);
    put64(out, cdOffset);
    put32(out, kZip64LocatorSig);
    put32(out, lastDisk);
    put64(out, recordOffset);
    put32(out, lastDisk + 1);
  }
  auto clamp16 = [](std::uint64_t v) { return static_cast<std::uint16_t>(v >= kMax16 ? kMax16 : v); };
  auto clamp32 = [](std::uint64_t v) { return static_cast<std::uint32_t>(v >= kMax32 ? kMax32 : v); };
  put32(out, kEndSig);
  put16(out, clamp16(lastDisk));
  put16(out, clamp16(cdDisk));
  put16(out, clamp16(entriesOnLastDisk));
  put16(out, clamp16(totalEntries));
  put32(out, clamp32(cdSize));
  put32(out, clamp32(cdOffset));
  const std::string c = comment.substr(0, kMaxCommentSize);
  put16(out, static_cast<std::uint16_t>(c.size()));
  out += c;
  return out;
}

}  // namespace spanrec
