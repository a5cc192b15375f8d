// Entry points of the compressor library (libkvzip.so).
#include <new>

#include "zipengine/ziplib_abi.h"
#include "ziplibs/compressor.h"
#include "ziplibs/options.h"
#include "ziplibs/reporter.h"

extern "C" __attribute__((visibility("default"))) int32_t GetZipLibVersion(void) { return ZIPLIB_VERSION; }

extern "C" __attribute__((visibility("default"))) int32_t ZipLibExec(void* params) {
  ziplibs::AddOptions opts;
  std::string error;
  bool ok = ziplibs::readAddBlock(params, opts, error);
  ziplibs::Reporter reporter(opts.cb.callback, opts.cb.handle, opts.cb.caller, opts.cb.verbose, opts.cb.trace);
  if (!ok) {
    reporter.message(ZIPLIB_E_BAD_PARAMS, error);
    return 0;
  }
  try {
    ziplibs::Compressor compressor(opts, reporter);
    return compressor.run();
  } catch (const std::bad_alloc&) {
    reporter.message(ZIPLIB_E_MEMORY, opts.archive + ": out of memory (the archive is unchanged)");
  } catch (...) { reporter.message(ZIPLIB_E_WRITE, opts.archive + ": internal error (the archive is unchanged)"); }
  return 0;
}
