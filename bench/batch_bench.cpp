// Batch benchmark: vextrane-cli against sed -i and perl -pi (and cp as the
// floor) on deterministic Shift-JIS corpora, each run on a fresh copy, each
// tool in its own process (wall time and peak memory from wait4). Prints the
// median of several runs and the ratios; figures only, no pass or fail.
//
//   vx_batch_bench [--cli PATH] [--dir FOLDER] [--mib N] [--files N] [--runs N] [--only big|regex|files|durable]
//
// 1. one file of --mib MiB with a rare needle and with a dense one, in code
//    page 932, and one of Japanese UTF-8 text with a rare needle: each file's
//    encoding found (the default) against the code page forced;
// 2. --files files of 4 KiB in nested folders, without and with backups;
// 3. the same files with all 50 pairs of a replace list against one pair;
// 4. the same files rewritten in this process with and without forcing each
//    new file to the disk before it takes the target's name.
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "engine/batch.h"

namespace {

struct Sample {
  double seconds = 0;
  double peak_mib = 0;
};

double Now() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<double>(ts.tv_sec) + ts.tv_nsec / 1e9;
}

// Runs argv in a child process; wall time and the child's peak resident
// size. A child starts with the size this process has when it forks (a few
// MiB; cp's figure shows that floor), so nothing big is held here meanwhile.
// Exit status 0 is expected (1 from vextrane-cli would mean a file failed).
Sample RunChild(const std::vector<std::string>& args) {
  std::vector<char*> argv;
  for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  std::fflush(nullptr);
  const double t0 = Now();
  const pid_t pid = fork();
  if (pid == 0) {
    const int null = open("/dev/null", O_WRONLY);  // the log is not the figure
    dup2(null, 1);
    execvp(argv[0], argv.data());
    _exit(127);
  }
  int status = 0;
  struct rusage ru {};
  wait4(pid, &status, 0, &ru);
  const double t1 = Now();
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    std::fprintf(stderr, "%s failed (status %d)\n", argv[0], status);
    std::exit(1);
  }
  return Sample{t1 - t0, ru.ru_maxrss / 1024.0};
}

