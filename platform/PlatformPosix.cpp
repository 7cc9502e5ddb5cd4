// The platform calls on Linux and other POSIX systems: the program's own
// private-profile layer stands in for the Windows functions.
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "FileReplacement.h"
#include "Platform.h"
#include "ProfileFile.h"

namespace {

struct OpenedProfile {
  std::string path;
  ProfileFile profile;
  struct stat seen;  // the file as it was read, to notice other writers
  bool writable;
};

// A run opens two files; a list compared by path costs less per read than a
// map that would copy the path into a key first.
std::vector<OpenedProfile>& OpenedProfiles() {
  static std::vector<OpenedProfile> opened;
  return opened;
}

OpenedProfile* FindOpened(const char* file) {
  for (OpenedProfile& opened : OpenedProfiles())
    if (std::strcmp(opened.path.c_str(), file) == 0) return &opened;
  return nullptr;
}

void Forget(const char* file) {
  auto& opened = OpenedProfiles();
  opened.erase(
      std::remove_if(opened.begin(), opened.end(), [file](const OpenedProfile& o) { return o.path == file; }),
      opened.end());
}

// A large file held in large pages costs a fraction of the page faults and
// address-translation misses that ordinary pages would cost.
void AskForLargePages(char* data, std::size_t size) {
  constexpr std::uintptr_t kLarge = 2u << 20;
  const std::uintptr_t begin = (reinterpret_cast<std::uintptr_t>(data) + kLarge - 1) & ~(kLarge - 1);
  const std::uintptr_t end = (reinterpret_cast<std::uintptr_t>(data) + size) & ~(kLarge - 1);
  if (end > begin) madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
}

// Reads straight into the string, which may grow if the file does.
bool ReadWhole(int fd, std::size_t sizeHint, std::string& bytes) {
  bytes.reserve(sizeHint + 1);
  AskForLargePages(bytes.data(), bytes.capacity());
  bytes.resize(sizeHint + 1);
  std::size_t done = 0;
  for (;;) {
    if (done == bytes.size()) bytes.resize(bytes.size() * 2);
    const ssize_t got = read(fd, bytes.data() + done, bytes.size() - done);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return false;
    if (got == 0) break;
    done += static_cast<std::size_t>(got);
  }
  bytes.resize(done);
  return true;
}

bool SameFile(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_size == b.st_size &&
         a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec;
}

}  // namespace

const char kPathSeparator[] = "/";

bool IsPathSeparator(char c) { return c == '/'; }

const char* NextPathChar(const char* text) { return text + 1; }

bool GetProgramPath(char* path, std::size_t size) {
  if (size == 0) return false;
  const ssize_t length = readlink("/proc/self/exe", path, size);
  if (length <= 0 || static_cast<std::size_t>(length) >= size) return false;
  path[length] = '\0';
  return true;
}

ProfileStatus OpenProfile(const char* file, bool forWriting) {
  // Non-blocking, so that a pipe in the file's place cannot hold the run.
  const int fd = open(file, O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) return ProfileStatus::Missing;
  struct stat seen {};
  std::string bytes;
  const bool read = fstat(fd, &seen) == 0 && S_ISREG(seen.st_mode) &&
                    ReadWhole(fd, static_cast<std::size_t>(seen.st_size), bytes);
  close(fd);
  if (!read) return ProfileStatus::Missing;
  // A UTF-16 file is Unicode to Windows; 8-bit text must never go into it.
  if (bytes.size() >= 2 && bytes[0] == '\xFF' && bytes[1] == '\xFE') return ProfileStatus::Unsupported;
  // No write bit at all is the read-only mark, which even the superuser respects here.
  if (forWriting && ((seen.st_mode & 0222) == 0 || faccessat(AT_FDCWD, file, W_OK, AT_EACCESS) != 0))
    return ProfileStatus::ReadOnly;
  Forget(file);
  OpenedProfiles().push_back(OpenedProfile{file, ProfileFile(std::move(bytes)), seen, forWriting});
  return ProfileStatus::Ok;
}

void ReadProfileValue(const char* section, const char* key, const char* fallback, char* buffer,
                      std::size_t size, const char* file) {
  if (size == 0) return;
  const OpenedProfile* opened = FindOpened(file);
  std::string_view value;
  if (opened != nullptr) value = opened->profile.Read(section, key);
  if (value.empty() && fallback != nullptr) value = fallback;
  const std::size_t length = std::min(value.size(), size - 1);
  std::memcpy(buffer, value.data(), length);
  buffer[length] = '\0';
}

bool WriteProfileValue(const char* section, const char* key, const char* value, const char* file) {
  OpenedProfile* opened = FindOpened(file);
  return opened != nullptr && opened->writable && opened->profile.Write(section, key, value);
}

ProfileStatus CommitProfile(const char* file) {
  const OpenedProfile* opened = FindOpened(file);
  if (opened == nullptr || !opened->writable) return ProfileStatus::WriteFailed;
  FileReplacement replacement;
  if (!BeginReplacement(file, replacement)) return ProfileStatus::WriteFailed;
  if (!opened->profile.WriteTo(
          [&replacement](std::string_view piece) { return WriteReplacement(replacement, piece); })) {
    RollBackReplacement(replacement);
    return ProfileStatus::WriteFailed;
  }
  // Another program's edit since the read would be lost by the rename.
  struct stat now {};
  if (stat(file, &now) != 0 || !SameFile(now, opened->seen)) {
    RollBackReplacement(replacement);
    return ProfileStatus::Changed;
  }
  if (!CommitReplacement(replacement)) return ProfileStatus::WriteFailed;
  Forget(file);
  return ProfileStatus::Ok;
}

void DiscardProfile(const char* file) { Forget(file); }
