// Rewrite benchmark: generates deterministic Shift-JIS corpora and times the
// engine's rewrite against `cp` and `sed -i` on the same file, each run on a
// fresh copy, each tool in its own process (wall time and peak memory from
// wait4). Prints medians, throughput, peak memory and ratios.
//
//   vx_rewrite_bench [--mib N] [--runs N] [--dir FOLDER]
//   vx_rewrite_bench --rewrite FILE SEARCH REPLACE   (one engine run)
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <ctime>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "engine/rewrite.h"

namespace {

struct Sample {
  double seconds = 0;  // wall
  double cpu = 0;      // user + system
  double peak_mib = 0;
};

// (<chrono> cannot be used here: its micro sign has no code page 932 form.)
double Now() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<double>(ts.tv_sec) + ts.tv_nsec / 1e9;
}

// Runs argv in a child process; wall time and the child's peak resident size.
Sample RunChild(const std::vector<std::string>& args, int* exit_status = nullptr) {
  std::vector<char*> argv;
  for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  const double t0 = Now();
  const pid_t pid = fork();  // not vfork: the child's peak memory must be its own
  if (pid == 0) {
    const int devnull = open("/dev/null", O_WRONLY);
    dup2(devnull, 1);
    execvp(argv[0], argv.data());
    _exit(127);
  }
  int status = 0;
  struct rusage ru{};
  wait4(pid, &status, 0, &ru);
  const double t1 = Now();
  if (exit_status) *exit_status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  else if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    std::fprintf(stderr, "%s failed\n", argv[0]);
    std::exit(1);
  }
  const double cpu = static_cast<double>(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) +
                     (ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
  return Sample{t1 - t0, cpu, ru.ru_maxrss / 1024.0};
}

int RunChildStatus(const std::vector<std::string>& args) {
  int status = 0;
  RunChild(args, &status);
  return status;
}

void CopyFile(const std::string& from, const std::string& to) {
  unlink(to.c_str());
  RunChild({"cp", from, to});
}

