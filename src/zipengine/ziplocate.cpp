// Opening an archive: the drive that holds it and its end record.
#include <algorithm>
#include <cctype>

#include "platform/codepage.h"
#include "platform/drives.h"
#include "platform/paths.h"
#include "platform/routines.h"
#include "zipengine/zipengine.h"

using namespace zipcore;

namespace {

// "PKBACK# nnn": the three characters after the 8-character prefix as a number,
// 0 when the label has no such prefix or they are not a number.
int labelDiskNumber(const std::string& label) {
  static const std::string kPrefix = "PKBACK# ";
  if (label.compare(0, kPrefix.size(), kPrefix) != 0) return 0;
  std::string digits = label.substr(kPrefix.size(), 3);
  if (digits.empty() || !std::all_of(digits.begin(), digits.end(), [](unsigned char c) { return std::isdigit(c); }))
    return 0;
  return std::stoi(digits);
}

}  // namespace

void TZipEngine::CheckArchiveDrive() {
  const std::string root = platform::drives().rootOf(platform::absolutePath(ZipFilename_));
  DriveRoot_ = platform::AddBackslash(root);
  std::optional<std::string> label = platform::drives().labelOf(root);
  if (!label) throw EZipEngine(zipmsg::kDriveNotDefined, DriveRoot_);
  VolumeLabel_ = *label;
}

bool TZipEngine::LocateEocd(bool reportErrors) {
  ArchiveComment_.clear();
  End_ = zipcore::EndRecords{};
  if (!InFile_.open(ZipFilename_)) {
    if (reportErrors) throw EZipEngine::Display(zipmsg::kInputFileNotExist);
    ShowZipMessage(zipmsg::kZipNotOpened);
    return false;
  }
  LabelDiskNr_ = labelDiskNumber(VolumeLabel_);

  unsigned char head[8];
  SpanMarker_ = InFile_.readExact(0, head, 8) && get32(head) == kDescriptorSig && get32(head + 4) == kLocalHeaderSig;
  if (SpanMarker_) SpannedSet_ = true;

  const zipcore::EndSearch found = zipcore::FindEndRecords(InFile_, End_);
  if (found == zipcore::EndSearch::ReadError) throw EZipEngine::Display(zipmsg::kErrorReadingEocd);
  if (found == zipcore::EndSearch::NotFound) {
    InFile_.close();
    if (!reportErrors) return false;
    if (LabelDiskNr_ != 0 && !SpanMarker_) throw EZipEngine(zipmsg::kNthDiskOfSet, LabelDiskNr_);
    if (!SpanMarker_) throw EZipEngine::Display(zipmsg::kNotValidZip);
    if (LabelDiskNr_ != 1) throw EZipEngine::Display(zipmsg::kFirstFileOfSet);
    throw EZipEngine::Display(zipmsg::kFirstDiskOfSet);
  }
  DirEndOffset_ = End_.offset;
  FileSize_ = End_.commentEnd;
  ReadArchiveComment(End_.comment);
  if (End_.trailingGarbage) ShowZipMessage(zipmsg::kGarbageAtEnd);
  return true;
}

void TZipEngine::ReadArchiveComment(std::string_view commentBytes) {
  // Read as a NUL-terminated text: it ends at the first NUL.
  std::string_view text = commentBytes.substr(0, commentBytes.find('\0'));
  // Comments carry no character-set mark; bytes that are not UTF-8 are taken as code
  // page 437, so the text is always shown readably.
  ArchiveComment_ = platform::isValidUtf8(text) ? std::string(text) : platform::cp437ToUtf8(text);
}
