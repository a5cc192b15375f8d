#include "pictures/picture_helpers.h"

#include <cctype>
#include <stdexcept>

#include "support/temp_dir.h"

namespace picturetest {

namespace {

int SizeField(std::size_t colors) {
  int n = 0;
  while ((std::size_t{2} << n) < colors) ++n;
  return n;
}

}  // namespace

std::vector<std::uint8_t> PackCodes(int codeSize, const std::vector<int>& codes) {
  if (codes.empty()) return {};
  const int clear = 1 << codeSize, end = clear + 1;
  int width = codeSize + 1, nextFree = end + 1;
  bool afterClear = true;
  std::vector<std::uint8_t> bytes;
  std::uint32_t acc = 0;
  int bits = 0;
  for (int code : codes) {
    acc |= static_cast<std::uint32_t>(code) << bits;
    bits += width;
    while (bits >= 8) {
      bytes.push_back(static_cast<std::uint8_t>(acc));
      acc >>= 8;
      bits -= 8;
    }
    if (code == clear) {
      width = codeSize + 1;
      nextFree = end + 1;
      afterClear = true;
    } else if (code != end) {
      if (afterClear) {
        afterClear = false;
      } else if (nextFree < 4096 && ++nextFree == (1 << width) && width < 12) {
        ++width;
      }
    }
  }
  if (bits > 0) bytes.push_back(static_cast<std::uint8_t>(acc));
  return bytes;
}

GifWriter::GifWriter(int width, int height, const std::vector<pictures::TRGB>& colors, const char* version) {
  out_.assign(version, version + 6);
  word(width);
  word(height);
  out_.push_back(colors.empty() ? 0 : static_cast<std::uint8_t>(0x80 | 0x70 | SizeField(colors.size())));
  out_.push_back(0);
  out_.push_back(0);
  colorTable(colors);
}

GifWriter& GifWriter::extension(std::uint8_t label, const std::vector<std::string>& blocks) {
  out_.push_back(0x21);
  out_.push_back(label);
  for (const std::string& b : blocks) {
    out_.push_back(static_cast<std::uint8_t>(b.size()));
    out_.insert(out_.end(), b.begin(), b.end());
  }
  out_.push_back(0);
  return *this;
}

GifWriter& GifWriter::graphicControl(int delay, int disposal, int transparentIndex) {
  const std::string block = {static_cast<char>((disposal << 2) | (transparentIndex >= 0 ? 1 : 0)),
                             static_cast<char>(delay & 0xFF), static_cast<char>(delay >> 8),
                             static_cast<char>(transparentIndex >= 0 ? transparentIndex : 0)};
  return extension(0xF9, {block});
}

GifWriter& GifWriter::image(int left, int top, int width, int height, const std::vector<std::uint8_t>& pixels,
                            const ImageOptions& o) {
  int codeSize = o.codeSize;
  if (codeSize == 0) {
    std::uint8_t most = 0;
    for (std::uint8_t p : pixels) most = std::max(most, p);
    codeSize = std::max(2, SizeField(std::size_t{most} + 1) + 1);
  }
  out_.push_back(0x2C);
  word(left);
  word(top);
  word(width);
  word(height);
  out_.push_back(static_cast<std::uint8_t>((o.interlaced ? 0x40 : 0) |
                                           (o.localColors.empty() ? 0 : 0x80 | SizeField(o.localColors.size()))));
  colorTable(o.localColors);

  // Rows in stream order: the four passes when interlaced.
  std::vector<int> rows;
  if (o.interlaced) {
    static constexpr int kStart[4] = {0, 4, 2, 1}, kStep[4] = {8, 8, 4, 2};
    for (int pass = 0; pass < 4; ++pass)
      for (int y = kStart[pass]; y < height; y += kStep[pass]) rows.push_back(y);
  } else {
    for (int y = 0; y < height; ++y) rows.push_back(y);
  }
  const int clear = 1 << codeSize;
  std::vector<int> codes;
  if (o.startWithClear) codes.push_back(clear);
  int entries = 0;  // table entries the decoder has added since the last clear
  bool first = true;
  for (int y : rows) {
    for (int x = 0; x < width; ++x) {
      codes.push_back(pixels[static_cast<std::size_t>(y) * width + x]);
      if (first) {
        first = false;
      } else if (clear + 2 + entries < 4096 && ++entries + clear + 2 == 4096 && o.clearWhenFull) {
        codes.push_back(clear);
        entries = 0;
        first = true;
      }
    }
  }
  if (o.endCode) codes.push_back(clear + 1);
  out_.push_back(static_cast<std::uint8_t>(codeSize));
  subBlocks(PackCodes(codeSize, codes), o.subBlockSize);
  return *this;
}

GifWriter& GifWriter::rawImage(int width, int height, int codeSize, const std::vector<int>& codes) {
  out_.push_back(0x2C);
  word(0);
  word(0);
  word(width);
  word(height);
  out_.push_back(0);
  out_.push_back(static_cast<std::uint8_t>(codeSize));
  subBlocks(PackCodes(codeSize, codes), 255);
  return *this;
}

GifWriter& GifWriter::raw(const std::vector<std::uint8_t>& bytes) {
  out_.insert(out_.end(), bytes.begin(), bytes.end());
  return *this;
}

GifWriter& GifWriter::trailer() {
  out_.push_back(0x3B);
  return *this;
}

void GifWriter::word(int v) {
  out_.push_back(static_cast<std::uint8_t>(v & 0xFF));
  out_.push_back(static_cast<std::uint8_t>((v >> 8) & 0xFF));
}

void GifWriter::colorTable(const std::vector<pictures::TRGB>& colors) {
  for (const pictures::TRGB& c : colors) out_.insert(out_.end(), {c.R, c.G, c.B});
}

void GifWriter::subBlocks(const std::vector<std::uint8_t>& data, std::size_t blockSize) {
  for (std::size_t at = 0; at < data.size(); at += blockSize) {
    const std::size_t n = std::min(blockSize, data.size() - at);
    out_.push_back(static_cast<std::uint8_t>(n));
    out_.insert(out_.end(), data.begin() + static_cast<std::ptrdiff_t>(at),
                data.begin() + static_cast<std::ptrdiff_t>(at + n));
  }
  out_.push_back(0);
}

std::vector<pictures::TRGB> Greys(int count) {
  std::vector<pictures::TRGB> colors(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i) {
    const auto v = static_cast<std::uint8_t>(i * 255 / std::max(1, count - 1));
    colors[static_cast<std::size_t>(i)] = {v, static_cast<std::uint8_t>(255 - v), v};
  }
  return colors;
}

std::vector<std::uint8_t> Pattern(int width, int height, int colors, unsigned seed) {
  std::vector<std::uint8_t> pixels(static_cast<std::size_t>(width) * height);
  unsigned state = seed * 2654435761u + 1;
  for (std::uint8_t& p : pixels) {
    state = state * 1103515245u + 12345u;
    p = static_cast<std::uint8_t>((state >> 16) % static_cast<unsigned>(colors));
  }
  return pixels;
}

Ppm ParsePpm(const std::string& text) {
  std::size_t at = 0;
  auto token = [&]() {
    for (;;) {
      while (at < text.size() && std::isspace(static_cast<unsigned char>(text[at]))) ++at;
      if (at < text.size() && text[at] == '#') {
        while (at < text.size() && text[at] != '\n') ++at;
        continue;
      }
      break;
    }
    const std::size_t start = at;
    while (at < text.size() && !std::isspace(static_cast<unsigned char>(text[at]))) ++at;
    return text.substr(start, at - start);
  };
  const std::string magic = token();
  if (magic != "P6" && magic != "P5") throw std::runtime_error("not a binary PPM/PGM");
  Ppm ppm;
  ppm.width = std::stoi(token());
  ppm.height = std::stoi(token());
  if (token() != "255") throw std::runtime_error("maxval is not 255");
  ++at;  // the single white-space byte before the samples
  const bool grey = magic == "P5";
  const std::size_t need = static_cast<std::size_t>(ppm.width) * ppm.height * (grey ? 1 : 3);
  if (text.size() < at + need) throw std::runtime_error("samples missing");
  for (std::size_t i = 0; i < need; ++i) {
    const auto v = static_cast<std::uint8_t>(text[at + i]);
    ppm.rgb.insert(ppm.rgb.end(), grey ? 3 : 1, v);
  }
  return ppm;
}

Ppm ReadPpm(const std::string& path) {
  const std::string text = testsupport::readFile(path);
  if (text.empty()) throw std::runtime_error("cannot read " + path);
  return ParsePpm(text);
}

}  // namespace picturetest
