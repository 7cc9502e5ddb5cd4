// The registration run: the free entry search through the platform layer,
// and the program itself, copied into an aircraft's folder and started from
// elsewhere.
#include <gtest/gtest.h>

#include <string>

#include "Platform.h"
#include "Registration.h"
#include "RegistrationCases.h"
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
        CountCase{"a gap is filled first", "[fltsim.0]\ntitle=a\n[fltsim.1]\ntitle=b\n[fltsim.3]\ntitle=d\n",
                  2},
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

const Program kNative{SETUP_PROGRAM, "setup", {}};

class RegistrationRun : public testing::TestWithParam<RunCase> {};

TEST_P(RegistrationRun, AppendsTheFullAndThe2DEntry) {
  const RunCase& c = GetParam();
  AircraftTree tree(kNative, c.aircraft, c.livery);
  const auto files = ListTree(tree.temp.Path());
  EXPECT_EQ(tree.Run(), kRegistered) << c.why;
  EXPECT_EQ(ReadFile(tree.Config()), c.expected) << c.why;
  EXPECT_EQ(ListTree(tree.temp.Path()), files) << "a file was left behind: " << c.why;
}

INSTANTIATE_TEST_SUITE_P(Liveries, RegistrationRun, testing::ValuesIn(RunCases()),
                         [](const testing::TestParamInfo<RunCase>& info) {
                           return CaseName(info.param.why);
                         });

TEST(RegistrationRun, KeepsEveryByteOfAFileWrittenByHand) {
  // Comments, odd spacing, CRLF, a byte-order mark, no final line end, and
  // an untitled entry that the full entry fills.
  AircraftTree tree(kNative, Fixture("handwritten.cfg"), kRedLivery);
  ASSERT_EQ(tree.Run(), kRegistered);
  EXPECT_EQ(ReadFile(tree.Config()), Fixture("handwritten.registered.cfg"));
}

TEST(RegistrationRun, ASecondRunAddsTwoMoreEntries) {
  AircraftTree tree(kNative, kThreeEntries, kRedLivery);
  ASSERT_EQ(tree.Run(), kRegistered);
  ASSERT_EQ(tree.Run(), kRegistered);
  const std::string full = "title=Jet Red Full\n", twoD = "title=Jet Red 2D\n";
  const std::string after = ReadFile(tree.Config());
  EXPECT_NE(after.find("[fltsim.5]\n" + full), std::string::npos);
  EXPECT_NE(after.find("[fltsim.6]\n" + twoD), std::string::npos);
}

class RegistrationFailure : public testing::TestWithParam<FailureCase> {};

TEST_P(RegistrationFailure, LeavesTheAircraftAsItWas) {
  ExpectFailureLeavesTheAircraftAsItWas(kNative, GetParam());
}

INSTANTIATE_TEST_SUITE_P(Causes, RegistrationFailure, testing::ValuesIn(FailureCases()),
                         [](const testing::TestParamInfo<FailureCase>& info) {
                           return CaseName(info.param.why);
                         });

}  // namespace
