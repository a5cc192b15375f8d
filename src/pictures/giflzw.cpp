// GIF's variable-width LZW: codes of (minimum code size + 1) up to 12 bits, read
// least-significant bit first from the frame's data sub-blocks; a clear code
// (2^size) restarts the table, the end code (clear + 1) ends the data.
//
// Quirks handled: data that do not start with a clear code, runs of clear codes,
// a first code after a clear that lies beyond the table (taken as 0), a table that
// stays full at 4096 entries without a clear code following ("deferred clear":
// 12-bit codes go on, no entries are added), codes after the last pixel (ignored),
// and strings that cross rows of an interlaced picture.
#include "pictures/giflzw.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace pictures {

namespace {

constexpr int kMaxCodeWidth = 12;
constexpr int kTableSize = 1 << kMaxCodeWidth;

// Codes from a chain of sub-blocks that is known to be complete: length bytes
// within the stream and a zero length at its end.
class CodeReader {
 public:
  CodeReader(const std::uint8_t* chain, const std::uint8_t* chainEnd) : p_(chain), blockEnd_(chain), end_(chainEnd) {}

  // The next code of the given width, or -1 when the data are exhausted.
  int Read(int width) {
    if (bits_ < width) {
      Refill();
      if (bits_ < width) return -1;
    }
    const int code = static_cast<int>(acc_ & ((1u << width) - 1));
    acc_ >>= width;
    bits_ -= width;
    return code;
  }

 private:
  void Refill() {
    while (bits_ <= 56) {
      if (p_ == blockEnd_) {
        if (p_ >= end_ || *p_ == 0) return;  // the chain's terminator
        const std::size_t length = *p_++;
        blockEnd_ = p_ + length;
        continue;
      }
      const std::size_t take = std::min<std::size_t>(blockEnd_ - p_, (64 - bits_) / 8);
      for (std::size_t i = 0; i < take; ++i) {
        acc_ |= std::uint64_t{p_[i]} << bits_;
        bits_ += 8;
      }
      p_ += take;
    }
  }

  const std::uint8_t* p_;
  const std::uint8_t* blockEnd_;
  const std::uint8_t* end_;
  std::uint64_t acc_ = 0;
  int bits_ = 0;
};

// Where decoded pixels go: the rows of the bitmap in storage order, or in the four
// passes of an interlaced picture (rows 0, 8, 16...; 4, 12...; 2, 6...; 1, 3...).
class PixelSink {
 public:
  PixelSink(TPixelBuffer& bitmap, bool interlaced)
      : base_(bitmap.Pixels.data()), width_(bitmap.Width), height_(bitmap.Height), interlaced_(interlaced) {
    row_ = base_;
    done_ = bitmap.Pixels.empty();
    // Without interlacing the rows follow each other: the whole picture is one run.
    left_ = interlaced_ ? static_cast<std::size_t>(width_) : bitmap.Pixels.size();
  }

  bool Done() const { return done_; }

  // Writes the string of code; prefix/suffix/length describe the table.
  void Emit(int code, const std::uint16_t* prefix, const std::uint8_t* suffix, const std::uint16_t* length) {
    const std::size_t n = length[code];
    if (n <= left_) {
      std::uint8_t* d = row_ + n;
      int k = code;
      while (d != row_) {
        *--d = suffix[k];
        k = prefix[k];
      }
      row_ += n;
      left_ -= n;
      if (left_ == 0) NextRow();
      return;
    }
    // The string crosses a row end: spell it out first, then copy it row by row.
    std::uint8_t spelled[kTableSize];
    std::uint8_t* d = spelled + n;
    for (int k = code; d != spelled; k = prefix[k]) *--d = suffix[k];
    const std::uint8_t* s = spelled;
    std::size_t rest = n;
    while (rest > 0 && !done_) {
      const std::size_t take = std::min(rest, left_);
      std::memcpy(row_, s, take);
      row_ += take;
      left_ -= take;
      s += take;
      rest -= take;
      if (left_ == 0) NextRow();
    }
  }

 private:
  void NextRow() {
    if (!interlaced_) {
      done_ = true;
      return;
    }
    static constexpr int kStart[4] = {0, 4, 2, 1};
    static constexpr int kStep[4] = {8, 8, 4, 2};
    y_ += kStep[pass_];
    while (y_ >= height_) {
      if (++pass_ == 4) {
        done_ = true;
        return;
      }
      y_ = kStart[pass_];
    }
    row_ = base_ + static_cast<std::size_t>(y_) * static_cast<std::size_t>(width_);
    left_ = static_cast<std::size_t>(width_);
  }

