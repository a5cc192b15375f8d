// Bounds-checked little-endian reading of a header held in memory. Every read
// either succeeds whole or leaves ok() false; nothing reads past the end.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace rarlib {

class ByteReader {
 public:
  ByteReader(const std::uint8_t* data, std::size_t size) : p_(data), size_(size) {}

  bool ok() const { return ok_; }
  std::size_t pos() const { return pos_; }
  std::size_t remaining() const { return ok_ ? size_ - pos_ : 0; }
  const std::uint8_t* here() const { return p_ + pos_; }

  std::uint8_t u8() { return static_cast<std::uint8_t>(take(1)); }
  std::uint16_t u16() { return static_cast<std::uint16_t>(take(2)); }
  std::uint32_t u32() { return static_cast<std::uint32_t>(take(4)); }
  std::uint64_t u64() { return take(8); }

  // RAR5 variable-length number: 7 bits a byte, low bits first, at most 10 bytes.
  std::uint64_t vint() {
    std::uint64_t v = 0;
    for (int shift = 0; shift < 70 && ok_; shift += 7) {
      if (pos_ >= size_) break;
      std::uint8_t b = p_[pos_++];
      if (shift == 63 && (b & 0x7e)) break;  // more than 64 bits
      v |= static_cast<std::uint64_t>(b & 0x7f) << shift;
      if (!(b & 0x80)) return v;
    }
    ok_ = false;
    return 0;
  }

  // n bytes as text; empty (and not ok) when fewer remain.
  std::string_view text(std::uint64_t n) {
    if (!ok_ || n > size_ - pos_) {
      ok_ = false;
      return {};
    }
    std::string_view s(reinterpret_cast<const char*>(p_ + pos_), static_cast<std::size_t>(n));
    pos_ += static_cast<std::size_t>(n);
    return s;
  }

  void skip(std::uint64_t n) { text(n); }

  template <std::size_t N>
  void copy(std::uint8_t (&out)[N]) {
    std::string_view s = text(N);
    for (std::size_t i = 0; i < s.size(); ++i) out[i] = static_cast<std::uint8_t>(s[i]);
  }

 private:
  std::uint64_t take(int n) {
    if (!ok_ || static_cast<std::size_t>(n) > size_ - pos_) {
      ok_ = false;
      return 0;
    }
    std::uint64_t v = 0;
    for (int i = 0; i < n; ++i) v |= static_cast<std::uint64_t>(p_[pos_ + i]) << (8 * i);
    pos_ += static_cast<std::size_t>(n);
    return v;
  }

  const std::uint8_t* p_;
  std::size_t size_;
  std::size_t pos_ = 0;
  bool ok_ = true;
};

}  // namespace rarlib
