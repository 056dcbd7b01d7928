// The rest of the simulated machine: environment and shell folders, module
// resources, message boxes and the console, the process token and the
// restart request, and code-page conversion.
#include <algorithm>
#include <cstddef>

#include "platform/sim/sim_state.h"

namespace quenwick::sim {

using detail::Call;
using detail::Dec;
using detail::Fold;
using detail::FormatCall;
using detail::Hex;
using detail::Text;
using detail::ToUtf16Number;

namespace {

// Resource ids below this are numbers (MAKEINTRESOURCE), not string pointers.
constexpr std::uintptr_t kMaxIntResource = 0xFFFF;
constexpr int kCsidlMask = 0xFF;  // the folder number without CSIDL_FLAG_* bits

// How a resource name or type compares: string ids without regard to case
// (Windows upper-cases them), numbers and "#123" as the number.
std::u16string ResourceKey(const char16_t* id) {
  const auto value = reinterpret_cast<std::uintptr_t>(id);
  if (value <= kMaxIntResource) return u"#" + ToUtf16Number(value);
  std::u16string_view text(id);
  if (!text.empty() && text.front() == u'#') {
    std::uintptr_t number = 0;
    for (char16_t c : text.substr(1)) {
      if (c < u'0' || c > u'9') return Fold(text);
      number = number * 10 + (c - u'0');
    }
    return u"#" + ToUtf16Number(number);
  }
  return Fold(text);
}

std::string ResourceIdText(const char16_t* id) {
  const auto value = reinterpret_cast<std::uintptr_t>(id);
  if (value <= kMaxIntResource) return "#" + std::to_string(value);
  return Text(id);
}

// Windows-1252 bytes 0x80-0x9F; the five unassigned ones map to the C1
// control of the same value, as Windows' table does.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

char16_t FromCp1252(unsigned char byte) {
  if (byte >= 0x80 && byte <= 0x9F) return kCp1252High[byte - 0x80];
  return byte;
}

}  // namespace

namespace detail {
std::u16string ToUtf16Number(std::uintptr_t value) {
  const std::string digits = std::to_string(value);
  return std::u16string(digits.begin(), digits.end());
}
}  // namespace detail

// --- Environment and shell folders -------------------------------------------------

void SimMachine::SetEnvironment(std::u16string_view name, std::u16string_view value) {
  state_->environment[Fold(name)] = {std::u16string(name), std::u16string(value)};
}

void SimMachine::UnsetEnvironment(std::u16string_view name) {
  state_->environment.erase(Fold(name));
}

void SimMachine::SetShellFolder(int csidl, std::u16string_view path) {
  state_->shellFolders[csidl] = path;
  state_->failedShellFolders.erase(csidl);
}

void SimMachine::FailShellFolder(int csidl) { state_->failedShellFolders.insert(csidl); }

win::DWORD SimMachine::ExpandEnvironmentStringsW(const char16_t* source, char16_t* destination,
                                                 win::DWORD size) {
  State& s = *state_;
  win::DWORD result = 0;
  std::u16string out;
  if (source == nullptr) {
    s.lastError = win::ERROR_INVALID_PARAMETER;
  } else {
    // Every %NAME% whose NAME is defined (without regard to case) is
    // replaced. An undefined one stays as written, both signs included, and
    // scanning goes on after its closing sign; a "%" without a partner stays.
    // (This is what Wine does; Windows is believed to agree for the texts the
    // program expands, which hold one variable each.)
    const std::u16string_view text(source);
    std::size_t pos = 0;
    while (pos < text.size()) {
      const std::size_t open = text.find(u'%', pos);
      if (open == std::u16string_view::npos) {
        out += text.substr(pos);
        break;
      }
      out += text.substr(pos, open - pos);
      const std::size_t close = text.find(u'%', open + 1);
      if (close == std::u16string_view::npos) {
        out += text.substr(open);
        break;
      }
      const std::u16string_view name = text.substr(open + 1, close - open - 1);
      auto variable = name.empty() ? s.environment.end() : s.environment.find(Fold(name));
      if (variable != s.environment.end()) {
        out += variable->second.second;
      } else {
        out += text.substr(open, close - open + 1);
      }
      pos = close + 1;
    }
    result = static_cast<win::DWORD>(out.size() + 1);  // the terminator counts
    if (destination != nullptr && size >= result) detail::CopyWithTerminator(out, destination);
  }
  s.Record(Call::ExpandEnvironmentStringsW, [&] {
    return FormatCall(Call::ExpandEnvironmentStringsW, {Text(source), Dec(size)},
                      Dec(result) + (result ? " " + Text(out) : s.ErrorSuffix(true)));
  });
  return result;
}

win::BOOL SimMachine::SHGetSpecialFolderPathW(win::HWND owner, char16_t* path, int folder,
                                              win::BOOL create) {
  State& s = *state_;
  win::BOOL ok = 0;
  const int csidl = folder & kCsidlMask;
  auto known = s.shellFolders.find(csidl);
  if (path != nullptr && known != s.shellFolders.end() && !s.failedShellFolders.count(csidl)) {
    const std::u16string_view value(known->second);
    detail::CopyWithTerminator(value.substr(0, std::min(value.size(), win::MAX_PATH - 1)), path);
    ok = 1;
  }
  s.Record(Call::SHGetSpecialFolderPathW, [&] {
    return FormatCall(Call::SHGetSpecialFolderPathW,
                      {Hex(owner.value), Dec(folder), Dec(create)},
                      Dec(ok) + (ok ? " " + Text(std::u16string_view(path)) : ""));
  });
  return ok;
}

// --- Module resources -------------------------------------------------------------

void SimMachine::SetResource(std::u16string_view name, std::u16string_view type,
                             std::vector<std::uint8_t> bytes) {
  const std::u16string typeText(type);
  const std::u16string nameText(name);
  const std::u16string typeKey = ResourceKey(typeText.c_str());
  const std::u16string nameKey = ResourceKey(nameText.c_str());
  // Earlier bytes stay where they are: a pointer from LockResource remains
  // valid for the machine's lifetime.
  for (detail::Resource& r : state_->resources) {
    if (r.name == nameKey && r.type == typeKey) r.replaced = true;
  }
  state_->resources.push_back({nameKey, typeKey, std::move(bytes), false});
}

void SimMachine::SetResourceWithNumericType(std::u16string_view name, int type,
                                            std::vector<std::uint8_t> bytes) {
  SetResource(name, u"#" + ToUtf16Number(static_cast<std::uintptr_t>(type)), std::move(bytes));
}

void SimMachine::FailLoadResource() { state_->failLoadResource = true; }
void SimMachine::FailLockResource() { state_->failLockResource = true; }

win::HRSRC SimMachine::FindResourceW(win::HMODULE module, const char16_t* name,
                                     const char16_t* type) {
  State& s = *state_;
  win::HRSRC found{};
  if (module) {
    s.lastError = win::ERROR_RESOURCE_DATA_NOT_FOUND;  // only the program's own module
  } else if (name == nullptr || type == nullptr) {
    s.lastError = win::ERROR_RESOURCE_TYPE_NOT_FOUND;
  } else {
    const std::u16string typeKey = ResourceKey(type);
    const std::u16string nameKey = ResourceKey(name);
    bool typeExists = false;
    for (std::size_t i = 0; i < s.resources.size() && !found; ++i) {
      const detail::Resource& r = s.resources[i];
      if (r.replaced || r.type != typeKey) continue;
      typeExists = true;
      if (r.name == nameKey) found.value = i + 1;
    }
    if (!found) {
      s.lastError =
          typeExists ? win::ERROR_RESOURCE_NAME_NOT_FOUND : win::ERROR_RESOURCE_TYPE_NOT_FOUND;
    }
  }
  s.Record(Call::FindResourceW, [&] {
    return FormatCall(Call::FindResourceW,
                      {Hex(module.value), ResourceIdText(name), ResourceIdText(type)},
                      Hex(found.value) + s.ErrorSuffix(!found));
  });
  return found;
}

win::DWORD SimMachine::SizeofResource(win::HMODULE module, win::HRSRC resource) {
  State& s = *state_;
  win::DWORD size = 0;
  if (resource.value >= 1 && resource.value <= s.resources.size()) {
    size = static_cast<win::DWORD>(s.resources[resource.value - 1].bytes.size());
  } else {
    s.lastError = win::ERROR_RESOURCE_DATA_NOT_FOUND;
  }
  s.Record(Call::SizeofResource, [&] {
    return FormatCall(Call::SizeofResource, {Hex(module.value), Hex(resource.value)}, Dec(size));
  });
  return size;
}

win::HGLOBAL SimMachine::LoadResource(win::HMODULE module, win::HRSRC resource) {
  State& s = *state_;
  win::HGLOBAL data{};
  if (resource.value < 1 || resource.value > s.resources.size()) {
    s.lastError = win::ERROR_RESOURCE_DATA_NOT_FOUND;
  } else if (s.failLoadResource) {
    s.lastError = win::ERROR_NOT_ENOUGH_MEMORY;
  } else {
    data.value = resource.value;
  }
  s.Record(Call::LoadResource, [&] {
    return FormatCall(Call::LoadResource, {Hex(module.value), Hex(resource.value)},
                      Hex(data.value) + s.ErrorSuffix(!data));
  });
  return data;
}

const void* SimMachine::LockResource(win::HGLOBAL data) {
  State& s = *state_;
  static constexpr std::uint8_t kEmpty[1] = {0};
  const void* bytes = nullptr;
  if (data.value >= 1 && data.value <= s.resources.size() && !s.failLockResource) {
    const std::vector<std::uint8_t>& stored = s.resources[data.value - 1].bytes;
    bytes = stored.empty() ? kEmpty : stored.data();
  }
  s.Record(Call::LockResource, [&] {
    return FormatCall(Call::LockResource, {Hex(data.value)}, detail::Pointer(bytes));
  });
  return bytes;
}

// --- Dialogue and console -----------------------------------------------------------

void SimMachine::QueueAnswers(std::vector<int> answers) {
  state_->answers.insert(state_->answers.end(), answers.begin(), answers.end());
}

const std::vector<MessageBoxRecord>& SimMachine::MessageBoxes() const {
  return state_->messageBoxes;
}

const std::string& SimMachine::ConsoleTranscript() const { return state_->transcript; }

std::string SimMachine::ConsoleScreen() const {
  return state_->transcript.substr(state_->screenStart);
}

const std::vector<std::string>& SimMachine::Commands() const { return state_->commands; }

int SimMachine::MessageBoxW(win::HWND owner, const char16_t* text, const char16_t* caption,
                            win::UINT type) {
  State& s = *state_;
  int answer = 0;  // what a box that cannot be shown returns
  if (!s.answers.empty()) {
    answer = s.answers.front();
    s.answers.pop_front();
  }
  s.messageBoxes.push_back({text ? std::u16string(text) : std::u16string(),
                            caption ? std::u16string(caption) : std::u16string(), type, answer});
  s.Record(Call::MessageBoxW, [&] {
    return FormatCall(Call::MessageBoxW, {Hex(owner.value), Text(text), Text(caption), Hex(type)},
                      Dec(answer));
  });
  return answer;
}

void SimMachine::WriteConsole(std::string_view text) {
  State& s = *state_;
  s.transcript += text;
  s.Record(Call::WriteConsole,
           [&] { return FormatCall(Call::WriteConsole, {std::string(text)}, "void"); });
}

void SimMachine::WriteConsoleWide(std::u16string_view text) {
  State& s = *state_;
  const std::string utf8 = ToUtf8(text);
  s.transcript += utf8;
  s.Record(Call::WriteConsoleWide,
           [&] { return FormatCall(Call::WriteConsoleWide, {utf8}, "void"); });
}

int SimMachine::RunCommandInterpreter(const char* command) {
  State& s = *state_;
  // system(NULL) asks whether an interpreter exists: it does.
  int result = command == nullptr ? 1 : 0;
  if (command != nullptr) {
    s.commands.emplace_back(command);
    std::string lower(command);
    for (char& c : lower) c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
    if (lower == "cls") s.screenStart = s.transcript.size();
  }
  s.Record(Call::RunCommandInterpreter, [&] {
    return FormatCall(Call::RunCommandInterpreter, {command ? command : "NULL"}, Dec(result));
  });
  return result;
}

// --- Privileges and restart -----------------------------------------------------------

void SimMachine::SetTokenPrivilege(std::u16string_view name, bool held) {
  const std::optional<win::DWORD> luid = detail::PrivilegeLuid(name);
  if (!luid) return;
  if (held) {
    state_->heldPrivileges.insert(*luid);
  } else {
    state_->heldPrivileges.erase(*luid);
    state_->enabledPrivileges.erase(*luid);
  }
}

void SimMachine::FailOpenProcessToken() { state_->failOpenProcessToken = true; }

std::vector<std::u16string> SimMachine::EnabledPrivileges() const {
  std::vector<std::u16string> names;
  for (win::DWORD luid : state_->enabledPrivileges) names.emplace_back(detail::PrivilegeName(luid));
  return names;
}

const std::vector<SimMachine::RestartRequest>& SimMachine::RestartRequests() const {
  return state_->restartRequests;
}

win::BOOL SimMachine::OpenProcessToken(win::HANDLE process, win::DWORD access,
                                       win::HANDLE* token) {
  State& s = *state_;
  win::BOOL ok = 0;
  win::DWORD processAccess = 0;
  if (token == nullptr) {
    s.lastError = win::ERROR_NOACCESS;
  } else if (s.failOpenProcessToken) {
    s.lastError = win::ERROR_ACCESS_DENIED;
  } else if (process != win::INVALID_HANDLE_VALUE &&
             s.ProcessForHandle(process, &processAccess) == nullptr) {
    // GetCurrentProcess()'s pseudo-handle (the value of INVALID_HANDLE_VALUE)
    // always names the calling process, even on a machine set up without
    // SetSelf.
    s.lastError = win::ERROR_INVALID_HANDLE;
  } else {
    // Every process shares the one simulated token.
    token->value = s.AddHandle(detail::TokenHandle{access});
    ok = 1;
  }
  s.Record(Call::OpenProcessToken, [&] {
    return FormatCall(Call::OpenProcessToken, {Hex(process.value), Hex(access)},
                      Dec(ok) + (ok ? " -> " + Hex(token->value) : s.ErrorSuffix(true)));
  });
  return ok;
}

win::BOOL SimMachine::LookupPrivilegeValueW(const char16_t* systemName, const char16_t* name,
                                            win::LUID* luid) {
  State& s = *state_;
  win::BOOL ok = 0;
  const std::optional<win::DWORD> value =
      name ? detail::PrivilegeLuid(name) : std::optional<win::DWORD>();
  if (luid == nullptr) {
    s.lastError = win::ERROR_NOACCESS;
  } else if (!value) {
    s.lastError = win::ERROR_NO_SUCH_PRIVILEGE;
  } else {
    luid->LowPart = *value;
    luid->HighPart = 0;
    ok = 1;
  }
  s.Record(Call::LookupPrivilegeValueW, [&] {
    return FormatCall(Call::LookupPrivilegeValueW, {Text(systemName), Text(name)},
                      Dec(ok) + (ok ? " luid=" + Dec(*value) : s.ErrorSuffix(true)));
  });
  return ok;
}

win::BOOL SimMachine::AdjustTokenPrivileges(win::HANDLE token, win::BOOL disableAll,
                                            win::TOKEN_PRIVILEGES* newState,
                                            win::DWORD bufferLength,
                                            win::TOKEN_PRIVILEGES* previousState,
                                            win::DWORD* returnLength) {
  State& s = *state_;
  win::BOOL ok = 0;
  detail::TokenHandle* open = s.Find<detail::TokenHandle>(token.value);
  std::string requested;
  if (open == nullptr) {
    s.lastError = win::ERROR_INVALID_HANDLE;
  } else if (!(open->access & win::TOKEN_ADJUST_PRIVILEGES) ||
             (previousState != nullptr && !(open->access & win::TOKEN_QUERY))) {
    s.lastError = win::ERROR_ACCESS_DENIED;
  } else if (!disableAll && newState == nullptr) {
    s.lastError = win::ERROR_INVALID_PARAMETER;
  } else {
    // Work out the changes first: a previous-state buffer that is too small
    // fails the call before anything changes.
    struct Change {
      win::DWORD luid;
      bool enable;
      bool remove;
    };
    std::vector<Change> changes;
    bool notAllAssigned = false;
    if (disableAll) {
      for (win::DWORD luid : s.enabledPrivileges) changes.push_back({luid, false, false});
    } else {
      const win::LUID_AND_ATTRIBUTES* entries = newState->Privileges;
      for (win::DWORD i = 0; i < newState->PrivilegeCount; ++i) {
        const win::LUID_AND_ATTRIBUTES& entry = entries[i];
        requested += (requested.empty() ? "" : "+") + Dec(entry.Luid.LowPart);
        if (entry.Luid.HighPart != 0 || !s.heldPrivileges.count(entry.Luid.LowPart)) {
          notAllAssigned = true;  // the token does not hold it: passed over
          continue;
        }
        changes.push_back({entry.Luid.LowPart, (entry.Attributes & win::SE_PRIVILEGE_ENABLED) != 0,
                           (entry.Attributes & win::SE_PRIVILEGE_REMOVED) != 0});
      }
    }
    std::vector<Change> effective;
    for (const Change& c : changes) {
      const bool wasEnabled = s.enabledPrivileges.count(c.luid) != 0;
      if (c.remove || wasEnabled != c.enable) effective.push_back(c);
    }
    const std::size_t needed = offsetof(win::TOKEN_PRIVILEGES, Privileges) +
                               effective.size() * sizeof(win::LUID_AND_ATTRIBUTES);
    if (previousState != nullptr && bufferLength < needed) {
      if (returnLength) *returnLength = static_cast<win::DWORD>(needed);
      s.lastError = win::ERROR_INSUFFICIENT_BUFFER;
    } else {
      if (previousState != nullptr) {
        previousState->PrivilegeCount = static_cast<win::DWORD>(effective.size());
        win::LUID_AND_ATTRIBUTES* out = previousState->Privileges;
        for (std::size_t i = 0; i < effective.size(); ++i) {
          out[i].Luid = {effective[i].luid, 0};
          out[i].Attributes =
              s.enabledPrivileges.count(effective[i].luid) ? win::SE_PRIVILEGE_ENABLED : 0;
        }
      }
      if (returnLength) *returnLength = static_cast<win::DWORD>(needed);
      for (const Change& c : effective) {
        if (c.remove) {
          s.heldPrivileges.erase(c.luid);
          s.enabledPrivileges.erase(c.luid);
        } else if (c.enable) {
          s.enabledPrivileges.insert(c.luid);
        } else {
          s.enabledPrivileges.erase(c.luid);
        }
      }
      // Success, with ERROR_NOT_ALL_ASSIGNED left behind when the token
      // lacks one of the privileges: callers that only test the result
      // count that as success.
      s.lastError = notAllAssigned ? win::ERROR_NOT_ALL_ASSIGNED : win::ERROR_SUCCESS;
      ok = 1;
    }
  }
  s.Record(Call::AdjustTokenPrivileges, [&] {
    return FormatCall(Call::AdjustTokenPrivileges,
                      {Hex(token.value), Dec(disableAll), requested.empty() ? "-" : requested},
                      Dec(ok) + ", error " + Dec(s.lastError));
  });
  return ok;
}

win::BOOL SimMachine::ExitWindowsEx(win::UINT flags, win::DWORD reason) {
  State& s = *state_;
  constexpr win::DWORD kShutdownLuid = 19;
  win::BOOL ok = 0;
  if (s.enabledPrivileges.count(kShutdownLuid)) {
    s.restartRequests.push_back({flags, reason});  // only requests Windows accepts
    ok = 1;
  } else {
    s.lastError = win::ERROR_PRIVILEGE_NOT_HELD;
  }
  s.Record(Call::ExitWindowsEx, [&] {
    return FormatCall(Call::ExitWindowsEx, {Hex(flags), Hex(reason)}, Dec(ok) + s.ErrorSuffix(!ok));
  });
  return ok;
}

win::UINT SimMachine::SetErrorMode(win::UINT mode) {
  State& s = *state_;
  const win::UINT previous = s.errorMode;
  s.errorMode = mode;
  s.Record(Call::SetErrorMode, [&] { return FormatCall(Call::SetErrorMode, {Hex(mode)}, Hex(previous)); });
  return previous;
}

win::UINT SimMachine::ErrorMode() const { return state_->errorMode; }

// --- Code pages ------------------------------------------------------------------------

int SimMachine::MultiByteToWideChar(win::UINT codePage, win::DWORD flags, const char* multiByte,
                                    int multiByteLength, char16_t* wide, int wideLength) {
  State& s = *state_;
  int result = 0;
  if (multiByte == nullptr || multiByteLength == 0 || multiByteLength < -1 || wideLength < 0 ||
      (wide == nullptr && wideLength > 0) ||
      (codePage != win::CP_ACP && codePage != win::CP_UTF8)) {
    s.lastError = win::ERROR_INVALID_PARAMETER;
  } else {
    // -1: up to and including the terminating zero.
    const std::size_t length = multiByteLength == -1 ? std::char_traits<char>::length(multiByte) + 1
                                                     : static_cast<std::size_t>(multiByteLength);
    const std::string_view bytes(multiByte, length);
    std::u16string converted;
    if (codePage == win::CP_UTF8) {
      converted = FromUtf8(bytes);
    } else {
      // The simulated machine's ANSI code page is Windows-1252.
      converted.reserve(bytes.size());
      for (char c : bytes) converted += FromCp1252(static_cast<unsigned char>(c));
    }
    if (wideLength == 0) {
      result = static_cast<int>(converted.size());
    } else if (converted.size() > static_cast<std::size_t>(wideLength)) {
      s.lastError = win::ERROR_INSUFFICIENT_BUFFER;
    } else {
      std::copy(converted.begin(), converted.end(), wide);
      result = static_cast<int>(converted.size());
    }
  }
  s.Record(Call::MultiByteToWideChar, [&] {
    return FormatCall(Call::MultiByteToWideChar,
                      {Dec(codePage), Hex(flags), Dec(multiByteLength), Dec(wideLength)},
                      Dec(result) + s.ErrorSuffix(result == 0));
  });
  return result;
}

}  // namespace quenwick::sim
