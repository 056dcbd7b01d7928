#include "elements/extract_path_from_command.h"

#include "engine/definition.h"

namespace quenwick {
namespace {

// The program path of a command line: the text between the first two double
// quotes when it begins with one, else everything before the first space. No
// extension is looked for, so an unquoted path with a space is cut there.
std::u16string ProgramPath(std::u16string_view command) {
  if (!command.empty() && command.front() == u'"') {
    const std::size_t closing = command.find(u'"', 1);
    // An opening quote without a closing one: the whole text, quote included.
    if (closing == std::u16string_view::npos) return std::u16string(command);
    return std::u16string(command.substr(1, closing - 1));
  }
  return std::u16string(command.substr(0, command.find(u' ')));
}

void Extract(const ExtractPathFromCommand& element) {
  std::u16string path = ProgramPath(OperandText(element.command, *element.owner));
  element.owner->SetVariable(element.target, std::move(path));
}

}  // namespace

std::int32_t ExtractPathFromCommand::Check() {
  Extract(*this);
  return 1;
}

std::int32_t ExtractPathFromCommand::Execute() {
  Extract(*this);
  return 0;
}

}  // namespace quenwick
