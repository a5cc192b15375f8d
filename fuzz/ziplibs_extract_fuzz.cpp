// Fuzz target for the extractor's reading of archives: the directory reader, the
// local headers, decryption, inflate and the CRC and size checks, run on a fuzzed
// archive in test mode (nothing is written), plus the unsafe-name check on every
// entry name the directory yields.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "ziplibs/extractor.h"
#include "ziplibs/reporter.h"
#include "ziplibs/safepath.h"
#include "ziplibs/zipdirectory.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  int fd = ::memfd_create("archive", MFD_CLOEXEC);
  if (fd < 0) return 0;
  if (::write(fd, data, size) != static_cast<ssize_t>(size)) {
    ::close(fd);
    return 0;
  }
  ziplibs::ZipDirectory dir;
  std::string error;
  if (ziplibs::readZipDirectory(fd, dir, error)) {
    for (const ziplibs::ZipEntry& e : dir.entries) {
      ziplibs::SafeName safe = ziplibs::checkEntryName(e.name);
      if (safe.ok()) ziplibs::linkTargetInside(safe.parts, e.comment);
    }
  }
  ziplibs::ExtractOptions opts;
  opts.archive = "/proc/self/fd/" + std::to_string(fd);
  opts.test = true;
  opts.password = "fuzz";
  ziplibs::Reporter reporter(nullptr, nullptr, nullptr, true, true);
  ziplibs::DecodeTuning tuning;
  tuning.threads = 1;
  tuning.wholeOut = 1u << 20;  // keep big claims on the streaming path, and quick
  ziplibs::Extractor extractor(opts, reporter, tuning);
  extractor.run(fd);
  ::close(fd);
  return 0;
}
