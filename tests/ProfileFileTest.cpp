// The profile layer: how it reads a file, and how its edits leave every
// other byte alone.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ProfileFile.h"
#include "TestSupport.h"

namespace {

using namespace std::string_literals;

struct ReadCase {
  const char* why;
  std::string file;
  std::string section;
  std::string key;
  std::string expected;
};

void PrintTo(const ReadCase& c, std::ostream* os) { *os << c.why; }

class ProfileRead : public testing::TestWithParam<ReadCase> {};

TEST_P(ProfileRead, ReadsAsTheWindowsFunctionsDo) {
  const ReadCase& c = GetParam();
  EXPECT_EQ(ProfileFile(c.file).Read(c.section, c.key), c.expected) << c.why;
}

INSTANTIATE_TEST_SUITE_P(
    Rules, ProfileRead,
    testing::Values(
        ReadCase{"names match without regard to case", "[FLTSIM.0]\nTitle=x\n", "fltsim.0", "title", "x"},
        ReadCase{"blanks around names and values", "[ fltsim.1 ]\n \t title  =  Jet  \t\n", "fltsim.1",
                 "title", "Jet"},
        ReadCase{"text after the bracket", "[fltsim.1] anything\ntitle=a\n", "fltsim.1", "title", "a"},
        ReadCase{"a header without its bracket", "[t\nk=v\n", "t", "k", "v"},
        ReadCase{"double quotes", "[s]\nk = \"Jet Red\"\n", "s", "k", "Jet Red"},
        ReadCase{"single quotes", "[s]\nk='Red'\n", "s", "k", "Red"},
        ReadCase{"only the outer pair", "[s]\nk=\"a\" b\"\n", "s", "k", "a\" b"},
        ReadCase{"unmatched quotes stay", "[s]\nk='v\"\n", "s", "k", "'v\""},
        ReadCase{"inner quotes stay", "[s]\nk=\"Say \"\"hi\"\"\"\n", "s", "k", "Say \"\"hi\"\""},
        ReadCase{"a lone quote stays", "[s]\nk=\"\n", "s", "k", "\""},
        ReadCase{"a semicolon line is a comment", "[s]\n; title=x\n", "s", "title", ""},
        ReadCase{"a hash is part of the name", "[s]\n#k=v\n", "s", "#k", "v"},
        ReadCase{"slashes are part of the name", "[s]\n//k=v\n", "s", "//k", "v"},
        ReadCase{"no inline comments", "[s]\nk = 0 // note\n", "s", "k", "0 // note"},
        ReadCase{"no inline semicolon comments", "[s]\nk = v ;c\n", "s", "k", "v ;c"},
        ReadCase{"the first '=' splits", "[s]\nk=a=b\n", "s", "k", "a=b"},
        ReadCase{"a line without '=' holds no key", "[s]\ntitle\n", "s", "title", ""},
        ReadCase{"the first of two keys wins", "[s]\ntitle=one\nTITLE=two\n", "s", "title", "one"},
        ReadCase{"only the first of two sections", "[s]\na=1\n[S]\nb=2\n", "s", "b", ""},
        ReadCase{"CR alone ends a line", "[s]\ra=1\rb=2", "s", "b", "2"},
        ReadCase{"CRLF ends a line", "[s]\r\na=1\r\nb=2\r\n", "s", "a", "1"},
        ReadCase{"keys before the first section", "title=x\n[s]\n", "s", "title", ""},
        ReadCase{"an absent section", "[s]\nk=v\n", "t", "k", ""},
        ReadCase{"an absent key", "[s]\nk=v\n", "s", "j", ""},
        ReadCase{"an empty value", "[s]\nk=\n", "s", "k", ""}, ReadCase{"an empty file", "", "s", "k", ""},
        ReadCase{"a UTF-8 byte-order mark before the first header", "\xEF\xBB\xBF[s]\nk=v\n", "s", "k", "v"},
        ReadCase{"a long value is not cut by the layer", "[s]\nk=" + std::string(1500, 'x'), "s", "k",
                 std::string(1500, 'x')},
        ReadCase{"NUL and high bytes are plain bytes", "[s\xC3]\n\0k=\xFF\0v\n"s, "s\xC3", "\0k"s,
                 "\xFF\0v"s}),
    [](const testing::TestParamInfo<ReadCase>& info) { return CaseName(info.param.why); });

struct WriteCase {
  const char* why;
  std::string before;
  std::vector<std::vector<std::string>> writes;  // section, key, value
  std::string after;
};

void PrintTo(const WriteCase& c, std::ostream* os) { *os << c.why; }

class ProfileWrite : public testing::TestWithParam<WriteCase> {};

TEST_P(ProfileWrite, ChangesOnlyTheLinesItWrites) {
  const WriteCase& c = GetParam();
  ProfileFile profile(c.before);
  for (const auto& w : c.writes) {
    ASSERT_TRUE(profile.Write(w[0], w[1], w[2])) << c.why;
    // A read right after the write sees it, blanks at its ends removed.
    std::string trimmed = w[2];
    trimmed.erase(0, trimmed.find_first_not_of(" \t"));
    trimmed.erase(trimmed.find_last_not_of(" \t") + 1);
    EXPECT_EQ(profile.Read(w[0], w[1]), trimmed) << c.why;
  }
  const std::string after = profile.Contents();
  EXPECT_EQ(after, c.after) << c.why;
  // The written file reads back as the edited one did.
  ProfileFile reread(after);
  for (const auto& w : c.writes) EXPECT_EQ(reread.Read(w[0], w[1]), profile.Read(w[0], w[1])) << c.why;
}

INSTANTIATE_TEST_SUITE_P(
    Edits, ProfileWrite,
    testing::Values(
        WriteCase{"a new value keeps the spacing before it",
                  "[s]\r\nk = old\r\nj=1\r\n",
                  {{"s", "k", "new"}},
                  "[s]\r\nk = new\r\nj=1\r\n"},
        WriteCase{"the key keeps its spelling", "[S]\nKey=1\n", {{"s", "key", "2"}}, "[S]\nKey=2\n"},
        WriteCase{"a new key follows the last key line",
                  "[s]\nk=1\n; note\n\n[t]\nx=y\n",
                  {{"s", "n", "2"}, {"s", "m", "3"}},
                  "[s]\nk=1\nn=2\nm=3\n; note\n\n[t]\nx=y\n"},
        WriteCase{
            "a key into a section without keys", "[s]\n\n[t]\n", {{"s", "k", "v"}}, "[s]\nk=v\n\n[t]\n"},
        WriteCase{"a new section goes at the end",
                  "[s]\nk=1\n",
                  {{"t", "a", "1"}, {"t", "b", "2"}, {"u", "c", "3"}},
                  "[s]\nk=1\n[t]\na=1\nb=2\n[u]\nc=3\n"},
        WriteCase{"a missing final line end",
                  "[s]\nk=1",
                  {{"s", "n", "2"}, {"t", "a", "1"}},
                  "[s]\nk=1\nn=2\n[t]\na=1\n"},
        WriteCase{
            "a changed last line keeps its missing line end", "[s]\nk=1", {{"s", "k", "22"}}, "[s]\nk=22"},
        WriteCase{"a header as the last line", "[s]", {{"s", "k", "v"}}, "[s]\r\nk=v\r\n"},
        WriteCase{"an empty file takes CRLF", "", {{"s", "k", "v"}}, "[s]\r\nk=v\r\n"},
        WriteCase{"CR alone stays the style", "[s]\rk=1\r", {{"t", "a", "b"}}, "[s]\rk=1\r[t]\ra=b\r"},
        WriteCase{"the byte-order mark stays",
                  "\xEF\xBB\xBF[s]\r\nk=1\r\n",
                  {{"s", "k", "2"}},
                  "\xEF\xBB\xBF[s]\r\nk=2\r\n"},
        WriteCase{"a bare byte-order mark", "\xEF\xBB\xBF", {{"s", "k", "v"}}, "\xEF\xBB\xBF[s]\r\nk=v\r\n"},
        WriteCase{"an empty value keeps the key", "[s]\nk=1\n", {{"s", "k", ""}}, "[s]\nk=\n"},
        WriteCase{"a value is written as given", "[s]\n", {{"s", "k", " a  b "}}, "[s]\nk= a  b \n"},
        WriteCase{"keys before the first section stay", "k=0\n[s]\n", {{"s", "k", "1"}}, "k=0\n[s]\nk=1\n"},
        WriteCase{"the first of two sections is written",
                  "[s]\na=1\n[s]\nb=2\n",
                  {{"s", "b", "3"}},
                  "[s]\na=1\nb=3\n[s]\nb=2\n"},
        WriteCase{"an added CR line end leaves the file's next LF a line of its own",
                  "[s]\rk=1\n\n[t]\r",
                  {{"s", "n", "3"}},
                  "[s]\rk=1\nn=3\r\n\n[t]\r"},
        WriteCase{"names are written as they are read, without outer blanks",
                  "[s]\nk=1\n",
                  {{" s ", " k ", "2"}, {"\tt", "a\t", "b"}},
                  "[s]\nk=2\n[t]\na=b\n"},
        WriteCase{"a key written twice",
                  "[s]\nk=1\n",
                  {{"s", "k", "2"}, {"s", "n", "a"}, {"s", "K", "3"}, {"s", "N", "b"}},
                  "[s]\nk=3\nn=b\n"}),
    [](const testing::TestParamInfo<WriteCase>& info) { return CaseName(info.param.why); });

TEST(ProfileWrite, RefusesNamesAndValuesThatWouldForgeLines) {
  const std::string before = "[s]\nk=1\n";
  ProfileFile profile(before);
  EXPECT_FALSE(profile.Write("s", "k", "2\n[t]"));
  EXPECT_FALSE(profile.Write("s", "k\r", "2"));
  EXPECT_FALSE(profile.Write("s]x", "k", "2"));
  EXPECT_FALSE(profile.Write("s", "k=j", "2"));
  EXPECT_FALSE(profile.Write("s", " ;k", "2"));
  EXPECT_FALSE(profile.Write("s", "[t]", "2"));
  EXPECT_EQ(profile.Contents(), before);
}

TEST(ProfileWrite, KeepsEveryByteOfAFileWrittenByHand) {
  // Comments, odd spacing, unknown lines, CRLF, a byte-order mark, no final line end.
  const std::string before = Fixture("handwritten.cfg");
  ProfileFile profile(before);
  ASSERT_TRUE(profile.Write("fltsim.1", "title", "Jet Blue"));
  ASSERT_TRUE(profile.Write("fltsim.1", "model", ""));
  ASSERT_TRUE(profile.Write("fltsim.2", "title", "Jet Green"));
  EXPECT_EQ(profile.Contents(), Fixture("handwritten.expected.cfg"));
}

}  // namespace
