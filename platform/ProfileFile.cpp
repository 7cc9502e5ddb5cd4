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

std::string LowerCase(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) c = LowerAscii(c);
  return lower;
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
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front())
    value = value.substr(1, value.size() - 2);
  return value;
}

bool HoldsLineEnd(std::string_view text) {
  return text.find_first_of("\r\n") != std::string_view::npos;
}

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

  std::size_t pos = std::string_view(bytes_).substr(0, 3) == kUtf8Mark ? kUtf8Mark.size() : 0;
  while (pos < bytes_.size()) {
    const std::size_t end = ContentEnd(bytes_, pos);
    const std::size_t next = NextLine(bytes_, end);
    std::size_t p = pos;
    while (p < end && IsBlank(bytes_[p])) ++p;
    if (p < end && bytes_[p] == '[') {
      if (!sections_.empty()) sections_.back().bodyEnd = pos;
      std::string_view rest(bytes_.data() + p + 1, end - p - 1);
      const std::string_view name = Trim(rest.substr(0, rest.find(']')));
      sections_.push_back({next, bytes_.size(), -1});
      sectionIndex_.emplace(LowerCase(name), sections_.size() - 1);  // the first one wins
    }
    pos = next;
  }
}

const ProfileFile::Section* ProfileFile::FindSection(std::string_view name) const {
  const auto found = sectionIndex_.find(LowerCase(name));
  return found == sectionIndex_.end() ? nullptr : &sections_[found->second];
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
  const auto [slot, isNew] = sectionIndex_.emplace(LowerCase(name), sections_.size());
  if (isNew) sections_.push_back({bytes_.size(), bytes_.size(), -1});
  Section& section = sections_[slot->second];
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
    edits_.push_back({std::string(name), isNew, insertAt, {}, {}});
  }
  return edits_[static_cast<std::size_t>(section.edit)];
}

bool ProfileFile::Write(std::string_view section, std::string_view key, std::string_view value) {
  if (HoldsLineEnd(section) || HoldsLineEnd(key) || HoldsLineEnd(value) ||
      section.find(']') != std::string_view::npos || key.find('=') != std::string_view::npos)
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
    for (const auto& [at, value] : edit.values) patches.push_back({at, ContentEnd(bytes_, at), &value, &edit});
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
  // Added lines always start on a line of their own.
  auto emitLines = [&](const std::vector<std::pair<std::string, std::string>>& lines) {
    if (written > markSize && !IsLineEnd(last) && !emit(lineEnd_)) return false;
    for (const auto& [key, value] : lines)
      if (!emit(key) || !emit("=") || !emit(value) || !emit(lineEnd_)) return false;
    return true;
  };

  const std::string_view original(bytes_);
  std::size_t pos = 0;
  for (const Patch& patch : patches) {
    if (!emit(original.substr(pos, patch.at - pos))) return false;
    if (!(patch.value != nullptr ? emit(*patch.value) : emitLines(patch.edit->added))) return false;
    pos = patch.resume;
  }
  if (!emit(original.substr(pos))) return false;
  for (const Edit& edit : edits_) {
    if (!edit.appended) continue;
    if (written > markSize && !IsLineEnd(last) && !emit(lineEnd_)) return false;
    if (!emit("[") || !emit(edit.name) || !emit("]") || !emit(lineEnd_) || !emitLines(edit.added))
      return false;
  }
  return true;
}

std::string ProfileFile::Contents() const {
  std::string contents;
  contents.reserve(bytes_.size());
  WriteTo([&contents](std::string_view piece) { return contents.append(piece), true; });
  return contents;
}
