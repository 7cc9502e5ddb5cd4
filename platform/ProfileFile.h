// An INI-format profile file held in memory, read and edited the way the
// Windows private-profile functions read and edit it, but without ever
// disturbing a byte that an edit does not concern.
//
// Sequence: construct from the file's bytes; Read and Write any number of
// times (a Read sees every earlier Write); WriteTo streams the edited file.
//
// Reading: section and key names match without regard to ASCII case; blanks
// (spaces, tabs) around names and values are ignored; one matching pair of
// outer quotes is removed from a value; lines whose first non-blank character
// is ';' are comments; the first of two equal sections or keys wins; CR, LF
// and CRLF each end a line; a leading UTF-8 byte-order mark is skipped.
//
// Writing: an existing key keeps its line up to and including '=', and only
// the value behind it changes; a new key goes right after the last key line
// of its section; a new section goes at the end of the file. Added lines end
// in the file's own line-ending style.
#ifndef PLATFORM_PROFILE_FILE_H
#define PLATFORM_PROFILE_FILE_H

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

class ProfileFile {
 public:
  explicit ProfileFile(std::string bytes);

  // The value of key in section; empty when the section or key is absent.
  // The view stays valid until the next Write.
  std::string_view Read(std::string_view section, std::string_view key) const;

  // Stores value under key in section. False, and nothing stored, when a
  // name or the value holds a line end, which would forge further lines.
  bool Write(std::string_view section, std::string_view key, std::string_view value);

  // Hands the whole edited file to sink, in order, piece by piece; stops and
  // returns false as soon as sink does.
  using Sink = std::function<bool(std::string_view)>;
  bool WriteTo(const Sink& sink) const;

  // The whole edited file as one string.
  std::string Contents() const;

 private:
  struct Section {
    std::size_t bodyBegin;  // first byte behind the header line
    std::size_t bodyEnd;    // first byte of the next header line, or the end
    std::size_t nameAt;     // the name in the file; for an appended one, in its edit
    std::size_t nameSize;
    std::uint32_t hash;  // of the name without regard to case
    int edit;            // index into edits_, or -1 while untouched
  };
  struct Edit {
    std::string name;                                         // as first written
    bool appended;                                            // a section new to the file
    std::size_t insertAt;                                     // where added keys go
    std::vector<std::pair<std::size_t, std::string>> values;  // value start -> new value
    std::vector<std::pair<std::string, std::string>> added;   // new keys in order
  };

  std::string_view NameOf(const Section& section) const;
  std::size_t SlotOf(std::string_view name, std::uint32_t hash) const;
  void Index(std::size_t section);
  const Section* FindSection(std::string_view name) const;
  std::size_t FindKeyLine(const Section& section, std::string_view key) const;
  Edit& EditOf(std::string_view name);

  std::string bytes_;
  std::string lineEnd_;
  std::vector<Section> sections_;
  // The first section of each name, by open addressing on its hash: a
  // section's index + 1, or 0 for a free slot. Flat, so that a file of a
  // hundred thousand entries costs no allocation per section.
  std::vector<std::uint32_t> slots_;
  std::size_t indexed_ = 0;
  std::vector<Edit> edits_;
};

#endif
