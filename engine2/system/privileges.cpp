#include "system/privileges.h"

#include "platform/platform.h"
#include "system/scoped_handle.h"

namespace quenwick {

// One privilege with its attributes: the size the adjustment call is given.
static_assert(sizeof(win::TOKEN_PRIVILEGES) == 16);

bool EnablePrivilege(const std::u16string& name) {
  Platform& sys = Sys();
  win::HANDLE rawToken{};
  if (!sys.OpenProcessToken(sys.GetCurrentProcess(), win::TOKEN_ADJUST_PRIVILEGES, &rawToken)) {
    return false;
  }
  const ScopedHandle token(rawToken);
  win::LUID luid{};
  if (!sys.LookupPrivilegeValueW(nullptr, name.c_str(), &luid)) return false;
  win::TOKEN_PRIVILEGES state{};
  state.PrivilegeCount = 1;
  state.Privileges[0].Luid = luid;
  state.Privileges[0].Attributes = win::SE_PRIVILEGE_ENABLED;
  // Success of the call is the answer: a token that lacks the privilege
  // altogether still reports success (with ERROR_NOT_ALL_ASSIGNED), and the
  // callers find out when the privileged operation itself is refused.
  return sys.AdjustTokenPrivileges(token.get(), 0, &state, sizeof(state), nullptr, nullptr) != 0;
}

void RestartComputer() {
  // Without EWX_FORCE, so that running applications may hold the restart up
  // in the usual way. The restart goes on after this returns.
  // Asked for anyway: without it Windows refuses the restart, and there is
  // nothing else to try.
  (void)EnablePrivilege(u"SeShutdownPrivilege");
  Sys().ExitWindowsEx(win::EWX_REBOOT, win::SHTDN_REASON_MAJOR_APPLICATION);
}

}  // namespace quenwick
