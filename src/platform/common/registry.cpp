// The registry export file reader: the text of a ".reg" file parsed into keys and values.
#include <map>
#include <utility>

#include "platform/common/ascii.h"
#include "platform/common/utf.h"
#include "platform/debug_channel.h"
#include "platform/registry.h"

namespace vx::platform {

namespace {

// Blanks around the parts of a line (the line break's CR included).
constexpr std::string_view kLineBlanks = " \t\r";

// Bounds for a file that any local user or program may have written.
constexpr std::size_t kMaxLineBytes = 1u << 20;
constexpr std::size_t kMaxKeys = 65536;
constexpr std::size_t kMaxValues = 262144;
constexpr std::size_t kMaxKeyDepth = 512;
constexpr std::size_t kMaxNameBytes = 16383;
constexpr int kMaxReportedErrors = 20;
}  // namespace

struct RegistryHive::Key {
  std::string name;
  std::vector<std::size_t> children;               // file order
  std::map<std::string, std::size_t> childByName;  // folded name -> index
  std::map<std::string, RegValue> values;          // folded name -> value
};

RegistryHive::RegistryHive() : keys_(1) {}
RegistryHive::~RegistryHive() = default;
RegistryHive::RegistryHive(const RegistryHive&) = default;
RegistryHive& RegistryHive::operator=(const RegistryHive&) = default;
RegistryHive::RegistryHive(RegistryHive&&) noexcept = default;
RegistryHive& RegistryHive::operator=(RegistryHive&&) noexcept = default;

namespace {

// Case folding of key and value names: ASCII, Latin-1 and Latin Extended-A (the letters of the
// names found in practice, Polish ones included).
char16_t FoldUnit(char16_t c) {
  if (c >= u'A' && c <= u'Z') return static_cast<char16_t>(c + 32);
  if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return static_cast<char16_t>(c + 32);
  if (c >= 0x100 && c <= 0x17F) {
    const bool oddUpper = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
    if (c == 0x178) return 0xFF;
    if (oddUpper) return (c & 1) ? static_cast<char16_t>(c + 1) : c;
    if (c != 0x138 && c != 0x149 && c != 0x17F && (c & 1) == 0) return static_cast<char16_t>(c + 1);
  }
  return c;
}

std::string Fold(std::string_view name) {
  std::u16string u = Utf8ToUtf16(name);
  for (char16_t& c : u) c = FoldUnit(c);
  return Utf16ToUtf8(u);
}

std::vector<std::string_view> SplitPath(std::string_view path) {
  std::vector<std::string_view> parts;
  std::size_t start = 0;
  while (start <= path.size()) {
    const std::size_t end = path.find('\\', start);
    const std::string_view part =
        path.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
    if (!part.empty()) parts.push_back(part);
    if (end == std::string_view::npos) break;
    start = end + 1;
  }
  return parts;
}

// The file's bytes as UTF-8: UTF-16LE with its byte-order mark converted, a UTF-8 mark dropped.
std::string DecodeFile(std::string_view bytes) {
  if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
      static_cast<unsigned char>(bytes[1]) == 0xFE) {
    std::u16string u;
    u.reserve(bytes.size() / 2);
    for (std::size_t i = 2; i + 1 < bytes.size(); i += 2) {
      u.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                        (static_cast<unsigned char>(bytes[i + 1]) << 8)));
    }
    return Utf16ToUtf8(u);
  }
  if (bytes.size() >= 3 && bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
  return std::string(bytes);
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// A quoted text with \\ and \" escapes at the start of `s`; the rest of `s` stays behind it.
std::optional<std::string> ReadQuoted(std::string_view& s) {
  if (s.empty() || s.front() != '"') return std::nullopt;
  std::string out;
  for (std::size_t i = 1; i < s.size(); ++i) {
    const char c = s[i];
    if (c == '\\' && i + 1 < s.size()) {
      out.push_back(s[++i]);
    } else if (c == '"') {
      s.remove_prefix(i + 1);
      return out;
    } else {
      out.push_back(c);
    }
  }
  return std::nullopt;
}

// "hex:..", "hex(n):.." byte lists: pairs of hex digits separated by commas.
std::optional<std::string> ReadHexBytes(std::string_view s) {
  std::string out;
  s = Trim(s, kLineBlanks);
  while (!s.empty()) {
    s = Trim(s, kLineBlanks);
    if (s.size() < 2) return std::nullopt;
    const int hi = HexDigit(s[0]);
    const int lo = HexDigit(s[1]);
    if (hi < 0 || lo < 0) return std::nullopt;
    out.push_back(static_cast<char>(hi * 16 + lo));
    s.remove_prefix(2);
    s = Trim(s, kLineBlanks);
    if (s.empty()) break;
    if (s.front() != ',') return std::nullopt;
    s.remove_prefix(1);
  }
  return out;
}

std::string Utf16LeToUtf8(std::string_view bytes) {
  std::u16string u;
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    u.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                      (static_cast<unsigned char>(bytes[i + 1]) << 8)));
  }
  while (!u.empty() && u.back() == 0) u.pop_back();
  if (const auto nul = u.find(char16_t{0}); nul != std::u16string::npos) u.resize(nul);
  return Utf16ToUtf8(u);
}

