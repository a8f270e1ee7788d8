#include "files/list_records.h"

#include <cstring>

namespace {

// The record text of one line, given with its line end when it has one, or false when the
// line is no record.
bool RecordText(std::string_view line, std::string_view& text) {
  // A NUL ends the line as far as the record goes: paths cannot hold one.
  if (const void* nul = std::memchr(line.data(), '\0', line.size())) {
    line = line.substr(0, static_cast<std::size_t>(static_cast<const char*>(nul) - line.data()));
  }
  if (line.empty() || line.front() == '#' || line.front() == '\r' || line.front() == '\n') {
    return false;
  }
  const void* separator = std::memchr(line.data(), ';', line.size());
  if (separator == nullptr) return false;
  const std::size_t text_start =
      static_cast<std::size_t>(static_cast<const char*>(separator) - line.data()) + 1;
  if (text_start == line.size()) return false;
  text = line.substr(text_start);
  if (text.back() == '\n') text.remove_suffix(1);
  if (!text.empty() && text.back() == '\r') text.remove_suffix(1);
  return true;
}

// Where the line starting at `cursor` ends: its first CR or LF, or `end`.
const char* LineEnd(const char* cursor, const char* end) {
  const void* newline = std::memchr(cursor, '\n', static_cast<std::size_t>(end - cursor));
  const char* line_end = newline != nullptr ? static_cast<const char*>(newline) : end;
  // Most lines hold no CR, so it is looked for only before the LF.
  const void* cr = std::memchr(cursor, '\r', static_cast<std::size_t>(line_end - cursor));
  return cr != nullptr ? static_cast<const char*>(cr) : line_end;
}

}  // namespace

std::vector<std::string_view> SplitListRecords(std::string_view bytes) {
  std::vector<std::string_view> records;
  const char* cursor = bytes.data();
  const char* const end = bytes.data() + bytes.size();
  while (cursor < end) {
    const char* next = LineEnd(cursor, end);
    if (next < end) {
      const bool cr_lf = *next == '\r' && next + 1 < end && next[1] == '\n';
      next += cr_lf ? 2 : 1;
    }
    std::string_view text;
    if (RecordText(std::string_view(cursor, static_cast<std::size_t>(next - cursor)), text)) {
      records.push_back(text);
    }
    cursor = next;
  }
  return records;
}
