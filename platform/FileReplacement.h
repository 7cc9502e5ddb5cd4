// Replaces a file whole, so that a crash or kill at any moment leaves either
// the old file or the complete new one under its name.
//
//   FileReplacement replacement;
//   if (!BeginReplacement(path, replacement)) ...      // nothing changed yet
//   if (!WriteReplacement(replacement, bytes)) ...     // repeat as needed
//   if (!CommitReplacement(replacement)) ...           // false: old file kept
//   RollBackReplacement(replacement);                  // on any failure
//
// The new file is made beside the one it replaces (the link's target, when
// path is a symbolic link, so the link stays), takes its permission bits and,
// where allowed, its owner, and is flushed to disk before it takes the name.
// A failed commit rolls back by itself; rolling back twice is harmless.
#ifndef PLATFORM_FILE_REPLACEMENT_H
#define PLATFORM_FILE_REPLACEMENT_H

#include <string>
#include <string_view>

struct FileReplacement {
  std::string target;  // the file that is replaced, links resolved
  std::string temp;    // the new file's own name while it has one
  int fd = -1;
};

bool BeginReplacement(const char* path, FileReplacement& replacement);
bool WriteReplacement(FileReplacement& replacement, std::string_view bytes);
bool CommitReplacement(FileReplacement& replacement);
void RollBackReplacement(FileReplacement& replacement);

#endif
