#include "common/system_functions.h"

#include <map>
#include <mutex>

namespace vx {

namespace {

struct ResourceTable {
  ResourceTable();
  std::mutex lock;
  std::map<UString, UString, std::less<>> texts;
};

// The Polish replacements, applied in table order.
ResourceTable::ResourceTable() {
  static constexpr std::pair<const char16_t*, const char16_t*> kReplacements[] = {
      {u"Warning", u"Ostrzeżenie"},
      {u"Error", u"Błąd"},
      {u"Information", u"Informacja"},
      {u"Confirm", u"Pytanie"},
      {u"&Yes", u"&Tak"},
      {u"&No", u"&Nie"},
      {u"Cancel", u"Anuluj"},
      {u"&Help", u"&Pomoc"},
      {u"No help available", u"Brak dostępnej pomocy"},
      {u"Help", u"Pomoc"},
      {u"&Abort", u"&Przerwij"},
      {u"&Retry", u"&Ponów"},
      {u"&Ignore", u"&Ignoruj"},
      {u"&All", u"&Wszystkie"},
      {u"N&o to All", u"Ni&e dla wsystkich"},
      {u"Yes to &All", u"Tak dla &Wszystkich"},
      {u"&Close", u"&Zamknij"},
  };
  for (const auto& [builtin, replacement] : kReplacements) texts.insert_or_assign(builtin, replacement);
}

// The dialog texts, set up on first use.
ResourceTable& Resources() {
  static ResourceTable table;
  return table;
}

}  // namespace

TExecuteFileResult ExecuteFileEx(std::int64_t /*window*/, const UString& file, const UString& parameters,
                                 TExecuteFileOptions options) {
  // With no user account control, eoElevate keeps the default verb.
  TExecuteFileResult out;
  platform::LaunchOptions shell;
  shell.hidden = options.Contains(TExecuteFileOption::eoHide);
  out.process = platform::LaunchProgram(file, parameters, shell);
  if (!out.process) return out;
  out.result = 0;
  if (options.Contains(TExecuteFileOption::eoWait)) out.result = out.process->Wait().code;
  return out;
}

std::int32_t ExecuteFile(std::int64_t window, const UString& file, const UString& parameters,
                         TExecuteFileOptions options) {
  return ExecuteFileEx(window, file, parameters, options).result;
}

void KillCurrentProces() {
  platform::TerminateCurrentProcess(0);
}

bool IsUACActive() {
  return false;
}

bool IsWow64Process() {
  static const bool answer = platform::Is32BitProcessOn64BitSystem();
  return answer;
}

void HookResourceString(UStringView builtin, UStringView replacement) {
  ResourceTable& t = Resources();
  std::lock_guard guard(t.lock);
  t.texts.insert_or_assign(UString(builtin), UString(replacement));
}

UString ResourceText(UStringView builtin) {
  ResourceTable& t = Resources();
  std::lock_guard guard(t.lock);
  auto it = t.texts.find(builtin);
  return it != t.texts.end() ? it->second : UString(builtin);
}

void RTTI_UseGlobalContext(bool /*use*/) {}

}  // namespace vx
