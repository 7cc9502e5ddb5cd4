#include "ProfileFile.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr std::size_t kNone = std::string::npos;
constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";

bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsLineEnd(char c) { return c == '\r' || c == '\n'; }
char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

// FNV-1a over the name's bytes without regard to ASCII case.
std::uint32_t HashNoCase(std::string_view text) {
  std::uint32_t hash = 2166136261u;
  for (const char c : text) hash = (hash ^ static_cast<unsigned char>(LowerAscii(c))) * 16777619u;
  return hash;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
  return true;
}

// What a value line reads as: blanks trimmed, then one matching pair of outer
// quotes removed.
std::string_view ParseValue(std::string_view raw) {
  std::string_view value = Trim(raw);
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
    value = value.substr(1, value.size() - 2);
  return value;
}

bool HoldsLineEnd(std::string_view text) { return text.find_first_of("\r\n") != std::string_view::npos; }

// The first byte at or after pos that ends the line, or the end of the text.
std::size_t ContentEnd(const std::string& bytes, std::size_t pos) {
  const char* p = bytes.data() + pos;
  const char* end = bytes.data() + bytes.size();
  while (p < end && !IsLineEnd(*p)) ++p;
  return static_cast<std::size_t>(p - bytes.data());
}

// The start of the line after the one whose content ends at contentEnd.
std::size_t NextLine(const std::string& bytes, std::size_t contentEnd) {
  if (contentEnd >= bytes.size()) return bytes.size();
  if (bytes[contentEnd] == '\r' && contentEnd + 1 < bytes.size() && bytes[contentEnd + 1] == '\n')
    return contentEnd + 2;
  return contentEnd + 1;
}

}  // namespace

ProfileFile::ProfileFile(std::string bytes) : bytes_(std::move(bytes)) {
  const std::size_t firstEnd = bytes_.find_first_of("\r\n");
  if (firstEnd == kNone)
    lineEnd_ = "\r\n";  // a file without line ends gets the platform's own
  else if (bytes_[firstEnd] == '\n')
    lineEnd_ = "\n";
  else
    lineEnd_ = (firstEnd + 1 < bytes_.size() && bytes_[firstEnd + 1] == '\n') ? "\r\n" : "\r";

  // Only section headers are indexed, and a header is a line whose first
  // character other than a blank is '[': looking for that byte alone keeps
  // the pass over a large file as fast as a copy of it.
  const std::size_t start = std::string_view(bytes_).substr(0, 3) == kUtf8Mark ? kUtf8Mark.size() : 0;
  const char* const data = bytes_.data();
  for (std::size_t at = start; at < bytes_.size();) {
    const void* found = std::memchr(data + at, '[', bytes_.size() - at);
    if (found == nullptr) break;
    const std::size_t bracket = static_cast<std::size_t>(static_cast<const char*>(found) - data);
    std::size_t lineStart = bracket;
    while (lineStart > start && IsBlank(data[lineStart - 1])) --lineStart;
    at = bracket + 1;
    if (lineStart > start && !IsLineEnd(data[lineStart - 1])) continue;  // inside a line
    const std::size_t end = ContentEnd(bytes_, bracket);
    if (!sections_.empty()) sections_.back().bodyEnd = lineStart;
    std::string_view rest(data + bracket + 1, end - bracket - 1);
    const std::string_view name = Trim(rest.substr(0, rest.find(']')));
    sections_.push_back({NextLine(bytes_, end), bytes_.size(), static_cast<std::size_t>(name.data() - data),
                         name.size(), HashNoCase(name), -1});
    at = end;
  }
  // Sized once for all the sections, so that none is placed twice.
  std::size_t slots = 16;
  while (slots < sections_.size() * 2 + 2) slots *= 2;
  slots_.assign(slots, 0);
  for (std::size_t section = 0; section < sections_.size(); ++section) Index(section);
}

std::string_view ProfileFile::NameOf(const Section& section) const {
  if (section.nameAt == kNone) return edits_[static_cast<std::size_t>(section.edit)].name;
  return std::string_view(bytes_).substr(section.nameAt, section.nameSize);
}