// Values of types this system does not read (binary, multi-string, qword) are skipped.
enum class DataResult { Value, Skipped, Bad };

DataResult ParseData(std::string_view data, RegValue& value) {
  data = Trim(data, kLineBlanks);
  if (!data.empty() && data.front() == '"') {
    auto text = ReadQuoted(data);
    if (!text || !Trim(data, kLineBlanks).empty()) return DataResult::Bad;
    value = RegValue{RegType::String, std::move(*text), 0};
    return DataResult::Value;
  }
  if (data == "-") return DataResult::Skipped;  // a deletion entry: nothing to read here
  if (StartsWithNoCase(data, "dword:")) {
    const std::string_view digits = Trim(data.substr(6), kLineBlanks);
    if (digits.empty() || digits.size() > 8) return DataResult::Bad;
    std::uint32_t v = 0;
    for (char c : digits) {
      const int d = HexDigit(c);
      if (d < 0) return DataResult::Bad;
      v = v * 16 + static_cast<std::uint32_t>(d);
    }
    value = RegValue{RegType::Dword, {}, v};
    return DataResult::Value;
  }
  if (StartsWithNoCase(data, "hex")) {
    const std::size_t colon = data.find(':');
    if (colon == std::string_view::npos) return DataResult::Bad;
    const std::string_view kind = data.substr(3, colon - 3);
    auto bytes = ReadHexBytes(data.substr(colon + 1));
    if (!bytes) return DataResult::Bad;
    if (kind == "(2)" || kind == "(1)") {
      value = RegValue{kind == "(2)" ? RegType::ExpandString : RegType::String, Utf16LeToUtf8(*bytes), 0};
      return DataResult::Value;
    }
    if (kind == "(4)" && bytes->size() == 4) {
      const auto* b = reinterpret_cast<const unsigned char*>(bytes->data());
      value = RegValue{RegType::Dword, {}, b[0] | (b[1] << 8) | (b[2] << 16) | (std::uint32_t{b[3]} << 24)};
      return DataResult::Value;
    }
    return DataResult::Skipped;
  }
  return DataResult::Bad;
}

bool SameRoot(std::string_view written, std::string_view root) {
  const std::string w = Fold(written);
  const std::string r = Fold(root);
  if (w == r) return true;
  if (r == "hkey_local_machine") return w == "hklm";
  if (r == "hkey_current_user") return w == "hkcu";
  return false;
}

}  // namespace

