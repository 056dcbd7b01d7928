// A generated set of Definitions for measuring one scan pass: a mix of the
// four existence preconditions and of GetRegValue / ExtractPathFromCommand /
// StrConcat chains, each Definition naming traces of its own rogue. On a
// clean machine every Definition stops at its first precondition; with
// PlantTraces every precondition of every Definition holds.
//
// Shared by the scan benchmark and the unit test that pins down the calls
// each precondition makes.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "base/utf8.h"
#include "database/database_writer.h"
#include "database/load_definitions.h"
#include "elements/extract_path_from_command.h"
#include "elements/file_exist.h"
#include "elements/folder_exist.h"
#include "elements/get_reg_value.h"
#include "elements/reg_key_exist.h"
#include "elements/reg_value_exist.h"
#include "elements/str_concat.h"
#include "engine/definition.h"
#include "platform/sim/sim_machine.h"

namespace quenwick::testing_support {

// How a precondition reaches the machine; the calls differ with each.
enum class PreconditionKind {
  FileExistShellFolder,    // "%CSIDL_PROGRAM_FILES%\..."
  FileExistEnvironment,    // "%SystemRoot%\..."
  FolderExistShellFolder,  // "%CSIDL_APPDATA%\..."
  FolderExistEnvironment,  // "%APPDATA%\..."
  FolderExistPlain,        // a variable holding a plain path
  RegKeyExist,
  RegValueExist,
  GetRegValue,
  ExtractPathFromCommand,
  StrConcat,
};

inline const char* KindName(PreconditionKind kind) {
  switch (kind) {
    case PreconditionKind::FileExistShellFolder: return "FileExist(shell folder)";
    case PreconditionKind::FileExistEnvironment: return "FileExist(environment)";
    case PreconditionKind::FolderExistShellFolder: return "FolderExist(shell folder)";
    case PreconditionKind::FolderExistEnvironment: return "FolderExist(environment)";
    case PreconditionKind::FolderExistPlain: return "FolderExist(plain path)";
    case PreconditionKind::RegKeyExist: return "RegKeyExist";
    case PreconditionKind::RegValueExist: return "RegValueExist";
    case PreconditionKind::GetRegValue: return "GetRegValue";
    case PreconditionKind::ExtractPathFromCommand: return "ExtractPathFromCommand";
    case PreconditionKind::StrConcat: return "StrConcat";
  }
  return "?";
}

struct ScanWorkload {
  std::vector<std::unique_ptr<Definition>> definitions;
  // Parallel to each Definition's precondition list.
  std::vector<std::vector<PreconditionKind>> kinds;
};

inline constexpr std::u16string_view kWorkloadRunKey =
    u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";

inline std::u16string RogueName(std::size_t i) { return u"Rogue" + FromUtf8(std::to_string(i)); }

// `count` Definitions cycling through five shapes.
inline ScanWorkload MakeScanWorkload(std::size_t count) {
  ScanWorkload workload;
  for (std::size_t i = 0; i < count; ++i) {
    const std::u16string rogue = RogueName(i);
    auto definition = std::make_unique<Definition>(2);
    definition->name = rogue;
    definition->id = FromUtf8(std::to_string(i));
    std::vector<PreconditionKind> kinds;
    auto add = [&](std::unique_ptr<Precondition> element, PreconditionKind kind) {
      definition->preconditions.push_back(std::move(element));
      kinds.push_back(kind);
    };
    auto fileExist = [&](std::u16string path) {
      auto e = std::make_unique<FileExist>();
      e->owner = definition.get();
      e->path = Operand::Text(std::move(path));
      return e;
    };
    auto folderExist = [&](Operand path) {
      auto e = std::make_unique<FolderExist>();
      e->owner = definition.get();
      e->path = std::move(path);
      return e;
    };
    switch (i % 5) {
      case 0:
        add(fileExist(u"%CSIDL_PROGRAM_FILES%\\" + rogue + u"\\" + rogue + u".exe"),
            PreconditionKind::FileExistShellFolder);
        add(folderExist(Operand::Text(u"%CSIDL_APPDATA%\\" + rogue)), PreconditionKind::FolderExistShellFolder);
        break;
      case 1:
        add(fileExist(u"%SystemRoot%\\System32\\" + rogue + u".dll"), PreconditionKind::FileExistEnvironment);
        add(folderExist(Operand::Text(u"%APPDATA%\\" + rogue)), PreconditionKind::FolderExistEnvironment);
        break;
      case 2: {
        auto key = std::make_unique<quenwick::RegKeyExist>();
        key->owner = definition.get();
        key->key = Operand::Text(u"HKEY_LOCAL_MACHINE\\SOFTWARE\\" + rogue);
        add(std::move(key), PreconditionKind::RegKeyExist);
        auto value = std::make_unique<quenwick::RegValueExist>();
        value->owner = definition.get();
        value->key = Operand::Text(u"HKEY_LOCAL_MACHINE\\SOFTWARE\\" + rogue);
        value->valueName = Operand::Text(u"Version");
        add(std::move(value), PreconditionKind::RegValueExist);
        break;
      }
      case 3: {
        auto value = std::make_unique<quenwick::RegValueExist>();
        value->owner = definition.get();
        value->key = Operand::Text(std::u16string(kWorkloadRunKey));
        value->valueName = Operand::Text(rogue);
        add(std::move(value), PreconditionKind::RegValueExist);
        break;
      }
      default: {
        // The chain of an autostart value: program path, then its folder.
        auto get = std::make_unique<quenwick::GetRegValue>();
        get->owner = definition.get();
        get->keyPath = Operand::Text(std::u16string(kWorkloadRunKey));
        get->valueName = Operand::Text(rogue + u" Agent");
        get->target = 0;
        add(std::move(get), PreconditionKind::GetRegValue);
        auto extract = std::make_unique<quenwick::ExtractPathFromCommand>();
        extract->owner = definition.get();
        extract->command = Operand::Variable(0);
        extract->target = 0;
        add(std::move(extract), PreconditionKind::ExtractPathFromCommand);
        auto up = std::make_unique<quenwick::StrConcat>();
        up->owner = definition.get();
        up->first = Operand::Variable(0);
        up->second = Operand::Text(u"\\..");
        up->target = 1;
        add(std::move(up), PreconditionKind::StrConcat);
        add(folderExist(Operand::Variable(1)), PreconditionKind::FolderExistPlain);
        break;
      }
    }
    workload.definitions.push_back(std::move(definition));
    workload.kinds.push_back(std::move(kinds));
  }
  return workload;
}

// The workload as the program holds it: written as a database and parsed
// back, as the loader does with the embedded one. Empty when parsing fails.
inline ScanWorkload MakeScanDatabase(std::size_t count) {
  ScanWorkload workload = MakeScanWorkload(count);
  const std::vector<std::uint8_t> bytes = SerializeDatabase(workload.definitions);
  LoadResult loaded = ParseDatabase(bytes);
  if (loaded.status != LoadStatus::kOk || loaded.definitions.size() != count) return {};
  workload.definitions = std::move(loaded.definitions);
  return workload;
}

// Puts every trace the workload's Definition `i` looks for on the machine.
inline void PlantTraces(sim::SimMachine& machine, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) {
    const std::u16string rogue = RogueName(i);
    switch (i % 5) {
      case 0:
        machine.AddFile(u"C:\\Program Files\\" + rogue + u"\\" + rogue + u".exe");
        machine.AddFolder(u"C:\\Users\\User\\AppData\\Roaming\\" + rogue);
        break;
      case 1:
        machine.AddFile(u"C:\\Windows\\System32\\" + rogue + u".dll");
        machine.AddFolder(u"C:\\Users\\User\\AppData\\Roaming\\" + rogue);
        break;
      case 2:
        machine.SetString(u"HKEY_LOCAL_MACHINE\\SOFTWARE\\" + rogue, u"Version", u"1.0");
        break;
      case 3:
        machine.SetString(kWorkloadRunKey, rogue, u"C:\\" + rogue + u".exe");
        break;
      default:
        machine.AddFile(u"C:\\Program Files\\" + rogue + u"\\agent.exe");
        machine.SetString(kWorkloadRunKey, rogue + u" Agent",
                          u"\"C:\\Program Files\\" + rogue + u"\\agent.exe\" /tray");
        break;
    }
  }
}

