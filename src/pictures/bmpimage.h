// TBMPImage: a device-independent bitmap file (".bmp"): 1, 4 and 8 bits with a
// palette (8 and 4 bits also run-length encoded), 16, 24 and 32 bits, bottom-up
// or top-down rows. Decoded at load; errors raise EPictureError.
#pragma once

#include <cstdint>
#include <vector>

#include "pictures/graphic.h"

namespace pictures {

class TBMPImage : public TGraphic {
 public:
  const char* ClassName() const override { return "TBitmap"; }
  TImageType ImageType() const override { return itBmp; }

  void LoadFromBytes(std::vector<std::uint8_t> bytes) override;
  void Decode() override {}

  bool Empty() const override { return Pixels_.Pixels.empty(); }
  int Width() const override { return Pixels_.Width; }
  int Height() const override { return Pixels_.Height; }
  const TPixelBuffer& FramePixels(int index) const override {
    CheckFrameIndex(index);
    return Pixels_;
  }

 private:
  TPixelBuffer Pixels_;
};

}  // namespace pictures
