// quenwick-db resource DATABASE -o RESOURCE: compresses a decompressed
// database into the resource form that the build embeds as "IDR_V2".
//
// The output appears complete or not at all: it is written to a temporary
// file beside the target and renamed over it only after every byte is out.
#include "resource_command.h"

#include <zlib.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <string>
#include <system_error>

#include "commands.h"

namespace quenwick::db {

namespace {

constexpr std::size_t kDeclaredSizeBytes = 4;
constexpr const char* kUsage = "usage: quenwick-db resource DATABASE -o RESOURCE\n";

int Fail(const std::string& message) {
  std::fprintf(stderr, "quenwick-db resource: %s\n", message.c_str());
  return 1;
}

std::optional<std::vector<std::uint8_t>> ReadWholeFile(const std::filesystem::path& path,
                                                       std::string& error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    error = "cannot open '" + path.string() + "': " + std::strerror(errno);
    return std::nullopt;
  }
  std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                  std::istreambuf_iterator<char>());
  if (in.bad()) {
    error = "cannot read '" + path.string() + "'";
    return std::nullopt;
  }
  return bytes;
}

bool WriteAtomically(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes,
                     std::string& error) {
  std::filesystem::path temporary = path;
  temporary += ".partial";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    if (!out) {
      error = "cannot create '" + temporary.string() + "': " + std::strerror(errno);
      return false;
    }
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) {
      error = "cannot write '" + temporary.string() + "'";
      std::error_code ignored;
      std::filesystem::remove(temporary, ignored);
      return false;
    }
  }
  std::error_code renameError;
  std::filesystem::rename(temporary, path, renameError);
  if (renameError) {
    error = "cannot replace '" + path.string() + "': " + renameError.message();
    std::error_code ignored;
    std::filesystem::remove(temporary, ignored);
    return false;
  }
  return true;
}

}  // namespace

std::optional<std::vector<std::uint8_t>> EncodeResource(std::span<const std::uint8_t> database) {
  if (database.size() > std::numeric_limits<std::uint32_t>::max() ||
      database.size() > std::numeric_limits<uLong>::max()) {
    return std::nullopt;
  }
  const auto declaredSize = static_cast<std::uint32_t>(database.size());
  const uLong sourceLength = static_cast<uLong>(database.size());
  uLongf streamLength = compressBound(sourceLength);
  std::vector<std::uint8_t> resource(kDeclaredSizeBytes + streamLength);
  for (std::size_t i = 0; i < kDeclaredSizeBytes; ++i) {
    resource[i] = static_cast<std::uint8_t>(declaredSize >> (8 * i));
  }
  // zlib wants a non-null source pointer even for an empty database.
  static const Bytef kNothing = 0;
  const Bytef* source = database.empty() ? &kNothing : database.data();
  if (compress2(resource.data() + kDeclaredSizeBytes, &streamLength, source, sourceLength,
                kResourceCompressionLevel) != Z_OK) {
    return std::nullopt;
  }
  resource.resize(kDeclaredSizeBytes + streamLength);
  return resource;
}

int RunResourceCommand(Arguments args) {
  std::string_view input;
  std::string_view output;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "-o") {
      if (i + 1 == args.size() || !output.empty()) return Fail(std::string("bad -o\n") + kUsage);
      output = args[++i];
    } else if (input.empty() && !args[i].empty() && args[i][0] != '-') {
      input = args[i];
    } else {
      return Fail("unexpected argument '" + std::string(args[i]) + "'\n" + kUsage);
    }
  }
  if (input.empty() || output.empty()) return Fail(std::string("missing argument\n") + kUsage);

  std::string error;
  const auto database = ReadWholeFile(std::filesystem::path(input), error);
  if (!database) return Fail(error);
  const auto resource = EncodeResource(*database);
  if (!resource) {
    return Fail("cannot compress '" + std::string(input) +
                "' (larger than 4 GiB, or out of memory)");
  }
  if (!WriteAtomically(std::filesystem::path(output), *resource, error)) return Fail(error);
  return 0;
}

}  // namespace quenwick::db
