// Feeds arbitrary bytes to the bitmap reader (inputs starting "BM") or to the JPEG
// decoder (all others, with settings taken from the last byte). Every input must
// end in a picture or a clean EPictureError: no crash, no read out of bounds, no
// allocation its data cannot justify.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "pictures/bmpimage.h"
#include "pictures/jpegimage.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::vector<std::uint8_t> bytes(data, data + size);
  try {
    if (size >= 2 && data[0] == 'B' && data[1] == 'M') {
      pictures::TBMPImage bmp;
      bmp.LoadFromBytes(std::move(bytes));
      if (!bmp.Empty()) (void)bmp.FramePixels(0).ToRgb24();
    } else {
      pictures::TJPEGImage jpeg;
      const std::uint8_t knobs = size ? data[size - 1] : 0;
      jpeg.Settings.PixelFormat = knobs & 1 ? pictures::jf8Bit : pictures::jf24Bit;
      jpeg.Settings.Scale = static_cast<pictures::TJPEGScale>((knobs >> 1) & 3);
      jpeg.Settings.Grayscale = knobs & 8;
      jpeg.Settings.Performance = knobs & 16 ? pictures::jpBestSpeed : pictures::jpBestQuality;
      jpeg.Settings.Smoothing = knobs & 32;
      jpeg.LoadFromBytes(std::move(bytes));
      (void)jpeg.FramePixels(0).ToRgb24();
    }
  } catch (const pictures::EPictureError&) {}
  return 0;
}
