// A small parser for the subcommands' arguments: positional arguments and
// options that take a value ("-o FILE", "--format json" or "--format=json")
// or none ("--force").
#pragma once

#include <map>
#include <optional>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "commands.h"

namespace quenwick::dbtool {

class CommandLine {
 public:
  // `withValue` and `flags` list the accepted options (both spellings, e.g.
  // "-o" and "--output", map to the first name given in `aliases`).
  CommandLine(std::set<std::string> withValue, std::set<std::string> flags,
              std::map<std::string, std::string> aliases = {})
      : withValue_(std::move(withValue)), flags_(std::move(flags)), aliases_(std::move(aliases)) {}

  // False (with a message on `err`) for an unknown option or a missing value.
  bool Parse(Arguments args, std::ostream& err);

  const std::vector<std::string>& positional() const { return positional_; }
  std::optional<std::string> Value(const std::string& option) const;
  bool Flag(const std::string& option) const { return setFlags_.count(option) > 0; }

 private:
  std::set<std::string> withValue_;
  std::set<std::string> flags_;
  std::map<std::string, std::string> aliases_;
  std::vector<std::string> positional_;
  std::map<std::string, std::string> values_;
  std::set<std::string> setFlags_;
};

}  // namespace quenwick::dbtool
