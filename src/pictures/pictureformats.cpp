#include "pictures/pictureformats.h"

#include <algorithm>
#include <cctype>

#include "pictures/bmpimage.h"
#include "pictures/gifimage.h"
#include "pictures/jpegimage.h"

namespace pictures {

namespace {

// The extension after the last dot of the file-name part, or "" for none.
std::string ExtensionOf(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  const std::size_t dot = path.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
  return path.substr(dot + 1);
}

bool SameText(const std::string& a, const char* b) {
  const std::string other(b);
  return a.size() == other.size() && std::equal(a.begin(), a.end(), other.begin(), [](char x, char y) {
           return std::toupper(static_cast<unsigned char>(x)) == std::toupper(static_cast<unsigned char>(y));
         });
}

}  // namespace

const std::vector<TPictureFormat>& PictureFormats() {
  static const std::vector<TPictureFormat> formats = {
      {TGIFImage::kExtension, TGIFImage::kDescription, itGif},
      {"JPG", "JPEG Image File", itJpeg},
      {"JPEG", "JPEG Image File", itJpeg},
      {"BMP", "Bitmap", itBmp},
  };
  return formats;
}

const TPictureFormat* FindPictureFormat(const std::string& path) {
  const std::string ext = ExtensionOf(path);
  for (const TPictureFormat& f : PictureFormats())
    if (SameText(ext, f.Extension)) return &f;
  return nullptr;
}

std::unique_ptr<TGraphic> CreatePicture(TImageType type) {
  switch (type) {
    case itGif: return std::make_unique<TGIFImage>();
    case itJpeg: return std::make_unique<TJPEGImage>();
    case itBmp: return std::make_unique<TBMPImage>();
    default: return nullptr;
  }
}

std::unique_ptr<TGraphic> CreatePictureFor(const std::string& path) {
  const TPictureFormat* format = FindPictureFormat(path);
  if (!format) throw EPictureError(FormatText("Unknown picture file extension (.%s)", ExtensionOf(path).c_str()));
  return CreatePicture(format->ImageType);
}

std::unique_ptr<TGraphic> LoadPicture(const std::string& path) {
  std::unique_ptr<TGraphic> picture = CreatePictureFor(path);
  picture->LoadFromFile(path);
  picture->Decode();
  return picture;
}

}  // namespace pictures
