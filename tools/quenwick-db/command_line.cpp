#include "command_line.h"

namespace quenwick::dbtool {

bool CommandLine::Parse(Arguments args, std::ostream& err) {
  for (std::size_t i = 0; i < args.size(); ++i) {
    std::string arg = args[i];
    if (arg.size() < 2 || arg[0] != '-') {
      positional_.push_back(arg);
      continue;
    }
    // "--format=json" is "--format json".
    std::optional<std::string> attached;
    if (const std::size_t equals = arg.find('='); arg.starts_with("--") && equals != std::string::npos) {
      attached = arg.substr(equals + 1);
      arg.resize(equals);
    }
    if (const auto alias = aliases_.find(arg); alias != aliases_.end()) arg = alias->second;
    if (attached) {
      if (!withValue_.count(arg)) {
        err << "quenwick-db: " << (flags_.count(arg) ? "the option " + arg + " takes no value" : "unknown option " + args[i]) << '\n';
        return false;
      }
      values_[arg] = *attached;
    } else if (flags_.count(arg)) {
      setFlags_.insert(arg);
    } else if (withValue_.count(arg)) {
      if (i + 1 >= args.size()) {
        err << "quenwick-db: " << arg << " needs a value\n";
        return false;
      }
      values_[arg] = args[++i];
    } else {
      err << "quenwick-db: unknown option " << args[i] << '\n';
      return false;
    }
  }
  return true;
}

std::optional<std::string> CommandLine::Value(const std::string& option) const {
  const auto it = values_.find(option);
  if (it == values_.end()) return std::nullopt;
  return it->second;
}

}  // namespace quenwick::dbtool
