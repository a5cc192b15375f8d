// Central directory file headers: 46 fixed bytes ("PK\1\2", then the 42 bytes an
// entry keeps), the name, the extra field and the file comment.
//
// Quirks handled: names in code page 437, UTF-8 or marked UTF-8; Info-ZIP Unicode
// Path blocks; ZIP64 sizes and offsets in the extra field; lengths that run past
// the directory's end.
#include <cstring>

#include "zipengine/zipparse.h"

using namespace zipfmt;

namespace zipparse {

CentralError ParseCentralHeader(std::string_view bytes, CodePageOpts codePage, ZipDirEntry& entry,
                                std::size_t& consumed) {
  consumed = 0;
  if (bytes.size() < kCentralHeaderSize) return CentralError::ShortHeader;
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  if (get32(p) != kCentralHeaderSig) return CentralError::BadSignature;

  ZipCentralFields& fields = entry;
  std::memcpy(&fields, p + 4, sizeof(ZipCentralFields));

  // Name, extra field and comment lengths (16 bits each) must fit the bytes left.
  std::size_t at = kCentralHeaderSize;
  const std::size_t left = bytes.size() - at;
  if (fields.NameLength > left) return CentralError::ShortName;
  const std::string_view rawName = bytes.substr(at, fields.NameLength);
  at += fields.NameLength;
  if (fields.ExtraLength > bytes.size() - at) return CentralError::ShortExtra;
  const std::string_view extra = bytes.substr(at, fields.ExtraLength);
  at += fields.ExtraLength;
  if (fields.CommentLength > bytes.size() - at) return CentralError::ShortComment;
  const std::string_view rawComment = bytes.substr(at, fields.CommentLength);
  at += fields.CommentLength;

  entry.CompressedSize64 = fields.CompressedSize;
  entry.UncompressedSize64 = fields.UncompressedSize;
  entry.LocalHeaderOffset64 = fields.LocalHeaderOffset;
  std::string unicodeName;
  if (!extra.empty()) {
    ExtraValues ev = ReadExtraField(extra, fields);
    if (ev.compressedSize) entry.CompressedSize64 = *ev.compressedSize;
    if (ev.uncompressedSize) entry.UncompressedSize64 = *ev.uncompressedSize;
    if (ev.localHeaderOffset) entry.LocalHeaderOffset64 = *ev.localHeaderOffset;
    // A name marked UTF-8 is used as it is; otherwise a Unicode Path block written
    // for this very name gives its UTF-8 form.
    if (!ev.unicodePath.empty() && !(fields.GeneralFlags & 0x0800))
      unicodeName = UnicodePathName(ev.unicodePath, rawName);
  }
  entry.FileName = unicodeName.empty()
                       ? ZipTextToUtf8(rawName, fields.VersionMadeBy, fields.GeneralFlags, codePage)
                       : std::move(unicodeName);
  if (rawComment.empty())
    entry.FileComment.clear();
  else
    entry.FileComment = ZipTextToUtf8(rawComment, fields.VersionMadeBy, fields.GeneralFlags, codePage);
  consumed = at;
  return CentralError::None;
}

}  // namespace zipparse
