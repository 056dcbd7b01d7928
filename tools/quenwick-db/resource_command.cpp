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
#include <limits>
#include <memory>
#include <string>
#include <string_view>
#include <system_error>

#include "commands.h"

namespace quenwick::db {

namespace {

constexpr std::size_t kDeclaredSizeBytes = 4;
constexpr const char* kUsage = "usage: quenwick-db resource DATABASE -o RESOURCE\n";

// "<action> '<path>': <reason>", built by appending (GCC 12 at -O3 warns
// falsely about `"literal" + std::string` chains).
std::string Problem(std::string_view action, const std::string& path, std::string_view reason) {
  std::string message(action);
  message += " '";
  message += path;
  message += '\'';
  if (!reason.empty()) {
    message += ": ";
    message += reason;
  }
  return message;
}

int Fail(const std::string& message) {
  std::fprintf(stderr, "quenwick-db resource: %s\n", message.c_str());
  return 1;
}

std::optional<std::vector<std::uint8_t>> ReadWholeFile(const std::filesystem::path& path,
                                                       std::string& error) {
  // A folder or a device would open, then fail (or never end) while read.
  std::error_code status;
  if (!std::filesystem::is_regular_file(path, status)) {
    error = Problem("not a readable file:", path.string(), status ? status.message() : "");
    return std::nullopt;
  }
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> in(std::fopen(path.string().c_str(), "rb"),
                                                     &std::fclose);
  if (!in) {
    error = Problem("cannot open", path.string(), std::strerror(errno));
    return std::nullopt;
  }
  std::vector<std::uint8_t> bytes;
  std::uint8_t buffer[1 << 16];
  std::size_t got = 0;
  while ((got = std::fread(buffer, 1, sizeof buffer, in.get())) > 0) {
    bytes.insert(bytes.end(), buffer, buffer + got);
  }
  if (std::ferror(in.get())) {
    error = Problem("cannot read", path.string(), std::strerror(errno));
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
      error = Problem("cannot create", temporary.string(), std::strerror(errno));
      return false;
    }
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) {
      error = Problem("cannot write", temporary.string(), "");
      std::error_code ignored;
      std::filesystem::remove(temporary, ignored);
      return false;
    }
  }
  std::error_code renameError;
  std::filesystem::rename(temporary, path, renameError);
  if (renameError) {
    error = Problem("cannot replace", path.string(), renameError.message());
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
      return Fail(Problem("unexpected argument", std::string(args[i]), "") + "\n" + kUsage);
    }
  }
  if (input.empty() || output.empty()) return Fail(std::string("missing argument\n") + kUsage);

  std::string error;
  const auto database = ReadWholeFile(std::filesystem::path(input), error);
  if (!database) return Fail(error);
  const auto resource = EncodeResource(*database);
  if (!resource) {
    return Fail(Problem("cannot compress", std::string(input),
                        "larger than 4 GiB, or out of memory"));
  }
  if (!WriteAtomically(std::filesystem::path(output), *resource, error)) return Fail(error);
  return 0;
}

}  // namespace quenwick::db
