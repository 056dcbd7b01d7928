// Finding a string-named resource in a Windows executable file, the way
// FindResourceW finds it in a loaded module: type and name compared without
// regard to case, the first language present.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace quenwick::dbtool {

// True when the bytes start like a PE image ("MZ" and a "PE\0\0" header).
bool LooksLikePeImage(std::span<const std::uint8_t> file);

// The resource's bytes inside `file`, or nullopt with `error` set. Every
// offset is checked against the file; a damaged file is an error, never a
// read past its end.
std::optional<std::span<const std::uint8_t>> FindNamedResource(std::span<const std::uint8_t> file,
                                                               std::u16string_view type,
                                                               std::u16string_view name,
                                                               std::string& error);

}  // namespace quenwick::dbtool
