// The settings block of a self-extracting program: any 256 bytes decode to a
// clean answer, and a block that decodes encodes back to the same settings.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "zipcore/sfxblock.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  zipcore::SfxSettings s;
  if (zipcore::DecodeSfxBlock(bytes, s) != zipcore::SfxBlockRead::Ok) return 0;
  zipcore::SfxSettings again;
  if (zipcore::DecodeSfxBlock(zipcore::EncodeSfxBlock(s), again) != zipcore::SfxBlockRead::Ok) std::abort();
  if (again.caption != s.caption || again.defaultDir != s.defaultDir || again.commandLine != s.commandLine ||
      again.options != s.options)
    std::abort();
  return 0;
}
