// TJPEGImage: a JPEG picture (baseline or progressive) decoded by libjpeg into a
// 24-bit picture, or into 256 colours or shades of grey when asked. The five
// settings below decide how it is decoded; changing one decodes the picture
// again on its next use.
//
// Problems libjpeg works around (a truncated file: "Premature end of JPEG file")
// are kept in Warnings() and the picture is still shown; errors raise
// EPictureError with libjpeg's text.
#pragma once

#include <cstdint>
#include <vector>

#include "pictures/graphic.h"

namespace pictures {

enum TJPEGPixelFormat { jf24Bit, jf8Bit };
enum TJPEGScale { jsFullSize, jsHalf, jsQuarter, jsEighth };
enum TJPEGPerformance { jpBestQuality, jpBestSpeed };

struct TJPEGSettings {
  TJPEGPixelFormat PixelFormat = jf24Bit;
  TJPEGScale Scale = jsFullSize;
  bool Grayscale = false;
  // Best quality: the accurate integer transform and smooth upsampling of the
  // colour planes (the pixels libjpeg's own tools give); best speed: the fast
  // transform and plain upsampling.
  TJPEGPerformance Performance = jpBestQuality;
  // Smoothing of the blocks of a progressive picture whose later scans are missing.
  bool Smoothing = false;

  friend bool operator==(const TJPEGSettings&, const TJPEGSettings&) = default;
};

class TJPEGImage : public TGraphic {
 public:
  const char* ClassName() const override { return "TJPEGImage"; }
  TImageType ImageType() const override { return itJpeg; }

  void LoadFromBytes(std::vector<std::uint8_t> bytes) override;
  // Decodes with the current settings unless already done with them.
  void Decode() override;

  bool Empty() const override { return Bytes_.empty(); }
  int Width() const override;
  int Height() const override;
  const TPixelBuffer& FramePixels(int index) const override;

  TJPEGSettings Settings;

 private:
  void DecodeIfNeeded() const;

  std::vector<std::uint8_t> Bytes_;
  mutable TPixelBuffer Pixels_;
  mutable bool Decoded_ = false;
  mutable TJPEGSettings DecodedWith_;
};

}  // namespace pictures
