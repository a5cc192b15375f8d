// Fuzz target for testing a whole RAR archive through the library: the header
// walk (also of encrypted headers), decryption, the decoder child and its
// watch, and the CRC and size checks. The decoder runs in a child process that
// is stopped after a short stall, so an input that traps libarchive costs an
// error, never a hang of the fuzzer.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "rarlib/kvrar.h"
#include "rarlib/rararchive.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  int fd = ::memfd_create("archive", MFD_CLOEXEC);
  if (fd < 0) return 0;
  if (::write(fd, data, size) == static_cast<ssize_t>(size)) {
    const std::string path = "/proc/self/fd/" + std::to_string(fd);
    char comment[4096];
    RAROpenArchiveData open{};
    open.ArcName = path.c_str();
    open.OpenMode = RAR_OM_EXTRACT;
    open.CmtBuf = comment;
    open.CmtBufSize = sizeof comment;
    rarlib::RarArchive archive;
    rarlib::DecoderLimits limits;
    limits.stallCpuMs = 500;
    limits.stallWallMs = 2000;
    archive.setLimits(limits);
    if (archive.open(open) == RAR_SUCCESS) {
      // The password of the encrypted seeds: their entries decrypt, so the
      // rewritten headers and the decrypted streams reach the decoder.
      archive.setPassword("password");
      RARHeaderData header{};
      for (int i = 0; i < 64 && archive.readHeader(header) == RAR_SUCCESS; ++i)
        archive.processFile(RAR_TEST, nullptr, nullptr);
    }
  }
  ::close(fd);
  return 0;
}
