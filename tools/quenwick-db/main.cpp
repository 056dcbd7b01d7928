// quenwick-db: the database toolchain. Everything lives in the
// quenwick_dbtool library; this is only the process entry.
#include <iostream>
#include <string>
#include <vector>

#include "commands.h"

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv, argv + argc);
  return quenwick::dbtool::RunQuenwickDb(args, std::cout, std::cerr);
}
