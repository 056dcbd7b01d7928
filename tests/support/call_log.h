// Checking the platform calls an operation made on the simulated machine.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "platform/sim/sim_machine.h"

namespace quenwick::testing_support {

// The names of the calls in the log, in order ("RegOpenKeyExW", ...).
inline std::vector<std::string> CallNames(const sim::SimMachine& machine) {
  std::vector<std::string> names;
  for (const std::string& line : machine.CallLog()) names.push_back(line.substr(0, line.find('(')));
  return names;
}

// The log lines of one function, in order.
inline std::vector<std::string> CallsTo(const sim::SimMachine& machine, std::string_view function) {
  std::vector<std::string> lines;
  for (const std::string& line : machine.CallLog()) {
    if (line.size() > function.size() && line.compare(0, function.size(), function) == 0 &&
        line[function.size()] == '(') {
      lines.push_back(line);
    }
  }
  return lines;
}

inline std::string Joined(const std::vector<std::string>& lines) {
  std::string all;
  for (const std::string& line : lines) all += "  " + line + "\n";
  return all;
}

// Each logged call begins with the matching prefix, and there are exactly as
// many calls as prefixes. Reports the caller's line and the whole log.
inline void ExpectCallsBeginWith(const sim::SimMachine& machine,
                                 const std::vector<std::string>& prefixes, int line) {
  SCOPED_TRACE(::testing::Message() << "checked at line " << line << "; call log:\n"
                                    << Joined(machine.CallLog()));
  const std::vector<std::string>& log = machine.CallLog();
  ASSERT_EQ(log.size(), prefixes.size());
  for (std::size_t i = 0; i < log.size(); ++i) {
    EXPECT_EQ(log[i].substr(0, prefixes[i].size()), prefixes[i]) << "call " << i;
  }
}

}  // namespace quenwick::testing_support

#define EXPECT_CALLS(machine, ...) \
  ::quenwick::testing_support::ExpectCallsBeginWith((machine), __VA_ARGS__, __LINE__)
