#include "platform/common/ini_text.h"

#include <stdexcept>
#include <vector>

#include "platform/common/ascii.h"

namespace vx {

namespace {

// Blanks around keys and values.
constexpr std::string_view kBlanks = " \t\r\n";

// One line of the text, without its line end.
struct TLine {
  std::size_t start = 0;  // offset of the line
  std::size_t end = 0;    // offset of its line end (or of the text's end)
  std::size_t next = 0;   // offset after its line feed; 0 for a last line without one
  std::string_view text;
};

std::vector<TLine> Lines(std::string_view aText) {
  std::vector<TLine> lines;
  std::size_t pos = 0;
  if (aText.substr(0, 3) == "\xEF\xBB\xBF") pos = 3;  // a byte-order mark belongs to no line
  while (pos < aText.size()) {
    std::size_t nl = aText.find('\n', pos);
    if (nl == std::string_view::npos) nl = aText.size();
    std::size_t end = nl;
    if (end > pos && aText[end - 1] == '\r') --end;
    lines.push_back({pos, end, nl < aText.size() ? nl + 1 : 0, aText.substr(pos, end - pos)});
    pos = nl + 1;
  }
  return lines;
}

// The section a "[name]" line opens, or nullopt for any other line.
std::optional<std::string_view> SectionOf(std::string_view aLine) {
  const std::string_view t = Trim(aLine, kBlanks);
  if (t.empty() || t.front() != '[') return std::nullopt;
  const std::size_t close = t.find(']');
  if (close == std::string_view::npos) return std::nullopt;
  return Trim(t.substr(1, close - 1), kBlanks);
}

bool IsComment(std::string_view aLine) {
  const std::string_view t = Trim(aLine, kBlanks);
  return !t.empty() && (t.front() == ';' || t.front() == '#');
}

// The key and value of an entry line; nullopt for any other line.
std::optional<std::pair<std::string_view, std::string_view>> EntryOf(std::string_view aLine) {
  if (IsComment(aLine) || SectionOf(aLine)) return std::nullopt;
  const std::size_t eq = aLine.find('=');
  if (eq == std::string_view::npos) return std::nullopt;
  return std::make_pair(Trim(aLine.substr(0, eq), kBlanks), Trim(aLine.substr(eq + 1), kBlanks));
}

// The lines of the first section named aSection: [first, last) indexes, first being the header.
std::optional<std::pair<std::size_t, std::size_t>> FindSection(const std::vector<TLine>& lines,
                                                               std::string_view aSection) {
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const auto name = SectionOf(lines[i].text);
    if (!name || !EqualNoCase(*name, aSection)) continue;
    std::size_t j = i + 1;
    while (j < lines.size() && !SectionOf(lines[j].text)) ++j;
    return std::make_pair(i, j);
  }
  return std::nullopt;
}

}  // namespace

std::optional<std::string> IniValue(std::string_view aText, std::string_view aSection,
                                    std::string_view aKey) {
  const std::vector<TLine> lines = Lines(aText);
  const auto section = FindSection(lines, aSection);
  if (!section) return std::nullopt;
  const std::string_view key = Trim(aKey, kBlanks);
  for (std::size_t i = section->first + 1; i < section->second; ++i) {
    const auto entry = EntryOf(lines[i].text);
    if (entry && EqualNoCase(entry->first, key)) return std::string(entry->second);
  }
  return std::nullopt;
}

std::string IniWithValue(std::string_view aText, std::string_view aSection, std::string_view aKey,
                         std::string_view aValue) {
  const auto breaks = [](std::string_view s) { return s.find_first_of("\r\n") != std::string_view::npos; };
  if (aKey.empty() || breaks(aKey) || breaks(aValue) || aKey.find('=') != std::string_view::npos ||
      Trim(aKey, kBlanks) != aKey || aKey.front() == '[' || IsComment(aKey))
    throw std::invalid_argument("wpis nie do zapisania w pliku INI: " + std::string(aKey));
  const std::string entry =
      std::string(aKey) + "=" + std::string(Trim(aValue, kBlanks));  // blanks would not read back

  const std::vector<TLine> lines = Lines(aText);
  // New lines end as the file's first line does.
  std::string eol = "\n";
  if (!lines.empty() && lines.front().end < aText.size() && aText[lines.front().end] == '\r') eol = "\r\n";
  std::string out(aText);
  const auto section = FindSection(lines, aSection);
  if (!section) {
    if (!out.empty() && out.back() != '\n') out += eol;
    return out + "[" + std::string(aSection) + "]" + eol + entry + eol;
  }
  std::size_t after = section->first;  // the line the new entry follows
  for (std::size_t i = section->first + 1; i < section->second; ++i) {
    const auto found = EntryOf(lines[i].text);
    if (!found) continue;
    if (EqualNoCase(found->first, aKey))
      return out.replace(lines[i].start, lines[i].end - lines[i].start, entry);
    after = i;
  }
  const TLine& line = lines[after];
  if (line.next == 0) return out + eol + entry + eol;  // the last line, without a line feed
  return out.insert(line.next, entry + eol);
}

}  // namespace vx
