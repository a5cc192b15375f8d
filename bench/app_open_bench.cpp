// Opening an archive in the main window: the engine reads the directory and the
// listing fills the grid and the total line (what the user waits for after Open).
// The archive is named by KV_BENCH_ARCHIVE (bench/app_open_bench.sh makes one).
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <QApplication>
#include <QLabel>
#include <cstdlib>
#include <string>

#include "app/mainunit.h"
#include "platform/ui.h"
#include "widgets/sortgrid.h"

namespace {

std::string archive() {
  const char* a = std::getenv("KV_BENCH_ARCHIVE");
  return a ? a : "";
}

void BM_OpenArchive(benchmark::State& state) {
  const std::string path = archive();
  if (path.empty()) {
    state.SkipWithError("set KV_BENCH_ARCHIVE to a ZIP archive");
    return;
  }
  dialogs::TSettings settings(std::string(std::getenv("KELVORY_HOME")) + "/Kelvory.Ini");
  TMainform form(settings, {});
  for (auto _ : state) {
    form.ZipEngine1.setZipFilename(path);
    benchmark::DoNotOptimize(form.Panel4->text());
    state.PauseTiming();
    form.ZipEngine1.setZipFilename("");
    state.ResumeTiming();
  }
  form.ZipEngine1.setZipFilename(path);
  state.counters["rows"] = form.StringGrid1->RowCount() - 1;
}
BENCHMARK(BM_OpenArchive)->Unit(benchmark::kMillisecond)->MinTime(3.0);

}  // namespace

int main(int argc, char** argv) {
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  if (!std::getenv("KELVORY_HOME")) setenv("KELVORY_HOME", "/tmp/kv-bench-home", 1);
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  return 0;
}