// The slot that holds the section called name, or the free slot where it would go.
std::size_t ProfileFile::SlotOf(std::string_view name, std::uint32_t hash) const {
  const std::size_t mask = slots_.size() - 1;
  for (std::size_t slot = hash & mask;; slot = (slot + 1) & mask) {
    if (slots_[slot] == 0) return slot;
    const Section& section = sections_[slots_[slot] - 1];
    if (section.hash == hash && EqualsNoCase(NameOf(section), name)) return slot;
  }
}

// Indexes a section unless one of the same name came before it.
void ProfileFile::Index(std::size_t section) {
  if ((indexed_ + 1) * 2 > slots_.size()) {
    std::vector<std::uint32_t> old(slots_.size() * 2, 0);
    old.swap(slots_);
    const std::size_t mask = slots_.size() - 1;
    for (const std::uint32_t entry : old) {
      if (entry == 0) continue;
      std::size_t slot = sections_[entry - 1].hash & mask;
      while (slots_[slot] != 0) slot = (slot + 1) & mask;
      slots_[slot] = entry;
    }
  }
  const Section& added = sections_[section];
  const std::size_t slot = SlotOf(NameOf(added), added.hash);
  if (slots_[slot] != 0) return;
  slots_[slot] = static_cast<std::uint32_t>(section + 1);
  ++indexed_;
}

const ProfileFile::Section* ProfileFile::FindSection(std::string_view name) const {
  name = Trim(name);
  const std::uint32_t entry = slots_[SlotOf(name, HashNoCase(name))];
  if (entry == 0) return nullptr;
  // Entries are looked up in file order, one after the other: fetching the
  // next few early hides the memory latency of a large file.
  for (std::size_t ahead = entry; ahead < entry + 4 && ahead < sections_.size(); ++ahead)
    if (sections_[ahead].nameAt != kNone) __builtin_prefetch(bytes_.data() + sections_[ahead].nameAt);
  return &sections_[entry - 1];
}

// The offset of the value on key's first line in section, or kNone when the
// section has no such line.
std::size_t ProfileFile::FindKeyLine(const Section& section, std::string_view key) const {
  for (std::size_t pos = section.bodyBegin; pos < section.bodyEnd;) {
    const std::size_t end = ContentEnd(bytes_, pos);
    std::size_t p = pos;
    while (p < end && IsBlank(bytes_[p])) ++p;
    if (p < end && bytes_[p] != ';') {
      const void* eq = std::memchr(bytes_.data() + p, '=', end - p);
      if (eq != nullptr) {
        const std::size_t at = static_cast<std::size_t>(static_cast<const char*>(eq) - bytes_.data());
        if (EqualsNoCase(Trim(std::string_view(bytes_.data() + p, at - p)), key)) {
          std::size_t value = at + 1;  // the blanks behind '=' stay with the key
          while (value < end && IsBlank(bytes_[value])) ++value;
          return value;
        }
      }
    }
    pos = NextLine(bytes_, end);
  }
  return kNone;
}

std::string_view ProfileFile::Read(std::string_view section, std::string_view key) const {
  key = Trim(key);
  const Section* found = FindSection(section);
  if (found == nullptr) return {};
  const Edit* edit = found->edit < 0 ? nullptr : &edits_[static_cast<std::size_t>(found->edit)];
  const std::size_t valueAt = FindKeyLine(*found, key);
  if (valueAt != kNone) {
    if (edit != nullptr)
      for (const auto& [at, value] : edit->values)
        if (at == valueAt) return ParseValue(value);
    return ParseValue(std::string_view(bytes_).substr(valueAt, ContentEnd(bytes_, valueAt) - valueAt));
  }
  if (edit != nullptr)
    for (const auto& [name, value] : edit->added)
      if (EqualsNoCase(name, key)) return ParseValue(value);
  return {};
}

ProfileFile::Edit& ProfileFile::EditOf(std::string_view name) {
  const std::uint32_t hash = HashNoCase(name);
  const std::uint32_t entry = slots_[SlotOf(name, hash)];
  if (entry == 0) {
    edits_.push_back({std::string(name), true, bytes_.size(), {}, {}});
    sections_.push_back({bytes_.size(), bytes_.size(), kNone, 0, hash, static_cast<int>(edits_.size() - 1)});
    Index(sections_.size() - 1);
    return edits_.back();
  }
  Section& section = sections_[entry - 1];
  if (section.edit < 0) {
    // New keys of an existing section go behind its last key line.
    std::size_t insertAt = section.bodyBegin;
    for (std::size_t pos = section.bodyBegin; pos < section.bodyEnd;) {
      const std::size_t end = ContentEnd(bytes_, pos);
      std::size_t p = pos;
      while (p < end && IsBlank(bytes_[p])) ++p;
      pos = NextLine(bytes_, end);
      if (p < end && bytes_[p] != ';' && std::memchr(bytes_.data() + p, '=', end - p) != nullptr)
        insertAt = pos;
    }
    section.edit = static_cast<int>(edits_.size());
    edits_.push_back({std::string(name), false, insertAt, {}, {}});
  }
  return edits_[static_cast<std::size_t>(section.edit)];
}

