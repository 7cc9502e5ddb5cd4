// The Windows programs: the shipped 32-bit build inspected, its 64-bit twin
// run under Wine through the same cases as the native program, and the
// program's own profile layer compared with the system's functions.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <locale.h>
#include <unistd.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <regex>
#include <set>

#include "ProfileFile.h"
#include "Registration.h"
#include "RegistrationCases.h"
#include "TestSupport.h"

namespace {

const char* const kWine = "/usr/lib/wine/wine64";
const char* const kWineServer = "/usr/lib/wine/wineserver64";
const Program kWindows{WINDOWS_SETUP_PROGRAM, "setup.exe", {kWine}};

void Detached() {
  const int null = open("/dev/null", O_RDWR);
  dup2(null, 0);
  dup2(null, 1);
  dup2(null, 2);
}

// One Wine prefix for the whole suite. Its server is started first with its
// output detached, or it would hold on to the output of the first program.
class WinePrefix : public testing::Environment {
 public:
  void SetUp() override {
    prefix_ = std::make_unique<TempFolder>();
    setenv("WINEPREFIX", prefix_->Path().c_str(), 1);
    setenv("WINEDEBUG", "-all", 1);
    setenv("LC_ALL", "C.UTF-8", 1);
    unsetenv("DISPLAY");
    ASSERT_EQ(RunProgram(kWineServer, {"-p"}, "/", Detached), 0);
    ASSERT_EQ(RunProgram(kWine, {"wineboot", "--init"}, "/", Detached), 0);
  }
  void TearDown() override {
    RunProgram(kWineServer, {"-k"}, "/", Detached);
    prefix_.reset();
  }

