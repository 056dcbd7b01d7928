// The linter's individual checks, shared by lint.cpp's walk over the fields.
#pragma once

#include <string>
#include <string_view>

#include "diagnostics.h"
#include "element_fields.h"
#include "source_model.h"

namespace quenwick::dbtool::lint {

// Where the checks report.
struct Reporter {
  const SourceDefinition& source;
  Diagnostics& out;
  void Error(SourcePos pos, std::string code, std::string message) const {
    out.Error(source.file, pos, std::move(code), std::move(message));
  }
  void Warning(SourcePos pos, std::string code, std::string message) const {
    out.Warning(source.file, pos, std::move(code), std::move(message));
  }
};

std::string Show(std::u16string_view text);  // for messages, quoted

// File, folder and program paths: the leading macro, macros elsewhere,
// wildcards.
void CheckPathText(const Reporter& report, SourcePos pos, FieldRole role, std::u16string_view text);

// Slips in a path or key that still reads as text (path_slips.cpp): a
// control character, and for file, folder and program paths a macro that
// never closes or runs into the next name, and a fixed drive letter.
void CheckPathSlips(const Reporter& report, SourcePos pos, FieldRole role, std::u16string_view text);

// A FolderDelete or FileDelete path that names a whole system location.
void CheckDeletedPath(const Reporter& report, SourcePos pos, std::u16string_view text);

// A KillProcess program that is one of Windows' own processes.
void CheckKilledProgram(const Reporter& report, SourcePos pos, std::u16string_view text);

// A registry path: its root must be one the program recognises.
void CheckRegistryPath(const Reporter& report, SourcePos pos, FieldRole role,
                       std::u16string_view text);

// A RegKeyDelete of a key that Windows needs whole.
void CheckDeletedKey(const Reporter& report, SourcePos pos, std::u16string_view text);

// A RegValueDelete of a value that Windows needs (Winlogon's Userinit, Shell).
void CheckDeletedValue(const Reporter& report, SourcePos pos, std::u16string_view key,
                       std::u16string_view valueName);

// A RegValueRepair of a well-known Windows setting (well_known_settings.h)
// must write its default. Literal key and value name only: a computed key is
// not known before the run. `replacement` is null when it is a variable.
void CheckRepairedSetting(const Reporter& report, SourcePos pos, std::u16string_view key,
                          std::u16string_view valueName, const std::u16string* replacement);

// A RegValueRepair marker must name the rogue: a bare Windows file name
// matches the setting whoever took it over.
void CheckRepairMarker(const Reporter& report, SourcePos pos, std::u16string_view marker);

}  // namespace quenwick::dbtool::lint
