#include "ziplibs/options.h"

#include "ziplibs/zipcrypto.h"

namespace ziplibs {

namespace {

bool on(std::uint32_t flag) { return flag != 0; }

template <typename Block>
void readAddCommon(const Block& b, AddOptions& o) {
  o.cb = {b.Callback, b.Handle, b.Caller, on(b.Verbose), on(b.Trace)};
  o.password = std::string(blockPassword(b.Password));
  o.passwordGiven = on(b.PasswordGiven);
  o.level = b.Level > 9 ? 9 : static_cast<int>(b.Level);
  o.encrypt = on(b.Encrypt);
  o.hidden = on(b.HiddenFiles);
  o.dirEntries = !on(b.NoDirEntries);
  o.stripDirs = on(b.StripDirNames);
  o.recurse = b.Recurse != 0;
  o.forceDos = on(b.ForceDos);
  o.move = on(b.Move);
  o.deleteEntries = on(b.DeleteEntries);
  o.update = on(b.Update);
  o.freshen = on(b.Freshen) && !o.update;
  o.zipTime = on(b.ZipTime);
  o.literal = on(b.LiteralNames);
  if (b.ArchiveName) o.archive = b.ArchiveName;
}

template <typename Block>
void readExtractCommon(const Block& b, ExtractOptions& o) {
  o.cb = {b.Callback, b.Handle, b.Caller, on(b.Verbose), on(b.Trace)};
  o.password = std::string(blockPassword(b.Password));
  o.passwordGiven = on(b.PasswordGiven);
  o.test = on(b.Test);
  o.update = on(b.Update);
  o.freshen = on(b.Freshen) && !o.update;
  o.dirNames = on(b.DirNames);
  o.overwrite = on(b.Overwrite);
  o.literal = on(b.LiteralNames);
  if (b.ArchiveName) o.archive = b.ArchiveName;
}

void addSpec(std::vector<std::string>& specs, const char* s) {
  if (s && *s) specs.emplace_back(s);
}

}  // namespace

bool readAddBlock(const void* params, AddOptions& o, std::string& error) {
  if (!params) {
    error = "no parameter block";
    return false;
  }
  // Both layouts reach at least offset 216 (32 bits) / their full size: the new
  // block's mark is read first; the old block is at least as long there.
  const auto* fresh = static_cast<const ZipExecParams*>(params);
  const auto* old = static_cast<const ZipExecParamsOld*>(params);
  // The fields in front of the layouts' difference are the same in both: the
  // callback is known even for a block that is not understood.
  o.cb = {fresh->Callback, fresh->Handle, fresh->Caller, fresh->Verbose != 0, fresh->Trace != 0};
  if (fresh->Mark == ZIPLIB_BLOCK_MARK) {
    readAddCommon(*fresh, o);
    for (std::uint32_t i = 0; fresh->FileRecords && i < fresh->SpecCount; ++i)
      addSpec(o.specs, fresh->FileRecords[i].Spec);
  } else if (old->Mark == ZIPLIB_BLOCK_MARK) {
    readAddCommon(*old, o);
    for (std::uint32_t i = 0; i < old->SpecCount && i < ZIPLIB_MAX_OLD_SPECS; ++i) addSpec(o.specs, old->Specs[i]);
  } else {
    error = "parameter block not recognised";
    return false;
  }
  if (o.archive.empty()) {
    error = "no archive named";
    return false;
  }
  return true;
}

bool readExtractBlock(const void* params, ExtractOptions& o, std::string& error) {
  if (!params) {
    error = "no parameter block";
    return false;
  }
  const auto* fresh = static_cast<const UnzExecParams*>(params);
  const auto* old = static_cast<const UnzExecParamsOld*>(params);
  o.cb = {fresh->Callback, fresh->Handle, fresh->Caller, fresh->Verbose != 0, fresh->Trace != 0};
  if (fresh->Mark == ZIPLIB_BLOCK_MARK) {
    readExtractCommon(*fresh, o);
    for (std::uint32_t i = 0; fresh->FileRecords && i < fresh->SpecCount; ++i)
      addSpec(o.specs, fresh->FileRecords[i].Spec);
  } else if (old->Mark == ZIPLIB_BLOCK_MARK) {
    readExtractCommon(*old, o);
    for (std::uint32_t i = 0; i < old->SpecCount && i < ZIPLIB_MAX_OLD_SPECS; ++i) addSpec(o.specs, old->Specs[i]);
  } else {
    error = "parameter block not recognised";
    return false;
  }
  if (o.archive.empty()) {
    error = "no archive named";
    return false;
  }
  return true;
}

}  // namespace ziplibs
