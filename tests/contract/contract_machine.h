// The machine a contract test runs on: the simulated machine natively, the
// real one (a Wine prefix) in the Windows build of the suite.
//
// The contract suite pins down the behaviour of Platform calls that the
// program relies on. Each test prepares its situation through this interface
// (which does not go through Platform), then makes the calls under test
// through platform() and checks their results. Where the simulated machine
// and Windows disagree, the simulated machine is wrong.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "base/utf16le.h"
#include "platform/platform.h"

namespace quenwick::contract {

class ContractMachine {
 public:
  virtual ~ContractMachine() = default;

  virtual Platform& platform() = 0;
  // True for the simulated machine; lets a test state a known difference.
  virtual bool simulated() const = 0;

  // An empty folder that exists for this test only ("C:\...\case-N").
  virtual std::u16string ScratchFolder() = 0;
  // An empty key for this test only, as a full path under HKEY_CURRENT_USER
  // ("HKEY_CURRENT_USER\Software\QuenwickContract\case-N"), and its subkey
  // path without the root name.
  virtual std::u16string ScratchKeyPath() = 0;
  virtual std::u16string ScratchSubkey() = 0;

  // Files and folders (paths are full Windows paths).
  virtual void MakeFile(const std::u16string& path, win::DWORD attributes = 0) = 0;
  virtual void MakeFolder(const std::u16string& path) = 0;
  // Another handle holds the file open without sharing until ReleaseFiles().
  virtual void HoldOpen(const std::u16string& path) = 0;
  virtual void ReleaseFiles() = 0;

  // Registry (keys as full paths with the root name).
  virtual void MakeKey(const std::u16string& path) = 0;
  virtual void MakeValue(const std::u16string& keyPath, const std::u16string& name,
                         win::DWORD type, const std::vector<std::uint8_t>& bytes) = 0;
  // The key may be opened for reading but not with full access.
  virtual void MakeKeyReadOnly(const std::u16string& path) = 0;

  // Environment and shell folders as the machine has them.
  virtual void SetVariable(const std::u16string& name, const std::u16string& value) = 0;
};

// Provided by the machine-specific part of the suite.
std::unique_ptr<ContractMachine> MakeContractMachine();

}  // namespace quenwick::contract
