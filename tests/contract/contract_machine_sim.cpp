// The contract suite's machine for the native build: a fresh standard
// simulated machine per test.
#include <set>

#include "contract/contract_machine.h"
#include "platform/sim/sim_machine.h"

namespace quenwick::contract {
namespace {

constexpr std::u16string_view kScratchFolderBase =
    u"C:\\Users\\User\\AppData\\Local\\Temp\\QuenwickContract\\case-";
constexpr std::u16string_view kScratchSubkeyBase = u"Software\\QuenwickContract\\case-";

class SimContractMachine final : public ContractMachine {
 public:
  SimContractMachine() : machine_(sim::SimMachine::Standard()) {
    // Every machine is fresh, but numbered cases keep paths apart in logs.
    static int cases = 0;
    const std::string number = std::to_string(++cases);
    caseNumber_.assign(number.begin(), number.end());
  }

  Platform& platform() override { return *machine_; }
  bool simulated() const override { return true; }

  std::u16string ScratchFolder() override {
    const std::u16string folder = std::u16string(kScratchFolderBase) + caseNumber_;
    machine_->AddFolder(folder);
    return folder;
  }
  std::u16string ScratchKeyPath() override {
    machine_->AddKey(u"HKEY_CURRENT_USER\\" + ScratchSubkey());
    return u"HKEY_CURRENT_USER\\" + ScratchSubkey();
  }
  std::u16string ScratchSubkey() override {
    return std::u16string(kScratchSubkeyBase) + caseNumber_;
  }

  void MakeFile(const std::u16string& path, win::DWORD attributes) override {
    // A file Windows creates carries ARCHIVE when nothing else is asked for.
    machine_->AddFile(path, attributes == 0 ? win::FILE_ATTRIBUTE_ARCHIVE : attributes);
  }
  void MakeFolder(const std::u16string& path) override { machine_->AddFolder(path); }
  void HoldOpen(const std::u16string& path) override {
    machine_->LockFile(path);
    held_.insert(path);
  }
  void ReleaseFiles() override {
    for (const std::u16string& path : held_) machine_->UnlockFile(path);
    held_.clear();
  }

  void MakeKey(const std::u16string& path) override { machine_->AddKey(path); }
  void MakeValue(const std::u16string& keyPath, const std::u16string& name, win::DWORD type,
                 const std::vector<std::uint8_t>& bytes) override {
    machine_->SetValue(keyPath, name, type, bytes);
  }
  void MakeKeyReadOnly(const std::u16string& path) override {
    machine_->SetKeyAccess(path, sim::KeyAccess{true, false, false});
  }

  void SetVariable(const std::u16string& name, const std::u16string& value) override {
    machine_->SetEnvironment(name, value);
  }

 private:
  std::unique_ptr<sim::SimMachine> machine_;
  std::u16string caseNumber_;
  std::set<std::u16string> held_;
};

}  // namespace

std::unique_ptr<ContractMachine> MakeContractMachine() {
  return std::make_unique<SimContractMachine>();
}

}  // namespace quenwick::contract
