// TGIFImage: a GIF picture (GIF87a and GIF89a), decoded by our own stream reader
// and LZW decoder, with its frames, their display times, and animation on the
// shared timer pool (giftimer.h).
//
// The picture keeps the file's bytes in a TGIFData that copies share by reference
// count (Assign). The stream is read on first use of the frames: the logical
// screen, the global colour table, then every frame with the extensions before it,
// its image descriptor, its local colour table and its raster data, which is
// decoded at once into an indexed bitmap of the frame's own rectangle. Frames are
// not composed onto each other; transparency and disposal are kept but not applied.
//
// Errors are EGIFError with the texts below; a stream that failed once fails the
// same way on every later use. The reader never reads beyond the bytes it was
// given and sizes a frame's bitmap only when its raster data could fill it.
#pragma once

#include <cstdint>
#include <functional>
#include <iosfwd>
#include <memory>
#include <string>
#include <variant>
#include <vector>

#include "pictures/graphic.h"

namespace pictures {

class EGIFError : public EPictureError {
 public:
  using EPictureError::EPictureError;
};

// 2^(n+1) colours, n being the size field of the packed byte that announced it.
class TColorTable {
 public:
  std::vector<TRGB> Colors;

  int Count() const { return static_cast<int>(Colors.size()); }
  // Raises "Index %d out of range [0..%d]".
  const TRGB& Color(int index) const;
};

// The 4 data bytes of a graphic control extension (label 0xF9).
struct TGraphicControlExtension {
  std::uint8_t Packed = 0;
  std::uint16_t DelayTime = 0;  // hundredths of a second
  std::uint8_t TransparentColorIndex = 0;

  int DisposalMethod() const { return (Packed >> 2) & 7; }
  bool Transparent() const { return (Packed & 1) != 0; }
};

// Extensions whose data are kept as one string per data sub-block.
struct TCommentExtension {
  std::vector<std::string> Strings;
};
struct TApplicationExtension {
  std::vector<std::string> Strings;  // first: identifier and authentication code
};
// A plain-text extension: a 12-byte first block (text grid and colours), then the
// text. The decoder keeps it; drawing the text is up to the window.
struct TPlainTextExtension {
  std::vector<std::string> Strings;

  struct TGrid {
    int Left = 0, Top = 0, Width = 0, Height = 0;  // on the logical screen
    int CellWidth = 0, CellHeight = 0;
    int ForegroundIndex = 0, BackgroundIndex = 0;
  };
  // False when the first block is shorter than 12 bytes.
  bool Grid(TGrid& grid) const;
  // The text blocks joined.
  std::string Text() const;
};

using TGIFExtension =
    std::variant<TGraphicControlExtension, TCommentExtension, TPlainTextExtension, TApplicationExtension>;

struct TImageDescriptor {
  std::uint16_t Left = 0, Top = 0, Width = 0, Height = 0;
  std::uint8_t Packed = 0;
  TColorTable LocalColorTable;  // filled only when the packed byte announces it

  bool HasLocalColorTable() const { return (Packed & 0x80) != 0; }
  bool Interlaced() const { return (Packed & 0x40) != 0; }
};

// A frame's compressed pixels: the LZW minimum code size and the chain of data
// sub-blocks, kept where they lie in the stream (not copied): from ChainOffset,
// each a length byte and that many bytes, up to ChainEnd, just past the
// terminating zero length.
struct TRasterData {
  std::uint8_t CodeSize = 0;
  std::size_t ChainOffset = 0;
  std::size_t ChainEnd = 0;
  std::size_t DataBytes = 0;  // sum of the sub-block lengths
};

class TGIFFrame {
 public:
  std::vector<TGIFExtension> Extensions;  // in stream order, before the image
  TImageDescriptor ImageDescriptor;
  TRasterData RasterData;
  int DisplayTime = 0;  // hundredths of a second

