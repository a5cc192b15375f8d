// JPEG decoding through libjpeg. libjpeg reports fatal errors through a callback
// that must not return: it jumps back (longjmp) to the one function that called
// setjmp. Everything between the two works only on the DecodeJob below, which
// lives outside the jumped-over frames, and holds no C++ object that needs
// destroying, so the jump skips nothing that matters.
//
// Quirks handled: Adobe CMYK and YCCK pictures (inverted CMYK, converted to RGB
// here because libjpeg does not), grey-scale pictures, truncated files (libjpeg
// fills the rest in grey and warns).
#include "pictures/jpegimage.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <jpeglib.h>

namespace pictures {

namespace {

// Warnings kept per picture; a damaged file can produce one per block.
constexpr std::size_t kMaxWarnings = 8;
// libjpeg's own working memory (coefficient buffers of progressive pictures).
constexpr long kMaxLibraryMemory = 1L << 30;
// A Huffman-coded JPEG spends at least one bit per 8x8 block of its main
// component: 512 pixels per byte. Twice that, and never less than 16 megapixels,
// is what a file may claim before it is refused unread.
constexpr std::uint64_t kPixelsPerByte = 1024;
constexpr std::uint64_t kPixelsAlwaysAllowed = std::uint64_t{1} << 24;

struct ErrorManager {
  jpeg_error_mgr pub;
  std::jmp_buf jump;
  char message[JMSG_LENGTH_MAX];
  std::vector<std::string>* warnings;
};

void OnFatalError(j_common_ptr cinfo) {
  auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
  (*cinfo->err->format_message)(cinfo, err->message);
  std::longjmp(err->jump, 1);
}

void OnMessage(j_common_ptr cinfo, int level) {
  if (level >= 0) return;  // trace messages
  auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
  ++cinfo->err->num_warnings;
  if (err->warnings->size() >= kMaxWarnings) return;
  char text[JMSG_LENGTH_MAX];
  (*cinfo->err->format_message)(cinfo, text);
  if (std::find(err->warnings->begin(), err->warnings->end(), text) == err->warnings->end())
    err->warnings->emplace_back(text);
}

struct DecodeJob {
  jpeg_decompress_struct cinfo;
  ErrorManager err;
  const std::uint8_t* data;
  std::size_t size;
  TJPEGSettings settings;
  TPixelBuffer* out;
  bool created = false;
  bool cmyk = false;
  bool tooLarge = false;
};

int ScaleDenominator(TJPEGScale s) {
  switch (s) {
    case jsHalf: return 2;
    case jsQuarter: return 4;
    case jsEighth: return 8;
    default: return 1;
  }
}

std::uint8_t Gray(unsigned r, unsigned g, unsigned b) {
  return static_cast<std::uint8_t>((r * 299 + g * 587 + b * 114 + 500) / 1000);
}

// One row of CMYK samples into RGB (or grey) pixels. Adobe's files store the inks
// inverted, which is what libjpeg hands out for them.
void CmykRow(const JSAMPLE* in, std::uint8_t* out, JDIMENSION width, bool inverted, bool gray) {
  for (JDIMENSION x = 0; x < width; ++x, in += 4) {
    unsigned c = in[0], m = in[1], y = in[2], k = in[3];
    if (!inverted) {
      c = 255 - c;
      m = 255 - m;
      y = 255 - y;
      k = 255 - k;
    }
    const unsigned r = (c * k + 127) / 255, g = (m * k + 127) / 255, b = (y * k + 127) / 255;
    if (gray) {
      *out++ = Gray(r, g, b);
    } else {
      *out++ = static_cast<std::uint8_t>(r);
      *out++ = static_cast<std::uint8_t>(g);
      *out++ = static_cast<std::uint8_t>(b);
    }
  }
}

void ChooseOutput(DecodeJob& job) {
  jpeg_decompress_struct& c = job.cinfo;
  const TJPEGSettings& s = job.settings;
  job.cmyk = c.jpeg_color_space == JCS_CMYK || c.jpeg_color_space == JCS_YCCK;
  c.scale_num = 1;
  c.scale_denom = static_cast<unsigned>(ScaleDenominator(s.Scale));
  c.out_color_space = job.cmyk ? JCS_CMYK : s.Grayscale ? JCS_GRAYSCALE : JCS_RGB;
  const bool quality = s.Performance == jpBestQuality;
  c.dct_method = quality ? JDCT_ISLOW : JDCT_IFAST;
  c.do_fancy_upsampling = quality ? TRUE : FALSE;
  c.do_block_smoothing = s.Smoothing ? TRUE : FALSE;
  if (s.PixelFormat == jf8Bit && !job.cmyk && !s.Grayscale) {
    c.quantize_colors = TRUE;
    c.desired_number_of_colors = 256;
    c.two_pass_quantize = quality ? TRUE : FALSE;
    c.dither_mode = quality ? JDITHER_FS : JDITHER_ORDERED;
  }
}

// All of libjpeg's work; a fatal error jumps back into RunJob. job.tooLarge is set
// (and nothing allocated) for a picture its file cannot justify.
void DecodeRows(DecodeJob& job) {
  jpeg_decompress_struct& c = job.cinfo;
  jpeg_read_header(&c, TRUE);
  ChooseOutput(job);
  const std::uint64_t limit = std::max(kPixelsAlwaysAllowed, job.size * kPixelsPerByte);
  const std::uint64_t sourcePixels = std::uint64_t{c.image_width} * c.image_height;
  if (sourcePixels > limit || sourcePixels > kMaxPixels) {
    job.tooLarge = true;
    return;
  }
  jpeg_start_decompress(&c);
  const bool indexed = c.quantize_colors || c.out_color_space == JCS_GRAYSCALE || (job.cmyk && job.settings.Grayscale);
  TPixelBuffer& out = *job.out;
  out.Allocate(static_cast<int>(c.output_width), static_cast<int>(c.output_height),
               indexed ? TPixelFormat::pfIndexed8 : TPixelFormat::pfRgb24);
  JSAMPARRAY cmykRow = nullptr;
  if (job.cmyk)
    cmykRow = (*c.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&c), JPOOL_IMAGE, c.output_width * 4, 1);
  const std::size_t stride = static_cast<std::size_t>(out.BytesPerRow());
  while (c.output_scanline < c.output_height) {
    std::uint8_t* row = out.Pixels.data() + stride * c.output_scanline;
    if (job.cmyk) {
      if (jpeg_read_scanlines(&c, cmykRow, 1) != 1) break;
      CmykRow(cmykRow[0], row, c.output_width, c.saw_Adobe_marker, job.settings.Grayscale);
    } else {
      JSAMPROW rows[1] = {row};
      if (jpeg_read_scanlines(&c, rows, 1) != 1) break;
    }
  }
  if (c.quantize_colors) {
    out.Palette.resize(static_cast<std::size_t>(c.actual_number_of_colors));
    for (int i = 0; i < c.actual_number_of_colors; ++i)
      out.Palette[static_cast<std::size_t>(i)] = TRGB{c.colormap[0][i], c.colormap[1][i], c.colormap[2][i]};
  } else if (indexed) {
    out.Palette.resize(256);
    for (int i = 0; i < 256; ++i) {
      const auto v = static_cast<std::uint8_t>(i);
      out.Palette[static_cast<std::size_t>(i)] = TRGB{v, v, v};
    }
  }
  jpeg_finish_decompress(&c);
}

bool RunJob(DecodeJob& job) {
  if (setjmp(job.err.jump)) return false;
  jpeg_create_decompress(&job.cinfo);
  job.created = true;
  job.cinfo.mem->max_memory_to_use = kMaxLibraryMemory;
  jpeg_mem_src(&job.cinfo, job.data, static_cast<unsigned long>(job.size));
  DecodeRows(job);
  return true;
}

}  // namespace