// The machine's folders as the workload's paths assume them.
inline void PrepareWorkloadMachine(sim::SimMachine& machine) {
  machine.SetShellFolder(win::CSIDL_PROGRAM_FILES, u"C:\\Program Files");
  machine.SetShellFolder(win::CSIDL_APPDATA, u"C:\\Users\\User\\AppData\\Roaming");
  machine.SetEnvironment(u"SystemRoot", u"C:\\Windows");
  machine.SetEnvironment(u"APPDATA", u"C:\\Users\\User\\AppData\\Roaming");
  machine.AddKey(kWorkloadRunKey);
}

struct KindCalls {
  std::size_t evaluated = 0;  // preconditions of this kind whose Check ran
  std::size_t calls = 0;      // platform calls they made together
};

// One scan pass that evaluates preconditions exactly as Definition::Scan does
// (in order, stopping at the first result other than 1) and charges the
// platform calls of each Check to its kind. Returns the number of
// Definitions found.
inline std::size_t AccountedScan(const ScanWorkload& workload, const sim::SimMachine& machine,
                                 std::map<PreconditionKind, KindCalls>& byKind) {
  std::size_t found = 0;
  for (std::size_t d = 0; d < workload.definitions.size(); ++d) {
    const Definition& definition = *workload.definitions[d];
    bool all = true;
    try {
      for (std::size_t p = 0; p < definition.preconditions.size(); ++p) {
        const std::size_t before = machine.TotalCalls();
        const std::int32_t result = definition.preconditions[p]->Check();
        KindCalls& entry = byKind[workload.kinds[d][p]];
        ++entry.evaluated;
        entry.calls += machine.TotalCalls() - before;
        if (result != 1) {
          all = false;
          break;
        }
      }
    } catch (...) {
      all = false;
    }
    if (all) ++found;
  }
  return found;
}

}  // namespace quenwick::testing_support
