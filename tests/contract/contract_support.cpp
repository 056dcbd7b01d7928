// Helpers shared by both machines of the contract suite.
#include "contract/contract_machine.h"

namespace quenwick::contract {

std::vector<std::uint8_t> StringBytes(const std::u16string& text) {
  std::vector<std::uint8_t> bytes;
  bytes.reserve((text.size() + 1) * 2);
  for (char16_t c : text) {
    bytes.push_back(static_cast<std::uint8_t>(c & 0xFF));
    bytes.push_back(static_cast<std::uint8_t>(c >> 8));
  }
  bytes.push_back(0);
  bytes.push_back(0);
  return bytes;
}

}  // namespace quenwick::contract
