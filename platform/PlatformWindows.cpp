// The platform calls on Windows: the system's own private-profile functions.
// A file opened for writing is edited in a working copy beside it, which
// replaces the file in one step at the commit, so that a failure half-way
// leaves the user's file exactly as it was.
#include <windows.h>

#include <map>
#include <string>

#include "Platform.h"

namespace {

struct WorkingCopy {
  std::string path;
  WIN32_FILE_ATTRIBUTE_DATA seen;  // the file as it was opened, to notice other writers
};

std::map<std::string, WorkingCopy>& WorkingCopies() {
  static std::map<std::string, WorkingCopy> copies;
  return copies;
}

// Where reads and writes of file go: its working copy, if it has one.
const char* EditedPath(const char* file) {
  const auto& copies = WorkingCopies();
  const auto found = copies.find(file);
  return found == copies.end() ? file : found->second.path.c_str();
}

bool Describe(const char* file, WIN32_FILE_ATTRIBUTE_DATA& data) {
  return GetFileAttributesExA(file, GetFileExInfoStandard, &data) != 0;
}

bool SameFile(const WIN32_FILE_ATTRIBUTE_DATA& a, const WIN32_FILE_ATTRIBUTE_DATA& b) {
  return a.nFileSizeHigh == b.nFileSizeHigh && a.nFileSizeLow == b.nFileSizeLow &&
         CompareFileTime(&a.ftLastWriteTime, &b.ftLastWriteTime) == 0;
}

bool CanOpen(const char* file, DWORD access) {
  const HANDLE handle = CreateFileA(file, access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  CloseHandle(handle);
  return true;
}

// The folder part of file, separator included; "." when it has none.
std::string FolderOf(const char* file) {
  const char* end = file;
  for (const char* p = file; *p != '\0'; p = NextPathChar(p))
    if (IsPathSeparator(*p)) end = p + 1;
  return end == file ? std::string(".") : std::string(file, end);
}

}  // namespace

const char kPathSeparator[] = "\\";

bool IsPathSeparator(char c) { return c == '\\' || c == '/'; }

const char* NextPathChar(const char* text) {
  if (IsDBCSLeadByte(static_cast<BYTE>(*text)) && text[1] != '\0') return text + 2;
  return text + 1;
}

bool GetProgramPath(char* path, std::size_t size) {
  const DWORD length = GetModuleFileNameA(GetModuleHandleA(nullptr), path, static_cast<DWORD>(size));
  return length > 0 && length < size;
}

ProfileStatus OpenProfile(const char* file, bool forWriting) {
  WIN32_FILE_ATTRIBUTE_DATA seen;
  if (!Describe(file, seen) || (seen.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ||
      !CanOpen(file, GENERIC_READ))
    return ProfileStatus::Missing;
  if (!forWriting) return ProfileStatus::Ok;
  if ((seen.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0 || !CanOpen(file, GENERIC_WRITE))
    return ProfileStatus::ReadOnly;

  char copy[MAX_PATH];
  if (GetTempFileNameA(FolderOf(file).c_str(), "cfg", 0, copy) == 0) return ProfileStatus::WriteFailed;
  if (!CopyFileA(file, copy, FALSE)) {
    DeleteFileA(copy);
    return ProfileStatus::WriteFailed;
  }
  WorkingCopies()[file] = WorkingCopy{copy, seen};
  return ProfileStatus::Ok;
}

void ReadProfileValue(const char* section, const char* key, const char* fallback, char* buffer,
                      std::size_t size, const char* file) {
  GetPrivateProfileStringA(section, key, fallback, buffer, static_cast<DWORD>(size), EditedPath(file));
}

bool WriteProfileValue(const char* section, const char* key, const char* value, const char* file) {
  // Only a file with a working copy is written: the system would create a missing one.
  return WorkingCopies().count(file) != 0 &&
         WritePrivateProfileStringA(section, key, value, EditedPath(file)) != 0;
}

ProfileStatus CommitProfile(const char* file) {
  auto& copies = WorkingCopies();
  const auto found = copies.find(file);
  if (found == copies.end()) return ProfileStatus::WriteFailed;
  const std::string copy = found->second.path;
  const WIN32_FILE_ATTRIBUTE_DATA seen = found->second.seen;
  copies.erase(found);

  // The system's flush of its profile cache: the copy now holds every write.
  WritePrivateProfileStringA(nullptr, nullptr, nullptr, copy.c_str());
  WIN32_FILE_ATTRIBUTE_DATA now;
  ProfileStatus status = ProfileStatus::Ok;
  if (!Describe(file, now) || !SameFile(now, seen))
    status = ProfileStatus::Changed;
  else if (!ReplaceFileA(file, copy.c_str(), nullptr, REPLACEFILE_WRITE_THROUGH, nullptr, nullptr))
    status = ProfileStatus::WriteFailed;
  if (status != ProfileStatus::Ok) DeleteFileA(copy.c_str());
  return status;
}

void DiscardProfile(const char* file) {
  auto& copies = WorkingCopies();
  const auto found = copies.find(file);
  if (found == copies.end()) return;
  DeleteFileA(found->second.path.c_str());
  copies.erase(found);
}
