#include "zipcore/writerecords.h"

#include <algorithm>

#include "zipcore/records.h"

namespace zipcore {

namespace {

struct Zip64Need {
  bool uncompressed, compressed, offset;
  bool any() const { return uncompressed || compressed || offset; }
  std::size_t blockSize() const { return any() ? 4 + 8 * (uncompressed + compressed + offset) : 0; }
};

Zip64Need zip64Need(const CentralRecord& r) {
  return {r.uncompressedSize >= kMax32, r.compressedSize >= kMax32, r.localOffset >= kMax32};
}

}  // namespace

bool FitCentralRecord(CentralRecord& r, std::string& why, std::vector<std::uint16_t>& dropped) {
  if (r.name.size() > kMax16) {
    why = "its name is longer than 65535 bytes";
    return false;
  }
  if (r.comment.size() > kMax16) {
    why = "its comment is longer than 65535 bytes";
    return false;
  }
  // The stored extra field without its ZIP64 block (the header gets a new one) and
  // without bytes that form no whole block.
  r.extra = removeExtra(r.extra, kExtraZip64);
  const std::size_t room = kMax16 - zip64Need(r).blockSize();
  while (r.extra.size() > room) {
    // Drop the largest block: the fewest blocks go.
    std::size_t at = 0, size = 0;
    std::uint16_t id = 0;
    forEachExtra(r.extra, [&](std::uint16_t blockId, std::string_view data, std::size_t blockAt) {
      if (data.size() + 4 > size) {
        size = data.size() + 4;
        at = blockAt;
        id = blockId;
      }
      return true;
    });
    r.extra.erase(at, size);
    dropped.push_back(id);
  }
  return true;
}

std::string localHeaderFor(const CentralRecord& r, const std::string& localExtra, bool zip64) {
  // The ZIP64 block goes first: its sizes are patched in at a fixed place once known.
  std::string extra;
  if (zip64) {
    put16(extra, kExtraZip64);
    put16(extra, 16);
    put64(extra, r.uncompressedSize);
    put64(extra, r.compressedSize);
  }
  extra += localExtra;
  const std::size_t nameLen = std::min<std::size_t>(r.name.size(), kMax16);
  const std::size_t extraLen = std::min<std::size_t>(extra.size(), kMax16);
  std::string out;
  out.reserve(kLocalHeaderSize + nameLen + extraLen);
  put32(out, kLocalHeaderSig);
  put16(out, zip64 && r.versionNeeded < 45 ? 45 : r.versionNeeded);
  put16(out, r.flags);
  put16(out, r.method);
  put32(out, r.dosTime);
  const bool descriptor = r.flags & kFlagDescriptor;
  put32(out, descriptor ? 0 : r.crc);
  put32(out, descriptor ? 0 : (zip64 ? kMax32 : static_cast<std::uint32_t>(r.compressedSize)));
  put32(out, descriptor ? 0 : (zip64 ? kMax32 : static_cast<std::uint32_t>(r.uncompressedSize)));
  put16(out, static_cast<std::uint16_t>(nameLen));
  put16(out, static_cast<std::uint16_t>(extraLen));
  out.append(r.name, 0, nameLen);
  out.append(extra, 0, extraLen);
  return out;
}

std::string centralHeaderFor(const CentralRecord& r) {
  const Zip64Need big = zip64Need(r);
  std::string extra;
  if (big.any()) {
    put16(extra, kExtraZip64);
    put16(extra, static_cast<std::uint16_t>(big.blockSize() - 4));
    if (big.uncompressed) put64(extra, r.uncompressedSize);
    if (big.compressed) put64(extra, r.compressedSize);
    if (big.offset) put64(extra, r.localOffset);
  }
  extra += removeExtra(r.extra, kExtraZip64);
  std::uint16_t needed = r.versionNeeded;
  if (big.any() && needed < 45) needed = 45;
  std::uint16_t madeBy = r.versionMadeBy;
  if ((madeBy & 0xFF) < (needed & 0xFF)) madeBy = static_cast<std::uint16_t>((madeBy & 0xFF00) | (needed & 0xFF));
  std::string h;
  h.reserve(kCentralHeaderSize + r.name.size() + extra.size() + r.comment.size());
  put32(h, kCentralHeaderSig);
  put16(h, madeBy);
  put16(h, needed);
  put16(h, r.flags);
  put16(h, r.method);
  put32(h, r.dosTime);
  put32(h, r.crc);
  put32(h, big.compressed ? kMax32 : static_cast<std::uint32_t>(r.compressedSize));
  put32(h, big.uncompressed ? kMax32 : static_cast<std::uint32_t>(r.uncompressedSize));
  // A record that was not fitted must not be cut to 16 bits: its lengths are
  // clamped and the parts beyond dropped, so the header at least stays readable.
  const std::size_t nameLen = std::min<std::size_t>(r.name.size(), kMax16);
  const std::size_t extraLen = std::min<std::size_t>(extra.size(), kMax16);
  const std::size_t commentLen = std::min<std::size_t>(r.comment.size(), kMax16);
  put16(h, static_cast<std::uint16_t>(nameLen));
  put16(h, static_cast<std::uint16_t>(extraLen));
  put16(h, static_cast<std::uint16_t>(commentLen));
  put16(h, 0);  // disk number
  put16(h, r.internalAttr);
  put32(h, r.externalAttr);
  put32(h, big.offset ? kMax32 : static_cast<std::uint32_t>(r.localOffset));
  h.append(r.name, 0, nameLen);
  h.append(extra, 0, extraLen);
  h.append(r.comment, 0, commentLen);
  return h;
}

std::string endRecordsFor(std::uint64_t count, std::uint64_t cdSize, std::uint64_t cdStart,
                          const std::string& comment) {
  std::string end;
  const bool zip64 = count >= kMax16 || cdSize >= kMax32 || cdStart >= kMax32;
  if (zip64) {
    const std::uint64_t recordAt = cdStart + cdSize;
    put32(end, kZip64EndSig);
    put64(end, kZip64EndSize - 12);
    put16(end, (kHostUnix << 8) | 45);
    put16(end, 45);
    put32(end, 0);
    put32(end, 0);
    put64(end, count);
    put64(end, count);
    put64(end, cdSize);
    put64(end, cdStart);
    put32(end, kZip64LocatorSig);
    put32(end, 0);
    put64(end, recordAt);
    put32(end, 1);
  }
  put32(end, kEndSig);
  put16(end, 0);
  put16(end, 0);
  put16(end, count >= kMax16 ? kMax16 : static_cast<std::uint16_t>(count));
  put16(end, count >= kMax16 ? kMax16 : static_cast<std::uint16_t>(count));
  put32(end, cdSize >= kMax32 ? kMax32 : static_cast<std::uint32_t>(cdSize));
  put32(end, cdStart >= kMax32 ? kMax32 : static_cast<std::uint32_t>(cdStart));
  const std::size_t commentLen = std::min<std::size_t>(comment.size(), kMax16);
  put16(end, static_cast<std::uint16_t>(commentLen));
  end.append(comment, 0, commentLen);
  return end;
}

}  // namespace zipcore
