// List: reading an archive's central directory into the engine's entries.
//
// The end record gives the directory's size; the directory really starts that many
// bytes before the end record (or before the ZIP64 end record), whatever offset is
// stored: archives with a program stub in front whose offsets were not adjusted
// still list, with a warning. The whole directory is read at once and every header
// is checked against its bytes.
#include <limits>
#include <new>

#include "platform/paths.h"
#include "zipengine/zipengine.h"
#include "zipengine/zipparse.h"

using namespace zipfmt;

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
    ReadDirectory();
    ok = true;
  } catch (const EZipEngine& e) {
    ReportEngineError(e);
  } catch (const std::bad_alloc&) {
    ShowZipMessage(zipmsg::kNoMemory);
  } catch (...) {
    ShowZipMessage(zipmsg::kUnknownListError);
  }
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
  LastDisk_ = Zip64End_ ? static_cast<int>(std::min<std::uint32_t>(Zip64End_->ThisDisk, 0xFFFF)) : Eocd_.ThisDisk;
  CentralDirDisk_ =
      Zip64End_ ? static_cast<int>(std::min<std::uint32_t>(Zip64End_->CentralDirDisk, 0xFFFF)) : Eocd_.CentralDirDisk;
  TotalEntries_ = Zip64End_ ? Zip64End_->TotalEntries : Eocd_.TotalEntries;
  CentralDirSize_ = Zip64End_ ? Zip64End_->CentralDirSize : Eocd_.CentralDirSize;
  StoredCentralDirOffset_ = Zip64End_ ? Zip64End_->CentralDirOffset : Eocd_.CentralDirOffset;
  CurrentDisk_ = LastDisk_;
  if (LastDisk_ != 0) SpannedSet_ = true;
  if (CentralDirDisk_ != CurrentDisk_ && !OpenSetDisk(CentralDirDisk_))
    throw EZipEngine::Display(zipmsg::kErrorReadingCentralHeader);

  // The directory ends where the (ZIP64) end record begins.
  const std::uint64_t directoryEnd = Zip64End_ ? Zip64EndOffset_ : DirEndOffset_;
  if (CentralDirSize_ > directoryEnd) throw EZipEngine::Display(zipmsg::kSeekErrorReadingZip);
  CentralDirOffset_ = directoryEnd - CentralDirSize_;
  StructureError_ = CentralDirOffset_ != StoredCentralDirOffset_;
  if (StructureError_) ShowZipMessage(zipmsg::kStructureWarning);

  // Every header takes 46 bytes at least: a count the directory cannot hold is
  // refused before anything is allocated for it.
  if (TotalEntries_ > CentralDirSize_ / kCentralHeaderSize)
    throw EZipEngine::Display(zipmsg::kErrorReadingCentralHeader);
  if (CentralDirSize_ > std::numeric_limits<std::size_t>::max()) throw std::bad_alloc();
  const auto size = static_cast<std::size_t>(CentralDirSize_);
  auto directory = std::make_unique_for_overwrite<char[]>(size == 0 ? 1 : size);
  if (!InFile_.readExact(CentralDirOffset_, directory.get(), size))
    throw EZipEngine::Display(zipmsg::kErrorReadingCentralHeader);

  // Without entries the ZIP data begin with the directory.
  std::uint64_t lowestOffset = TotalEntries_ == 0 ? StoredCentralDirOffset_ : std::numeric_limits<std::uint64_t>::max();
  ReadCentralHeaders(std::string_view(directory.get(), size), TotalEntries_, lowestOffset);

  // The first local header's place in this file: its stored offset moved by as much
  // as the directory was found away from its stored place.
  std::uint64_t start = 0;
  if (CentralDirOffset_ >= StoredCentralDirOffset_) {
    const std::uint64_t shift = CentralDirOffset_ - StoredCentralDirOffset_;
    if (lowestOffset <= std::numeric_limits<std::uint64_t>::max() - shift) start = lowestOffset + shift;
  } else {
    const std::uint64_t shift = StoredCentralDirOffset_ - CentralDirOffset_;
    if (lowestOffset >= shift) start = lowestOffset - shift;
  }
  // A first header after the directory is no stub length.
  ContentStart_ = start <= CentralDirOffset_ ? start : 0;
}

void TZipEngine::ReadCentralHeaders(std::string_view directory, std::uint64_t entryCount,
                                    std::uint64_t& lowestOffset) {
  Entries_.reserve(static_cast<std::size_t>(entryCount));  // bounded by the directory size above
  std::size_t at = 0;
  for (std::uint64_t i = 0; i < entryCount; ++i) {
    auto entry = std::make_unique<ZipDirEntry>();
    std::size_t used = 0;
    switch (zipparse::ParseCentralHeader(directory.substr(at), CodePage, *entry, used)) {
      case zipparse::CentralError::None: break;
      case zipparse::CentralError::ShortHeader: throw EZipEngine::Display(zipmsg::kErrorReadingCentralHeader);
      case zipparse::CentralError::BadSignature: throw EZipEngine::Display(zipmsg::kCentralSignatureWrong);
      case zipparse::CentralError::ShortName: throw EZipEngine::Display(zipmsg::kErrorReadingCentralName);
      case zipparse::CentralError::ShortExtra: throw EZipEngine::Display(zipmsg::kSeekErrorReadingZip);
      case zipparse::CentralError::ShortComment: throw EZipEngine::Display(zipmsg::kErrorReadingFileComment);
    }
    at += used;
    if (entry->LocalHeaderOffset64 < lowestOffset) lowestOffset = entry->LocalHeaderOffset64;
    Entries_.push_back(std::move(entry));
  }
}

bool TZipEngine::OpenSetDisk(int disk) { return disk == CurrentDisk_; }
