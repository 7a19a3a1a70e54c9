#ifndef ORVANTA_BENCHMAIN_H
#define ORVANTA_BENCHMAIN_H

// The main function of every benchmark program: the heap follows the
// viewer's policy (Sv_PlatformSetHeapPolicy), labels are drawn with the
// viewer's built-in font (no font file is looked for), and a benchmark that
// stops with an error (no OpenGL context, a file it could not write) makes
// the program fail, after the usual report. Run as a fresh-process child
// (BenchFreshPair.h), it does that child's one load instead.

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <vector>

#include "BenchFreshPair.h"
#include "Sv_HersheyFont.h"
#include "Sv_Platform.h"

namespace orvanta_bench {

class FailureCountingReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.error_occurred) ++failures;
    }
    ConsoleReporter::ReportRuns(runs);
  }
  int failures = 0;
};

inline int RunBenchmarks(int argc, char** argv) {
  Sv_PlatformSetHeapPolicy();
  Sv_HersheySetBuiltIn(1);
  if (const char* request = getenv(kFreshVariable)) return FreshChild(request);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  FailureCountingReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return reporter.failures == 0 ? 0 : 1;
}

}  // namespace orvanta_bench

#define ORVANTA_BENCH_MAIN() \
  int main(int argc, char** argv) { return orvanta_bench::RunBenchmarks(argc, argv); }

#endif
