// The guard between the removal layer and the file system.
//
// Every deletion, attribute change and registration for deletion at the next
// start that the removal layer makes asks here first (see removal_calls.h).
// A refused path is left exactly as it was; the caller sees the call fail
// with ERROR_ACCESS_DENIED, and nothing is retried for it.
//
// Reading the protected places of the machine takes a few dozen calls, so
// they are read once per removal and shared with everything it removes; a
// caller that removes many things (a whole clean pass) holds a GuardScope so
// that they are read once for all of them.
#pragma once

#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace quenwick::removal {

// The protected places of the running machine, read when made.
class ProtectedPlaces {
 public:
  ProtectedPlaces();

  // `normal` is a normalised path (protected_places.h). True when it is not
  // rooted, is a protected folder or holds one, or is the program's own
  // executable.
  bool Refuses(std::u16string_view normal) const;

 private:
  std::vector<std::u16string> folders_;
  std::u16string ownExecutable_;
};

// While one exists, the guard reads the places once, when first asked, and
// uses them for every later question. Scopes nest: inner ones share the
// outermost one's places.
class GuardScope {
 public:
  GuardScope();
  ~GuardScope();
  GuardScope(const GuardScope&) = delete;
  GuardScope& operator=(const GuardScope&) = delete;

  // The places of the outermost scope, read on first use.
  static const ProtectedPlaces& Places();

  // Paths registered for deletion at the next start while the outermost
  // scope lives (compared in normal form).
  static bool AlreadyRegistered(std::u16string_view path);
  static void RememberRegistered(std::u16string_view path);

 private:
  bool outermost_ = false;
  std::unique_ptr<ProtectedPlaces> places_;
  std::set<std::u16string> registered_;
};

// A path named by the caller of a removal: normalised in full (long form
// included), so that a short name or a ".." cannot disguise a protected place.
// True when it must be left alone: a protected folder or one holding one, a
// file Windows protects, the program itself, a path without a root, or one
// too long for any Windows call (which is not normalised at all).
bool RefusesNamedPath(std::u16string_view path);

// A path met inside a removal that passed RefusesNamedPath: the folder it
// started from with names read from the file system, so the lexical form is
// enough. The same rules.
bool RefusesEntry(std::u16string_view path);

}  // namespace quenwick::removal
