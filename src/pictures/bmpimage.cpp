// The bitmap file reader. A file is the 14-byte file header ("BM", size, the
// offset of the pixel data), an information header (12 bytes in the oldest form
// with 16-bit sizes and 3-byte palette entries; 40 bytes and longer forms that add
// colour masks and colour-space data), colour masks after a 40-byte header of a
// bit-field bitmap, the palette, then the rows, each padded to 4 bytes, bottom row
// first unless the height is negative.
//
// Quirks handled: a palette shorter than the bit depth allows (missing colours are
// black), a last row without its padding, run-length data that end without their
// end-of-bitmap mark, runs and deltas that leave the picture (clipped).
#include "pictures/bmpimage.h"

#include <algorithm>
#include <bit>

namespace pictures {

namespace {

// Run-length data may describe a picture far larger than themselves; beyond this
// many pixels per byte, and 16 megapixels, a claimed size is refused unread.
constexpr std::uint64_t kRlePixelsPerByte = 1024;
constexpr std::uint64_t kPixelsAlwaysAllowed = std::uint64_t{1} << 24;

enum Compression : std::uint32_t { kRgb = 0, kRle8 = 1, kRle4 = 2, kBitFields = 3, kAlphaBitFields = 6 };

[[noreturn]] void Raise(const std::string& text) { throw EPictureError(text); }
[[noreturn]] void Truncated() { Raise("Bitmap data is truncated"); }

std::uint16_t Get16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }
std::uint32_t Get32(const std::uint8_t* p) {
  return std::uint32_t{p[0]} | (std::uint32_t{p[1]} << 8) | (std::uint32_t{p[2]} << 16) | (std::uint32_t{p[3]} << 24);
}

struct Header {
  std::int64_t width = 0;
  std::int64_t height = 0;  // negative: rows top-down
  unsigned bits = 0;
  std::uint32_t compression = kRgb;
  std::uint32_t colorsUsed = 0;
  std::uint32_t masks[3] = {};
  std::size_t paletteOffset = 0;
  unsigned paletteEntrySize = 4;
  std::size_t dataOffset = 0;
};

Header ReadHeader(const std::vector<std::uint8_t>& b) {
  if (b.size() < 2 || b[0] != 'B' || b[1] != 'M') Raise("Not a bitmap file");
  if (b.size() < 18) Truncated();
  Header h;
  h.dataOffset = Get32(&b[10]);
  const std::uint32_t infoSize = Get32(&b[14]);
  if (infoSize != 12 && (infoSize < 40 || infoSize > 124))
    Raise(FormatText("Unsupported bitmap header size (%u)", infoSize));
  if (b.size() - 14 < infoSize) Truncated();
  const std::uint8_t* p = &b[14];
  if (infoSize == 12) {
    h.width = Get16(p + 4);
    h.height = Get16(p + 6);
    h.bits = Get16(p + 10);
    h.paletteEntrySize = 3;
  } else {
    h.width = static_cast<std::int32_t>(Get32(p + 4));
    h.height = static_cast<std::int32_t>(Get32(p + 8));
    h.bits = Get16(p + 14);
    h.compression = Get32(p + 16);
    h.colorsUsed = Get32(p + 32);
  }
  h.paletteOffset = 14 + infoSize;
  if (h.compression == kBitFields || h.compression == kAlphaBitFields) {
    // Masks lie inside the longer headers, after a 40-byte one.
    const std::size_t masksAt = 14 + 40;
    if (infoSize == 40) h.paletteOffset += h.compression == kAlphaBitFields ? 16 : 12;
    if (b.size() < masksAt + 12) Truncated();
    for (int i = 0; i < 3; ++i) h.masks[i] = Get32(&b[masksAt + 4 * static_cast<std::size_t>(i)]);
  } else if (h.bits == 16) {
    h.masks[0] = 0x7C00, h.masks[1] = 0x03E0, h.masks[2] = 0x001F;
  } else if (h.bits == 32) {
    h.masks[0] = 0xFF0000, h.masks[1] = 0xFF00, h.masks[2] = 0xFF;
  }
  return h;
}

void CheckFormat(const Header& h) {
  const bool bitsOk = h.bits == 1 || h.bits == 4 || h.bits == 8 || h.bits == 16 || h.bits == 24 || h.bits == 32;
  if (!bitsOk) Raise(FormatText("Unsupported bitmap format (%u bits per pixel)", h.bits));
  bool ok = false;
  switch (h.compression) {
    case kRgb: ok = true; break;
    case kRle8: ok = h.bits == 8; break;
    case kRle4: ok = h.bits == 4; break;
    case kBitFields:
    case kAlphaBitFields: ok = h.bits == 16 || h.bits == 32; break;
    default: Raise(FormatText("Unsupported bitmap compression (%u)", h.compression));
  }
  if (!ok) Raise(FormatText("Unsupported bitmap compression (%u) for %u bits per pixel", h.compression, h.bits));
  if ((h.compression == kRle8 || h.compression == kRle4) && h.height < 0)
    Raise("Run-length encoded bitmaps cannot be stored top-down");
}

std::vector<TRGB> ReadPalette(const std::vector<std::uint8_t>& b, const Header& h) {
  if (h.bits > 8) return {};
  const std::uint32_t full = 1u << h.bits;
  const std::uint32_t count = h.colorsUsed == 0 ? full : std::min(h.colorsUsed, full);
  if (h.paletteOffset > b.size() || (b.size() - h.paletteOffset) / h.paletteEntrySize < count) Truncated();
  std::vector<TRGB> palette(count);
  const std::uint8_t* p = &b[h.paletteOffset];
  for (TRGB& c : palette) {
    c = TRGB{p[2], p[1], p[0]};
    p += h.paletteEntrySize;
  }
  return palette;
}

// One colour channel of a bit-field pixel, scaled to 0..255.
struct Channel {
  explicit Channel(std::uint32_t mask) {
    if (mask == 0) return;
    shift = std::countr_zero(mask);
    max = mask >> shift;
  }
  std::uint8_t operator()(std::uint32_t pixel) const {
    if (max == 0) return 0;
    return static_cast<std::uint8_t>((std::uint64_t{(pixel >> shift) & max} * 255 + max / 2) / max);
  }
  int shift = 0;
  std::uint32_t max = 0;
};

std::size_t Stride(std::uint64_t width, unsigned bits) {
  return static_cast<std::size_t>((width * bits + 31) / 32 * 4);
}

// The rows of an uncompressed bitmap must all be in the file (the last one may lack
// its padding); checked before anything is allocated for them.
void CheckUncompressedData(const std::vector<std::uint8_t>& b, const Header& h, std::uint64_t width,
                           std::uint64_t height) {
  const std::uint64_t rowBytes = (width * h.bits + 7) / 8;
  if (h.dataOffset > b.size()) Truncated();
  const std::uint64_t available = b.size() - h.dataOffset;
  if (available < rowBytes || (available - rowBytes) / Stride(width, h.bits) < height - 1) Truncated();
}

void ReadUncompressed(const std::vector<std::uint8_t>& b, const Header& h, TPixelBuffer& out) {
  const std::size_t width = static_cast<std::size_t>(out.Width), height = static_cast<std::size_t>(out.Height);
  const std::size_t stride = Stride(width, h.bits);
  const Channel red(h.masks[0]), green(h.masks[1]), blue(h.masks[2]);
  for (std::size_t y = 0; y < height; ++y) {
    const std::uint8_t* src = &b[h.dataOffset + y * stride];
    const std::size_t outRow = h.height < 0 ? y : height - 1 - y;
    std::uint8_t* dst = out.Pixels.data() + outRow * static_cast<std::size_t>(out.BytesPerRow());
    switch (h.bits) {
      case 1:
      case 4: {
        const unsigned perByte = 8 / h.bits, mask = (1u << h.bits) - 1;
        for (std::size_t x = 0; x < width; ++x) {
          const unsigned shift = 8 - h.bits * (1 + x % perByte);
          dst[x] = static_cast<std::uint8_t>((src[x / perByte] >> shift) & mask);
        }
        break;
      }
      case 8: std::copy(src, src + width, dst); break;
      case 24:
        for (std::size_t x = 0; x < width; ++x, src += 3) {
          *dst++ = src[2];
          *dst++ = src[1];
          *dst++ = src[0];
        }
        break;
      default:  // 16 and 32 bits through their colour masks
        for (std::size_t x = 0; x < width; ++x) {
          const std::uint32_t v = h.bits == 16 ? Get16(src + 2 * x) : Get32(src + 4 * x);
          *dst++ = red(v);
          *dst++ = green(v);
          *dst++ = blue(v);
        }
        break;
    }
  }
}

// RLE8 and RLE4: pairs of (count, value) runs, and escapes after a zero count:
// 0 end of line, 1 end of bitmap, 2 a move right and up, 3..255 that many literal
// pixels padded to a 16-bit boundary.
void ReadRunLength(const std::vector<std::uint8_t>& b, const Header& h, TPixelBuffer& out) {
  if (h.dataOffset > b.size()) Truncated();
  const bool four = h.compression == kRle4;
  const std::uint8_t* p = b.data() + h.dataOffset;
  const std::uint8_t* const end = b.data() + b.size();
  const std::int64_t width = out.Width, height = out.Height;
  std::int64_t x = 0, y = 0;  // y counts rows from the bottom
  auto put = [&](std::uint8_t index) {
    if (x < width && y < height) out.Pixels[static_cast<std::size_t>((height - 1 - y) * width + x)] = index;
    ++x;
  };
  while (y < height && end - p >= 2) {
    const unsigned count = p[0], value = p[1];
    p += 2;
    if (count > 0) {
      for (unsigned i = 0; i < count && x < width; ++i)
        put(static_cast<std::uint8_t>(four ? (i % 2 == 0 ? value >> 4 : value & 15) : value));
      continue;
    }
    if (value == 0) {
      x = 0;
      ++y;
    } else if (value == 1) {
      return;
    } else if (value == 2) {
      if (end - p < 2) Truncated();
      x += p[0];
      y += p[1];
      p += 2;
    } else {
      const std::size_t bytes = four ? (value + 1) / 2 : value;
      const std::size_t padded = bytes + (bytes & 1);
      if (static_cast<std::size_t>(end - p) < bytes) Truncated();
      for (unsigned i = 0; i < value; ++i)
        put(four ? static_cast<std::uint8_t>(i % 2 == 0 ? p[i / 2] >> 4 : p[i / 2] & 15) : p[i]);
      p += std::min(padded, static_cast<std::size_t>(end - p));
    }
  }
  if (p != end && y < height) Truncated();  // one byte of a pair left over
}

}  // namespace

