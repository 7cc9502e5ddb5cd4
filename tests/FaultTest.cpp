// Faults around a run of the native program: folders and files it may not
// write, links and odd permission bits, another program changing the file,
// and the program killed while it puts the new file in place.
#include <grp.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <random>
#include <thread>

#include "Platform.h"
#include "Registration.h"
#include "RegistrationCases.h"
#include "TestSupport.h"

namespace {

const Program kNative{SETUP_PROGRAM, "setup", {}};

// The superuser may write anywhere; a run that must be refused runs as nobody.
struct Nobody {
  uid_t uid = 65534;
  gid_t gid = 65534;
  Nobody() {
    if (const passwd* entry = getpwnam("nobody")) {
      uid = entry->pw_uid;
      gid = entry->pw_gid;
    }
  }
  void Become() const {
    if (geteuid() != 0) return;
    if (setgroups(0, nullptr) != 0 || setgid(gid) != 0 || setuid(uid) != 0) _exit(125);
  }
  void Own(const fs::path& path) const {
    if (geteuid() == 0) {
      ASSERT_EQ(chown(path.c_str(), uid, gid), 0) << path;
    }
  }
};

TEST(Faults, AReadOnlyFolderLeavesTheAircraftAsItWas) {
  const Nobody nobody;
  AircraftTree tree(kNative, kThreeEntries, kRedLivery);
  fs::permissions(tree.temp.Path(), fs::perms(0755));
  nobody.Own(tree.Config());
  nobody.Own(tree.aircraftFolder);
  fs::permissions(tree.aircraftFolder, fs::perms(0555));
  const auto files = ListTree(tree.temp.Path());
  EXPECT_EQ(tree.Run([&nobody] { nobody.Become(); }), kAircraftNotWritable);
  EXPECT_EQ(ReadFile(tree.Config()), kThreeEntries);
  EXPECT_EQ(ListTree(tree.temp.Path()), files);
}

// The worked example's aircraft once registered.
std::string Registered() { return RunCases().front().expected; }

TEST(Faults, ALinkedConfigurationKeepsItsLinkAndItsTargetIsReplaced) {
  AircraftTree tree(kNative, kThreeEntries, kRedLivery);
  const fs::path shared = tree.temp.Path() / "shared";
  fs::create_directory(shared);
  fs::rename(tree.Config(), shared / "jet.cfg");
  fs::create_symlink("../shared/jet.cfg", tree.Config());
  EXPECT_EQ(tree.Run(), kRegistered);
  EXPECT_TRUE(fs::is_symlink(tree.Config()));
  EXPECT_EQ(fs::read_symlink(tree.Config()), "../shared/jet.cfg");
  EXPECT_EQ(ReadFile(shared / "jet.cfg"), Registered());
  EXPECT_EQ(ListTree(shared), std::vector<std::string>{"jet.cfg"});
}

TEST(Faults, TheReplacedFileKeepsItsPermissionBitsAndOwner) {
  const Nobody nobody;
  AircraftTree tree(kNative, kThreeEntries, kRedLivery);
  nobody.Own(tree.Config());
  ASSERT_EQ(chmod(tree.Config().c_str(), 02604), 0);
  struct stat before {};
  ASSERT_EQ(stat(tree.Config().c_str(), &before), 0);
  EXPECT_EQ(tree.Run(), kRegistered);
  struct stat after {};
  ASSERT_EQ(stat(tree.Config().c_str(), &after), 0);
  EXPECT_EQ(after.st_mode, before.st_mode);
  EXPECT_EQ(after.st_uid, before.st_uid);
  EXPECT_EQ(after.st_gid, before.st_gid);
  EXPECT_EQ(ReadFile(tree.Config()), Registered());
}

TEST(Faults, AFileChangedByAnotherProgramDuringTheRunIsNotOverwritten) {
  // What the run guarantees: an edit made by another program between the
  // run's read and its commit is kept, and the run reports it.
  TempFolder temp;
  const std::string path = (temp.Path() / "aircraft.cfg").string();
  WriteFile(path, kThreeEntries);
  ASSERT_EQ(OpenProfile(path.c_str(), true), ProfileStatus::Ok);
  ASSERT_TRUE(WriteProfileString("fltsim.3", "title", "Jet Red Full", path.c_str()));
  const std::string theirs = std::string(kThreeEntries) + "[fltsim.3]\ntitle=Their livery\n";
  WriteFile(path, theirs);
  EXPECT_EQ(CommitProfile(path.c_str()), ProfileStatus::Changed);
  EXPECT_EQ(ReadFile(path), theirs);
  EXPECT_EQ(ListTree(temp.Path()), std::vector<std::string>{"aircraft.cfg"});
}

// An aircraft with many entries, so that a run spends a while committing.
std::string LargeConfiguration(int entries) {
  std::string text = "[General]\r\natc_type=JET\r\n";
  for (int n = 0; n < entries; ++n) {
    const std::string number = std::to_string(n);
    text += "[fltsim." + number + "]\r\ntitle=Jet " + number + "\r\n";
    for (int key = 0; key < 19; ++key) text += "key" + std::to_string(key) + "=value " + number + "\r\n";
  }
  return text;
}

TEST(Faults, AKillAtAnyMomentLeavesTheOldOrTheCompleteNewFile) {
  const std::string old = LargeConfiguration(5000);
  AircraftTree tree(kNative, old, kRedLivery);
  const auto files = ListTree(tree.temp.Path());

  const auto start = std::chrono::steady_clock::now();
  ASSERT_EQ(tree.Run(), 0);
  const auto runTime = std::chrono::steady_clock::now() - start;
  const std::string complete = ReadFile(tree.Config());
  ASSERT_NE(complete, old);

  std::mt19937 random(20261211);
  std::uniform_int_distribution<long> delay(
      0, std::chrono::duration_cast<std::chrono::microseconds>(runTime).count() * 3 / 2);
  int keptOld = 0, madeNew = 0, leftovers = 0;
  for (int round = 0; round < 300; ++round) {
    WriteFile(tree.Config(), old);
    const fs::path program = tree.liveryFolder / kNative.name;
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      execl(program.c_str(), program.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
    std::this_thread::sleep_for(std::chrono::microseconds(delay(random)));
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);

    const std::string now = ReadFile(tree.Config());
    ASSERT_TRUE(now == old || now == complete)
        << "round " << round << ": a damaged file of " << now.size() << " bytes";
    (now == old ? keptOld : madeNew) += 1;
    // Only a kill in the instant between naming the finished new file and
    // renaming it can leave that name behind: then it holds the complete file.
    for (const std::string& name : ListTree(tree.temp.Path())) {
      if (std::find(files.begin(), files.end(), name) != files.end()) continue;
      ++leftovers;
      EXPECT_EQ(ReadFile(tree.temp.Path() / name), complete) << name;
      fs::remove(tree.temp.Path() / name);
    }
  }
  std::printf("kills: %d kept the old file, %d found the new one, %d left the finished file's name\n",
              keptOld, madeNew, leftovers);
  EXPECT_GT(keptOld, 0);
  EXPECT_GT(madeNew, 0);
  EXPECT_LE(leftovers, 3);
}

}  // namespace
