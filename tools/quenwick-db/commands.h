// The subcommands of quenwick-db. Each takes its arguments (without the
// program and subcommand names), writes its report to `out` and its errors
// to `err`, and returns the process exit code.
#pragma once

#include <ostream>
#include <span>
#include <string>

namespace quenwick::dbtool {

using Arguments = std::span<const std::string>;

int RunBuild(Arguments args, std::ostream& out, std::ostream& err);
int RunUnpack(Arguments args, std::ostream& out, std::ostream& err);
int RunLint(Arguments args, std::ostream& out, std::ostream& err);
int RunList(Arguments args, std::ostream& out, std::ostream& err);
int RunInfo(Arguments args, std::ostream& out, std::ostream& err);
int RunTest(Arguments args, std::ostream& out, std::ostream& err);
int RunResource(Arguments args, std::ostream& out, std::ostream& err);
int RunCatalogue(Arguments args, std::ostream& out, std::ostream& err);

// Dispatches `argv[1]` to its subcommand; prints the usage for anything else.
int RunQuenwickDb(Arguments argv, std::ostream& out, std::ostream& err);

// Exit codes shared by the subcommands.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;  // errors in the input, failed tests
inline constexpr int kExitUsage = 2;    // bad command line

}  // namespace quenwick::dbtool
