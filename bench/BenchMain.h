#ifndef ORVANTA_BENCHMAIN_H
#define ORVANTA_BENCHMAIN_H

// The main function of every benchmark program: the heap follows the
// viewer's policy (Sv_PlatformSetHeapPolicy), labels are drawn with the
// viewer's built-in font (no font file is looked for), and a benchmark that
// stops with an error (no OpenGL context, a file it could not write) makes
// the program fail, after the usual report. The report keeps Google
// Benchmark's flags: --benchmark_format=console|json|csv (or the
// BENCHMARK_FORMAT variable), --benchmark_color, --benchmark_counters_tabular,
// and --benchmark_out with --benchmark_out_format for a file besides. Run as
// a fresh-process child (BenchFreshPair.h), it does that child's one load
// instead.

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "BenchFreshPair.h"
#include "Sv_HersheyFont.h"
#include "Sv_Platform.h"

namespace orvanta_bench {

// Hands every call to the reporter that the format flag chose, counting the
// runs that stopped with an error.
class FailureCountingReporter : public benchmark::BenchmarkReporter {
 public:
  explicit FailureCountingReporter(std::unique_ptr<benchmark::BenchmarkReporter> shown) : m_shown(std::move(shown)) {}
  bool ReportContext(const Context& context) override {
    m_shown->SetOutputStream(&GetOutputStream());
    m_shown->SetErrorStream(&GetErrorStream());
    return m_shown->ReportContext(context);
  }
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.error_occurred) ++failures;
    }
    m_shown->ReportRuns(runs);
  }
  void Finalize() override { m_shown->Finalize(); }
  int failures = 0;

 private:
  std::unique_ptr<benchmark::BenchmarkReporter> m_shown;
};

// The value of Google Benchmark's flag --<name>=<value> (the last one given),
// else of its environment variable (the name in capitals), else fallback. A
// flag given without "=" has the value "true".
inline std::string FlagValue(int argc, char** argv, const char* name, const char* fallback) {
  std::string value;
  std::string variable(name);
  for (char& c : variable) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  const char* env = getenv(variable.c_str());
  value = env ? env : fallback;
  const std::string flag = std::string("--") + name;
  for (int i = 1; i < argc; ++i) {
    if (!argv[i] || strncmp(argv[i], flag.c_str(), flag.size()) != 0) continue;
    const char* rest = argv[i] + flag.size();
    if (*rest == '=') value = rest + 1;
    if (*rest == '\0') value = "true";
  }
  return value;
}

// Google Benchmark's reading of a yes/no flag value.
inline bool IsTruthy(const std::string& value) {
  if (value.empty()) return false;
  std::string v;
  for (char c : value) v += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return !(v == "0" || v == "f" || v == "n" || v == "false" || v == "no" || v == "off");
}

// The reporter for the screen that the flags ask for; null for a format
// that does not exist.
inline std::unique_ptr<benchmark::BenchmarkReporter> ShownReporter(int argc, char** argv) {
  const std::string format = FlagValue(argc, argv, "benchmark_format", "console");
  if (format == "json") return std::unique_ptr<benchmark::BenchmarkReporter>(new benchmark::JSONReporter());
  if (format == "csv") {
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    return std::unique_ptr<benchmark::BenchmarkReporter>(new benchmark::CSVReporter());
#pragma GCC diagnostic pop
  }
  if (format != "console") return nullptr;
  const std::string color = FlagValue(argc, argv, "benchmark_color", "auto");
  const char* term = getenv("TERM");
  const bool colored = color == "auto" ? isatty(fileno(stdout)) && term && strcmp(term, "dumb") != 0 : IsTruthy(color);
  const bool tabular = IsTruthy(FlagValue(argc, argv, "benchmark_counters_tabular", "false"));
  const int options = (colored ? benchmark::ConsoleReporter::OO_Color : 0) |
                      (tabular ? benchmark::ConsoleReporter::OO_Tabular : 0);
  return std::unique_ptr<benchmark::BenchmarkReporter>(
      new benchmark::ConsoleReporter(static_cast<benchmark::ConsoleReporter::OutputOptions>(options)));
}

inline int RunBenchmarks(int argc, char** argv) {
  Sv_PlatformSetHeapPolicy();
  Sv_HersheySetBuiltIn(1);
  if (const char* request = getenv(kFreshVariable)) return FreshChild(request);
  // Read before Initialize, which takes the flags it knows out of argv.
  std::unique_ptr<benchmark::BenchmarkReporter> shown = ShownReporter(argc, argv);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  if (!shown) {
    std::cerr << "Unknown --benchmark_format: console, json or csv" << std::endl;
    return 1;
  }
  FailureCountingReporter reporter(std::move(shown));
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return reporter.failures == 0 ? 0 : 1;
}

}  // namespace orvanta_bench

#define ORVANTA_BENCH_MAIN() \
  int main(int argc, char** argv) { return orvanta_bench::RunBenchmarks(argc, argv); }

#endif
