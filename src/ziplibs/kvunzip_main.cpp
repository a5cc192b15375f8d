// Entry points of the extractor library (libkvunzip.so).
#include <new>

#include "zipengine/ziplib_abi.h"
#include "ziplibs/extractor.h"
#include "ziplibs/options.h"
#include "ziplibs/reporter.h"

extern "C" __attribute__((visibility("default"))) int32_t GetUnzLibVersion(void) { return ZIPLIB_VERSION; }

extern "C" __attribute__((visibility("default"))) int32_t UnzLibExec(void* params) {
  ziplibs::ExtractOptions opts;
  std::string error;
  bool ok = ziplibs::readExtractBlock(params, opts, error);
  ziplibs::Reporter reporter(opts.cb.callback, opts.cb.handle, opts.cb.caller, opts.cb.verbose, opts.cb.trace);
  if (!ok) {
    reporter.message(ZIPLIB_E_BAD_PARAMS, error);
    return 0;
  }
  try {
    return ziplibs::extractArchive(opts, reporter);
  } catch (const std::bad_alloc&) { reporter.message(ZIPLIB_E_MEMORY, opts.archive + ": out of memory"); } catch (...) {
    reporter.message(ZIPLIB_E_READ, opts.archive + ": internal error");
  }
  return 0;
}
