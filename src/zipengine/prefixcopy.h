// Writing an archive's ZIP data behind a new prefix (a program stub, or nothing),
// with every stored offset moved so the result reads without repair.
//
// The ZIP data are the bytes from the first local header to the end of the archive
// comment. Offsets stored in the archive (each central header's local-header offset,
// in its ZIP64 extra field where it has one, the end record's directory offset, and
// the ZIP64 end record and locator) are moved by the same amount as the data, also
// when the source's stored offsets did not match its real layout.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

class TZipEngine;

namespace zipfmt {

struct PrefixCopyResult {
  bool ok = false;
  bool cancelled = false;
  std::string error;  // why it failed (empty when cancelled or ok)
};

// Writes prefix (the bytes of prefixFile, or nothing when it is empty, then
// prefixBytes) followed by the ZIP data of the archive the engine has listed, into targetFd, a file the
// caller opened for writing (a temporary it created exclusively, never a name
// someone else may have placed), from its current position. The data are synced to
// disk and the descriptor stays open; target names the file in messages. engine
// must have listed its ZipFilename successfully. cancelled is polled between
// blocks; when it answers true the copy stops. The caller removes a partial target.
PrefixCopyResult CopyZipDataWithPrefix(const TZipEngine& engine, const std::string& prefixFile, int targetFd,
                                       const std::string& target, const std::function<bool()>& cancelled = {},
                                       std::string_view prefixBytes = {});

}  // namespace zipfmt
