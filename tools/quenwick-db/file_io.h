// Whole-file reading and all-or-nothing writing for the tool's outputs.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace quenwick::dbtool {

// The file's bytes, or nullopt (with `error` set) when it cannot be read.
std::optional<std::vector<std::uint8_t>> ReadBinaryFile(const std::filesystem::path& path,
                                                        std::string& error);
std::optional<std::string> ReadTextFile(const std::filesystem::path& path, std::string& error);

// Writes the bytes to a temporary file beside `path` and renames it over
// `path`, so that a failure never leaves a partial output behind (the old
// file, if any, stays as it was). Returns false with `error` set on failure.
bool WriteFileAtomically(const std::filesystem::path& path, std::span<const std::uint8_t> bytes,
                         std::string& error);
bool WriteFileAtomically(const std::filesystem::path& path, std::string_view text,
                         std::string& error);

}  // namespace quenwick::dbtool
