// SimMachine's construction, the handle table, call accounting and the
// privilege table.
#include "platform/sim/sim_state.h"

namespace quenwick::sim {

using detail::Call;

namespace {
// The current user's security identifier: HKEY_CURRENT_USER is its hive
// under HKEY_USERS, as on Windows.
constexpr std::u16string_view kUserSid = u"S-1-5-21-1004336348-1177238915-682003330-1000";

// Privileges an elevated administrator's token has enabled from the start.
constexpr std::array<std::u16string_view, 3> kEnabledAtStart = {
    u"SeChangeNotifyPrivilege", u"SeCreateGlobalPrivilege", u"SeImpersonatePrivilege"};
}  // namespace

namespace detail {

const std::vector<Privilege>& Privileges() {
  static const std::vector<Privilege> privileges = {
      {u"SeCreateTokenPrivilege", 2},        {u"SeAssignPrimaryTokenPrivilege", 3},
      {u"SeLockMemoryPrivilege", 4},         {u"SeIncreaseQuotaPrivilege", 5},
      {u"SeMachineAccountPrivilege", 6},     {u"SeTcbPrivilege", 7},
      {u"SeSecurityPrivilege", 8},           {u"SeTakeOwnershipPrivilege", 9},
      {u"SeLoadDriverPrivilege", 10},        {u"SeSystemProfilePrivilege", 11},
      {u"SeSystemtimePrivilege", 12},        {u"SeProfileSingleProcessPrivilege", 13},
      {u"SeIncreaseBasePriorityPrivilege", 14}, {u"SeCreatePagefilePrivilege", 15},
      {u"SeCreatePermanentPrivilege", 16},   {u"SeBackupPrivilege", 17},
      {u"SeRestorePrivilege", 18},           {u"SeShutdownPrivilege", 19},
      {u"SeDebugPrivilege", 20},             {u"SeAuditPrivilege", 21},
      {u"SeSystemEnvironmentPrivilege", 22}, {u"SeChangeNotifyPrivilege", 23},
      {u"SeRemoteShutdownPrivilege", 24},    {u"SeUndockPrivilege", 25},
      {u"SeSyncAgentPrivilege", 26},         {u"SeEnableDelegationPrivilege", 27},
      {u"SeManageVolumePrivilege", 28},      {u"SeImpersonatePrivilege", 29},
      {u"SeCreateGlobalPrivilege", 30},      {u"SeTrustedCredManAccessPrivilege", 31},
      {u"SeRelabelPrivilege", 32},           {u"SeIncreaseWorkingSetPrivilege", 33},
      {u"SeTimeZonePrivilege", 34},          {u"SeCreateSymbolicLinkPrivilege", 35},
  };
  return privileges;
}

std::optional<win::DWORD> PrivilegeLuid(std::u16string_view name) {
  // Windows looks privilege names up without regard to case.
  for (const Privilege& p : Privileges()) {
    if (EqualsIgnoreAsciiCase(p.name, name)) return p.luid;
  }
  return std::nullopt;
}

const char16_t* PrivilegeName(win::DWORD luid) {
  for (const Privilege& p : Privileges()) {
    if (p.luid == luid) return p.name;
  }
  return nullptr;
}

void CopyWithTerminator(std::u16string_view text, char16_t* buffer) {
  text.copy(buffer, text.size());
  buffer[text.size()] = u'\0';
}

}  // namespace detail

SimMachine::State::State() {
  auto makeRoot = [](std::u16string_view name) {
    auto root = std::make_shared<detail::RegKey>();
    root->name = name;
    root->folded = detail::Fold(name);
    root->permanent = true;
    return root;
  };
  hklm = makeRoot(u"HKEY_LOCAL_MACHINE");
  hku = makeRoot(u"HKEY_USERS");
  hkcu = hku->AddSubkey(kUserSid);
  hkcu->permanent = true;
  // HKEY_CLASSES_ROOT is the machine's class registration key. (Windows
  // overlays the user's own Software\Classes on it; the program never relies
  // on that, so the simulated machine leaves it out.)
  hkcr = hklm->AddSubkey(u"SOFTWARE")->AddSubkey(u"Classes");
  hkcr->permanent = true;

  for (const detail::Privilege& p : detail::Privileges()) heldPrivileges.insert(p.luid);
  for (std::u16string_view name : kEnabledAtStart) {
    enabledPrivileges.insert(*detail::PrivilegeLuid(name));
  }
}

std::string SimMachine::State::ErrorSuffix(bool failed) const {
  if (!failed) return {};
  return ", error " + std::to_string(lastError);
}

std::uintptr_t SimMachine::State::AddHandle(detail::HandleObject object) {
  const std::uintptr_t value = nextHandle;
  nextHandle += 4;  // handle values are multiples of 4, as on Windows
  handles.emplace(value, std::move(object));
  return value;
}

SimMachine::SimMachine() : state_(std::make_unique<State>()) {}
SimMachine::~SimMachine() = default;

std::size_t SimMachine::CallCount(std::string_view function) const {
  const std::optional<Call> call = detail::CallByName(function);
  return call ? state_->counts[static_cast<std::size_t>(*call)] : 0;
}

std::size_t SimMachine::TotalCalls() const { return state_->totalCalls; }
const std::vector<std::string>& SimMachine::CallLog() const { return state_->callLog; }

void SimMachine::ResetCallLog() {
  state_->callLog.clear();
  state_->counts.fill(0);
  state_->totalCalls = 0;
}

void SimMachine::SetCallLogging(bool enabled) { state_->logging = enabled; }

std::size_t SimMachine::OpenHandleCount() const { return state_->handles.size(); }

win::DWORD SimMachine::GetLastError() {
  const win::DWORD error = state_->lastError;
  state_->Record(Call::GetLastError, [&] { return detail::FormatCall(Call::GetLastError, {}, detail::Dec(error)); });
  return error;
}

}  // namespace quenwick::sim
