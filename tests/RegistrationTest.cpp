// The registration run: the free entry search through the platform layer,
// and the program itself, copied into an aircraft's folder and started from
// elsewhere.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <map>
#include <string>

#include "Platform.h"
#include "Registration.h"
#include "TestSupport.h"

namespace {

struct CountCase {
  const char* why;
  std::string aircraft;
  int expected;
};

void PrintTo(const CountCase& c, std::ostream* os) { *os << c.why; }

class FreeEntrySearch : public testing::TestWithParam<CountCase> {};

TEST_P(FreeEntrySearch, FindsTheFirstEntryWithoutTitle) {
  const CountCase& c = GetParam();
  TempFolder temp;
  const std::string path = (temp.Path() / "aircraft.cfg").string();
  WriteFile(path, c.aircraft);
  ASSERT_EQ(OpenProfile(path.c_str(), false), ProfileStatus::Ok);
  EXPECT_EQ(CountFltsimEntries(path.c_str()), c.expected) << c.why;
  DiscardProfile(path.c_str());
}

INSTANTIATE_TEST_SUITE_P(
    Entries, FreeEntrySearch,
    testing::Values(
        CountCase{"no entries", "[General]\ntitle=Jet\n", 0},
        CountCase{"two titled entries", "[fltsim.0]\ntitle=a\n[fltsim.1]\ntitle=b\n", 2},
        CountCase{"a gap is filled first", "[fltsim.0]\ntitle=a\n[fltsim.1]\ntitle=b\n[fltsim.3]\ntitle=d\n", 2},
        CountCase{"an entry without title", "[fltsim.0]\ntitle=a\n[fltsim.1]\nmodel=x\n", 1},
        CountCase{"an entry with an empty title", "[fltsim.0]\ntitle=a\n[fltsim.1]\ntitle=\n", 1},
        CountCase{"a title of blanks is empty", "[fltsim.0]\ntitle=a\n[fltsim.1]\ntitle=   \n", 1},
        CountCase{"entries in any order and case", "[FltSim.1]\nTITLE=b\n[fltsim.0]\ntitle=a\n", 2},
        CountCase{"a padded number is another section", "[fltsim.0]\ntitle=a\n[fltsim.01]\ntitle=b\n", 1}),
    [](const testing::TestParamInfo<CountCase>& info) { return CaseName(info.param.why); });

TEST(ProfileValue, ReadsAtMost1023CharactersAndNothingFromAMissingFile) {
  TempFolder temp;
  const std::string path = (temp.Path() / "livery.ini").string();
  WriteFile(path, "[fltsim.0]\ntitle=" + std::string(1500, 'x') + "\n");
  ASSERT_EQ(OpenProfile(path.c_str(), false), ProfileStatus::Ok);
  EXPECT_EQ(ReadProfileString(path.c_str(), "fltsim.0", "title", ""), std::string(1023, 'x'));
  const std::string missing = (temp.Path() / "missing.ini").string();
  EXPECT_EQ(OpenProfile(missing.c_str(), false), ProfileStatus::Missing);
  EXPECT_EQ(ReadProfileString(missing.c_str(), "fltsim.0", "title", ""), "");
  EXPECT_EQ(CountFltsimEntries(missing.c_str()), 0);
  DiscardProfile(path.c_str());
}

// An aircraft folder with a livery folder in it that holds the program.
struct AircraftTree {
  TempFolder temp;
  fs::path aircraftFolder = temp.Path() / "Jet";
  fs::path liveryFolder = aircraftFolder / "RedLivery";
  fs::path elsewhere = temp.Path() / "elsewhere";

  AircraftTree(const std::string& aircraft, const std::string& livery) {
    fs::create_directories(liveryFolder);
    fs::create_directories(elsewhere);
    WriteFile(aircraftFolder / "aircraft.cfg", aircraft);
    WriteFile(liveryFolder / "livery.ini", livery);
    fs::copy_file(SETUP_PROGRAM, liveryFolder / "setup");
  }
  fs::path Config() const { return aircraftFolder / "aircraft.cfg"; }

