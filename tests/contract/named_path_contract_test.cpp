// A path names one object for detection and deletion alike. Windows' ordinary
// rules trim a trailing dot or blank from a name, the "\\?\" form takes it
// literally; the program resolves a named path once (exact name first) and
// must then find and remove the same object.
#include <gtest/gtest.h>

#include "base/utf8.h"
#include "contract/contract_helpers.h"
#include "system/file_removal.h"
#include "system/named_path.h"
#include "system/removal_guard.h"

namespace quenwick::contract {
namespace {

class NamedPathContract : public ::testing::Test {
 protected:
  void SetUp() override {
    machine_ = MakeContractMachine();
    previous_ = InstallPlatform(&machine_->platform());
    dir_ = machine_->ScratchFolder();
  }
  void TearDown() override {
    machine_->ReleaseFiles();
    InstallPlatform(previous_);
  }
  Platform& p() { return machine_->platform(); }
  std::u16string At(std::u16string_view relative) const { return dir_ + u"\\" + std::u16string(relative); }
  static std::u16string Literal(const std::u16string& path) { return u"\\\\?\\" + path; }
  bool Exists(const std::u16string& path) {
    return p().GetFileAttributesW(Literal(path).c_str()) != win::INVALID_FILE_ATTRIBUTES;
  }

  std::unique_ptr<ContractMachine> machine_;
  Platform* previous_ = nullptr;
  std::u16string dir_;
};

// The facts: the ordinary rules trim, the "\\?\" form does not.
TEST_F(NamedPathContract, TheLongFormTakesNamesLiterally) {
  machine_->MakeFolder(At(u"Rogue Ltd"));
  machine_->MakeFile(At(u"Rogue Ltd\\rogue.exe"));
  machine_->MakeFile(Literal(At(u"trail.")));
  EXPECT_NE(p().GetFileAttributesW(At(u"Rogue Ltd.\\rogue.exe").c_str()), win::INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(p().GetFileAttributesW(Literal(At(u"Rogue Ltd.\\rogue.exe")).c_str()), win::INVALID_FILE_ATTRIBUTES);
  EXPECT_NE(p().GetFileAttributesW(Literal(At(u"trail.")).c_str()), win::INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(p().GetFileAttributesW(At(u"trail.").c_str()), win::INVALID_FILE_ATTRIBUTES);
}

// What detection finds, deletion removes: through a trimmed folder name, a
// "\.." chain through it, and a name that really ends in a dot or a blank.
TEST_F(NamedPathContract, DetectionAndDeletionNameTheSameObject) {
  machine_->MakeFolder(At(u"Rogue Ltd"));
  machine_->MakeFile(At(u"Rogue Ltd\\rogue.exe"));
  machine_->MakeFolder(At(u"Chain Ltd"));
  machine_->MakeFile(At(u"Chain Ltd\\chain.exe"));
  machine_->MakeFile(Literal(At(u"dotted.")));
  machine_->MakeFile(Literal(At(u"blank ")));
  machine_->MakeFile(At(u"dotted"));  // the ordinary rules' name for "dotted."
  struct Case {
    std::u16string named;  // as a Definition or the machine gives it
    std::u16string gone;   // what must be gone afterwards
  };
  const Case cases[] = {
      {At(u"Rogue Ltd.\\rogue.exe"), At(u"Rogue Ltd\\rogue.exe")},
      {At(u"Chain Ltd.\\chain.exe\\.."), At(u"Chain Ltd")},
      {At(u"dotted."), At(u"dotted.")},
      {At(u"blank "), At(u"blank ")},
  };
  for (const Case& c : cases) {
    const std::string label = ToUtf8(c.named);
    EXPECT_NE(PathAttributes(c.named), win::INVALID_FILE_ATTRIBUTES) << label;
    removal::GuardScope pass;
    EXPECT_EQ(RemovePath(c.named), 1) << label;
    EXPECT_FALSE(Exists(c.gone)) << label;
  }
  // The exact name was taken: the file the ordinary rules would have named stays.
  EXPECT_TRUE(Exists(At(u"dotted")));
}

}  // namespace
}  // namespace quenwick::contract
