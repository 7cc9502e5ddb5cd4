#include "RegistrationCases.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include "Registration.h"

AircraftTree::AircraftTree(const Program& program, const std::string& aircraft, const std::string& livery)
    : program(program) {
  fs::create_directories(liveryFolder);
  fs::create_directories(elsewhere);
  WriteFile(Config(), aircraft);
  WriteFile(liveryFolder / "livery.ini", livery);
  fs::copy_file(program.built, liveryFolder / program.name);
}

int AircraftTree::Run(const std::function<void()>& prepare) const {
  std::vector<std::string> args(program.runner.begin(), program.runner.end());
  args.push_back((liveryFolder / program.name).string());
  for (const char* arg : {"--uninstall", "C:\\other\\aircraft.cfg", ".."}) args.push_back(arg);
  return RunProgram(args.front(), std::vector<std::string>(args.begin() + 1, args.end()), elsewhere, prepare);
}

std::string KeyLines(const std::map<std::string, std::string>& values, const std::string& skip) {
  std::string text;
  for (const char* key : LiveryKeyTable) {
    const auto found = values.find(key);
    if (key != skip) text += std::string(key) + "=" + (found == values.end() ? "" : found->second) + "\n";
  }
  return text;
}

std::string Entry(int number, const std::map<std::string, std::string>& values) {
  return "[fltsim." + std::to_string(number) + "]\n" + KeyLines(values);
}

const std::vector<RunCase>& RunCases() {
  static const std::vector<RunCase> cases{
      RunCase{"the worked example", kThreeEntries, kRedLivery,
              kThreeEntries + Entry(3, {{"title", "Jet Red Full"}, {"texture", "Red"}, {"ui_type", "Jet"}}) +
                  Entry(4, {{"title", "Jet Red 2D"},
                            {"model", "2D"},
                            {"texture", "Red"},
                            {"ui_type", "Jet 2D only"}})},
      RunCase{"a gap is filled, then the next free entry",
              "[fltsim.0]\ntitle=a\n[fltsim.1]\ntitle=b\n[fltsim.3]\ntitle=d\n", kRedLivery,
              "[fltsim.0]\ntitle=a\n[fltsim.1]\ntitle=b\n[fltsim.3]\ntitle=d\n" +
                  Entry(2, {{"title", "Jet Red Full"}, {"texture", "Red"}, {"ui_type", "Jet"}}) +
                  Entry(4, {{"title", "Jet Red 2D"},
                            {"model", "2D"},
                            {"texture", "Red"},
                            {"ui_type", "Jet 2D only"}})},
      RunCase{"an untitled entry is written into and keeps its other keys",
              "[fltsim.0]\ntitle=a\n[fltsim.1]\nmodel=old\nextra=keep\n; end of entry\n[fltsim.2]\ntitle=c\n",
              "[fltsim.0]\ntitle=Jet Red\nmodel=abc\n",
              "[fltsim.0]\ntitle=a\n[fltsim.1]\nmodel=abc\nextra=keep\n" +
                  KeyLines({{"title", "Jet Red Full"}}, "model") + "; end of entry\n[fltsim.2]\ntitle=c\n" +
                  Entry(3, {{"title", "Jet Red 2D"}, {"model", "abc2D"}, {"ui_type", " 2D only"}})},
      RunCase{"an empty title and a model", kThreeEntries, "[fltsim.0]\nmodel=abc\n",
              kThreeEntries + Entry(3, {{"title", " Full"}, {"model", "abc"}}) +
                  Entry(4, {{"title", " 2D"}, {"model", "abc2D"}, {"ui_type", " 2D only"}})},
      RunCase{"a description in another section reads as empty", kThreeEntries,
              "[fltsim.1]\ntitle=Jet Red\ntexture=Red\n",
              kThreeEntries + Entry(3, {{"title", " Full"}}) +
                  Entry(4, {{"title", " 2D"}, {"model", "2D"}, {"ui_type", " 2D only"}})},
      RunCase{"a description written for the Windows functions", kThreeEntries,
              "\xEF\xBB\xBF; Red livery\r\n[FLTSIM.0]\r\n  TITLE = \"Jet Red\"  \r\nAtc_Id='N12'\r\nsim=Jet "
              "; x\r\n",
              kThreeEntries + Entry(3, {{"title", "Jet Red Full"}, {"atc_id", "N12"}, {"sim", "Jet ; x"}}) +
                  Entry(4, {{"title", "Jet Red 2D"},
                            {"atc_id", "N12"},
                            {"sim", "Jet ; x"},
                            {"model", "2D"},
                            {"ui_type", " 2D only"}})},
      RunCase{
          "a value longer than 1023 characters is cut before the suffix", kThreeEntries,
          "[fltsim.0]\ntitle=" + std::string(1500, 't') + "\n",
          kThreeEntries + Entry(3, {{"title", std::string(1023, 't') + " Full"}}) +
              Entry(4,
                    {{"title", std::string(1023, 't') + " 2D"}, {"model", "2D"}, {"ui_type", " 2D only"}})}};
  return cases;
}

