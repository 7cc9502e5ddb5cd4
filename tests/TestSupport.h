// Helpers shared by the tests: a temporary folder per test, whole-file
// reads and writes, and running a program as a separate process.
#ifndef TESTS_TEST_SUPPORT_H
#define TESTS_TEST_SUPPORT_H

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace fs = std::filesystem;

// A fresh folder, removed with everything in it when the object goes.
class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  const fs::path& Path() const { return path_; }

 private:
  fs::path path_;
};

std::string ReadFile(const fs::path& path);
void WriteFile(const fs::path& path, const std::string& bytes);

// The bytes of a file under tests/fixtures.
std::string Fixture(const std::string& name);

// Runs program with args from folder cwd and returns its exit code, or 128
// plus the signal that ended it. prepare runs in the child just before exec.
int RunProgram(const fs::path& program, const std::vector<std::string>& args, const fs::path& cwd,
               const std::function<void()>& prepare = {});

// A test name made of a case's description: "a gap is filled" -> AGapIsFilled.
std::string CaseName(const std::string& why);

// Every name in folder and below it, sorted, relative to folder.
std::vector<std::string> ListTree(const fs::path& folder);

#endif