void TJPEGImage::LoadFromBytes(std::vector<std::uint8_t> bytes) {
  if (bytes.empty()) throw EPictureError("Empty input file");  // libjpeg's words for it
  Bytes_ = std::move(bytes);
  Pixels_ = {};
  Decoded_ = false;
  Warnings_.clear();
}

void TJPEGImage::Decode() { DecodeIfNeeded(); }

void TJPEGImage::DecodeIfNeeded() const {
  if (Bytes_.empty() || (Decoded_ && DecodedWith_ == Settings)) return;
  Decoded_ = false;
  Warnings_.clear();
  TPixelBuffer pixels;
  DecodeJob job{};
  job.cinfo.err = jpeg_std_error(&job.err.pub);
  job.err.pub.error_exit = OnFatalError;
  job.err.pub.emit_message = OnMessage;
  job.err.warnings = &Warnings_;
  job.data = Bytes_.data();
  job.size = Bytes_.size();
  job.settings = Settings;
  job.out = &pixels;
  const bool ok = RunJob(job);
  const unsigned width = job.cinfo.image_width, height = job.cinfo.image_height;
  if (job.created) jpeg_destroy_decompress(&job.cinfo);
  if (!ok) throw EPictureError(job.err.message);
  if (job.tooLarge) CheckPictureSize("JPEG", width, height, 0);
  Pixels_ = std::move(pixels);
  Decoded_ = true;
  DecodedWith_ = Settings;
}

int TJPEGImage::Width() const {
  DecodeIfNeeded();
  return Pixels_.Width;
}

int TJPEGImage::Height() const {
  DecodeIfNeeded();
  return Pixels_.Height;
}

const TPixelBuffer& TJPEGImage::FramePixels(int index) const {
  CheckFrameIndex(index);
  DecodeIfNeeded();
  return Pixels_;
}

}  // namespace pictures
