// The operating system as the registration run sees it. One source file per
// platform implements these calls; nothing above this header knows which
// platform it runs on.
//
// A run asks for its own path once, opens each profile file it uses, reads
// and writes values, and ends by committing the file it wrote or discarding
// it. A write is seen at once by later reads of the same file but reaches the
// disk only through CommitProfile, which puts the whole new file in place or
// leaves the old one exactly as it was. Paths are zero-terminated 8-bit
// strings in the platform's own code page.
#ifndef PLATFORM_PLATFORM_H
#define PLATFORM_PLATFORM_H

#include <cstddef>

// What opening or committing a profile file came to.
enum class ProfileStatus {
  Ok,
  Missing,      // absent, or not a readable regular file
  ReadOnly,     // marked read-only, or not writable by this user
  Unsupported,  // an encoding this platform's layer does not write
  WriteFailed,  // the new file could not be made or put in place
  Changed,      // another program changed the file since it was opened
};

// The path separator that joins a folder and a file name.
extern const char kPathSeparator[];

// True for a byte that separates folders in a path.
bool IsPathSeparator(char c);

// The character after the one that starts at text, stepping over both bytes
// of a double-byte character.
const char* NextPathChar(const char* text);

// The running program's full path into path; false when the platform does
// not tell it or it needs more than size - 1 characters.
bool GetProgramPath(char* path, std::size_t size);

// Makes file available to the calls below; forWriting also checks that it
// may be replaced. Reading a file that was not opened reads defaults.
ProfileStatus OpenProfile(const char* file, bool forWriting);

// As the private-profile read: the value of key in section, or fallback when
// it is absent or empty, cut to size - 1 characters and zero-terminated.
void ReadProfileValue(const char* section, const char* key, const char* fallback, char* buffer,
                      std::size_t size, const char* file);

// Stores value under key in section of an opened file; false when refused.
bool WriteProfileValue(const char* section, const char* key, const char* value, const char* file);

// Puts the written file in place as one whole.
ProfileStatus CommitProfile(const char* file);

// Drops every write to file; the file on disk stays as it was.
void DiscardProfile(const char* file);

#endif