  // The frame's own rectangle as indexed pixels with the frame's palette.
  const TPixelBuffer& Bitmap() const { return Bitmap_; }
  // The frame's graphic control extension, or nullptr.
  const TGraphicControlExtension* GraphicControl() const;

 private:
  friend class TGIFData;
  TPixelBuffer Bitmap_;
};

// The shared contents of a GIF picture: its bytes, and once read, the logical
// screen, the global colour table and the frames.
class TGIFData {
 public:
  explicit TGIFData(std::vector<std::uint8_t> bytes) : Bytes_(std::move(bytes)) {}

  const std::vector<std::uint8_t>& Bytes() const { return Bytes_; }
  // Reads and decodes the stream if not yet done; raises EGIFError (the same error
  // on every call once the stream failed).
  void EnsureRead();

  std::uint16_t Width = 0, Height = 0;  // logical screen
  std::uint8_t Packed = 0;
  std::uint8_t BackgroundColorIndex = 0;
  std::uint8_t PixelAspectRatio = 0;
  TColorTable GlobalColorTable;  // filled only when the packed byte announces it
  std::vector<TGIFFrame> Frames;

  bool HasGlobalColorTable() const { return (Packed & 0x80) != 0; }

 private:
  enum class State { Unread, Read, Failed };
  void ReadStream();
  // Raises the frame's error when its code size is wrong or its size cannot be met.
  static void CheckFrameSize(const TGIFFrame& frame);
  void DecodeFrame(TGIFFrame& frame);

  std::vector<std::uint8_t> Bytes_;
  State State_ = State::Unread;
  std::string Failure_;
};

class TGIFImage : public TGraphic {
 public:
  static constexpr const char* kExtension = "GIF";
  static constexpr const char* kDescription = "Graphics Interchange Format";

  TGIFImage();
  ~TGIFImage() override;
  TGIFImage(const TGIFImage&) = delete;
  TGIFImage& operator=(const TGIFImage&) = delete;

  const char* ClassName() const override { return "TGIFImage"; }
  TImageType ImageType() const override { return itGif; }

  void LoadFromBytes(std::vector<std::uint8_t> bytes) override;
  void Decode() override;
  // Writes the bytes as they were read; raises "No GIF data" for an empty picture.
  void SaveToStream(std::ostream& out) const;

  bool Empty() const override { return !Data_; }
  int Width() const override;
  int Height() const override;
  int FrameCount() const override;
  const TPixelBuffer& FramePixels(int index) const override { return Frame(index).Bitmap(); }
  // Raises "Invalid frame number %d (0..%d)".
  const TGIFFrame& Frame(int index) const;
  // The shared data; nullptr when empty.
  const std::shared_ptr<TGIFData>& Data() const { return Data_; }

  // The frame shown; setting it clamps to 0 .. FrameCount() - 1, restarts the
  // animation trigger with that frame's display time and raises OnChange.
  int CurrentFrame() const { return CurrentFrame_; }
  void SetCurrentFrame(int index);
  // Display time of a frame in hundredths of a second; raises "Invalid frame number".
  int DisplayTime(int index) const { return Frame(index).DisplayTime; }
  void SetDisplayTime(int index, int hundredths);

  // While on (and the picture has more than one frame), each trigger of the shared
  // timer pool moves to the next frame, after the last back to the first.
  bool Animate() const { return Animate_; }
  void SetAnimate(bool on);

  // From another GIF picture: shares its data. From nullptr: empties this one. Any
  // other picture raises "Cannot assign to %s" with its class name.
  void Assign(const TGraphic* source);

  // Raised when the picture to show changed (frame, contents).
  std::function<void(TGIFImage& Sender)> OnChange;

 private:
  TGIFData* ReadData() const;
  void UpdateTrigger();
  void Changed();
  void AnimationTick();

  std::shared_ptr<TGIFData> Data_;
  int CurrentFrame_ = 0;
  bool Animate_ = false;
  int Trigger_ = 0;
};

}  // namespace pictures