void Shell(const std::string& script, const std::vector<std::string>& params = {}) {
  std::vector<std::string> args = {"sh", "-c", script, "sh"};
  args.insert(args.end(), params.begin(), params.end());
  RunChild(args);
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

// Code page 932 text: hiragana, katakana and kanji (some with a second byte
// 0x5C or in the lead-byte set), ASCII, CR LF line ends; the needle about
// every `every` bytes. With utf8, the same characters in UTF-8.
std::string MakeText(std::size_t bytes, const std::string& needle, std::size_t every, std::mt19937* rng,
                     bool utf8 = false) {
  static const char* const kSjis[] = {
      "\x82\xA0", "\x82\xA2", "\x82\xA4", "\x82\xC6", "\x82\xCC", "\x82\xE9", "\x82\xF0", "\x82\x9F",
      "\x83\x41", "\x83\x43", "\x83\x74", "\x83\x5C", "\x83\x8B", "\x95\x5C", "\x93\xFA", "\x96\x7B",
      "\x8C\xEA", "\x95\xB6", "\x8F\x91", "\x81\x42", "\x81\x41", "\x88\xEA", "\x9F\x82", "\xE0\x40",
      "abc",      "file",     " ",        "0123",     "\\",       "ini",      "x=1;"};
  // あいうとのるをぁアイフソル表日本語文書。、一檗漾, then the ASCII pieces.
  static const char* const kUtf8[] = {
      "\xE3\x81\x82", "\xE3\x81\x84", "\xE3\x81\x86", "\xE3\x81\xA8", "\xE3\x81\xAE", "\xE3\x82\x8B",
      "\xE3\x82\x92", "\xE3\x81\x81", "\xE3\x82\xA2", "\xE3\x82\xA4", "\xE3\x83\x95", "\xE3\x82\xBD",
      "\xE3\x83\xAB", "\xE8\xA1\xA8", "\xE6\x97\xA5", "\xE6\x9C\xAC", "\xE8\xAA\x9E", "\xE6\x96\x87",
      "\xE6\x9B\xB8", "\xE3\x80\x82", "\xE3\x80\x81", "\xE4\xB8\x80", "\xE6\xAA\x97", "\xE6\xBC\xBE",
      "abc",          "file",         " ",            "0123",         "\\",           "ini",          "x=1;"};
  const char* const* kPieces = utf8 ? kUtf8 : kSjis;
  static_assert(std::size(kSjis) == std::size(kUtf8));
  std::uniform_int_distribution<std::size_t> piece(0, std::size(kSjis) - 1);
  std::uniform_int_distribution<std::size_t> gap(every / 2, every + every / 2);
  std::string text;
  text.reserve(bytes + 64);
  std::size_t next_needle = gap(*rng), pieces = 0;
  while (text.size() < bytes) {
    if (text.size() >= next_needle) {
      text += needle;
      next_needle = text.size() + gap(*rng);
    } else {
      text += kPieces[piece(*rng)];
    }
    if (++pieces % 40 == 0) text += "\r\n";
  }
  text.resize(bytes);
  // No character cut at the end: a cut one would make a UTF-8 file Shift-JIS.
  while (utf8 && !text.empty() && (static_cast<unsigned char>(text.back()) & 0xC0) == 0x80) text.pop_back();
  if (utf8 && !text.empty() && static_cast<unsigned char>(text.back()) >= 0xC0) text.pop_back();
  return text;
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// "置換対象" -> "置換済み": rare; "の" -> "ノ": about every 10 bytes.
const std::string kRare = "\x92\x75\x8A\xB7\x91\xCE\x8F\xDB", kRareNew = "\x92\x75\x8A\xB7\x8D\xCF\x82\xDD";
const std::string kDense = "\x82\xCC", kDenseNew = "\x83\x6D";
// The rare ones in UTF-8.
const std::string kRareUtf8 = "\xE7\xBD\xAE\xE6\x8F\x9B\xE5\xAF\xBE\xE8\xB1\xA1",
                  kRareNewUtf8 = "\xE7\xBD\xAE\xE6\x8F\x9B\xE6\xB8\x88\xE3\x81\xBF";

struct Row {
  std::string name;
  double seconds;
  double peak_mib;
};

void PrintRows(const char* title, const std::vector<Row>& rows, const std::string& base_name) {
  double base = 0, cp = 0;
  for (const Row& r : rows) {
    if (r.name == base_name) base = r.seconds;
    if (r.name == "cp") cp = r.seconds;
  }
  std::printf("\n%s\n%-40s %9s %9s %12s %9s\n", title, "tool", "seconds", "peak MiB",
              (base_name + "/tool").c_str(), "tool/cp");
  for (const Row& r : rows) {
    std::printf("%-40s %9.3f %9.1f %11.2fx %8.2fx\n", r.name.c_str(), r.seconds, r.peak_mib, base / r.seconds,
                cp > 0 ? r.seconds / cp : 0.0);
  }
}

struct Tool {
  std::string name;
  std::vector<std::string> cmd;
  bool fresh_copy = true;  // cp is timed from no copy at all
};

// Median time and highest peak of each tool over `runs` runs, each on a
// fresh copy of `pristine` at `work`. The runs take the tools in turn, and
// the disk is synced before each, so that the writes of one run, and a
// burst of load elsewhere, weigh on every tool alike.
std::vector<Row> Measure(const std::vector<Tool>& tools, const std::string& pristine, const std::string& work,
                         int runs) {
  std::vector<std::vector<double>> times(tools.size());
  std::vector<double> peaks(tools.size(), 0);
  for (int r = 0; r < runs; ++r) {
    for (std::size_t t = 0; t < tools.size(); ++t) {
      Shell("rm -rf \"$1\"", {work});
      if (tools[t].fresh_copy) Shell("cp -r \"$1\" \"$2\"", {pristine, work});
      Shell("sync");
      const Sample s = RunChild(tools[t].cmd);
      times[t].push_back(s.seconds);
      peaks[t] = std::max(peaks[t], s.peak_mib);
    }
  }
  std::vector<Row> rows;
  for (std::size_t t = 0; t < tools.size(); ++t) {
    rows.push_back({tools[t].name, Median(times[t]), peaks[t]});
    std::fprintf(stderr, "  %s: %.3f s (", tools[t].name.c_str(), rows.back().seconds);
    for (double seconds : times[t]) std::fprintf(stderr, " %.3f", seconds);
    std::fprintf(stderr, " )\n");
  }
  Shell("rm -rf \"$1\"", {work});
  return rows;
}

void BigFile(const std::string& cli, const std::string& dir, std::size_t mib, int runs) {
  struct Case {
    const char* name;
    bool utf8;
    std::string needle, replacement;  // code page 932: the texts typed in the window
    std::size_t every;
  };
  const Case cases[] = {{"rare", false, kRare, kRareNew, std::size_t{1} << 20},
                        {"dense", false, kDense, kDenseNew, 10},
                        {"rare", true, kRare, kRareNew, std::size_t{1} << 20}};
  for (const Case& c : cases) {
    const std::string pristine = dir + "/vx-batch-big.txt", work = dir + "/vx-batch-big-work.txt";
    std::mt19937 rng(932);
    // The file's own bytes of the texts, for sed, perl and the forced code page.
    const std::string needle = c.utf8 ? kRareUtf8 : c.needle, replacement = c.utf8 ? kRareNewUtf8 : c.replacement;
    WriteFile(pristine, MakeText(mib << 20, needle, c.every, &rng, c.utf8));
    const std::string expr = "s/" + needle + "/" + replacement + "/g";
    const std::string forced = c.utf8 ? "utf-8" : "932";
    const std::vector<Tool> tools = {
        {"cp", {"cp", pristine, work}, false},
        {"vextrane-cli --no-backup", {cli, "--raw", "--no-backup", "-s", c.needle, "-r", c.replacement, work}},
        {"vextrane-cli --no-backup --codepage " + forced,
         {cli, "--raw", "--no-backup", "--codepage", forced, "-s", needle, "-r", replacement, work}},
        {"vextrane-cli (backup)", {cli, "--raw", "-s", c.needle, "-r", c.replacement, work}},
        {"vextrane-cli --dry-run", {cli, "--raw", "-n", "-s", c.needle, "-r", c.replacement, work}},
        {"sed -i", {"sed", "-i", expr, work}},
        {"perl -pi", {"perl", "-pi", "-e", expr, work}},
    };
    char title[200];
    std::snprintf(title, sizeof title, "one file of %zu MiB of %s, %s needle (%s), median of %d runs", mib,
                  c.utf8 ? "UTF-8" : "code page 932", c.name,
                  c.every > 100 ? "about one per MiB" : "about every 10 bytes", runs);
    std::fprintf(stderr, "%s\n", title);
    std::vector<Row> rows = Measure(tools, pristine, work, runs);
    PrintRows(title, rows, "sed -i");
    std::printf("  each file's encoding found / code page %s forced: %.3fx; perl -pi / vextrane-cli --no-backup: "
                "%.2fx; file size %zu MiB\n",
                forced.c_str(), rows[1].seconds / rows[2].seconds, rows[6].seconds / rows[1].seconds, mib);
    Shell("rm -f \"$1\" \"$1.bak\"", {pristine});
    Shell("rm -f \"$1.bak\"", {work});
  }
}

// The matching options on one big code page 932 file, against sed and perl
// where they can do the same: an expression on a rare needle, a capture
// swap on a dense one, letter case ignored, and width and kana folded
// (against the plain literal search on the same file).
void Expressions(const std::string& cli, const std::string& dir, std::size_t mib, int runs) {
  const std::string pristine = dir + "/vx-batch-expr.txt", work = dir + "/vx-batch-expr-work.txt";
  struct Case {
    const char* title;
    std::string needle;  // put into the text
    std::size_t every;
    std::vector<Tool> tools;
    const char* base;
  };
  const std::string no_backup = "--no-backup";
  const std::vector<Case> cases = {
      {"expression on a rare needle: needle4[2]", "needle42", std::size_t{1} << 20,
       {{"vextrane-cli -E", {cli, no_backup, "-E", "-s", "needle4[2]", "-r", "X", work}},
        {"sed -E -i", {"sed", "-E", "-i", "s/needle4[2]/X/g", work}},
        {"perl -pi", {"perl", "-pi", "-e", "s/needle4[2]/X/g", work}}},
       "sed -E -i"},
      {"capture swap on a dense corpus: (\\w+)=(\\w+) -> $2=$1", "key=value ", 64,
       {{"vextrane-cli -E", {cli, no_backup, "-E", "-s", "(\\w+)=(\\w+)", "-r", "$2=$1", work}},
        {"perl -pi", {"perl", "-pi", "-e", "s/(\\w+)=(\\w+)/$2=$1/g", work}}},
       "perl -pi"},
      {"letter case ignored on a rare needle: NEEDLE42", "needle42", std::size_t{1} << 20,
       {{"vextrane-cli -i", {cli, no_backup, "-i", "-s", "NEEDLE42", "-r", "X", work}},
        {"sed -i s///gI", {"sed", "-i", "s/NEEDLE42/X/gI", work}}},
       "sed -i s///gI"},
      {"width and kana folded on the rare Japanese needle", kRare, std::size_t{1} << 20,
       {{"vextrane-cli (plain literal)", {cli, no_backup, "-s", kRareUtf8, "-r", kRareNewUtf8, work}},
        {"vextrane-cli --fold", {cli, no_backup, "--fold", "-s", kRareUtf8, "-r", kRareNewUtf8, work}}},
       "vextrane-cli (plain literal)"},
  };
  for (const Case& c : cases) {
    std::mt19937 rng(932);
    WriteFile(pristine, MakeText(mib << 20, c.needle, c.every, &rng));
    char title[240];
    std::snprintf(title, sizeof title, "%s: one file of %zu MiB of code page 932, median of %d runs", c.title, mib,
                  runs);
    std::fprintf(stderr, "%s\n", title);
    PrintRows(title, Measure(c.tools, pristine, work, runs), c.base);
  }
  Shell("rm -f \"$1\" \"$2\"", {pristine, work});
}

// --files files of 4 KiB in folders three levels deep (20 x 10 x N/200).
std::vector<std::string> MakeTree(const std::string& root, int files) {
  std::mt19937 rng(4096);
  std::vector<std::string> paths;
  for (int i = 0; i < files; ++i) {
    char rel[64];
    std::snprintf(rel, sizeof rel, "/d%02d/e%02d/f%05d.txt", i % 20, (i / 20) % 10, i);
    const std::string path = root + rel;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    WriteFile(path, MakeText(4096, kRare, 2048, &rng));  // about two needles per file
    paths.push_back(path);
  }
  return paths;
}

// 50 pairs: the needle and 49 texts that occur nowhere in the corpus.
std::string MakeList(const std::string& path) {
  std::string list = kRare + "\r\n" + kRareNew + "\r\n";
  for (int k = 1; k < 50; ++k) list += "\x8C\x9F\x8D\xF5" + std::to_string(k) + "\r\n\x92\x75\x8A\xB7" + std::to_string(k) + "\r\n";
  WriteFile(path, list);
  return path;
}

void ManyFiles(const std::string& cli, const std::string& dir, int files, int runs) {
  const std::string pristine = dir + "/vx-batch-tree", work = dir + "/vx-batch-tree-work";
  Shell("rm -rf \"$1\"", {pristine});
  MakeTree(pristine, files);
  const std::string list = MakeList(dir + "/vx-batch-list.dat");
  const std::string expr = "s/" + kRare + "/" + kRareNew + "/g";
  const std::string each = "find \"$1\" -type f -print0 | xargs -0 ";
  const std::vector<Tool> tools = {
      {"cp", {"cp", "-r", pristine, work}, false},
      {"vextrane-cli --no-backup", {cli, "--raw", "--no-backup", "-s", kRare, "-r", kRareNew, work}},
      {"vextrane-cli -a (50 pairs) --no-backup", {cli, "--raw", "--no-backup", "-a", "-l", list, work}},
      {"sed -i", {"sh", "-c", each + "sed -i \"$2\"", "sh", work, expr}},
      {"perl -pi", {"sh", "-c", each + "perl -pi -e \"$2\"", "sh", work, expr}},
      {"vextrane-cli (backup)", {cli, "--raw", "-s", kRare, "-r", kRareNew, work}},
      {"vextrane-cli -a (50 pairs) (backup)", {cli, "--raw", "-a", "-l", list, work}},
      {"sed -i.bak", {"sh", "-c", each + "sed -i.bak \"$2\"", "sh", work, expr}},
      {"perl -pi.bak", {"sh", "-c", each + "perl -pi.bak -e \"$2\"", "sh", work, expr}},
      {"vextrane-cli --no-backup -j 1", {cli, "--raw", "--no-backup", "-j", "1", "-s", kRare, "-r", kRareNew, work}},
  };
  char title[160];
  std::snprintf(title, sizeof title, "%d files of 4 KiB in nested folders, median of %d runs", files, runs);
  std::fprintf(stderr, "%s\n", title);
  const std::vector<Row> rows = Measure(tools, pristine, work, runs);
  PrintRows(title, rows, "sed -i");
  std::printf("  with backups: sed -i.bak / vextrane-cli (backup): %.2fx\n", rows[7].seconds / rows[5].seconds);
  std::printf("  all pairs (50) / one pair, no backups: %.2fx; with backups: %.2fx\n", rows[2].seconds / rows[1].seconds,
              rows[6].seconds / rows[5].seconds);
  Shell("rm -rf \"$1\" \"$2\"", {pristine, list});
}

// The cost of forcing every new file to the disk before it takes the
// target's name, on the same files, in this process.
void Durability(const std::string& dir, int files, int runs) {
  const std::string pristine = dir + "/vx-batch-tree", work = dir + "/vx-batch-tree-work";
  Shell("rm -rf \"$1\"", {pristine});
  MakeTree(pristine, files);
  std::printf("\nforcing new content to the disk before the rename, %d files of 4 KiB, median of %d runs\n", files,
              runs);
  std::printf("%-24s %9s %9s %12s\n", "mode", "seconds", "ms/file", "durable/not");
  for (bool backup : {false, true}) {
    double plain = 0;
    for (bool durable : {false, true}) {
      std::vector<double> times;
      for (int r = 0; r < runs; ++r) {
        Shell("rm -rf \"$1\"; cp -r \"$2\" \"$1\"; sync", {work, pristine});
        const std::vector<std::string> paths = [&] {
          std::vector<std::string> p;
          for (auto& e : std::filesystem::recursive_directory_iterator(work))
            if (e.is_regular_file()) p.push_back(e.path().string());
          return p;
        }();
        vx::BatchSettings settings;
        settings.options.durable = durable;
        const double t0 = Now();
        const vx::BatchReport report = vx::ProcessBatch(
            [&](std::size_t i, vx::BatchFile* f) {
              if (i >= paths.size()) return false;
              *f = vx::BatchFile{paths[i], {{kRare, kRareNew}}, backup};
              return true;
            },
            settings);
        times.push_back(Now() - t0);
        if (report.AnyFailed()) std::exit(1);
      }
      const double t = Median(times);
      if (!durable) plain = t;
      char mode[64];
      std::snprintf(mode, sizeof mode, "%s, %s", durable ? "durable" : "not durable", backup ? "backup" : "no backup");
      std::printf("%-24s %9.3f %9.3f %11.2fx\n", mode, t, t * 1000 / files, t / plain);
    }
  }
  Shell("rm -rf \"$1\" \"$2\"", {pristine, work});
}

}  // namespace

int main(int argc, char** argv) {
  std::string cli, dir = "/tmp", only;
  std::size_t mib = 256;
  int files = 20000, runs = 5, file_runs = 3;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string opt = argv[i], value = argv[i + 1];
    if (opt == "--cli") cli = value;
    else if (opt == "--dir") dir = value;
    else if (opt == "--mib") mib = std::strtoul(value.c_str(), nullptr, 10);
    else if (opt == "--files") files = std::atoi(value.c_str());
    else if (opt == "--runs") runs = file_runs = std::atoi(value.c_str());
    else if (opt == "--only") only = value;
  }
  if (cli.empty()) {
    // Beside the build's bench folder: build/<preset>/cli/vextrane-cli.
    cli = (std::filesystem::canonical("/proc/self/exe").parent_path().parent_path() / "cli" / "vextrane-cli").string();
  }
  setenv("LC_ALL", "C", 1);  // sed and perl work on bytes; vextrane-cli gets --raw
  std::printf("vextrane-cli: %s\n", cli.c_str());
  if (only.empty() || only == "big") BigFile(cli, dir, mib, runs);
  if (only.empty() || only == "regex") Expressions(cli, dir, mib, runs);
  if (only.empty() || only == "files") ManyFiles(cli, dir, files, file_runs);
  if (only.empty() || only == "durable") Durability(dir, files, file_runs);
  return 0;
}
