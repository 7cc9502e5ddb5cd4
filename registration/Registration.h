// Registers a livery with its aircraft: reads the livery description
// livery.ini beside the program and appends two entries, a full one and a
// 2D-only one, to the aircraft.cfg one folder up.
//
// RunRegistration is the whole run; the platform's entry calls it and ends
// the process with its result. The result is 0 only when both entries are in
// aircraft.cfg; otherwise aircraft.cfg is exactly as it was and the result
// names the reason (RegistrationExit).
#ifndef REGISTRATION_REGISTRATION_H
#define REGISTRATION_REGISTRATION_H

#include <string>

enum RegistrationExit {
  kRegistered = 0,
  kProgramPathUnusable = 1,  // the program's own path is unknown or too long
  kLiveryMissing = 2,        // livery.ini absent or not a readable file
  kAircraftMissing = 3,      // aircraft.cfg absent or not a readable file
  kAircraftNotWritable = 4,  // aircraft.cfg read-only, or the new file could not be written
  kUnsupportedEncoding = 5,  // livery.ini or aircraft.cfg in UTF-16, not handled here
  kAircraftChanged = 6,      // another program changed aircraft.cfg during the run
};

// The keys every entry receives, in the order they are read and written.
extern const char* const LiveryKeyTable[19];

// The suffixes that tell the two entries apart, in the order they are written.
struct Variant {
  const char* title;
  const char* uiType;
  const char* model;
};
extern const Variant VariantTable[2];

// The value of key in section of file, at most 1023 characters; "" stands
// for fallback, which every caller passes.
std::string ReadProfileString(const char* file, const char* section, const char* key, const char* fallback);

// Stores value under key in section of file; false when the write is refused.
bool WriteProfileString(const char* section, const char* key, const std::string& value, const char* file);

// The number of the first free entry: how many entries from [fltsim.0] on
// have a non-empty title.
int CountFltsimEntries(const char* file);

// The whole run.
int RunRegistration();

#endif
