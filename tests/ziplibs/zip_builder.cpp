#include "ziplibs/zip_builder.h"

#include <zlib.h>

namespace ziptest {

namespace {

void put16(std::string& s, std::uint32_t v) {
  s.push_back(char(v & 0xFF));
  s.push_back(char((v >> 8) & 0xFF));
}
void put32(std::string& s, std::uint32_t v) {
  put16(s, v & 0xFFFF);
  put16(s, v >> 16);
}

}  // namespace

std::uint32_t crcOf(const std::string& data) {
  return static_cast<std::uint32_t>(
      crc32(0, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size())));
}

std::string rawDeflate(const std::string& data) {
  z_stream z{};
  deflateInit2(&z, 6, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
  std::string out(deflateBound(&z, data.size()) + 16, '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  z.avail_in = static_cast<uInt>(data.size());
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = static_cast<uInt>(out.size());
  deflate(&z, Z_FINISH);
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

std::string buildZip(const std::vector<CraftEntry>& entries, const std::string& prefix) {
  std::string out = prefix, cd;
  for (const CraftEntry& e : entries) {
    std::string packed = e.packed ? *e.packed : (e.method == 8 ? rawDeflate(e.data) : e.data);
    std::uint32_t crc = e.crc ? *e.crc : crcOf(e.data);
    std::uint32_t size = e.size ? *e.size : static_cast<std::uint32_t>(e.data.size());
    std::uint32_t offset = static_cast<std::uint32_t>(e.offset ? *e.offset : out.size());
    std::string local;
    put32(local, 0x04034B50);
    put16(local, 20);
    put16(local, e.flags);
    put16(local, e.localMethod ? *e.localMethod : e.method);
    put32(local, e.dosTime);
    put32(local, crc);
    put32(local, static_cast<std::uint32_t>(packed.size()));
    put32(local, size);
    const std::string& localName = e.localName ? *e.localName : e.name;
    put16(local, static_cast<std::uint32_t>(localName.size()));
    put16(local, 0);
    if (!e.offset) out += local + localName + packed;
    put32(cd, 0x02014B50);
    put16(cd, (std::uint32_t(e.host) << 8) | 30);
    put16(cd, 20);
    put16(cd, e.flags);
    put16(cd, e.method);
    put32(cd, e.dosTime);
    put32(cd, crc);
    put32(cd, static_cast<std::uint32_t>(packed.size()));
    put32(cd, size);
    put16(cd, static_cast<std::uint32_t>(e.name.size()));
    put16(cd, 0);
    put16(cd, 0);
    put16(cd, 0);
    put16(cd, 0);
    put32(cd, e.host == 3 ? e.mode << 16 : 0);
    put32(cd, offset);
    cd += e.name;
  }
  std::uint32_t cdOffset = static_cast<std::uint32_t>(out.size());
  out += cd;
  put32(out, 0x06054B50);
  put16(out, 0);
  put16(out, 0);
  put16(out, static_cast<std::uint32_t>(entries.size()));
  put16(out, static_cast<std::uint32_t>(entries.size()));
  put32(out, static_cast<std::uint32_t>(cd.size()));
  put32(out, cdOffset);
  put16(out, 0);
  return out;
}

}  // namespace ziptest
