#include "system/removal_guard.h"

#include "platform/platform.h"
#include "system/protected_places.h"
#include "system/removal_calls.h"

namespace quenwick::removal {
namespace {

// The outermost live scope. The program removes from one thread.
GuardScope* outermost = nullptr;

bool Refuses(std::u16string_view path, std::u16string_view normal) {
  if (GuardScope::Places().Refuses(normal)) return true;
  const std::u16string text(path);
  return Sys().SfcIsFileProtected(win::HANDLE{}, text.c_str()) != 0;
}

}  // namespace

ProtectedPlaces::ProtectedPlaces()
    : folders_(ProtectedFolders()), ownExecutable_(OwnExecutablePath()) {}

bool ProtectedPlaces::Refuses(std::u16string_view normal) const {
  if (!IsRootedNormalPath(normal)) return true;
  // Every drive root, also one that came after the places were read (a stick
  // put in during the run).
  if (normal.size() == 3 && normal[1] == u':') return true;
  if (!ownExecutable_.empty() && normal == ownExecutable_) return true;
  for (const std::u16string& folder : folders_) {
    if (IsSameOrAncestorPath(normal, folder)) return true;
  }
  return false;
}

GuardScope::GuardScope() {
  if (outermost != nullptr) return;
  outermost = this;
  outermost_ = true;
}

GuardScope::~GuardScope() {
  if (!outermost_) return;
  outermost = nullptr;
}

const ProtectedPlaces& GuardScope::Places() {
  // Every question opens a scope first, so there is an outermost one.
  if (!outermost->places_) outermost->places_ = std::make_unique<ProtectedPlaces>();
  return *outermost->places_;
}

bool GuardScope::AlreadyRegistered(std::u16string_view path) {
  GuardScope scope;
  return outermost->registered_.count(NormalizePathLexically(path)) != 0;
}

void GuardScope::RememberRegistered(std::u16string_view path) {
  GuardScope scope;
  outermost->registered_.insert(NormalizePathLexically(path));
}

bool RefusesNamedPath(std::u16string_view path) {
  if (path.size() >= kMaxLongPath) return true;
  GuardScope scope;
  return Refuses(path, NormalizePathForComparison(path));
}

bool RefusesEntry(std::u16string_view path) {
  GuardScope scope;
  return Refuses(path, NormalizePathLexically(path));
}

}  // namespace quenwick::removal
