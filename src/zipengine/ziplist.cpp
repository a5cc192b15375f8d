// List: reading an archive's central directory into the engine's entries.
//
// The format core reads the directory (zipcore/directory.h); here its outcome
// becomes the engine's entries, values and messages. Archives with a program stub
// in front whose offsets were not adjusted still list, with a warning.
#include <limits>
#include <new>

#include "platform/paths.h"
#include "zipengine/zipengine.h"

void TZipEngine::List() {
  Entries_.clear();
  ContentStart_ = 0;
  CentralDirOffset_ = 0;
  ArchiveComment_.clear();
  SpannedSet_ = false;
  StructureError_ = false;
  CurrentDisk_ = LastDisk_ = CentralDirDisk_ = 0;
  if (ZipFilename_.empty() || !platform::fileExists(ZipFilename_)) {
    RaiseDirUpdate();
    return;
  }
  bool ok = false;
  try {
    CheckArchiveDrive();
    ResolveSetVolume();
    ReadDirectory();
    ok = true;
  } catch (const EZipEngine& e) { ReportEngineError(e); } catch (const std::bad_alloc&) {
    ShowZipMessage(zipmsg::kNoMemory);
  } catch (...) { ShowZipMessage(zipmsg::kUnknownListError); }
  InFile_.close();
  if (!ok) {
    ZipFilename_.clear();
    ContentStart_ = 0;
  }
  RaiseDirUpdate();
}

void TZipEngine::ReadDirectory() {
  LocateEocd(true);

  // Effective values: the ZIP64 end record's where the archive has one.
  LastDisk_ = static_cast<int>(std::min<std::uint32_t>(End_.thisDisk(), 0xFFFF));
  CentralDirDisk_ = static_cast<int>(std::min<std::uint32_t>(End_.centralDisk(), 0xFFFF));
  CentralDirSize_ = End_.centralSize();
  CurrentDisk_ = LastDisk_;
  if (LastDisk_ != 0) SpannedSet_ = true;
  if (LastDisk_ != 0 || CentralDirDisk_ != 0) {
    // A multi-disk set: the directory may lie on earlier volumes.
    ReadSetDirectory();
    return;
  }

  zipcore::Directory dir;
  const zipcore::DirError error = zipcore::ReadCentralDirectory(InFile_, End_, CodePage, dir);
  if (error != zipcore::DirError::SizeBeyondEnd) {
    CentralDirOffset_ = dir.centralOffset;
    StructureError_ = dir.structureError;
    if (StructureError_) ShowZipMessage(zipmsg::kStructureWarning);
  }
  // Entries read before a failure stay listed.
  Entries_.reserve(dir.entries.size());
  for (zipcore::ZipEntry& e : dir.entries) Entries_.push_back(MakeDirEntry(std::move(e)));
  switch (error) {
    case zipcore::DirError::None: break;
    case zipcore::DirError::SizeBeyondEnd: throw EZipEngine::Display(zipmsg::kSeekErrorReadingZip);
    case zipcore::DirError::NotZip:
    case zipcore::DirError::ReadError:
    case zipcore::DirError::ShortHeader: throw EZipEngine::Display(zipmsg::kErrorReadingCentralHeader);
    case zipcore::DirError::BadSignature: throw EZipEngine::Display(zipmsg::kCentralSignatureWrong);
    case zipcore::DirError::ShortName: throw EZipEngine::Display(zipmsg::kErrorReadingCentralName);
    case zipcore::DirError::ShortExtra: throw EZipEngine::Display(zipmsg::kSeekErrorReadingZip);
    case zipcore::DirError::ShortComment: throw EZipEngine::Display(zipmsg::kErrorReadingFileComment);
  }
  if (dir.countDisagrees())
    ShowZipMessage(zipmsg::kEntryCountMismatch, std::to_string(dir.entries.size()) + " entries found, " +
                                                    std::to_string(dir.recordedEntries) + " counted");
  ContentStart_ = dir.prefixLength;
}

std::unique_ptr<ZipDirEntry> TZipEngine::MakeDirEntry(zipcore::ZipEntry&& e) const {
  auto entry = std::make_unique<ZipDirEntry>();
  static_cast<ZipCentralFields&>(*entry) = e.stored;
  entry->FileName = std::move(e.name);
  if (!e.comment.empty()) entry->FileComment = zipcore::ZipTextToUtf8(e.comment, e.versionMadeBy, e.flags, CodePage);
  entry->CompressedSize64 = e.compressedSize;
  entry->UncompressedSize64 = e.uncompressedSize;
  entry->LocalHeaderOffset64 = e.storedOffset;
  return entry;
}