RegistryHive RegistryHive::Parse(std::string_view bytes, std::string_view root, std::string_view origin) {
  RegistryHive hive;
  int reported = 0;
  auto report = [&](std::size_t line, const std::string& what) {
    if (reported++ >= kMaxReportedErrors) return;
    WriteDebugLine(
        Utf8ToUtf16("registry: " + std::string(origin) + ":" + std::to_string(line) + ": " + what));
  };
  if (bytes.size() > kMaxFileBytes) {
    report(0, "file larger than " + std::to_string(kMaxFileBytes) + " bytes, read up to the limit");
    bytes = bytes.substr(0, kMaxFileBytes);
  }
  const std::string text = DecodeFile(bytes);

  std::size_t pos = 0;
  std::size_t lineNo = 0;
  // One physical line; false at the end of the text.
  auto nextLine = [&](std::string_view& line) {
    if (pos >= text.size()) return false;
    std::size_t end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size();
    line = std::string_view(text).substr(pos, end - pos);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    pos = end + 1;
    ++lineNo;
    return true;
  };

  std::string_view line;
  bool headerSeen = false;
  while (!headerSeen && nextLine(line)) {
    const std::string_view t = Trim(line, kLineBlanks);
    if (t.empty()) continue;
    if (t != "Windows Registry Editor Version 5.00" && t != "REGEDIT4") {
      report(lineNo,
             "not a registry file (no \"Windows Registry Editor Version 5.00\" or \"REGEDIT4\" line)");
      return hive;
    }
    headerSeen = true;
  }

  constexpr std::size_t kNone = static_cast<std::size_t>(-1);
  std::size_t current = kNone;  // key receiving values; none after a skipped section
  std::size_t values = 0;
  while (nextLine(line)) {
    const std::size_t startLine = lineNo;
    std::string logical(Trim(line, kLineBlanks));
    // Long values continue on the next line after a trailing backslash.
    while (!logical.empty() && logical.back() == '\\' && logical.front() != '[' && nextLine(line)) {
      logical.pop_back();
      logical += Trim(line, kLineBlanks);
      if (logical.size() > kMaxLineBytes) break;
    }
    if (logical.size() > kMaxLineBytes) {
      report(startLine, "line too long, skipped");
      current = kNone;
      continue;
    }
    std::string_view l = logical;
    if (l.empty() || l.front() == ';') continue;

    if (l.front() == '[') {
      current = kNone;
      if (l.back() != ']') {
        report(startLine, "malformed key line, its values are skipped");
        continue;
      }
      std::string_view path = l.substr(1, l.size() - 2);
      if (!path.empty() && path.front() == '-') continue;  // a deletion entry
      const auto parts = SplitPath(path);
      if (parts.empty() || parts.size() > kMaxKeyDepth) {
        report(startLine, "malformed key name, its values are skipped");
        continue;
      }
      if (!SameRoot(parts.front(), root)) continue;  // a key of another root
      std::size_t at = 0;
      bool ok = true;
      for (std::size_t i = 1; i < parts.size() && ok; ++i) {
        if (parts[i].size() > 255) {
          report(startLine, "key name longer than 255 characters, its values are skipped");
          ok = false;
          break;
        }
        const std::string folded = Fold(parts[i]);
        auto found = hive.keys_[at].childByName.find(folded);
        if (found != hive.keys_[at].childByName.end()) {
          at = found->second;
          continue;
        }
        if (hive.keys_.size() >= kMaxKeys) {
          report(startLine, "more than " + std::to_string(kMaxKeys) + " keys, the rest is skipped");
          ok = false;
          break;
        }
        const std::size_t index = hive.keys_.size();
        hive.keys_.push_back(Key{std::string(parts[i]), {}, {}, {}});
        hive.keys_[at].children.push_back(index);
        hive.keys_[at].childByName.emplace(folded, index);
        at = index;
      }
      if (ok) current = at;
      continue;
    }

    std::string name;
    if (l.front() == '@') {
      l.remove_prefix(1);
    } else if (auto quoted = ReadQuoted(l)) {
      name = std::move(*quoted);
    } else {
      report(startLine, "malformed value line, skipped");
      continue;
    }
    l = Trim(l, kLineBlanks);
    if (l.empty() || l.front() != '=' || name.size() > kMaxNameBytes) {
      report(startLine, "malformed value line, skipped");
      continue;
    }
    RegValue value;
    const DataResult r = ParseData(l.substr(1), value);
    if (r == DataResult::Bad) {
      report(startLine, "malformed value data, skipped");
      continue;
    }
    if (r == DataResult::Skipped || current == kNone) continue;
    if (++values > kMaxValues) {
      report(startLine, "more than " + std::to_string(kMaxValues) + " values, the rest is skipped");
      break;
    }
    hive.keys_[current].values.insert_or_assign(Fold(name), std::move(value));
  }
  return hive;
}

const RegistryHive::Key* RegistryHive::Find(std::string_view path) const {
  std::size_t at = 0;
  for (std::string_view part : SplitPath(path)) {
    const auto found = keys_[at].childByName.find(Fold(part));
    if (found == keys_[at].childByName.end()) return nullptr;
    at = found->second;
  }
  return &keys_[at];
}

bool RegistryHive::KeyExists(std::string_view path) const {
  return Find(path) != nullptr;
}

std::optional<RegValue> RegistryHive::Value(std::string_view path, std::string_view name) const {
  const Key* key = Find(path);
  if (key == nullptr) return std::nullopt;
  const auto found = key->values.find(Fold(name));
  if (found == key->values.end()) return std::nullopt;
  return found->second;
}

std::optional<std::string> RegistryHive::String(std::string_view path, std::string_view name) const {
  auto v = Value(path, name);
  if (!v || v->type == RegType::Dword) return std::nullopt;
  return std::move(v->text);
}

std::optional<std::uint32_t> RegistryHive::Dword(std::string_view path, std::string_view name) const {
  auto v = Value(path, name);
  if (!v || v->type != RegType::Dword) return std::nullopt;
  return v->dword;
}

std::vector<std::string> RegistryHive::SubKeys(std::string_view path) const {
  std::vector<std::string> names;
  if (const Key* key = Find(path)) {
    for (std::size_t i : key->children) names.push_back(keys_[i].name);
  }
  return names;
}

}  // namespace vx::platform
