// The GIF stream reader: signature, logical screen descriptor, global colour
// table, then blocks until the trailer ";": extensions ("!" and a label) and images
// ("," with their descriptor, local colour table and raster data). Data sub-blocks
// are a length byte followed by that many bytes; a zero length ends a series.
//
// Quirks handled: a stream that ends after a complete image without its trailer
// (tolerated, as common viewers do), extensions after the last image (kept with no
// frame), unknown extension labels (skipped), a graphic control block shorter than
// its 4 bytes (the rest read as zero).
#include <cstring>

#include "pictures/gifimage.h"
#include "pictures/giflzw.h"

namespace pictures {

namespace {

// Decoded pixels of all frames of one picture together stay below this.
constexpr std::uint64_t kMaxTotalPixels = std::uint64_t{1} << 30;
// Display time of a frame without a delay of its own, in hundredths of a second.
constexpr int kDefaultDisplayTime = 10;

[[noreturn]] void Raise(const std::string& text) { throw EGIFError(text); }

// Bounded reading of the stream: every read past the end raises.
class StreamReader {
 public:
  explicit StreamReader(const std::vector<std::uint8_t>& bytes) : data_(bytes.data()), size_(bytes.size()) {}

  bool AtEnd() const { return pos_ >= size_; }
  std::size_t Pos() const { return pos_; }
  std::uint8_t Byte() {
    Need(1);
    return data_[pos_++];
  }
  std::uint16_t Word() {
    Need(2);
    const std::uint16_t w = static_cast<std::uint16_t>(data_[pos_] | (data_[pos_ + 1] << 8));
    pos_ += 2;
    return w;
  }
  const std::uint8_t* Take(std::size_t n) {
    Need(n);
    const std::uint8_t* p = data_ + pos_;
    pos_ += n;
    return p;
  }