bool ProfileFile::Write(std::string_view section, std::string_view key, std::string_view value) {
  // Names are read trimmed, so they are written so; and nothing may be
  // written that would read back as another line, a comment or a header.
  section = Trim(section);
  key = Trim(key);
  if (HoldsLineEnd(section) || HoldsLineEnd(key) || HoldsLineEnd(value) ||
      section.find(']') != std::string_view::npos || key.find('=') != std::string_view::npos ||
      (!key.empty() && (key.front() == ';' || key.front() == '[')))
    return false;
  Edit& edit = EditOf(section);
  const std::size_t valueAt = FindKeyLine(*FindSection(section), key);
  if (valueAt != kNone) {
    for (auto& [at, stored] : edit.values)
      if (at == valueAt) return stored.assign(value), true;
    edit.values.emplace_back(valueAt, std::string(value));
    return true;
  }
  for (auto& [name, stored] : edit.added)
    if (EqualsNoCase(name, key)) return stored.assign(value), true;
  edit.added.emplace_back(std::string(key), std::string(value));
  return true;
}

bool ProfileFile::WriteTo(const Sink& sink) const {
  // Edits that fall inside the original bytes, in file order.
  struct Patch {
    std::size_t at;
    std::size_t resume;
    const std::string* value;  // a new value, or null for the added keys of edit
    const Edit* edit;
  };
  std::vector<Patch> patches;
  for (const Edit& edit : edits_) {
    if (edit.appended) continue;
    for (const auto& [at, value] : edit.values)
      patches.push_back({at, ContentEnd(bytes_, at), &value, &edit});
    if (!edit.added.empty()) patches.push_back({edit.insertAt, edit.insertAt, nullptr, &edit});
  }
  std::stable_sort(patches.begin(), patches.end(),
                   [](const Patch& a, const Patch& b) { return a.at < b.at; });

  const std::size_t markSize = std::string_view(bytes_).substr(0, 3) == kUtf8Mark ? kUtf8Mark.size() : 0;
  std::size_t written = 0;
  char last = '\n';
  auto emit = [&](std::string_view piece) {
    if (piece.empty()) return true;
    written += piece.size();
    last = piece.back();
    return sink(piece);
  };
  // Added lines always start on a line of their own, and go out in one piece.
  // A CR that the file's next byte, an LF, would turn into one line end with
  // it becomes CRLF, so that no line of the file is swallowed.
  auto emitLines = [&](std::string text, const std::vector<std::pair<std::string, std::string>>& lines,
                       std::size_t next) {
    if (written > markSize && !IsLineEnd(last)) text.insert(0, lineEnd_);
    for (const auto& [key, value] : lines) text.append(key).append("=").append(value).append(lineEnd_);
    if (!text.empty() && text.back() == '\r' && next < bytes_.size() && bytes_[next] == '\n') text += '\n';
    return emit(text);
  };

  const std::string_view original(bytes_);
  std::size_t pos = 0;
  for (const Patch& patch : patches) {
    if (!emit(original.substr(pos, patch.at - pos))) return false;
    if (!(patch.value != nullptr ? emit(*patch.value) : emitLines({}, patch.edit->added, patch.at)))
      return false;
    pos = patch.resume;
  }
  if (!emit(original.substr(pos))) return false;
  for (const Edit& edit : edits_)
    if (edit.appended && !emitLines("[" + edit.name + "]" + lineEnd_, edit.added, kNone)) return false;
  return true;
}

std::string ProfileFile::Contents() const {
  std::string contents;
  contents.reserve(bytes_.size());
  WriteTo([&contents](std::string_view piece) { return contents.append(piece), true; });
  return contents;
}
