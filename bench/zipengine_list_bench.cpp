// TZipEngine::List in process: time to read the directory of the archive named by
// KV_BENCH_ARCHIVE, and the heap the engine holds per entry afterwards (measured
// with mallinfo2, so it includes the allocator's own overhead).
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <cstdlib>
#include <string>

#include "zipengine/zipengine.h"

namespace {

std::string archive() {
  const char* a = std::getenv("KV_BENCH_ARCHIVE");
  return a ? a : "";
}

void BM_List(benchmark::State& state) {
  const std::string path = archive();
  if (path.empty()) {
    state.SkipWithError("set KV_BENCH_ARCHIVE to a ZIP archive");
    return;
  }
  TZipEngine engine;
  engine.Unattended = true;
  engine.setZipFilename(path);
  if (engine.ZipFilename().empty()) {
    state.SkipWithError(("cannot list: " + engine.LastMessage()).c_str());
    return;
  }
  for (auto _ : state) {
    engine.List();
    benchmark::DoNotOptimize(engine.EntryCount());
  }
  state.counters["entries"] = engine.EntryCount();
  state.counters["entries/s"] =
      benchmark::Counter(static_cast<double>(engine.EntryCount()), benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_List)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BM_HeapPerEntry(benchmark::State& state) {
  const std::string path = archive();
  if (path.empty()) {
    state.SkipWithError("set KV_BENCH_ARCHIVE to a ZIP archive");
    return;
  }
  double perEntry = 0;
  for (auto _ : state) {
    malloc_trim(0);
    const std::size_t before = mallinfo2().uordblks;
    auto engine = std::make_unique<TZipEngine>();
    engine->Unattended = true;
    engine->setZipFilename(path);
    const std::size_t after = mallinfo2().uordblks;
    const int n = engine->EntryCount();
    perEntry = n > 0 ? static_cast<double>(after - before) / n : 0;
  }
  state.counters["heap_bytes_per_entry"] = perEntry;
}
BENCHMARK(BM_HeapPerEntry)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
