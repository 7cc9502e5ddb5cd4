#include "Registration.h"

#include <cstdio>
#include <cstring>

#include "Platform.h"

const char* const LiveryKeyTable[19] = {
    "title",
    "sim",
    "model",
    "panel",
    "sound",
    "texture",
    "kb_checklists",
    "kb_reference",
    "atc_id",
    "atc_id_color",
    "atc_parking_types",
    "ui_manufacturer",
    "ui_type",
    "ui_variation",
    "description",
    "atc_heavy",
    "atc_airline",
    "atc_flight_number",
    "visual_damage",
};

const Variant VariantTable[2] = {
    {" Full", "", ""},
    {" 2D", " 2D only", "2D"},
};

namespace {

constexpr std::size_t kPathSize = 260;
constexpr std::size_t kPartSize = 256;
constexpr std::size_t kSectionSize = 64;
constexpr std::size_t kValueSize = 1024;

bool EqualsNoCase(const char* a, const char* b) {
  for (; *a != '\0' && *b != '\0'; ++a, ++b) {
    const char la = (*a >= 'A' && *a <= 'Z') ? static_cast<char>(*a - 'A' + 'a') : *a;
    const char lb = (*b >= 'A' && *b <= 'Z') ? static_cast<char>(*b - 'A' + 'a') : *b;
    if (la != lb) return false;
  }
  return *a == *b;
}

// The entry's section name: "fltsim." and the number in plain decimal.
void FormatEntrySection(char (&name)[kSectionSize], int number) {
  std::snprintf(name, sizeof name, "fltsim.%d", number);
}

const char* SuffixFor(const char* key, const Variant& variant) {
  if (EqualsNoCase(key, "title")) return variant.title;
  if (EqualsNoCase(key, "model")) return variant.model;
  if (EqualsNoCase(key, "ui_type")) return variant.uiType;
  return "";
}

// Finds livery.ini beside the program and aircraft.cfg one folder up. False
// when the program's path is unknown, has no folder, or would have to be cut
// to fit: a cut path names some other place.
bool LocateFiles(char (&livery)[kPathSize], char (&aircraft)[kPathSize]) {
  char module[kPathSize] = {};
  if (!GetProgramPath(module, sizeof module)) return false;

  char drive[3] = {};
  const char* rest = module;
  if (module[0] != '\0' && module[1] == ':') {
    std::memcpy(drive, module, 2);
    rest = module + 2;
  }
  const char* folderEnd = rest;
  for (const char* p = rest; *p != '\0'; p = NextPathChar(p))
    if (IsPathSeparator(*p)) folderEnd = p + 1;
  const std::size_t folderLength = static_cast<std::size_t>(folderEnd - rest);
  if (folderLength == 0 || folderLength >= kPartSize) return false;
  char folder[kPartSize] = {};
  std::memcpy(folder, rest, folderLength);

  const int liveryLength =
      std::snprintf(livery, kPathSize, "%s%s%slivery.ini", drive, folder, kPathSeparator);
  const int aircraftLength = std::snprintf(aircraft, kPathSize, "%s%s%s..%saircraft.cfg", drive, folder,
                                           kPathSeparator, kPathSeparator);
  return liveryLength > 0 && static_cast<std::size_t>(liveryLength) < kPathSize && aircraftLength > 0 &&
         static_cast<std::size_t>(aircraftLength) < kPathSize;
}

// Writes the full entry, then the 2D-only one, each into the first free
// entry once the ones before it stand.
bool WriteEntries(const char* livery, const char* aircraft) {
  for (const Variant& variant : VariantTable) {
    char target[kSectionSize];
    char source[kSectionSize];
    FormatEntrySection(target, CountFltsimEntries(aircraft));
    FormatEntrySection(source, 0);
    for (const char* key : LiveryKeyTable) {
      std::string value = ReadProfileString(livery, source, key, "");
      value += SuffixFor(key, variant);
      if (!WriteProfileString(target, key, value, aircraft)) return false;
    }
  }
  return true;
}

int ExitFor(ProfileStatus status) {
  switch (status) {
    case ProfileStatus::Ok:
      return kRegistered;
    case ProfileStatus::Missing:
      return kAircraftMissing;
    case ProfileStatus::ReadOnly:
    case ProfileStatus::WriteFailed:
      return kAircraftNotWritable;
    case ProfileStatus::Unsupported:
      return kUnsupportedEncoding;
    case ProfileStatus::Changed:
      return kAircraftChanged;
  }
  return kAircraftNotWritable;
}

}  // namespace

std::string ReadProfileString(const char* file, const char* section, const char* key, const char* fallback) {
  char buffer[kValueSize] = {};
  ReadProfileValue(section, key, fallback, buffer, sizeof buffer, file);
  return std::string(buffer);
}

bool WriteProfileString(const char* section, const char* key, const std::string& value, const char* file) {
  return WriteProfileValue(section, key, value.c_str(), file);
}

int CountFltsimEntries(const char* file) {
  int count = 0;
  for (;;) {
    char section[kSectionSize];
    FormatEntrySection(section, count);
    if (ReadProfileString(file, section, "title", "").empty()) return count;
    ++count;
  }
}

int RunRegistration() {
  char livery[kPathSize];
  char aircraft[kPathSize];
  if (!LocateFiles(livery, aircraft)) return kProgramPathUnusable;
  const ProfileStatus description = OpenProfile(livery, false);
  if (description != ProfileStatus::Ok)
    return description == ProfileStatus::Missing ? kLiveryMissing : ExitFor(description);
  const ProfileStatus configuration = OpenProfile(aircraft, true);
  if (configuration != ProfileStatus::Ok) return ExitFor(configuration);
  if (!WriteEntries(livery, aircraft)) {
    DiscardProfile(aircraft);
    return kAircraftNotWritable;
  }
  return ExitFor(CommitProfile(aircraft));
}