  std::uint8_t* base_;
  const int width_;
  const int height_;
  const bool interlaced_;
  std::uint8_t* row_;
  std::size_t left_;
  int y_ = 0;
  int pass_ = 0;
  bool done_ = false;
};

[[noreturn]] void Raise(const std::string& text) { throw EGIFError(text); }

}  // namespace

bool LzwCanYield(std::uint64_t dataBytes, int codeSize, std::uint64_t pixels) {
  std::uint64_t bits = dataBytes * 8, yielded = 0;
  const int end = (1 << codeSize) + 1;
  for (std::uint64_t k = 0; yielded < pixels; ++k) {
    // The code width the decoder reads the k-th code with: entries are added from
    // the second code on, and the width follows the next free entry.
    const std::uint64_t nextFree = std::min<std::uint64_t>(end + 1 + (k > 0 ? k - 1 : 0), kTableSize);
    const int width = std::min(kMaxCodeWidth, static_cast<int>(std::bit_width(nextFree)));
    if (bits < static_cast<std::uint64_t>(width)) return false;
    bits -= static_cast<std::uint64_t>(width);
    yielded += std::min<std::uint64_t>(k + 1, kTableSize);
  }
  return true;
}

void CheckLzwCodeSize(int size) {
  if (size < 2 || size > 9) Raise(FormatText("Invalid LZW Code Size: %d", size));
}

void DecodeLzw(std::span<const std::uint8_t> stream, const TRasterData& raster, bool interlaced, int colorCount,
               TPixelBuffer& bitmap) {
  const int size = raster.CodeSize;
  CheckLzwCodeSize(size);
  PixelSink sink(bitmap, interlaced);
  if (sink.Done()) return;

  const int clear = 1 << size;
  const int end = clear + 1;
  std::uint16_t prefix[kTableSize];
  std::uint8_t suffix[kTableSize];
  std::uint16_t length[kTableSize];
  std::uint8_t first[kTableSize];  // first pixel of each entry's string
  for (int c = 0; c < clear && c < 256; ++c) {
    prefix[c] = 0;
    suffix[c] = first[c] = static_cast<std::uint8_t>(c);
    length[c] = 1;
  }

  int width = size + 1;
  int nextFree = end + 1;
  int limit = 1 << width;
  int prev = -1;  // none yet: the stream starts as after a clear code
  CodeReader codes(stream.data() + raster.ChainOffset, stream.data() + raster.ChainEnd);

  auto addEntry = [&](int pre, std::uint8_t pixel) {
    prefix[nextFree] = static_cast<std::uint16_t>(pre);
    suffix[nextFree] = pixel;
    length[nextFree] = static_cast<std::uint16_t>(length[pre] + 1);
    first[nextFree] = first[pre];
    ++nextFree;
    if (nextFree == limit && width < kMaxCodeWidth) {
      ++width;
      limit <<= 1;
    }
  };
  auto truncated = [] { Raise("Truncated GIF image data"); };

  int code = codes.Read(width);
  for (;;) {
    if (code < 0) truncated();
    if (code == clear) {
      width = size + 1;
      nextFree = end + 1;
      limit = 1 << width;
      do code = codes.Read(width);
      while (code == clear);
      if (code < 0) truncated();
      if (code == end) Raise("Invalid stream format");
      prev = -1;
    }
    if (code == end) truncated();  // the end code came before the last pixel
    if (prev < 0) {
      if (code >= nextFree) code = 0;
      if (code > 255) Raise(FormatText("Index %d out of range [0..%d]", code, colorCount - 1));
      sink.Emit(code, prefix, suffix, length);
    } else if (code < nextFree) {
      if (code > 255 && code < clear) Raise(FormatText("Index %d out of range [0..%d]", code, colorCount - 1));
      sink.Emit(code, prefix, suffix, length);
      if (nextFree < kTableSize) addEntry(prev, first[code]);
    } else if (code == nextFree && nextFree < kTableSize) {
      addEntry(prev, first[prev]);
      sink.Emit(code, prefix, suffix, length);
    } else {
      Raise("Invalid stream format");
    }
    if (sink.Done()) return;
    prev = code;
    code = codes.Read(width);
  }
}

}  // namespace pictures
