#include "ziplibs/codec.h"

#include <libdeflate.h>
#include <zlib.h>

#include <sys/mman.h>

#include <cstdint>
#include <new>

namespace ziplibs {

int deflateLevelFor(int level) {
  // libdeflate's levels trade speed for size as zlib's do, and each gives a
  // smaller result than zlib's at the same level, at least 1.7 times as fast.
  // Its levels 10 to 12 would halve the speed again for 3 % less.
  if (level < 1) return 0;
  return level > 9 ? 9 : level;
}

namespace {
constexpr std::size_t kHugePage = 2u << 20;
}  // namespace

Codec::Buffer::~Buffer() { release(); }

void Codec::Buffer::release() {
  if (mapped_)
    ::munmap(data_, capacity_);
  else
    delete[] data_;
  data_ = nullptr;
  capacity_ = 0;
  mapped_ = false;
}

unsigned char* Codec::Buffer::get(std::size_t size) {
  if (size <= capacity_ && data_) return data_;
  release();
  if (size >= kHugePage) {
    // Map one huge page more and cut it off again, so the buffer starts on a
    // huge-page boundary.
    std::size_t length = (size + kHugePage - 1) / kHugePage * kHugePage;
    void* p = ::mmap(nullptr, length + kHugePage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED) throw std::bad_alloc();
    auto start = reinterpret_cast<std::uintptr_t>(p);
    auto aligned = (start + kHugePage - 1) / kHugePage * kHugePage;
    if (aligned > start) ::munmap(p, aligned - start);
    if (aligned + length < start + length + kHugePage)
      ::munmap(reinterpret_cast<void*>(aligned + length), start + length + kHugePage - aligned - length);
    ::madvise(reinterpret_cast<void*>(aligned), length, MADV_HUGEPAGE);
    data_ = reinterpret_cast<unsigned char*>(aligned);
    capacity_ = length;
    mapped_ = true;
  } else {
    data_ = new unsigned char[size ? size : 1];
    capacity_ = size;
  }
  return data_;
}

Codec::~Codec() {
  for (auto* c : compressors_)
    if (c) libdeflate_free_compressor(c);
  if (decompressor_) libdeflate_free_decompressor(decompressor_);
}

libdeflate_compressor* Codec::compressor(int level) {
  int l = deflateLevelFor(level);
  if (l < 1) l = 1;
  if (!compressors_[l]) compressors_[l] = libdeflate_alloc_compressor(l);
  return compressors_[l];
}

libdeflate_decompressor* Codec::decompressor() {
  if (!decompressor_) decompressor_ = libdeflate_alloc_decompressor();
  return decompressor_;
}

const unsigned char* Codec::deflateInto(int level, const unsigned char* in, std::size_t size, std::size_t& packed) {
  libdeflate_compressor* c = compressor(level);
  if (!c) return nullptr;
  std::size_t bound = libdeflate_deflate_compress_bound(c, size);
  unsigned char* out = outBuffer(bound);
  packed = libdeflate_deflate_compress(c, in, size, out, bound);
  return packed ? out : nullptr;  // 0 cannot happen with the bound's room
}

bool Codec::deflateWhole(int level, const unsigned char* in, std::size_t size, std::string& out) {
  std::size_t packed = 0;
  const unsigned char* data = deflateInto(level, in, size, packed);
  if (!data) return false;
  out.assign(reinterpret_cast<const char*>(data), packed);
  return true;
}

bool Codec::deflateChunk(int level, const unsigned char* in, std::size_t size, bool last, std::string& out,
                         std::string& error) {
  if (!deflateWhole(level, in, size, out)) {
    error = "out of memory";
    return false;
  }
  if (!last && !makeJoinable(out, scratch_)) {
    error = "internal error: compressed chunk cannot be joined";
    return false;
  }
  return true;
}

bool findLastBlock(const std::string& s, std::uint64_t& lastBlockBit, std::uint64_t& endBit,
                   std::vector<unsigned char>& scratch) {
  // inflate with Z_BLOCK stops after every end-of-block code and reports, in
  // data_type, the unused bits of the last byte it took: the next block's header
  // starts right there.
  z_stream z{};
  if (inflateInit2(&z, -15) != Z_OK) return false;
  scratch.resize(1 << 16);
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(s.data()));
  z.avail_in = static_cast<uInt>(s.size());
  std::uint64_t boundary = 0;
  bool ok = false;
  for (;;) {
    z.next_out = scratch.data();
    z.avail_out = static_cast<uInt>(scratch.size());
    int ret = inflate(&z, Z_BLOCK);
    if (ret != Z_OK && ret != Z_STREAM_END) break;  // damaged, or input ended early
    const std::uint64_t here = std::uint64_t(z.total_in) * 8 - (z.data_type & 7);
    if ((z.data_type & 128) && (z.data_type & 64)) {  // end of the final block
      endBit = here;
      lastBlockBit = boundary;
      ok = true;
      break;
    }
    if (z.data_type & 128) boundary = here;  // end of a block: the next one starts here
    if (ret == Z_STREAM_END) break;          // (not reached: the final block ends first)
  }
  inflateEnd(&z);
  return ok;
}

bool makeJoinable(std::string& s, std::vector<unsigned char>& scratch) {
  std::uint64_t last = 0, end = 0;
  if (!findLastBlock(s, last, end, scratch)) return false;
  s[last / 8] = static_cast<char>(static_cast<unsigned char>(s[last / 8]) & ~(1u << (last % 8)));
  // Empty stored block: header bits 0 (not final) and 00 (stored), zero padding to
  // the byte boundary, then LEN 0000 and NLEN FFFF.
  std::size_t bytes = static_cast<std::size_t>((end + 3 + 7) / 8);
  s.resize(bytes, '\0');
  std::size_t at = static_cast<std::size_t>(end / 8);
  unsigned keep = static_cast<unsigned>(end % 8);
  s[at] = static_cast<char>(static_cast<unsigned char>(s[at]) & ((1u << keep) - 1));
  for (std::size_t i = at + 1; i < bytes; ++i) s[i] = '\0';
  s.append("\x00\x00\xFF\xFF", 4);
  return true;
}

}  // namespace ziplibs
