// Extra-field blocks of a central header: a 2-byte id, a 2-byte data size, then the
// data. Read here: ZIP64 extended information (0x0001) and the Info-ZIP Unicode
// Path (0x7075). Other blocks are skipped.
#include "zipengine/zipparse.h"

using namespace zipfmt;

namespace zipparse {

namespace {

// Reads the ZIP64 block's values for the header fields that hold escape values, in
// their fixed order; a value the block is too short for stays unset.
void readZip64(std::string_view data, const ZipCentralFields& f, ExtraValues& out) {
  const auto* p = reinterpret_cast<const unsigned char*>(data.data());
  std::size_t at = 0;
  auto take64 = [&](std::optional<std::uint64_t>& v) {
    if (data.size() - at < 8) return false;
    v = get64(p + at);
    at += 8;
    return true;
  };
  if (f.UncompressedSize == 0xFFFFFFFF && !take64(out.uncompressedSize)) return;
  if (f.CompressedSize == 0xFFFFFFFF && !take64(out.compressedSize)) return;
  if (f.LocalHeaderOffset == 0xFFFFFFFF && !take64(out.localHeaderOffset)) return;
  if (f.DiskNumberStart == 0xFFFF && data.size() - at >= 4) out.diskNumberStart = get32(p + at);
}

}  // namespace

ExtraValues ReadExtraField(std::string_view extra, const ZipCentralFields& fields) {
  ExtraValues out;
  std::size_t at = 0;
  while (extra.size() - at >= 4) {
    const auto* p = reinterpret_cast<const unsigned char*>(extra.data() + at);
    const std::uint16_t id = get16(p);
    const std::uint16_t size = get16(p + 2);
    at += 4;
    if (size > extra.size() - at) break;  // block data runs past the field
    const std::string_view data = extra.substr(at, size);
    if (id == kExtraZip64)
      readZip64(data, fields, out);
    else if (id == kExtraUnicodePath)
      out.unicodePath = data;
    at += size;
  }
  return out;
}

}  // namespace zipparse