  // Arguments and the current folder must not matter.
  int Run(const std::function<void()>& prepare = {}) const {
    return RunProgram(liveryFolder / "setup", {"--uninstall", "C:\\other\\aircraft.cfg", ".."}, elsewhere,
                      prepare);
  }
};

// The key lines the program writes for one entry, in order, but for skip.
std::string KeyLines(const std::map<std::string, std::string>& values, const std::string& skip = "") {
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

const std::string kThreeEntries =
    "[General]\natc_type=JET\n\n[fltsim.0]\ntitle=Jet White\n[fltsim.1]\ntitle=Jet Blue\n"
    "[fltsim.2]\ntitle=Jet Green\n";
const std::string kRedLivery = "[fltsim.0]\ntitle=Jet Red\ntexture=Red\nui_type=Jet\n";

struct RunCase {
  const char* why;
  std::string aircraft;
  std::string livery;
  std::string expected;
};

void PrintTo(const RunCase& c, std::ostream* os) { *os << c.why; }

class RegistrationRun : public testing::TestWithParam<RunCase> {};

TEST_P(RegistrationRun, AppendsTheFullAndThe2DEntry) {
  const RunCase& c = GetParam();
  AircraftTree tree(c.aircraft, c.livery);
  const auto files = ListTree(tree.temp.Path());
  EXPECT_EQ(tree.Run(), kRegistered) << c.why;
  EXPECT_EQ(ReadFile(tree.Config()), c.expected) << c.why;
  EXPECT_EQ(ListTree(tree.temp.Path()), files) << "a file was left behind: " << c.why;
}

INSTANTIATE_TEST_SUITE_P(
    Liveries, RegistrationRun,
    testing::Values(
        RunCase{"the worked example", kThreeEntries, kRedLivery,
                kThreeEntries +
                    Entry(3, {{"title", "Jet Red Full"}, {"texture", "Red"}, {"ui_type", "Jet"}}) +
                    Entry(4, {{"title", "Jet Red 2D"}, {"model", "2D"}, {"texture", "Red"},
                              {"ui_type", "Jet 2D only"}})},
        RunCase{"a gap is filled, then the next free entry",
                "[fltsim.0]\ntitle=a\n[fltsim.1]\ntitle=b\n[fltsim.3]\ntitle=d\n", kRedLivery,
                "[fltsim.0]\ntitle=a\n[fltsim.1]\ntitle=b\n[fltsim.3]\ntitle=d\n" +
                    Entry(2, {{"title", "Jet Red Full"}, {"texture", "Red"}, {"ui_type", "Jet"}}) +
                    Entry(4, {{"title", "Jet Red 2D"}, {"model", "2D"}, {"texture", "Red"},
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
                "\xEF\xBB\xBF; Red livery\r\n[FLTSIM.0]\r\n  TITLE = \"Jet Red\"  \r\nAtc_Id='N12'\r\nsim=Jet ; x\r\n",
                kThreeEntries + Entry(3, {{"title", "Jet Red Full"}, {"atc_id", "N12"}, {"sim", "Jet ; x"}}) +
                    Entry(4, {{"title", "Jet Red 2D"}, {"atc_id", "N12"}, {"sim", "Jet ; x"},
                              {"model", "2D"}, {"ui_type", " 2D only"}})},
        RunCase{"a value longer than 1023 characters is cut before the suffix", kThreeEntries,
                "[fltsim.0]\ntitle=" + std::string(1500, 't') + "\n",
                kThreeEntries + Entry(3, {{"title", std::string(1023, 't') + " Full"}}) +
                    Entry(4, {{"title", std::string(1023, 't') + " 2D"}, {"model", "2D"},
                              {"ui_type", " 2D only"}})}),
    [](const testing::TestParamInfo<RunCase>& info) { return CaseName(info.param.why); });

TEST(RegistrationRun, KeepsEveryByteOfAFileWrittenByHand) {
  // Comments, odd spacing, CRLF, a byte-order mark, no final line end, and
  // an untitled entry that the full entry fills.
  AircraftTree tree(Fixture("handwritten.cfg"), kRedLivery);
  ASSERT_EQ(tree.Run(), kRegistered);
  EXPECT_EQ(ReadFile(tree.Config()), Fixture("handwritten.registered.cfg"));
}

TEST(RegistrationRun, ASecondRunAddsTwoMoreEntries) {
  AircraftTree tree(kThreeEntries, kRedLivery);
  ASSERT_EQ(tree.Run(), kRegistered);
  ASSERT_EQ(tree.Run(), kRegistered);
  const std::string full = "title=Jet Red Full\n", twoD = "title=Jet Red 2D\n";
  const std::string after = ReadFile(tree.Config());
  EXPECT_NE(after.find("[fltsim.5]\n" + full), std::string::npos);
  EXPECT_NE(after.find("[fltsim.6]\n" + twoD), std::string::npos);
}

struct FailureCase {
  const char* why;
  std::function<void(AircraftTree&)> arrange;
  std::function<void()> prepareChild;
  int expected;
};

void PrintTo(const FailureCase& c, std::ostream* os) { *os << c.why; }

class RegistrationFailure : public testing::TestWithParam<FailureCase> {};

TEST_P(RegistrationFailure, LeavesTheAircraftAsItWas) {
  const FailureCase& c = GetParam();
  AircraftTree tree(kThreeEntries, kRedLivery);
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

INSTANTIATE_TEST_SUITE_P(
    Causes, RegistrationFailure,
    testing::Values(
        FailureCase{"livery.ini absent", [](AircraftTree& t) { fs::remove(t.liveryFolder / "livery.ini"); }, {},
                    kLiveryMissing},
        FailureCase{"livery.ini a folder",
                    [](AircraftTree& t) {
                      fs::remove(t.liveryFolder / "livery.ini");
                      fs::create_directory(t.liveryFolder / "livery.ini");
                    },
                    {}, kLiveryMissing},
        FailureCase{"aircraft.cfg absent", [](AircraftTree& t) { fs::remove(t.Config()); }, {}, kAircraftMissing},
        FailureCase{"aircraft.cfg a folder",
                    [](AircraftTree& t) {
                      fs::remove(t.Config());
                      fs::create_directory(t.Config());
                    },
                    {}, kAircraftMissing},
        FailureCase{"aircraft.cfg read-only",
                    [](AircraftTree& t) { fs::permissions(t.Config(), fs::perms(0444)); }, {},
                    kAircraftNotWritable},
        FailureCase{"the disk fills up during the commit", [](AircraftTree&) {},
                    [] {
                      const rlimit limit{64, 64};
                      setrlimit(RLIMIT_FSIZE, &limit);
                    },
                    kAircraftNotWritable},
        FailureCase{"aircraft.cfg in UTF-16",
                    [](AircraftTree& t) { WriteFile(t.Config(), std::string("\xFF\xFE[\0s\0]\0", 8)); }, {},
                    kUnsupportedEncoding},
        FailureCase{"a program path longer than 259 characters",
                    [](AircraftTree& t) {
                      const fs::path deep = t.aircraftFolder / std::string(250, 'L');
                      fs::rename(t.liveryFolder, deep);
                      t.liveryFolder = deep;
                    },
                    {}, kProgramPathUnusable}),
    [](const testing::TestParamInfo<FailureCase>& info) { return CaseName(info.param.why); });

}  // namespace
