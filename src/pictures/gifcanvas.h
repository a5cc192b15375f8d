// TGIFCanvas: the logical screen of a GIF picture as a viewer shows it, each frame
// drawn at its place over what the earlier frames left, with the transparent
// colour of its graphic control extension and its disposal applied before the
// next frame (keep, clear to transparent, restore what was there before).
//
// The frames themselves stay as decoded (TGIFFrame::Bitmap); the canvas is an
// extra picture for windows that show the animation.
#pragma once

#include <cstdint>
#include <vector>

#include "pictures/gifimage.h"

namespace pictures {

class TGIFCanvas {
 public:
  // Reads data if not yet done; data must outlive the canvas. Raises the stream's
  // EGIFError, or "GIF picture too large" for a screen of more than 64 megapixels
  // or of more than 4 megapixels and four times the pixels of all frames.
  explicit TGIFCanvas(TGIFData& data);

  // The canvas size: the logical screen, or the first frame's extent when the
  // screen is given as empty.
  int Width() const { return Width_; }
  int Height() const { return Height_; }
  // Composes up to frame index (clamped): one step after the frame shown last,
  // otherwise from the first frame.
  void Show(int index);
  int Shown() const { return Shown_; }
  // 0xAARRGGBB per pixel, rows top-down; alpha 0 where nothing was drawn.
  const std::vector<std::uint32_t>& Pixels() const { return Pixels_; }

 private:
  void Draw(const TGIFFrame& frame);
  void Dispose(const TGIFFrame& frame);

  const TGIFData& Data_;
  int Width_ = 0, Height_ = 0;
  int Shown_ = -1;
  std::vector<std::uint32_t> Pixels_;
  std::vector<std::uint32_t> Saved_;  // the canvas before a frame that restores it
};

}  // namespace pictures
