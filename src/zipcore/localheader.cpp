#include "zipcore/localheader.h"

namespace zipcore {

bool readLocalHeader(const InputFile& file, const ZipEntry& e, std::uint64_t limit, LocalHeader& lh,
                     std::string& error) {
  lh = LocalHeader{};
  lh.headerOffset = e.localOffset;
  std::string head;
  // Local header: 30 fixed bytes in front of the central directory.
  if (!e.offsetInFile || e.localOffset > limit || limit - e.localOffset < kLocalHeaderSize ||
      !file.readExact(e.localOffset, head, kLocalHeaderSize) || get32(head, 0) != kLocalHeaderSig) {
    error = "local header missing or damaged";
    return false;
  }
  const std::size_t n = get16(head, 26), x = get16(head, 28);
  std::string rest;
  // Name and extra field: in front of the central directory too.
  if (limit - e.localOffset - kLocalHeaderSize < n + x ||
      !file.readExact(e.localOffset + kLocalHeaderSize, rest, n + x)) {
    error = "local header runs past the central directory";
    return false;
  }
  lh.versionNeeded = get16(head, 4);
  lh.flags = get16(head, 6);
  lh.method = get16(head, 8);
  lh.dosTime = get32(head, 10);
  lh.crc = get32(head, 14);
  lh.compressedSize = get32(head, 18);
  lh.uncompressedSize = get32(head, 22);
  lh.name = rest.substr(0, n);
  lh.extra = rest.substr(n);
  lh.dataOffset = e.localOffset + kLocalHeaderSize + n + x;
  lh.zip64 = findExtra(lh.extra, kExtraZip64).has_value();
  lh.raw = head + rest;
  // Member data: compressed size bytes, within the archive's data area.
  if (e.compressedSize > limit - lh.dataOffset) {
    error = "member data runs past the central directory";
    return false;
  }
  if (lh.flags & kFlagDescriptor) {
    const std::uint64_t dataEnd = lh.dataOffset + e.compressedSize;
    unsigned char sig[4];
    const bool hasSig = file.readExact(dataEnd, sig, 4) && get32(sig) == kDescriptorSig;
    lh.descriptorSize = (hasSig ? 4 : 0) + 4 + (lh.zip64 ? 16 : 8);
    // Data descriptor: CRC and sizes after the data, in front of the directory.
    if (lh.descriptorSize > limit - dataEnd) lh.descriptorSize = limit - dataEnd;
  }
  return true;
}

std::string LocalHeaderDisagreement(const LocalHeader& lh, const ZipEntry& e) {
  std::string out;
  auto note = [&](const char* what) {
    if (!out.empty()) out += ", ";
    out += what;
  };
  if (lh.name != e.rawName) note("name");
  if (lh.method != e.method) note("compression method");
  if ((lh.flags & kFlagEncrypted) != (e.flags & kFlagEncrypted)) note("encryption");
  if (!(lh.flags & kFlagDescriptor)) {
    if (lh.crc != e.crc) note("CRC-32");
    std::uint64_t compressed = lh.compressedSize, uncompressed = lh.uncompressedSize;
    if (compressed == kMax32 || uncompressed == kMax32) {
      // A local ZIP64 block holds both sizes: uncompressed, then compressed.
      const std::optional<std::string_view> block = findExtra(lh.extra, kExtraZip64);
      if (block && block->size() >= 16) {
        uncompressed = get64(*block, 0);
        compressed = get64(*block, 8);
      }
    }
    if (compressed != e.compressedSize || uncompressed != e.uncompressedSize) note("sizes");
  }
  return out;
}

}  // namespace zipcore
