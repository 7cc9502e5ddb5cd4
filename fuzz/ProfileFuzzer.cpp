// Arbitrary files and arbitrary reads and writes through the profile layer.
// An input is the file's bytes, then a line "%%", then one operation a line:
//   R<tab>section<tab>key   or   W<tab>section<tab>key<tab>value
// Checked on every input: a read sees the write before it; the written file
// keeps every byte outside the lines that were written; and the written file
// read again gives the values that the edited one gave.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "ProfileFile.h"

namespace {

struct Operation {
  bool write;
  std::string section, key, value;
};

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

// What a value reads as, written out again here so as not to trust the layer.
std::string_view Expected(std::string_view value) {
  value = Trim(value);
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
    value = value.substr(1, value.size() - 2);
  return value;
}

bool SameName(std::string_view a, std::string_view b) {
  a = Trim(a);
  b = Trim(b);
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

void Fail() { std::abort(); }

std::vector<std::string> Split(std::string_view text, char separator) {
  std::vector<std::string> parts;
  for (std::size_t at = 0;;) {
    const std::size_t next = text.find(separator, at);
    parts.emplace_back(text.substr(at, next - at));
    if (next == std::string_view::npos) return parts;
    at = next + 1;
  }
}

struct Line {
  std::string_view text;
  std::string_view end;
};

std::vector<Line> Lines(std::string_view bytes) {
  std::vector<Line> lines;
  for (std::size_t at = 0; at < bytes.size();) {
    std::size_t end = bytes.find_first_of("\r\n", at);
    if (end == std::string_view::npos) end = bytes.size();
    std::size_t next = end;
    if (next < bytes.size())
      next += (bytes[next] == '\r' && next + 1 < bytes.size() && bytes[next + 1] == '\n') ? 2 : 1;
    lines.push_back({bytes.substr(at, end - at), bytes.substr(end, next - end)});
    at = next;
  }
  return lines;
}

// Checks that edited is original with only these changes: values behind the
// '=' of written keys replaced, lines of written keys and sections added, and
// a line end put behind an unterminated last line.
void CheckKeptBytes(std::string_view original, std::string_view edited, const std::vector<Operation>& ops) {
  // A byte-order mark stays in front; after a bare one, added lines follow it directly.
  constexpr std::string_view kMark = "\xEF\xBB\xBF";
  if (original.substr(0, 3) == kMark) {
    if (edited.substr(0, 3) != kMark) Fail();
    original.remove_prefix(3);
    edited.remove_prefix(3);
  }
  std::string_view rest = edited;
  // An added line: a written section's header, or a written key with the
  // spelling of its first write and the value of any write of it.
  auto isAdded = [&](std::string_view& at) {
    const std::size_t end = at.find_first_of("\r\n");
    if (end == std::string_view::npos) return false;
    const std::string_view line = at.substr(0, end);
    const std::size_t eq = line.find('=');
    bool known = false;
    for (const Operation& spelled : ops) {
      if (line == "[" + std::string(Trim(spelled.section)) + "]") known = true;
      if (eq == std::string_view::npos || line.substr(0, eq) != Trim(spelled.key)) continue;
      for (const Operation& valued : ops)
        if (SameName(valued.key, spelled.key) && line.substr(eq + 1) == valued.value) known = true;
    }
    if (!known) return false;
    at.remove_prefix(end + ((at[end] == '\r' && end + 1 < at.size() && at[end + 1] == '\n') ? 2 : 1));
    return true;
  };
  const std::vector<Line> lines = Lines(original);
  for (const Line& line : lines) {
    for (;;) {
      // An unterminated last line must end where the file or a line ends.
      const std::string whole = std::string(line.text) + std::string(line.end);
      auto endsThere = [&](std::size_t length) {
        return !line.end.empty() || rest.size() == length || rest[length] == '\r' || rest[length] == '\n';
      };
      if (rest.substr(0, whole.size()) == whole && endsThere(whole.size())) {
        rest.remove_prefix(whole.size());
        break;
      }
      // A key line whose value was written keeps all up to the value.
      const std::size_t eq = line.text.find('=');
      if (eq != std::string_view::npos) {
        std::size_t valueAt = eq + 1;
        while (valueAt < line.text.size() && IsBlank(line.text[valueAt])) ++valueAt;
        const std::string_view prefix = line.text.substr(0, valueAt);
        bool replaced = false;
        for (const Operation& op : ops) {
          if (!op.write || !SameName(op.key, line.text.substr(0, eq))) continue;
          const std::string now = std::string(prefix) + op.value;
          if (rest.substr(0, now.size()) != now) continue;
          const std::string_view after = rest.substr(now.size());
          if (after.substr(0, line.end.size()) == line.end && endsThere(now.size())) {
            rest = after.substr(line.end.size());
            replaced = true;
            break;
          }
        }
        if (replaced) break;
      }
      if (!isAdded(rest)) Fail();
    }
  }
  // The end: possibly a line end for an unterminated last line, then added lines.
  if (!lines.empty() && lines.back().end.empty() && !rest.empty() && (rest[0] == '\r' || rest[0] == '\n'))
    rest.remove_prefix(rest.substr(0, 2) == "\r\n" ? 2 : 1);
  while (!rest.empty())
    if (!isAdded(rest)) Fail();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const std::size_t split = input.find("\n%%\n");
  const std::string original(input.substr(0, split));
  std::vector<Operation> ops;
  if (split != std::string_view::npos) {
    for (const std::string& line : Split(input.substr(split + 4), '\n')) {
      const std::vector<std::string> fields = Split(line, '\t');
      if (fields.size() == 3 && fields[0] == "R") ops.push_back({false, fields[1], fields[2], ""});
      if (fields.size() == 4 && fields[0] == "W") ops.push_back({true, fields[1], fields[2], fields[3]});
    }
  } else {
    ops = {{true, "fltsim.1", "title", "Jet"},
           {false, "fltsim.1", "title", ""},
           {false, "fltsim.0", "title", ""}};
  }

  ProfileFile profile(original);
  std::vector<Operation> written;
  for (const Operation& op : ops) {
    if (!op.write) {
      profile.Read(op.section, op.key);
      continue;
    }
    if (!profile.Write(op.section, op.key, op.value)) continue;
    written.push_back(op);
    if (profile.Read(op.section, op.key) != Expected(op.value)) Fail();
  }

  const std::string edited = profile.Contents();
  CheckKeptBytes(original, edited, written);
  const ProfileFile reread(edited);
  for (const Operation& op : ops)
    if (reread.Read(op.section, op.key) != profile.Read(op.section, op.key)) Fail();
  return 0;
}