 private:
  std::unique_ptr<TempFolder> prefix_;
};

const testing::Environment* const kWinePrefix = testing::AddGlobalTestEnvironment(new WinePrefix);

// What the tests compare where Wine rewrites the file: the values of the
// entries, not the bytes.
std::map<std::string, std::string> EntryValues(const std::string& text) {
  const ProfileFile profile(text);
  std::map<std::string, std::string> values;
  for (int number = 0; number < 8; ++number) {
    const std::string section = "fltsim." + std::to_string(number);
    for (const char* key : LiveryKeyTable) values[section + "/" + key] = profile.Read(section, key);
    values[section + "/extra"] = profile.Read(section, "extra");
  }
  return values;
}

class WineRegistrationRun : public testing::TestWithParam<RunCase> {};

TEST_P(WineRegistrationRun, AppendsTheSameEntriesAsTheNativeProgram) {
  const RunCase& c = GetParam();
  AircraftTree tree(kWindows, c.aircraft, c.livery);
  const auto files = ListTree(tree.temp.Path());
  EXPECT_EQ(tree.Run(), kRegistered) << c.why;
  EXPECT_EQ(EntryValues(ReadFile(tree.Config())), EntryValues(c.expected)) << c.why;
  EXPECT_EQ(ListTree(tree.temp.Path()), files) << "a file was left behind: " << c.why;
}

INSTANTIATE_TEST_SUITE_P(Liveries, WineRegistrationRun, testing::ValuesIn(RunCases()),
                         [](const testing::TestParamInfo<RunCase>& info) {
                           return CaseName(info.param.why);
                         });

std::vector<FailureCase> WindowsFailureCases() {
  std::vector<FailureCase> cases;
  for (const FailureCase& c : FailureCases())
    if (!c.nativeOnly) cases.push_back(c);
  return cases;
}

class WineRegistrationFailure : public testing::TestWithParam<FailureCase> {};

TEST_P(WineRegistrationFailure, LeavesTheAircraftAsItWas) {
  ExpectFailureLeavesTheAircraftAsItWas(kWindows, GetParam());
}

INSTANTIATE_TEST_SUITE_P(Causes, WineRegistrationFailure, testing::ValuesIn(WindowsFailureCases()),
                         [](const testing::TestParamInfo<FailureCase>& info) {
                           return CaseName(info.param.why);
                         });

TEST(WineRegistration, NeverTakesTheSecondByteOfADoubleByteCharacterForASeparator) {
  // U+8868 is 0x95 0x5C in code page 932: its second byte is a backslash.
  // Without the Japanese locale Wine would not use that code page at all.
  const locale_t japanese = newlocale(LC_ALL_MASK, "ja_JP.UTF-8", nullptr);
  ASSERT_NE(japanese, nullptr) << "the ja_JP.UTF-8 locale is missing";
  freelocale(japanese);
  Program program = kWindows;
  program.name = "\xE8\xA1\xA8.exe";
  AircraftTree tree(program, kThreeEntries, kRedLivery);
  EXPECT_EQ(tree.Run([] { setenv("LC_ALL", "ja_JP.UTF-8", 1); }), kRegistered);
  EXPECT_EQ(EntryValues(ReadFile(tree.Config())), EntryValues(RunCases().front().expected));
}

// The private-profile functions, as the platform has them, driven through
// the probe program; and the same operations through the program's own layer.
struct ProfileCase {
  const char* why;
  std::string file;
  std::vector<std::vector<std::string>> operations;  // R section key | W section key value
};
void PrintTo(const ProfileCase& c, std::ostream* os) { *os << c.why; }

std::string WindowsPath(const fs::path& path) {
  std::string text = "Z:" + path.string();
  for (char& c : text)
    if (c == '/') c = '\\';
  return text;
}

std::string ThroughWine(const ProfileCase& c, const TempFolder& temp) {
  std::string operations;
  for (const auto& op : c.operations) {
    for (std::size_t i = 0; i < op.size(); ++i) operations += (i > 0 ? "\t" : "") + op[i];
    operations += "\n";
  }
  WriteFile(temp.Path() / "operations.txt", operations);
  WriteFile(temp.Path() / "profile.ini", c.file);
  const int code =
      RunProgram(kWine,
                 {PROFILE_PROBE_PROGRAM, WindowsPath(temp.Path() / "operations.txt"),
                  WindowsPath(temp.Path() / "reads.txt"), WindowsPath(temp.Path() / "profile.ini")},
                 temp.Path());
  EXPECT_EQ(code, 0) << c.why;
  return ReadFile(temp.Path() / "reads.txt");
}

std::string ThroughLayer(const ProfileCase& c, std::string* written = nullptr) {
  ProfileFile profile(c.file);
  std::string reads;
  for (const auto& op : c.operations) {
    if (op[0] == "R") reads += std::string(profile.Read(op[1], op[2]).substr(0, 1023)) + "\n";
    if (op[0] == "W") {
      EXPECT_TRUE(profile.Write(op[1], op[2], op.size() > 3 ? op[3] : "")) << c.why;
    }
  }
  if (written != nullptr) *written = profile.Contents();
  return reads;
}

class ProfileLayerAgainstWindows : public testing::TestWithParam<ProfileCase> {};

TEST_P(ProfileLayerAgainstWindows, ReadsTheSameValues) {
  const ProfileCase& c = GetParam();
  TempFolder temp;
  EXPECT_EQ(ThroughLayer(c), ThroughWine(c, temp)) << c.why;
}

const std::string kLong(1500, 'v');

INSTANTIATE_TEST_SUITE_P(
    Operations, ProfileLayerAgainstWindows,
    testing::Values(
        ProfileCase{"present, absent and empty keys and sections",
                    "[s]\r\nk=v\r\ne=\r\n",
                    {{"R", "s", "k"}, {"R", "s", "j"}, {"R", "t", "k"}, {"R", "s", "e"}}},
        ProfileCase{"duplicate keys and sections",
                    "[s]\r\nk=1\r\nk=2\r\n[s]\r\nj=3\r\n",
                    {{"R", "s", "k"}, {"R", "s", "j"}}},
        ProfileCase{
            "quoted values",
            "[s]\r\na=\"Jet Red\"\r\nb='Red'\r\nc=\"a\" b\"\r\nd='v\"\r\ne=\"\r\nf=\"Say \"\"hi\"\"\"\r\n",
            {{"R", "s", "a"},
             {"R", "s", "b"},
             {"R", "s", "c"},
             {"R", "s", "d"},
             {"R", "s", "e"},
             {"R", "s", "f"}}},
        ProfileCase{"blank-padded names and values", "[ s ]\r\n \t k  =  v w \t\r\n", {{"R", "s", "k"}}},
        ProfileCase{"names in other cases", "[FltSim.0]\r\nTITLE=x\r\n", {{"R", "fltsim.0", "title"}}},
        ProfileCase{"a value longer than the buffer", "[s]\r\nk=" + kLong + "\r\n", {{"R", "s", "k"}}},
        ProfileCase{"comment lines and lookalikes",
                    "[s]\r\n; k=1\r\n#h=2\r\nn = 0 // x\r\nm = v ;c\r\n",
                    {{"R", "s", "k"}, {"R", "s", "#h"}, {"R", "s", "n"}, {"R", "s", "m"}}},
        ProfileCase{"LF line ends", "[s]\nk=v\n[t]\nk=w\n", {{"R", "s", "k"}, {"R", "t", "k"}}},
        ProfileCase{"writes into an existing section",
                    "[s]\r\nk=1\r\n\r\n[t]\r\nk=2\r\n",
                    {{"W", "s", "k", "new"},
                     {"W", "s", "n", "added"},
                     {"R", "s", "k"},
                     {"R", "s", "n"},
                     {"R", "t", "k"}}},
        ProfileCase{"writes into an untitled entry",
                    "[fltsim.0]\r\ntitle=a\r\n[fltsim.1]\r\nmodel=x\r\n",
                    {{"W", "fltsim.1", "title", "b"},
                     {"W", "fltsim.1", "model", ""},
                     {"R", "fltsim.1", "title"},
                     {"R", "fltsim.1", "model"},
                     {"R", "fltsim.0", "title"}}},
        ProfileCase{"writes into a new section",
                    "[s]\r\nk=1",
                    {{"W", "t", "a", "1"},
                     {"W", "t", "b", "  padded  "},
                     {"R", "t", "a"},
                     {"R", "t", "b"},
                     {"R", "s", "k"}}},
        ProfileCase{"writes into a new file", "", {{"W", "s", "k", "v"}, {"R", "s", "k"}}}),
    [](const testing::TestParamInfo<ProfileCase>& info) { return CaseName(info.param.why); });

TEST(ProfileLayerAgainstWindows, ReadsPastAUtf8ByteOrderMarkAsWineDoesAndWindowsDoesNot) {
  // Windows takes the mark for part of the first line and misses the section
  // there; Wine and the layer read past it, and the layer keeps it.
  const ProfileCase c{
      "byte-order mark", "\xEF\xBB\xBF[s]\r\nk=v\r\n", {{"W", "s", "n", "w"}, {"R", "s", "k"}}};
  TempFolder temp;
  std::string ours;
  EXPECT_EQ(ThroughLayer(c, &ours), "v\n");
  EXPECT_EQ(ThroughWine(c, temp), "v\n");
  EXPECT_EQ(ours, "\xEF\xBB\xBF[s]\r\nk=v\r\nn=w\r\n");
}

TEST(ProfileLayerAgainstWindows, DiffersOnPurposeByKeepingTheBytesThatWineRewrites) {
  // Wine writes the whole file anew; the layer keeps every line it does not write.
  const ProfileCase c{
      "rewrite", "; note\n[s]\nk = 1\n\n[t]\nj = 2\n", {{"W", "s", "k", "3"}, {"R", "s", "k"}}};
  TempFolder temp;
  std::string ours;
  EXPECT_EQ(ThroughLayer(c, &ours), ThroughWine(c, temp));
  EXPECT_EQ(ours, "; note\n[s]\nk = 3\n\n[t]\nj = 2\n");
  const std::string wines = ReadFile(temp.Path() / "profile.ini");
  EXPECT_NE(wines, ours);
  const ProfileFile reread(wines);
  EXPECT_EQ(reread.Read("s", "k"), "3");
  EXPECT_EQ(reread.Read("t", "j"), "2");
}

std::string CommandOutput(const std::string& command) {
  std::string output;
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
  if (!pipe) return output;
  char chunk[4096];
  for (std::size_t got; (got = std::fread(chunk, 1, sizeof chunk, pipe.get())) > 0;)
    output.append(chunk, got);
  return output;
}

TEST(ShippedProgram, IsAWindowlessPe32ProgramForIntel386) {
  const std::string headers =
      CommandOutput(std::string("i686-w64-mingw32-objdump -p ") + SHIPPED_SETUP_PROGRAM);
  EXPECT_NE(headers.find("file format pei-i386"), std::string::npos);
  EXPECT_NE(headers.find("(PE32)"), std::string::npos);
  EXPECT_NE(headers.find("Subsystem\t\t00000002\t(Windows GUI)"), std::string::npos) << headers;
}

TEST(ShippedProgram, ImportsOnlySystemLibraries) {
  const std::string headers =
      CommandOutput(std::string("i686-w64-mingw32-objdump -p ") + SHIPPED_SETUP_PROGRAM);
  std::set<std::string> imports;
  const std::regex dll("DLL Name: (\\S+)");
  for (std::sregex_iterator it(headers.begin(), headers.end(), dll), end; it != end; ++it)
    imports.insert((*it)[1]);
  EXPECT_EQ(imports, (std::set<std::string>{"KERNEL32.dll", "msvcrt.dll"}));
}

TEST(ShippedProgram, CarriesItsIconAndTheAsInvokerManifest) {
  const std::string resources =
      CommandOutput(std::string("i686-w64-mingw32-windres -O rc -i ") + SHIPPED_SETUP_PROGRAM);
  // Each image of the icon group: "width height colors pad" in octal escapes.
  std::set<int> sizes;
  const std::regex image("\"\\\\(\\d{3})\\\\(\\d{3})\\\\000\\\\000\", 1, 32,");
  for (std::sregex_iterator it(resources.begin(), resources.end(), image), end; it != end; ++it) {
    EXPECT_EQ((*it)[1], (*it)[2]);
    sizes.insert(std::stoi((*it)[1], nullptr, 8));
  }
  EXPECT_EQ(sizes, (std::set<int>{16, 32, 48}));
  EXPECT_NE(resources.find("1 14 /* RT_GROUP_ICON */"), std::string::npos);
  const std::string manifestHeader = "1 24 /* RT_MANIFEST */";
  const std::size_t manifest = resources.find(manifestHeader);
  ASSERT_NE(manifest, std::string::npos);
  EXPECT_EQ(resources.find("/* RT_MANIFEST */", manifest + manifestHeader.size()), std::string::npos)
      << "two manifests";
  EXPECT_NE(resources.find("requestedExecutionLevel level=\"\"asInvoker\"\"", manifest), std::string::npos);
  EXPECT_NE(resources.find("supportedOS Id=", manifest), std::string::npos);
}

}  // namespace
