// Measures a registration run on generated aircraft configurations of
// growing size, beside the durable copy that bounds it: reading the file
// once, writing it once to a new file in the same folder, flushing it and
// renaming it over the old one.
// Both run as processes of their own, each linked alike.
// Usage: registration_bench SETUP_PROGRAM DURABLE_COPY_PROGRAM [FOLDER]
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "Registration.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

// An aircraft with entries of 20 keys each, in CRLF as the simulator's own files.
std::string Configuration(int entries) {
  std::string text = "[General]\r\natc_type=JET\r\natc_model=EJ1\r\n\r\n";
  for (int n = 0; n < entries; ++n) {
    const std::string number = std::to_string(n);
    text += "[fltsim." + number + "]\r\ntitle=Example Jet livery " + number + "\r\n";
    // The entry's own keys, and one more as many aircraft carry.
    for (const std::string key : LiveryKeyTable)
      if (key != "title") text += key + "=value of " + key + " " + number + "\r\n";
    text += "atc_airline_code=EX" + number + "\r\n";
    text += "\r\n";
  }
  return text + "[Weight_and_Balance]\r\nmax_gross_weight=8000\r\n";
}

void WriteFile(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc)
      .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// One run of a program as a process of its own; its time and its peak
// resident memory in bytes.
std::pair<double, long> Run(const std::vector<std::string>& command) {
  std::vector<char*> argv;
  for (const std::string& word : command) argv.push_back(const_cast<char*>(word.c_str()));
  argv.push_back(nullptr);
  const auto start = Clock::now();
  const pid_t child = fork();
  if (child == 0) {
    execv(argv[0], argv.data());
    _exit(127);
  }
  int status = 0;
  struct rusage usage {};
  wait4(child, &status, 0, &usage);
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
    std::fprintf(stderr, "%s failed: %d\n", argv[0], status);
  return {seconds, usage.ru_maxrss * 1024L};
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s SETUP_PROGRAM DURABLE_COPY_PROGRAM [FOLDER]\n", argv[0]);
    return 2;
  }
  const fs::path folder =
      fs::path(argc > 3 ? argv[3] : fs::temp_directory_path().string()) / "registration-bench";
  fs::remove_all(folder);
  fs::create_directories(folder / "Jet" / "RedLivery");
  const fs::path config = folder / "Jet" / "aircraft.cfg";
  const fs::path program = folder / "Jet" / "RedLivery" / "setup";
  fs::copy_file(argv[1], program);
  WriteFile(folder / "Jet" / "RedLivery" / "livery.ini",
            "[fltsim.0]\r\ntitle=Example Jet Red\r\ntexture=Red\r\nui_type=Jet\r\n");

  std::printf(
      "| entries | file size | run (ms) | durable copy (ms) | run / copy | peak memory | limit 3 x size + 8 "
      "MB |\n");
  std::printf("|---:|---:|---:|---:|---:|---:|---:|\n");
  for (const int entries : {100, 1000, 10000, 100000}) {
    const std::string original = Configuration(entries);
    const int rounds = entries >= 100000 ? 15 : 21;
    std::vector<double> runs, copies;
    long peak = 0;
    for (int round = 0; round < rounds; ++round) {
      WriteFile(config, original);
      sync();
      copies.push_back(Run({argv[2], config.string()}).first);
      WriteFile(config, original);
      sync();
      const auto [seconds, memory] = Run({program.string()});
      runs.push_back(seconds);
      peak = std::max(peak, memory);
    }
    const double run = Median(runs), copy = Median(copies);
    if (std::getenv("BENCH_ROUNDS") != nullptr) {
      for (std::size_t i = 0; i < runs.size(); ++i)
        std::fprintf(stderr, "  round %zu: run %.1f ms, copy %.1f ms\n", i, runs[i] * 1e3, copies[i] * 1e3);
    }
    std::printf("| %d | %.1f MB | %.1f | %.1f | %.2f | %.1f MB | %.1f MB |\n", entries, original.size() / 1e6,
                run * 1e3, copy * 1e3, run / copy, peak / 1e6, (3.0 * original.size() + 8e6) / 1e6);
  }
  fs::remove_all(folder);
  return 0;
}
