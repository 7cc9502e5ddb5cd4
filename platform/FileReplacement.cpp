#include "FileReplacement.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <string>

namespace {

std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

void SyncFolder(const std::string& folder) {
  const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  fsync(fd);
  close(fd);
}

// Gives the anonymous new file a name beside the target, as late as possible,
// so that the name exists only for the moment before the rename.
bool NameAnonymousFile(FileReplacement& replacement) {
  const std::string fdPath = "/proc/self/fd/" + std::to_string(replacement.fd);
  const std::string stem = replacement.target + ".tmp-" + std::to_string(getpid());
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string name = attempt == 0 ? stem : stem + "-" + std::to_string(attempt);
    if (linkat(AT_FDCWD, fdPath.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0) {
      replacement.temp = std::move(name);
      return true;
    }
    if (errno != EEXIST) return false;
  }
  return false;
}

}  // namespace

bool BeginReplacement(const char* path, FileReplacement& replacement) {
  RollBackReplacement(replacement);
  char* resolved = realpath(path, nullptr);
  if (resolved == nullptr) return false;
  replacement.target = resolved;
  std::free(resolved);

  struct stat old {};
  if (stat(replacement.target.c_str(), &old) != 0 || !S_ISREG(old.st_mode)) return false;
  const mode_t mode = old.st_mode & 07777;

  // A file-size limit must fail the write, not kill the run half-way.
  std::signal(SIGXFSZ, SIG_IGN);

  replacement.fd = open(FolderOf(replacement.target).c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, mode);
  if (replacement.fd < 0 && (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL)) {
    // The file system has no anonymous files: a named one, removed on roll back.
    std::string name = replacement.target + ".tmp-XXXXXX";
    replacement.fd = mkostemp(name.data(), O_CLOEXEC);
    if (replacement.fd >= 0) replacement.temp = std::move(name);
  }
  if (replacement.fd < 0) return false;
  // Only the superuser may hand the file to its old owner; refused that, the
  // new file is the runner's, and its permission bits still carry over.
  if ((fchown(replacement.fd, old.st_uid, old.st_gid) != 0 && errno != EPERM) ||
      fchmod(replacement.fd, mode) != 0) {
    RollBackReplacement(replacement);
    return false;
  }
  return true;
}

bool WriteReplacement(FileReplacement& replacement, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t written = write(replacement.fd, bytes.data(), bytes.size());
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
  return true;
}

bool CommitReplacement(FileReplacement& replacement) {
  if (replacement.fd < 0 || fsync(replacement.fd) != 0 ||
      (replacement.temp.empty() && !NameAnonymousFile(replacement)) ||
      rename(replacement.temp.c_str(), replacement.target.c_str()) != 0) {
    RollBackReplacement(replacement);
    return false;
  }
  replacement.temp.clear();
  close(replacement.fd);
  replacement.fd = -1;
  SyncFolder(FolderOf(replacement.target));
  return true;
}

void RollBackReplacement(FileReplacement& replacement) {
  if (!replacement.temp.empty()) unlink(replacement.temp.c_str());
  replacement.temp.clear();
  if (replacement.fd >= 0) close(replacement.fd);
  replacement.fd = -1;
}
