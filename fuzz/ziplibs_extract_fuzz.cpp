// Fuzz target for the extractor's reading of archives: the directory reader, the
// local headers, decryption, inflate and the CRC and size checks, run on a fuzzed
// archive in test mode (nothing is written), plus the unsafe-name check on every
// entry name the directory yields.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "zipcore/directory.h"
#include "zipcore/inputfile.h"
#include "zipcore/safepath.h"
#include "ziplibs/extractor.h"
#include "ziplibs/reporter.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  platform::UniqueFd fd(::memfd_create("archive", MFD_CLOEXEC));
  if (!fd.valid() || ::write(fd.get(), data, size) != static_cast<ssize_t>(size)) return 0;
  const std::string path = "/proc/self/fd/" + std::to_string(fd.get());
  zipcore::InputFile file;
  if (!file.adopt(std::move(fd))) return 0;
  zipcore::Directory dir;
  if (zipcore::ReadDirectory(file, dir) == zipcore::DirError::None) {
    for (const zipcore::ZipEntry& e : dir.entries) {
      zipcore::SafeName safe = zipcore::checkEntryName(e.name);
      if (safe.ok()) zipcore::linkTargetInside(safe.parts, e.comment);
    }
  }
  ziplibs::ExtractOptions opts;
  opts.archive = path;
  opts.test = true;
  opts.password = "fuzz";
  ziplibs::Reporter reporter(nullptr, nullptr, nullptr, true, true);
  ziplibs::DecodeTuning tuning;
  tuning.threads = 1;
  tuning.wholeOut = 1u << 20;  // keep big claims on the streaming path, and quick
  ziplibs::Extractor extractor(opts, reporter, tuning);
  extractor.run(file);
  return 0;
}
