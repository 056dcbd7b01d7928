// The deletion and termination checks, answered by the program's own guard
// on a standard machine: a path is resolved as the program resolves it
// (leading macro, "\.." and "\."), then judged with the same protected
// places, keys and processes, so that lint and the program never disagree.
#include <memory>

#include "base/utf8.h"
#include "engine/path_expansion.h"
#include "lint_rules.h"
#include "platform/sim/sim_machine.h"
#include "system/protected_places.h"
#include "system/registry_key.h"
#include "system/removal_guard.h"
#include "system/safety_tables.h"

namespace quenwick::dbtool::lint {
namespace {

// The machine the checks resolve paths on: the simulated standard
// installation (C:\Windows, C:\Program Files, C:\Users\User, ...).
sim::SimMachine& StandardMachine() {
  static const std::unique_ptr<sim::SimMachine> machine = sim::SimMachine::Standard();
  return *machine;
}

// `text` as the program resolves it on the standard machine; empty when it
// names nothing (a wildcard) or keeps an unknown macro, which CheckPathText
// reports on its own.
std::u16string Resolve(std::u16string_view text) {
  std::u16string path = ResolvePath(text);
  if (path.starts_with(u'%')) return {};
  return path;
}

bool IsDriveRoot(std::u16string_view normal) {
  return normal.size() == 3 && normal[1] == u':' && normal[2] == u'\\';
}

// `normal` is inside (or is) Windows' own folder.
bool IsInWindowsFolder(std::u16string_view normal) {
  const std::u16string windows = NormalizePathForComparison(ExpandFolderMacro(u"%CSIDL_WINDOWS%"));
  return IsSameOrAncestorPath(windows, normal);
}

std::u16string ProgramPart(std::u16string_view text) {
  std::u16string program(text);
  if (!program.empty() && program[0] == u'"') {
    const std::size_t close = program.find(u'"', 1);
    program = program.substr(1, close == std::u16string::npos ? std::u16string::npos : close - 1);
  }
  return program;
}

}  // namespace

void CheckDeletedPath(const Reporter& report, SourcePos pos, std::u16string_view text) {
  sim::ScopedPlatform scope(StandardMachine());
  const std::u16string path = Resolve(text);
  if (path.empty() || !removal::RefusesNamedPath(path)) return;
  const std::u16string normal = NormalizePathForComparison(path);
  std::string what;
  if (!IsRootedNormalPath(normal)) {
    what = "a path without a drive, which names no one place";
  } else if (IsDriveRoot(normal)) {
    what = "a whole drive";
  } else if (IsInWindowsFolder(normal)) {
    what = "Windows' own folder " + Show(normal) + " on a standard machine";
  } else {
    what = Show(normal) + " on a standard machine, a protected folder or one that holds one";
  }
  report.Error(pos, "deletes-system-location", "deletes " + Show(text) + ", " + what + ": the program will refuse this");
}

void CheckKilledProgram(const Reporter& report, SourcePos pos, std::u16string_view text) {
  sim::ScopedPlatform scope(StandardMachine());
  const std::u16string program = ProgramPart(ExpandLeadingMacro(text));
  const std::u16string normal = NormalizePathLexically(program);
  const std::size_t slash = normal.rfind(u'\\');
  const std::u16string name = slash == std::u16string::npos ? normal : normal.substr(slash + 1);
  for (const safety::CriticalProcess& critical : safety::kCriticalProcesses) {
    if (name != critical.name) continue;
    // A bare name ends Windows' own process wherever it runs from.
    if (slash == std::u16string::npos || IsProtectedProcess(0, program, win::HANDLE{})) {
      report.Error(pos, "kills-system-process",
                   "terminates " + Show(critical.name) + ", a process Windows needs: the program will refuse this");
    }
    return;
  }
}

void CheckDeletedKey(const Reporter& report, SourcePos pos, std::u16string_view text) {
  const RegistryKey key(text);
  if (!key.HasRegistryPath()) return;
  if (IsProtectedKey(key.root, key.subkeyPath)) {
    report.Error(pos, "deletes-system-location",
                 "deletes the whole key " + Show(text) +
                     ", which holds other programs' entries or Windows' settings: the program will refuse this");
  }
}

}  // namespace quenwick::dbtool::lint
