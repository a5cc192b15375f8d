#include "zipengine/zipblocks.h"

#include <algorithm>
#include <cstring>

namespace {

std::uint32_t flag(bool on) { return on ? ZIPLIB_ON : ZIPLIB_OFF; }

}  // namespace

LibBlock::LibBlock(Kind kind, bool newLayout, const BlockRequest& r)
    : archive_(r.archive), tempDir_(r.tempDir), patterns_(r.specs) {
  std::memcpy(password_.data(), r.password.data(), std::min(r.password.size(), kLibPasswordMax));
  if (kind == kZip) {
    if (newLayout) {
      zipNew_ = std::make_unique<ZipExecParams>();
      zipRecords_.resize(patterns_.size());
      for (std::size_t i = 0; i < patterns_.size(); ++i) zipRecords_[i].Spec = patterns_[i].c_str();
      fillZip(*zipNew_, r);
      zipNew_->TempDir = tempDir_.empty() ? nullptr : tempDir_.c_str();
      zipNew_->FileRecords = zipRecords_.empty() ? nullptr : zipRecords_.data();
      zipNew_->Mark = ZIPLIB_BLOCK_MARK;
      data_ = zipNew_.get();
    } else {
      zipOld_ = std::make_unique<ZipExecParamsOld>();
      fillZip(*zipOld_, r);
      zipOld_->Mark = ZIPLIB_BLOCK_MARK;
      zipOld_->SpecCount = std::min<std::uint32_t>(zipOld_->SpecCount, ZIPLIB_MAX_OLD_SPECS);
      for (std::size_t i = 0; i < patterns_.size() && i < ZIPLIB_MAX_OLD_SPECS; ++i)
        zipOld_->Specs[i] = patterns_[i].c_str();
      data_ = zipOld_.get();
    }
  } else {
    if (newLayout) {
      unzNew_ = std::make_unique<UnzExecParams>();
      unzRecords_.resize(patterns_.size());
      for (std::size_t i = 0; i < patterns_.size(); ++i) unzRecords_[i].Spec = patterns_[i].c_str();
      fillUnzip(*unzNew_, r);
      unzNew_->FileRecords = unzRecords_.empty() ? nullptr : unzRecords_.data();
      unzNew_->Mark = ZIPLIB_BLOCK_MARK;
      data_ = unzNew_.get();
    } else {
      unzOld_ = std::make_unique<UnzExecParamsOld>();
      fillUnzip(*unzOld_, r);
      unzOld_->Mark = ZIPLIB_BLOCK_MARK;
      unzOld_->SpecCount = std::min<std::uint32_t>(unzOld_->SpecCount, ZIPLIB_MAX_OLD_SPECS);
      for (std::size_t i = 0; i < patterns_.size() && i < ZIPLIB_MAX_OLD_SPECS; ++i)
        unzOld_->Specs[i] = patterns_[i].c_str();
      data_ = unzOld_.get();
    }
  }
}

// The words both compressor layouts share (offsets 0..127 on 32 bits).
template <typename Block>
void LibBlock::fillZip(Block& b, const BlockRequest& r) {
  const AddOpts& o = r.addOptions;
  b.Handle = r.handle;
  b.Caller = r.caller;
  b.Version = ZIPLIB_CALLER_VERSION;
  b.Callback = r.callback;
  b.Trace = flag(r.trace);
  b.Password = password_.data();
  b.PasswordGiven = flag(r.passwordGiven || !r.password.empty());
  b.Encrypt = flag(o.contains(AddEncrypt));
  b.HiddenFiles = flag(o.contains(AddHiddenFiles));
  b.NoDirEntries = flag(!o.contains(AddSeparateDirs));
  b.Verbose = flag(r.verbose || r.trace);
  b.Always56 = ZIPLIB_ON;
  b.Level = static_cast<std::uint32_t>(r.level);
  b.StripDirNames = flag(!o.contains(AddDirNames));
  b.Recurse = o.contains(AddRecurseDirs) ? ZIPLIB_ON16 : 0;
  b.AddMode = ZIPLIB_ON;
  b.ForceDos = flag(o.contains(AddForceDOS));
  b.Move = flag(o.contains(AddMove));
  b.DeleteEntries = ZIPLIB_OFF;
  b.Update = flag(o.contains(AddUpdate));
  b.Freshen = flag(o.contains(AddFreshen) && !o.contains(AddUpdate));
  b.ZipTime = flag(o.contains(AddZipTime));
  b.LiteralNames = flag(r.literal);
  b.SpecCount = static_cast<std::uint32_t>(std::min<std::size_t>(patterns_.size(), UINT32_MAX));
  b.ArchiveName = archive_.c_str();
  if (r.deleting) {
    // Deleting names entries, not files: none of the adding words apply.
    b.Encrypt = b.StripDirNames = b.AddMode = b.Move = b.Update = b.Freshen = ZIPLIB_OFF;
    b.Recurse = 0;
    b.DeleteEntries = ZIPLIB_ON;
  }
}

// The words both extractor layouts share (offsets 0..71 on 32 bits).
template <typename Block>
void LibBlock::fillUnzip(Block& b, const BlockRequest& r) {
  const ExtrOpts& o = r.extrOptions;
  b.Handle = r.handle;
  b.Caller = r.caller;
  b.Version = ZIPLIB_CALLER_VERSION;
  b.Callback = r.callback;
  b.Trace = flag(r.trace);
  b.Password = password_.data();
  b.PasswordGiven = flag(r.passwordGiven || !r.password.empty());
  b.Test = flag(o.contains(ExtrTest));
  b.Always40 = ZIPLIB_ON;
  b.Verbose = flag(r.verbose || r.trace);
  b.Update = flag(o.contains(ExtrUpdate));
  b.Freshen = flag(o.contains(ExtrFreshen) && !o.contains(ExtrUpdate));
  b.DirNames = flag(o.contains(ExtrDirNames));
  b.Overwrite = flag(o.contains(ExtrOverWrite));
  b.LiteralNames = flag(r.literal);
  b.SpecCount = static_cast<std::uint32_t>(std::min<std::size_t>(patterns_.size(), UINT32_MAX));
  b.ArchiveName = archive_.c_str();
}
