// kv-imgdump: decodes a GIF, JPEG or bitmap file with the image viewer's decoders
// and writes one frame's own rectangle, as decoded (not composed onto earlier
// frames, transparency ignored), as a binary PPM on standard output; or, with
// --info, the picture's size and its frames.
//
//   kv-imgdump FILE [--frame N]
//   kv-imgdump FILE --info
//
// Exit status 0 on success (decoder warnings go to standard error), 1 with the
// error text on standard error when the picture cannot be decoded, 2 for a wrong
// command line.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <string>
#include <unistd.h>

#include "pictures/gifimage.h"
#include "pictures/pictureformats.h"

namespace {

constexpr const char* kUsage =
    "Usage: kv-imgdump FILE [--frame N]\n"
    "       kv-imgdump FILE --info\n"
    "Decodes a GIF, JPEG or BMP file (chosen by its extension) and writes frame N\n"
    "(default 0) as a binary PPM (P6) on standard output: the frame's own rectangle\n"
    "as decoded, not composed onto earlier frames, transparency ignored.\n"
    "--info prints the size, the frame count and each frame's place and delay.\n";

int UsageError(const char* what) {
  std::fprintf(stderr, "kv-imgdump: %s\n%s", what, kUsage);
  return 2;
}

bool ParseFrameNumber(const char* text, int& number) {
  char* end = nullptr;
  errno = 0;
  const long value = std::strtol(text, &end, 10);
  if (errno != 0 || end == text || *end != '\0' || value < -1000000000 || value > 1000000000) return false;
  number = static_cast<int>(value);
  return true;
}

bool WriteAll(const void* data, std::size_t size) {
  const auto* p = static_cast<const char*>(data);
  while (size > 0) {
    const ssize_t n = ::write(STDOUT_FILENO, p, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    p += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

void PrintInfo(const pictures::TGraphic& picture) {
  std::printf("width %d\nheight %d\nframes %d\n", picture.Width(), picture.Height(), picture.FrameCount());
  const auto* gif = dynamic_cast<const pictures::TGIFImage*>(&picture);
  for (int i = 0; i < picture.FrameCount(); ++i) {
    if (gif) {
      const pictures::TGIFFrame& f = gif->Frame(i);
      const pictures::TGraphicControlExtension* gce = f.GraphicControl();
      std::printf("frame %d: %dx%d at %d,%d delay %d\n", i, f.ImageDescriptor.Width, f.ImageDescriptor.Height,
                  f.ImageDescriptor.Left, f.ImageDescriptor.Top, gce ? gce->DelayTime : 0);
    } else {
      std::printf("frame %d: %dx%d at 0,0 delay 0\n", i, picture.Width(), picture.Height());
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  std::string file;
  int frame = 0;
  bool info = false;
  for (int i = 1; i < argc; ++i) {
    const char* arg = argv[i];
    if (std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0) {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (std::strcmp(arg, "--info") == 0) {
      info = true;
    } else if (std::strcmp(arg, "--frame") == 0) {
      if (++i >= argc || !ParseFrameNumber(argv[i], frame)) return UsageError("--frame needs a frame number");
    } else if (arg[0] == '-' && arg[1] != '\0') {
      return UsageError((std::string("unknown option ") + arg).c_str());
    } else if (file.empty()) {
      file = arg;
    } else {
      return UsageError("only one file can be given");
    }
  }
  if (file.empty()) return UsageError("no file given");

  try {
    const auto picture = pictures::LoadPicture(file);
    for (const std::string& w : picture->Warnings()) std::fprintf(stderr, "warning: %s\n", w.c_str());
    if (info) {
      PrintInfo(*picture);
      return 0;
    }
    const pictures::TPixelBuffer& pixels = picture->FramePixels(frame);
    const std::vector<std::uint8_t> rgb = pixels.ToRgb24();
    const std::string header = "P6\n" + std::to_string(pixels.Width) + " " + std::to_string(pixels.Height) + "\n255\n";
    if (!WriteAll(header.data(), header.size()) || !WriteAll(rgb.data(), rgb.size())) {
      std::fprintf(stderr, "kv-imgdump: cannot write the picture: %s\n", std::strerror(errno));
      return 1;
    }
    return 0;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }
}