 private:
  void Need(std::size_t n) const {
    if (size_ - pos_ < n) Raise("Unexpected end of GIF file");
  }

  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t pos_ = 0;
};

TColorTable ReadColorTable(StreamReader& in, int sizeField) {
  TColorTable table;
  const int count = 1 << ((sizeField & 7) + 1);
  const std::uint8_t* p = in.Take(static_cast<std::size_t>(count) * 3);
  table.Colors.resize(count);
  for (TRGB& c : table.Colors) {
    c = TRGB{p[0], p[1], p[2]};
    p += 3;
  }
  return table;
}

// Calls block(data, length) for each sub-block of a series, through its terminator.
template <typename Block>
void ReadSubBlocks(StreamReader& in, Block block) {
  for (;;) {
    const std::uint8_t length = in.Byte();
    if (length == 0) return;
    block(in.Take(length), length);
  }
}

std::vector<std::string> ReadStrings(StreamReader& in) {
  std::vector<std::string> strings;
  ReadSubBlocks(
      in, [&](const std::uint8_t* p, std::size_t n) { strings.emplace_back(reinterpret_cast<const char*>(p), n); });
  return strings;
}

// An extension after its "!" and label; appends what it keeps.
void ReadExtension(StreamReader& in, std::uint8_t label, std::vector<TGIFExtension>& into) {
  switch (label) {
    case 0xF9: {
      std::uint8_t bytes[4] = {};
      bool first = true;
      ReadSubBlocks(in, [&](const std::uint8_t* p, std::size_t n) {
        if (first) std::memcpy(bytes, p, std::min<std::size_t>(n, 4));
        first = false;
      });
      TGraphicControlExtension gce;
      gce.Packed = bytes[0];
      gce.DelayTime = static_cast<std::uint16_t>(bytes[1] | (bytes[2] << 8));
      gce.TransparentColorIndex = bytes[3];
      into.emplace_back(gce);
      return;
    }
    case 0xFE: into.emplace_back(TCommentExtension{ReadStrings(in)}); return;
    case 0x01: into.emplace_back(TPlainTextExtension{ReadStrings(in)}); return;
    case 0xFF: into.emplace_back(TApplicationExtension{ReadStrings(in)}); return;
    default: ReadSubBlocks(in, [](const std::uint8_t*, std::size_t) {}); return;
  }
}

TRasterData ReadRasterData(StreamReader& in) {
  TRasterData raster;
  raster.CodeSize = in.Byte();
  raster.ChainOffset = in.Pos();
  ReadSubBlocks(in, [&](const std::uint8_t*, std::size_t n) { raster.DataBytes += n; });
  raster.ChainEnd = in.Pos();
  return raster;
}

}  // namespace

void TGIFData::EnsureRead() {
  if (State_ == State::Read) return;
  if (State_ == State::Failed) Raise(Failure_);
  try {
    ReadStream();
    State_ = State::Read;
  } catch (const EGIFError& e) {
    // Nothing half-read stays visible: the picture fails the same way from now on.
    Frames.clear();
    GlobalColorTable = {};
    Width = Height = 0;
    State_ = State::Failed;
    Failure_ = e.what();
    throw;
  }
}

void TGIFData::ReadStream() {
  StreamReader in(Bytes_);
  if (Bytes_.size() < 6 || std::memcmp(Bytes_.data(), "GIF", 3) != 0) Raise("Not a GIF file");
  in.Take(6);
  Width = in.Word();
  Height = in.Word();
  Packed = in.Byte();
  BackgroundColorIndex = in.Byte();
  PixelAspectRatio = in.Byte();
  if (HasGlobalColorTable()) GlobalColorTable = ReadColorTable(in, Packed);

  std::vector<TGIFExtension> pending;  // extensions waiting for their image
  std::uint64_t totalPixels = 0;
  for (;;) {
    if (in.AtEnd()) {
      // No trailer: fine after a complete image, a truncated file otherwise.
      if (Frames.empty()) Raise("Unexpected end of GIF file");
      return;
    }
    const std::uint8_t separator = in.Byte();
    if (separator == 0x3B) return;
    if (separator == 0x21) {
      const std::uint8_t label = in.Byte();
      ReadExtension(in, label, pending);
      continue;
    }
    if (separator != 0x2C) Raise(FormatText("Invalid GIF format seperator: $%X", separator));

    TGIFFrame& frame = Frames.emplace_back();
    frame.Extensions = std::move(pending);
    pending.clear();
    TImageDescriptor& d = frame.ImageDescriptor;
    d.Left = in.Word();
    d.Top = in.Word();
    d.Width = in.Word();
    d.Height = in.Word();
    d.Packed = in.Byte();
    if (d.HasLocalColorTable()) d.LocalColorTable = ReadColorTable(in, d.Packed);
    frame.RasterData = ReadRasterData(in);
    const TGraphicControlExtension* gce = frame.GraphicControl();
    frame.DisplayTime = gce && gce->DelayTime > 0 ? gce->DelayTime : kDefaultDisplayTime;
    CheckFrameSize(frame);
    totalPixels += std::uint64_t{d.Width} * d.Height;
    if (totalPixels > kMaxTotalPixels) Raise(FormatText("GIF picture too large (%zu frames)", Frames.size()));
    DecodeFrame(frame);
  }
}

void TGIFData::CheckFrameSize(const TGIFFrame& frame) {
  const TImageDescriptor& d = frame.ImageDescriptor;
  const int size = frame.RasterData.CodeSize;
  CheckLzwCodeSize(size);
  // A frame its data cannot fill is refused before its bitmap is allocated.
  const std::uint64_t pixels = std::uint64_t{d.Width} * d.Height;
  if (!LzwCanYield(frame.RasterData.DataBytes, size, pixels)) Raise("Truncated GIF image data");
  if (pixels > kMaxPixels) Raise(FormatText("GIF picture too large (%ux%u)", d.Width, d.Height));
}

void TGIFData::DecodeFrame(TGIFFrame& frame) {
  const TImageDescriptor& d = frame.ImageDescriptor;
  const TColorTable& table = d.HasLocalColorTable() ? d.LocalColorTable : GlobalColorTable;
  TPixelBuffer& bitmap = frame.Bitmap_;
  bitmap.Palette = table.Colors;
  bitmap.Allocate(d.Width, d.Height, TPixelFormat::pfIndexed8);
  DecodeLzw(Bytes_, frame.RasterData, d.Interlaced(), table.Count(), bitmap);
}

}  // namespace pictures