const std::vector<FailureCase>& FailureCases() {
  static const std::vector<FailureCase> cases{
      FailureCase{"livery.ini absent",
                  [](AircraftTree& t) { fs::remove(t.liveryFolder / "livery.ini"); },
                  {},
                  kLiveryMissing,
                  false},
      FailureCase{"livery.ini a folder",
                  [](AircraftTree& t) {
                    fs::remove(t.liveryFolder / "livery.ini");
                    fs::create_directory(t.liveryFolder / "livery.ini");
                  },
                  {},
                  kLiveryMissing,
                  false},
      FailureCase{"aircraft.cfg absent",
                  [](AircraftTree& t) { fs::remove(t.Config()); },
                  {},
                  kAircraftMissing,
                  false},
      FailureCase{"aircraft.cfg a folder",
                  [](AircraftTree& t) {
                    fs::remove(t.Config());
                    fs::create_directory(t.Config());
                  },
                  {},
                  kAircraftMissing,
                  false},
      FailureCase{"aircraft.cfg read-only",
                  [](AircraftTree& t) { fs::permissions(t.Config(), fs::perms(0444)); },
                  {},
                  kAircraftNotWritable,
                  false},
      FailureCase{"the disk fills up during the commit", [](AircraftTree&) {},
                  [] {
                    const rlimit limit{64, 64};
                    setrlimit(RLIMIT_FSIZE, &limit);
                  },
                  kAircraftNotWritable, true},
      FailureCase{"livery.ini in UTF-16",
                  [](AircraftTree& t) {
                    WriteFile(t.liveryFolder / "livery.ini", std::string("\xFF\xFE[\0f\0]\0", 8));
                  },
                  {},
                  kUnsupportedEncoding,
                  true},
      FailureCase{"aircraft.cfg in UTF-16",
                  [](AircraftTree& t) { WriteFile(t.Config(), std::string("\xFF\xFE[\0s\0]\0", 8)); },
                  {},
                  kUnsupportedEncoding,
                  true},
      FailureCase{"a folder that fits the program's path but not the paths formed from it",
                  [](AircraftTree& t) {
                    // A folder of 250 characters: 255 with the program's name, 261 for livery.ini.
                    const std::size_t used = t.aircraftFolder.string().size() + 2;
                    const fs::path deep = t.aircraftFolder / std::string(250 - used, 'L');
                    fs::rename(t.liveryFolder, deep);
                    t.liveryFolder = deep;
                  },
                  {},
                  kProgramPathUnusable,
                  true},
      FailureCase{"a program path longer than 259 characters",
                  [](AircraftTree& t) {
                    const fs::path deep = t.aircraftFolder / std::string(250, 'L');
                    fs::rename(t.liveryFolder, deep);
                    t.liveryFolder = deep;
                  },
                  {},
                  kProgramPathUnusable,
                  false}};
  return cases;
}

void ExpectFailureLeavesTheAircraftAsItWas(const Program& program, const FailureCase& c) {
  AircraftTree tree(program, kThreeEntries, kRedLivery);
  c.arrange(tree);
  const bool existed = fs::is_regular_file(tree.Config());
  const std::string before = existed ? ReadFile(tree.Config()) : "";
  const auto files = ListTree(tree.temp.Path());
  EXPECT_EQ(tree.Run(c.prepareChild), c.expected) << c.why;
  EXPECT_EQ(fs::is_regular_file(tree.Config()), existed) << c.why;
  if (existed) {
    EXPECT_EQ(ReadFile(tree.Config()), before) << c.why;
  }
  EXPECT_EQ(ListTree(tree.temp.Path()), files) << c.why;
}