void TBMPImage::LoadFromBytes(std::vector<std::uint8_t> bytes) {
  Pixels_ = {};
  Warnings_.clear();
  const Header h = ReadHeader(bytes);
  CheckFormat(h);
  const std::uint64_t width = h.width > 0 ? static_cast<std::uint64_t>(h.width) : 0;
  const std::uint64_t height = static_cast<std::uint64_t>(h.height < 0 ? -h.height : h.height);
  const bool runLength = h.compression == kRle8 || h.compression == kRle4;
  const std::uint64_t fromData =
      runLength ? std::max(kPixelsAlwaysAllowed, bytes.size() * kRlePixelsPerByte) : kMaxPixels;
  CheckPictureSize("Bitmap", width, height, fromData);
  if (!runLength) CheckUncompressedData(bytes, h, width, height);
  TPixelBuffer pixels;
  pixels.Palette = ReadPalette(bytes, h);
  pixels.Allocate(static_cast<int>(width), static_cast<int>(height),
                  h.bits <= 8 ? TPixelFormat::pfIndexed8 : TPixelFormat::pfRgb24);
  if (runLength)
    ReadRunLength(bytes, h, pixels);
  else
    ReadUncompressed(bytes, h, pixels);
  Pixels_ = std::move(pixels);
}

}  // namespace pictures
