// Speed and memory of a whole conversion: ConvertEntries over generated
// sources of 1,000, 8,000 and 65,535 entries, into a fresh target and again
// into the same target (a re-run). Each timed run starts with the settings
// cache dropped, as a new process would.
//
// The peak-memory rows run one conversion in a child process (this program,
// started again with --convert-once) and take its peak resident set, so that
// nothing of the benchmark's own heap counts.
#include <benchmark/benchmark.h>
#include <string.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <map>
#include <string>

#include "conversion/convert_entries.h"
#include "platform/posix_layer.h"
#include "sample_entries.h"

namespace {

const std::string& WorkDir() {
  static const std::string dir = [] {
    const char* base = getenv("TMPDIR");
    std::string pattern =
        std::string(base && *base ? base : "/tmp") + "/quillmoor-bench-XXXXXX";
    if (mkdtemp(&pattern[0]) == nullptr) abort();
    return pattern;
  }();
  return dir;
}

// The source of `count` entries, written once per program run.
const std::string& SourceOf(uint32_t count) {
  static std::map<uint32_t, std::string> made;
  auto it = made.find(count);
  if (it != made.end()) return it->second;
  const std::string path =
      WorkDir() + "/wincmd-" + std::to_string(count) + ".ini";
  if (!sample::WriteSource(path.c_str(), count)) abort();
  return made[count] = path;
}

long long FileSize(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 ? static_cast<long long>(st.st_size) : 0;
}

WrittenCount ConvertOnce(const char* source_path, const char* target_path) {
  const ProfileSection source(source_path, "User");
  PathText target;
  CopyText(target, target_path);
  return ConvertEntries(source, target).written;
}

void CheckWritten(benchmark::State& state, WrittenCount written,
                  uint32_t count) {
  if (written != count) {
    state.SkipWithError(("wrote " + std::to_string(written) + " of " +
                         std::to_string(count) + " entries")
                            .c_str());
  }
}

void BM_ConvertFresh(benchmark::State& state) {
  const uint32_t count = static_cast<uint32_t>(state.range(0));
  const std::string& source = SourceOf(count);
  const std::string target = WorkDir() + "/fresh.ini";
  for (auto _ : state) {
    state.PauseTiming();
    unlink(target.c_str());
    DropProfileCacheForTesting();
    state.ResumeTiming();
    CheckWritten(state, ConvertOnce(source.c_str(), target.c_str()), count);
  }
  state.counters["entries_per_s"] = benchmark::Counter(
      count, benchmark::Counter::kIsIterationInvariantRate);
  state.counters["target_MB"] = FileSize(target) / 1e6;
}

void BM_ConvertRerun(benchmark::State& state) {
  const uint32_t count = static_cast<uint32_t>(state.range(0));
  const std::string& source = SourceOf(count);
  const std::string target = WorkDir() + "/rerun.ini";
  unlink(target.c_str());
  DropProfileCacheForTesting();
  ConvertOnce(source.c_str(), target.c_str());
  for (auto _ : state) {
    state.PauseTiming();
    DropProfileCacheForTesting();
    state.ResumeTiming();
    CheckWritten(state, ConvertOnce(source.c_str(), target.c_str()), count);
  }
  state.counters["entries_per_s"] = benchmark::Counter(
      count, benchmark::Counter::kIsIterationInvariantRate);
}

// Peak resident memory of a fresh process converting source into target,
// in bytes; -1 when it failed. The child reports its own VmHWM: its
// ru_maxrss would also count the pages it shared with this process before
// its exec.
long long ChildPeak(const char* source, const char* target) {
  int pipe_ends[2];
  if (pipe(pipe_ends) != 0) return -1;
  const pid_t child = fork();
  if (child == 0) {
    dup2(pipe_ends[1], STDOUT_FILENO);
    close(pipe_ends[0]);
    close(pipe_ends[1]);
    execl("/proc/self/exe", "convert_bench", "--convert-once", source, target,
          static_cast<char*>(nullptr));
    _exit(127);
  }
  close(pipe_ends[1]);
  char report[64] = {};
  size_t got = 0;
  ssize_t n;
  while (got + 1 < sizeof report &&
         (n = read(pipe_ends[0], report + got, sizeof report - 1 - got)) > 0) {
    got += static_cast<size_t>(n);
  }
  close(pipe_ends[0]);
  int status = 0;
  if (child < 0 || waitpid(child, &status, 0) != child ||
      !WIFEXITED(status) || WEXITSTATUS(status) != 0 || got == 0) {
    return -1;
  }
  return atoll(report) * 1024;
}

// The peak resident set of this process so far, in kB, from VmHWM.
long long OwnPeakKb() {
  FILE* status = fopen("/proc/self/status", "r");
  if (status == nullptr) return -1;
  char line[256];
  long long kb = -1;
  while (fgets(line, sizeof line, status) != nullptr) {
    if (strncmp(line, "VmHWM:", 6) == 0) kb = atoll(line + 6);
  }
  fclose(status);
  return kb;
}

// range(1): 0 into a fresh target, 1 a re-run into the target of a first run.
void BM_PeakMemory(benchmark::State& state) {
  const uint32_t count = static_cast<uint32_t>(state.range(0));
  const bool rerun = state.range(1) != 0;
  const std::string& source = SourceOf(count);
  const std::string target = WorkDir() + "/peak.ini";
  const std::string nothing = WorkDir() + "/absent.ini";
  long long peak = -1;
  long long idle = -1;
  long long first = 0;
  for (auto _ : state) {
    unlink(target.c_str());
    if (rerun) first = ChildPeak(source.c_str(), target.c_str());
    // The same program converting nothing: what the process costs anyway.
    idle = ChildPeak(nothing.c_str(), nothing.c_str());
    peak = ChildPeak(source.c_str(), target.c_str());
  }
  if (peak < 0 || idle < 0 || first < 0) {
    state.SkipWithError("the measuring child failed");
    return;
  }
  const double files = FileSize(source) + FileSize(target);
  state.counters["files_MB"] = files / 1e6;
  state.counters["peak_MB"] = peak / 1e6;
  state.counters["idle_MB"] = idle / 1e6;
  state.counters["peak_per_files"] = peak / files;
  state.counters["growth_per_files"] = (peak - idle) / files;
}

BENCHMARK(BM_ConvertFresh)
    ->Arg(1000)->Arg(8000)->Arg(65535)
    ->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime();
BENCHMARK(BM_ConvertRerun)
    ->Arg(1000)->Arg(8000)->Arg(65535)
    ->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime();
BENCHMARK(BM_PeakMemory)
    ->Args({65535, 0})->Args({65535, 1})
    ->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && strcmp(argv[1], "--convert-once") == 0) {
    ConvertOnce(argv[2], argv[3]);
    printf("%lld\n", OwnPeakKb());
    return 0;
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  const std::string rm = "rm -rf '" + WorkDir() + "'";
  return system(rm.c_str()) == 0 ? 0 : 1;
}
