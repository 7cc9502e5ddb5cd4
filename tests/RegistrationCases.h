// The end-to-end cases of a registration run, shared by the native program's
// tests and the Windows program's tests under Wine.
#ifndef TESTS_REGISTRATION_CASES_H
#define TESTS_REGISTRATION_CASES_H

#include <functional>
#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "TestSupport.h"

// A built program and how it is started.
struct Program {
  fs::path built;                   // the program as the build left it
  std::string name;                 // its file name in the livery folder
  std::vector<std::string> runner;  // what starts it, before its own path: empty, or Wine
};

// An aircraft folder with a livery folder in it that holds the program.
struct AircraftTree {
  TempFolder temp;
  Program program;
  fs::path aircraftFolder = temp.Path() / "Jet";
  fs::path liveryFolder = aircraftFolder / "RedLivery";
  fs::path elsewhere = temp.Path() / "elsewhere";

  AircraftTree(const Program& program, const std::string& aircraft, const std::string& livery);
  fs::path Config() const { return aircraftFolder / "aircraft.cfg"; }

  // Started from another folder, with arguments: neither may matter.
  int Run(const std::function<void()>& prepare = {}) const;
};

// The key lines that the program writes for one entry, in order, but for skip.
std::string KeyLines(const std::map<std::string, std::string>& values, const std::string& skip = "");

// A whole entry as the program appends it.
std::string Entry(int number, const std::map<std::string, std::string>& values);

// Plain arrays, so that the case tables built before main can use them.
constexpr char kThreeEntries[] =  // an aircraft with titled entries 0 to 2
    "[General]\natc_type=JET\n\n[fltsim.0]\ntitle=Jet White\n[fltsim.1]\ntitle=Jet Blue\n"
    "[fltsim.2]\ntitle=Jet Green\n";
constexpr char kRedLivery[] = "[fltsim.0]\ntitle=Jet Red\ntexture=Red\nui_type=Jet\n";

struct RunCase {
  const char* why;
  std::string aircraft;
  std::string livery;
  std::string expected;  // aircraft.cfg afterwards
};
inline void PrintTo(const RunCase& c, std::ostream* os) { *os << c.why; }
const std::vector<RunCase>& RunCases();

struct FailureCase {
  const char* why;
  std::function<void(AircraftTree&)> arrange;
  std::function<void()> prepareChild;
  int expected;
  bool nativeOnly;  // a cause the Windows functions handle themselves
};
inline void PrintTo(const FailureCase& c, std::ostream* os) { *os << c.why; }
const std::vector<FailureCase>& FailureCases();

// Runs program in a tree arranged as c says and checks its exit code, that
// aircraft.cfg is as it was (or still absent) and that no file was added.
void ExpectFailureLeavesTheAircraftAsItWas(const Program& program, const FailureCase& c);

#endif
