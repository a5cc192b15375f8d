#include "pictures/gifcanvas.h"

#include <algorithm>

namespace pictures {

namespace {

enum Disposal { kKeep = 1, kClear = 2, kRestore = 3 };

// 256 MB of canvas at most, and no more than four times the frames' pixels unless
// it is small anyway (16 MB).
constexpr std::uint64_t kMaxCanvasPixels = std::uint64_t{1} << 26;
constexpr std::uint64_t kCanvasAlwaysAllowed = std::uint64_t{1} << 22;

int DisposalOf(const TGIFFrame& frame) {
  const TGraphicControlExtension* gce = frame.GraphicControl();
  return gce ? gce->DisposalMethod() : 0;
}

}  // namespace

TGIFCanvas::TGIFCanvas(TGIFData& data) : Data_((data.EnsureRead(), data)), Width_(data.Width), Height_(data.Height) {
  if ((Width_ == 0 || Height_ == 0) && !data.Frames.empty()) {
    const TImageDescriptor& d = data.Frames.front().ImageDescriptor;
    Width_ = d.Left + d.Width;
    Height_ = d.Top + d.Height;
  }
  // The screen size is a claim that no pixel data back: it may exceed what the
  // frames cover only within reason.
  std::uint64_t framePixels = 0;
  for (const TGIFFrame& f : data.Frames)
    framePixels += std::uint64_t{f.ImageDescriptor.Width} * f.ImageDescriptor.Height;
  const std::uint64_t area = std::uint64_t{static_cast<unsigned>(Width_)} * static_cast<unsigned>(Height_);
  if (area > kMaxCanvasPixels || area > std::max(kCanvasAlwaysAllowed, 4 * framePixels))
    throw EGIFError(FormatText("GIF picture too large (%dx%d)", Width_, Height_));
  Pixels_.assign(static_cast<std::size_t>(Width_) * static_cast<std::size_t>(Height_), 0);
}

void TGIFCanvas::Show(int index) {
  const int count = static_cast<int>(Data_.Frames.size());
  if (count == 0) return;
  index = std::clamp(index, 0, count - 1);
  if (index == Shown_) return;
  int from = Shown_ + 1;
  if (index != Shown_ + 1 || Shown_ < 0) {
    std::fill(Pixels_.begin(), Pixels_.end(), 0u);
    from = 0;
  } else {
    Dispose(Data_.Frames[static_cast<std::size_t>(Shown_)]);
  }
  for (int i = from; i <= index; ++i) {
    const TGIFFrame& frame = Data_.Frames[static_cast<std::size_t>(i)];
    if (i > from) Dispose(Data_.Frames[static_cast<std::size_t>(i - 1)]);
    if (DisposalOf(frame) == kRestore) Saved_ = Pixels_;
    Draw(frame);
  }
  Shown_ = index;
}

void TGIFCanvas::Draw(const TGIFFrame& frame) {
  const TImageDescriptor& d = frame.ImageDescriptor;
  const TPixelBuffer& bitmap = frame.Bitmap();
  const TGraphicControlExtension* gce = frame.GraphicControl();
  const int transparent = gce && gce->Transparent() ? gce->TransparentColorIndex : -1;
  std::uint32_t colors[256];
  for (int i = 0; i < 256; ++i) {
    const TRGB c = bitmap.Color(static_cast<std::uint8_t>(i));
    colors[i] = 0xFF000000u | (std::uint32_t{c.R} << 16) | (std::uint32_t{c.G} << 8) | c.B;
  }
  // Only the part of the frame that lies on the canvas.
  const int right = std::min<int>(Width_, d.Left + bitmap.Width);
  const int bottom = std::min<int>(Height_, d.Top + bitmap.Height);
  for (int y = d.Top; y < bottom; ++y) {
    const std::uint8_t* src = bitmap.Pixels.data() + static_cast<std::size_t>(y - d.Top) * bitmap.Width;
    std::uint32_t* dst = Pixels_.data() + static_cast<std::size_t>(y) * Width_;
    for (int x = d.Left; x < right; ++x) {
      const std::uint8_t index = src[x - d.Left];
      if (index != transparent) dst[x] = colors[index];
    }
  }
}

void TGIFCanvas::Dispose(const TGIFFrame& frame) {
  const int disposal = DisposalOf(frame);
  if (disposal == kRestore && Saved_.size() == Pixels_.size()) {
    Pixels_.swap(Saved_);
    return;
  }
  if (disposal != kClear) return;
  const TImageDescriptor& d = frame.ImageDescriptor;
  const int right = std::min<int>(Width_, d.Left + d.Width);
  const int bottom = std::min<int>(Height_, d.Top + d.Height);
  if (d.Left >= right) return;  // the frame lies beside the canvas
  for (int y = d.Top; y < bottom; ++y)
    std::fill(Pixels_.begin() + static_cast<std::ptrdiff_t>(y) * Width_ + d.Left,
              Pixels_.begin() + static_cast<std::ptrdiff_t>(y) * Width_ + right, 0u);
}

}  // namespace pictures
