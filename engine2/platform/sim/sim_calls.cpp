#include "platform/sim/sim_calls.h"

#include <cstdio>

#include "base/utf8.h"

namespace quenwick::sim::detail {
namespace {

constexpr std::array<std::string_view, kCallCount> kCallNames = {
#define QUENWICK_SIM_CALL_NAME(name) #name,
    QUENWICK_SIM_CALLS(QUENWICK_SIM_CALL_NAME)
#undef QUENWICK_SIM_CALL_NAME
};

}  // namespace

std::string_view CallName(Call call) { return kCallNames[static_cast<std::size_t>(call)]; }

std::optional<Call> CallByName(std::string_view name) {
  for (std::size_t i = 0; i < kCallCount; ++i) {
    if (kCallNames[i] == name) return static_cast<Call>(i);
  }
  return std::nullopt;
}

std::string Text(const char16_t* text) {
  if (text == nullptr) return "NULL";
  return ToUtf8(text);
}

std::string Text(std::u16string_view text) { return ToUtf8(text); }

std::string Hex(std::uint64_t value) {
  char buffer[24];
  std::snprintf(buffer, sizeof buffer, "0x%llx", static_cast<unsigned long long>(value));
  return buffer;
}

std::string Dec(std::int64_t value) { return std::to_string(value); }

std::string KeyName(win::HKEY key) {
  if (key == win::HKEY_CLASSES_ROOT) return "HKEY_CLASSES_ROOT";
  if (key == win::HKEY_CURRENT_USER) return "HKEY_CURRENT_USER";
  if (key == win::HKEY_LOCAL_MACHINE) return "HKEY_LOCAL_MACHINE";
  if (key == win::HKEY_USERS) return "HKEY_USERS";
  return Hex(key.value);
}

std::string Pointer(const void* p) { return p == nullptr ? "NULL" : "ptr"; }

std::string FormatCall(Call call, std::initializer_list<std::string> arguments,
                       const std::string& result) {
  std::string line(CallName(call));
  line += '(';
  bool first = true;
  for (const std::string& argument : arguments) {
    if (!first) line += ", ";
    line += argument;
    first = false;
  }
  line += ") = ";
  line += result;
  return line;
}

}  // namespace quenwick::sim::detail