// Code page 932 text: lines of hiragana, katakana, kanji (some with a second
// byte 0x5C or in the lead-byte set) and ASCII, CR LF line ends. Every
// `every` bytes on average, the needle is put in.
// Written in pieces, so this process stays small: a child's peak memory
// counts its parent's at the fork.
void MakeCorpus(const std::string& path, std::size_t bytes, const std::string& needle, std::size_t every,
                std::uint32_t seed) {
  static const char* const kPieces[] = {
      "\x82\xA0", "\x82\xA2", "\x82\xA4", "\x82\xC6", "\x82\xCC" /*no*/, "\x82\xE9", "\x82\xF0", "\x82\x9F",
      "\x83\x41", "\x83\x43", "\x83\x74", "\x83\x5C" /*so*/, "\x83\x8B", "\x95\x5C" /*hyo*/, "\x93\xFA",
      "\x96\x7B", "\x8C\xEA", "\x95\xB6", "\x8F\x91", "\x81\x42", "\x81\x41", "\x88\xEA", "\x9F\x82",
      "\xE0\x40", "abc", "file", " ", "0123", "\\", "ini", "x=1;"};
  std::mt19937 rng(seed);
  std::uniform_int_distribution<std::size_t> piece(0, std::size(kPieces) - 1);
  std::uniform_int_distribution<std::size_t> gap(every / 2, every + every / 2);
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  std::string text;
  std::size_t written = 0, next_needle = gap(rng), line = 0;
  while (written + text.size() < bytes) {
    if (written + text.size() >= next_needle) {
      text += needle;
      next_needle = written + text.size() + gap(rng);
    } else {
      text += kPieces[piece(rng)];
    }
    if (++line % 40 == 0) text += "\r\n";
    if (text.size() >= (1u << 16)) {
      out.write(text.data(), static_cast<std::streamsize>(text.size()));
      written += text.size();
      text.clear();
    }
  }
  out.write(text.data(), static_cast<std::streamsize>(text.size()));
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

int RewriteOnce(const char* path, const char* search, const char* replace) {
  const vx::RewriteOutcome r = vx::RewriteFile(path, {{search, replace}}, vx::FileReading{});
  std::printf("%lld\n", static_cast<long long>(r.count));
  return r.done() ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 5 && std::strcmp(argv[1], "--rewrite") == 0) return RewriteOnce(argv[2], argv[3], argv[4]);

  std::size_t mib = 256;
  int runs = 5;
  std::string dir = "/tmp";
  for (int i = 1; i + 1 < argc; i += 2) {
    if (!std::strcmp(argv[i], "--mib")) mib = std::strtoul(argv[i + 1], nullptr, 10);
    else if (!std::strcmp(argv[i], "--runs")) runs = std::atoi(argv[i + 1]);
    else if (!std::strcmp(argv[i], "--dir")) dir = argv[i + 1];
  }
  char self[4096];
  const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  if (n <= 0) return 1;
  self[n] = 0;

  struct Case {
    const char* name;
    std::string needle, replacement;
    std::size_t every;
  };
  // "置換対象" -> "置換済み"; "の" -> "ノ"
  const Case cases[] = {
      {"rare", "\x92\x75\x8A\xB7\x91\xCE\x8F\xDB", "\x92\x75\x8A\xB7\x8D\xCF\x82\xDD", std::size_t{1} << 20},
      {"dense", "\x82\xCC", "\x83\x6D", 10},
  };

  std::printf("corpus %zu MiB, code page 932 text, median of %d runs, fresh copy each run\n", mib, runs);
  std::printf("%-6s %-8s %9s %10s %9s %10s %12s %12s\n", "case", "tool", "seconds", "MiB/s", "cpu s", "peak MiB",
              "sed/tool", "sed/tool cpu");
  for (const Case& c : cases) {
    const std::string corpus = dir + "/vx-bench-" + c.name + ".txt";
    const std::string work = dir + "/vx-bench-work.txt";
    const std::string engine_out = dir + "/vx-bench-engine.txt";
    MakeCorpus(corpus, mib << 20, c.needle, c.every, 932);
    const std::string sed_expr = "s/" + c.needle + "/" + c.replacement + "/g";
    struct Tool {
      const char* name;
      std::vector<std::string> cmd;
      bool copy_first;
    } tools[] = {
        {"engine", {self, "--rewrite", work, c.needle, c.replacement}, true},
        {"cp", {"cp", corpus, work}, false},
        {"sed -i", {"sed", "-i", sed_expr, work}, true},
    };
    // Runs interleave the tools, so a burst of load elsewhere on the
    // machine touches all of them alike.
    std::vector<std::vector<double>> times(std::size(tools)), cpus(std::size(tools));
    std::vector<double> peaks(std::size(tools), 0);
    for (int r = 0; r < runs; ++r) {
      for (std::size_t t = 0; t < std::size(tools); ++t) {
        if (tools[t].copy_first) CopyFile(corpus, work);
        else unlink(work.c_str());
        const Sample s = RunChild(tools[t].cmd);
        if (t == 0) rename(work.c_str(), engine_out.c_str());
        times[t].push_back(s.seconds);
        cpus[t].push_back(s.cpu);
        peaks[t] = std::max(peaks[t], s.peak_mib);
      }
    }
    const double sed_wall = Median(times[2]), sed_cpu = Median(cpus[2]);
    for (std::size_t t = 0; t < std::size(tools); ++t) {
      const double wall = Median(times[t]), cpu = Median(cpus[t]);
      std::printf("%-6s %-8s %9.3f %10.0f %9.3f %10.1f %11.2fx %11.2fx\n", c.name, tools[t].name, wall,
                  static_cast<double>(mib) / wall, cpu, peaks[t], sed_wall / wall, sed_cpu / cpu);
    }
    // The corpus has no false matches across characters, so sed's bytes
    // must equal the engine's.
    const bool same = RunChildStatus({"cmp", "-s", engine_out, work}) == 0;
    std::printf("%-6s engine output %s sed's\n", c.name, same ? "identical to" : "DIFFERS FROM");
    unlink(work.c_str());
    unlink(engine_out.c_str());
    unlink(corpus.c_str());
  }
  return 0;
}
