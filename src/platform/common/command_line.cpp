#include "platform/common/command_line.h"

#include "platform/common/utf.h"

namespace vx::platform {

std::vector<std::string> SplitCommand(std::string_view command) {
  std::vector<std::string> words;
  std::string word;
  bool inWord = false;
  char quote = 0;
  for (std::size_t i = 0; i < command.size(); ++i) {
    const char c = command[i];
    if (quote != 0) {
      if (c == quote) {
        quote = 0;
      } else if (c == '\\' && quote == '"' && i + 1 < command.size()) {
        word.push_back(command[++i]);
      } else {
        word.push_back(c);
      }
    } else if (c == ' ' || c == '\t' || c == '\n' || c == '\r') {
      if (inWord) words.push_back(std::move(word));
      word.clear();
      inWord = false;
    } else if (c == '\'' || c == '"') {
      quote = c;
      inWord = true;
    } else if (c == '\\' && i + 1 < command.size()) {
      word.push_back(command[++i]);
      inWord = true;
    } else {
      word.push_back(c);
      inWord = true;
    }
  }
  if (inWord) words.push_back(std::move(word));
  return words;
}

std::vector<std::string> SplitWindowsParameters(std::u16string_view parameters) {
  std::vector<std::string> words;
  std::u16string word;
  bool inWord = false;
  bool quoted = false;
  for (std::size_t i = 0; i < parameters.size(); ++i) {
    const char16_t c = parameters[i];
    if (c == u'"') {
      inWord = true;
      if (quoted && i + 1 < parameters.size() && parameters[i + 1] == u'"') {
        word.push_back(u'"');
        ++i;
      } else {
        quoted = !quoted;
      }
    } else if ((c == u' ' || c == u'\t') && !quoted) {
      if (inWord) words.push_back(Utf16ToUtf8(word));
      word.clear();
      inWord = false;
    } else {
      word.push_back(c);
      inWord = true;
    }
  }
  if (inWord) words.push_back(Utf16ToUtf8(word));
  return words;
}

}  // namespace vx::platform
