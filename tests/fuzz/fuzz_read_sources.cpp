// libFuzzer target: the database tool's readers of Definition sources, family
// sources and fixtures over arbitrary text. Whatever the text, they report problems as
// diagnostics; they never crash, hang, leak or stop on an assertion (the
// fuzz build keeps assertions live, the TOML library's included).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "fixture/fixture.h"
#include "source_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  quenwick::dbtool::Diagnostics diagnostics;
  const bool read = quenwick::dbtool::ReadSourceText(text, "f.toml", diagnostics).has_value();
  // A source that could not be read always says why.
  if (!read && !diagnostics.HasErrors()) std::abort();
  // The same text as a file of the definitions folder: a family source too.
  quenwick::dbtool::Diagnostics familyDiagnostics;
  quenwick::dbtool::ReadSources(text, "f.toml", "f", familyDiagnostics);
  quenwick::dbtool::Diagnostics fixtureDiagnostics;
  if (!quenwick::dbtool::fixture::ReadFixtureText(text, "f.toml", fixtureDiagnostics) &&
      !fixtureDiagnostics.HasErrors()) {
    std::abort();
  }
  return 0;
}
