// Fuzz target for the RAR library's header walk (RAR4 and RAR5 blocks, names,
// extra records, comments): every entry of a fuzzed archive, with the unsafe-name
// and link checks extraction applies to them.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "rarlib/headerreader.h"
#include "rarlib/kvrar.h"
#include "zipcore/safepath.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  int fd = ::memfd_create("archive", MFD_CLOEXEC);
  if (fd < 0) return 0;
  if (::write(fd, data, size) == static_cast<ssize_t>(size)) {
    rarlib::HeaderReader reader;
    if (reader.open("/proc/self/fd/" + std::to_string(fd)) == RAR_SUCCESS) {
      rarlib::RarEntry e;
      for (int i = 0; i < 100000 && reader.next(e) == RAR_SUCCESS; ++i) {
        zipcore::SafeName safe = zipcore::checkEntryName(e.name);
        if (safe.ok() && !e.linkTarget.empty()) zipcore::linkTargetInside(safe.parts, e.linkTarget);
      }
    }
  }
  ::close(fd);
  return 0;
}
