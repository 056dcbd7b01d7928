// No proof, no pass: every Definition needs a fixture that expects it found
// (it finds what it was written for) and a look-alike fixture, a machine in
// its own fixture folder where it must not be found (it does not fire on a
// similar name or on its folder without the trace that anchors it).
#include <algorithm>

#include "lint/lint.h"

namespace quenwick::dbtool {
namespace {

bool Expects(const fixture::FixtureInstance& instance, const std::string& stem) {
  const auto& found = instance.fixture.expect.found;
  return std::find(found.begin(), found.end(), stem) != found.end();
}

// A fixture written for some brands of a family is a look-alike only for
// those brands; an ordinary fixture in the folder is one for every brand.
bool IsAbout(const fixture::FixtureInstance& instance, const SourceDefinition& source) {
  return instance.brand.empty() || instance.brand == source.brand;
}

}  // namespace

void CheckFixtureProof(const std::vector<SourceDefinition>& sources,
                       const std::vector<fixture::LoadedFixture>& fixtures, Diagnostics& out) {
  for (const SourceDefinition& source : sources) {
    if (source.readErrors) continue;
    const std::string folder = fixture::FixtureFolderOf(source);
    bool found = false;
    bool lookAlike = false;
    for (const auto& loaded : fixtures) {
      for (const auto& instance : loaded.instances) {
        if (Expects(instance, source.stem)) {
          found = true;
        } else if (loaded.folder == folder && IsAbout(instance, source)) {
          lookAlike = true;
        }
      }
    }
    const std::string who = source.brand.empty() ? "" : "brand '" + source.brand + "': ";
    // A brand's own line is its entry in `brands`, where its id stands.
    const SourcePos pos = source.brand.empty() ? source.namePos : source.idPos;
    const std::string infected =
        "describe an infected machine in fixtures/" + folder + "/<case>.toml with " +
        (source.brand.empty() ? "found = ['" + source.stem + "']"
                              : "family = '" + folder + "', brands = ['" + source.brand + "'] and found = ['${handle}']");
    const std::string lookAlikeFix = "add to fixtures/" + folder +
                                     "/ a machine where it must not be found (a similar name, or its folder "
                                     "without the trace that anchors it)";
    if (!found && !lookAlike) {
      out.Warning(source.file, pos, "no-fixture",
                  who + "no fixture tests '" + source.stem + "': " + infected + ", and " + lookAlikeFix);
    } else if (!found) {
      out.Warning(source.file, pos, "no-found-fixture",
                  who + "no fixture expects '" + source.stem + "' found: " + infected);
    } else if (!lookAlike) {
      out.Warning(source.file, pos, "no-lookalike-fixture",
                  who + "no look-alike fixture for '" + source.stem + "': " + lookAlikeFix);
    }
  }
}

}  // namespace quenwick::dbtool
