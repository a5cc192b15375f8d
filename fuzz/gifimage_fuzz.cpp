// Feeds arbitrary bytes to TGIFImage as a GIF file and walks what it read: every
// frame's pixels and the composed canvas of the animation. Every input must end in
// a picture or a clean EGIFError: no crash, no read out of bounds, no allocation
// its data cannot justify.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "pictures/gifcanvas.h"
#include "pictures/gifimage.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  pictures::TGIFImage gif;
  gif.LoadFromBytes(std::vector<std::uint8_t>(data, data + size));
  try {
    gif.Decode();
    unsigned sum = 0;
    for (int i = 0; i < gif.FrameCount(); ++i) {
      const pictures::TPixelBuffer& p = gif.FramePixels(i);
      for (std::uint8_t v : p.Pixels) sum += v;
      sum += p.Color(static_cast<std::uint8_t>(sum)).R;
    }
    pictures::TGIFCanvas canvas(*gif.Data());
    for (int i = 0; i < gif.FrameCount() && i < 64; ++i) canvas.Show(i);
    canvas.Show(0);
    gif.SetCurrentFrame(static_cast<int>(sum));
  } catch (const pictures::EGIFError&) {}
  return 0;
}
