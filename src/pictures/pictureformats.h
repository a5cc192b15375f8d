// The picture formats the viewer knows, registered by file extension, and loading
// a picture file with the decoder its extension names.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "pictures/graphic.h"

namespace pictures {

struct TPictureFormat {
  const char* Extension;  // without the dot, upper case ("GIF")
  const char* Description;
  TImageType ImageType;
};

// Every registered format.
const std::vector<TPictureFormat>& PictureFormats();

// The format registered for a file's extension (any letter case), or nullptr.
const TPictureFormat* FindPictureFormat(const std::string& path);

// An empty picture of the given type; nullptr for itUnknown.
std::unique_ptr<TGraphic> CreatePicture(TImageType type);
// An empty picture of the kind a file's extension names; raises EPictureError
// "Unknown picture file extension (.%s)" for an extension no format has.
std::unique_ptr<TGraphic> CreatePictureFor(const std::string& path);

// Loads a picture file with the decoder of its extension and decodes it at once.
// Raises EPictureError: "Unknown picture file extension (.%s)", the file's read
// error, or the decoder's error.
std::unique_ptr<TGraphic> LoadPicture(const std::string& path);

}  // namespace pictures
