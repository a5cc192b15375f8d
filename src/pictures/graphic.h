// The picture classes the image viewer loads, without any window code: the
// decoded pixels of one picture or frame (TPixelBuffer), the error every decoder
// raises (EPictureError), and the base class TGraphic that the GIF, JPEG and
// bitmap pictures share. A picture is filled from a file or from bytes in memory;
// it only ever reads within the bytes it was given.
//
// Not thread-safe: a picture is used by one thread at a time.
#pragma once

#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

namespace pictures {

enum TImageType { itBmp, itGif, itJpeg, itUnknown };

// The error of every picture class; what() is the text shown to the user.
class EPictureError : public std::runtime_error {
 public:
  explicit EPictureError(const std::string& message) : std::runtime_error(message) {}
};

// printf-style formatting of an error text.
std::string FormatText(const char* format, ...) __attribute__((format(printf, 1, 2)));

struct TRGB {
  std::uint8_t R = 0, G = 0, B = 0;
  friend bool operator==(const TRGB&, const TRGB&) = default;
};

enum class TPixelFormat { pfIndexed8, pfRgb24 };

// Decoded pixels, rows top-down without padding: Width bytes per row for
// pfIndexed8 (indices into Palette), 3 * Width bytes (R, G, B) for pfRgb24.
struct TPixelBuffer {
  int Width = 0;
  int Height = 0;
  TPixelFormat PixelFormat = TPixelFormat::pfRgb24;
  std::vector<std::uint8_t> Pixels;
  std::vector<TRGB> Palette;

  int BytesPerRow() const { return PixelFormat == TPixelFormat::pfIndexed8 ? Width : 3 * Width; }
  // Sizes the buffer (pixels zeroed); the palette is left as it is.
  void Allocate(int width, int height, TPixelFormat format);
  // The colour of an index; an index beyond the palette is black.
  TRGB Color(std::uint8_t index) const { return index < Palette.size() ? Palette[index] : TRGB{}; }
  // R, G, B bytes of every pixel, rows top-down (3 * Width * Height bytes).
  std::vector<std::uint8_t> ToRgb24() const;
};

// Upper bounds on what a decoder allocates for a picture. A picture of more than
// kMaxPixels pixels is refused; so is one whose pixel count its compressed data
// could not produce (the decoders check that bound themselves).
inline constexpr std::uint64_t kMaxPixels = std::uint64_t{1} << 28;

class TGraphic {
 public:
  virtual ~TGraphic() = default;

  // The class name ("TGIFImage"), used in error texts.
  virtual const char* ClassName() const = 0;
  virtual TImageType ImageType() const = 0;

  // Reads the whole file and loads its bytes. Raises EPictureError when the file
  // cannot be read (the picture is then empty) or when its contents are refused.
  void LoadFromFile(const std::string& path);
  // Takes the bytes of a picture file. Decoders may defer decoding to the first use
  // of the pixels; errors then surface there.
  virtual void LoadFromBytes(std::vector<std::uint8_t> bytes) = 0;
  // Decodes now if not yet done, so that errors surface at once.
  virtual void Decode() = 0;

  virtual bool Empty() const = 0;
  // Size of the whole picture (for a GIF, its logical screen).
  virtual int Width() const = 0;
  virtual int Height() const = 0;
  // Number of frames: 1 for a still picture, 0 when empty.
  virtual int FrameCount() const { return Empty() ? 0 : 1; }
  // The pixels of one frame (its own rectangle). Raises "Invalid frame number".
  virtual const TPixelBuffer& FramePixels(int index) const = 0;

  // Problems the decoder worked around (a truncated JPEG file), in order.
  const std::vector<std::string>& Warnings() const { return Warnings_; }

 protected:
  // Raises "Invalid frame number %d (0..%d)" unless 0 <= index < FrameCount().
  void CheckFrameIndex(int index) const;
  mutable std::vector<std::string> Warnings_;  // filled while decoding, which may be deferred
};

// Reads a whole file; raises EPictureError with the reason when it cannot.
std::vector<std::uint8_t> ReadWholeFile(const std::string& path);

// Raises EPictureError when a picture of width x height cannot be accepted: a side
// that is not positive, more than kMaxPixels pixels, or more than maxFromData
// pixels (what the picture's compressed data could possibly produce).
void CheckPictureSize(const char* kind, std::uint64_t width, std::uint64_t height, std::uint64_t maxFromData);

}  // namespace pictures
