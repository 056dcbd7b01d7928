#include "database_input.h"

#include <zlib.h>

#include <algorithm>

#include "base/little_endian.h"
#include "database/load_definitions.h"
#include "file_io.h"
#include "pe_resource.h"

namespace quenwick::dbtool {
namespace {

constexpr std::size_t kDeclaredSizeBytes = 4;
// Deflate cannot expand data by more than about 1032:1; a declared size
// beyond that is never filled and is not allocated.
constexpr std::uint64_t kMaxInflateRatio = 1032;
constexpr std::uint64_t kInflateSlack = 64;
constexpr std::uint8_t kDeflateMethod = 8;
constexpr unsigned kZlibHeaderCheck = 31;

// A zlib header (RFC 1950) right after the declared size.
bool LooksLikeResource(std::span<const std::uint8_t> bytes) {
  if (bytes.size() < kDeclaredSizeBytes + 2) return false;
  const unsigned cmf = bytes[4];
  const unsigned flg = bytes[5];
  return (cmf & 0x0F) == kDeflateMethod && (cmf >> 4) <= 7 && ((cmf << 8) | flg) % kZlibHeaderCheck == 0;
}

}  // namespace

const char* InputKindName(InputKind kind) {
  switch (kind) {
    case InputKind::kDatabase: return "decompressed database";
    case InputKind::kResource: return "resource";
    case InputKind::kExecutable: return "executable";
  }
  return "?";
}

std::optional<std::vector<std::uint8_t>> DecompressResource(std::span<const std::uint8_t> resource,
                                                            std::string& error) {
  if (resource.size() <= kDeclaredSizeBytes) {
    error = "the resource is too short for its declared size and stream";
    return std::nullopt;
  }
  const std::uint32_t declared = LoadLe32(resource.data());
  const std::uint64_t streamSize = resource.size() - kDeclaredSizeBytes;
  const std::uint64_t capacity =
      std::min<std::uint64_t>(declared, streamSize * kMaxInflateRatio + kInflateSlack);
  std::vector<std::uint8_t> out(static_cast<std::size_t>(capacity));
  uLongf produced = static_cast<uLongf>(capacity);
  const int status = uncompress(out.data(), &produced, resource.data() + kDeclaredSizeBytes,
                                static_cast<uLong>(streamSize));
  if (status != Z_OK) {
    error = "the zlib stream does not decompress within its declared size of " +
            std::to_string(declared) + " bytes (zlib status " + std::to_string(status) + ")";
    return std::nullopt;
  }
  out.resize(produced);
  return out;
}

std::optional<DatabaseInput> DecodeDatabaseInput(std::span<const std::uint8_t> bytes,
                                                 std::string& error) {
  DatabaseInput input;
  std::span<const std::uint8_t> resource;
  if (LooksLikePeImage(bytes)) {
    const auto found = FindNamedResource(bytes, u"RT_RCDATA", u"IDR_V2", error);
    if (!found) return std::nullopt;
    input.kind = InputKind::kExecutable;
    resource = *found;
  } else if (LooksLikeResource(bytes)) {
    // A decompressed database whose first bytes happen to look like a zlib
    // header is still read as a database when the stream does not inflate;
    // when it is no database either, the stream's fault is the better report.
    std::string inflateError;
    if (auto database = DecompressResource(bytes, inflateError)) {
      input.kind = InputKind::kResource;
      input.declaredSize = LoadLe32(bytes.data());
      input.database = std::move(*database);
      return input;
    }
    if (ParseDatabase(bytes).status != LoadStatus::kOk) {
      error = "a damaged resource: " + inflateError;
      return std::nullopt;
    }
  }
  if (input.kind == InputKind::kExecutable) {
    auto database = DecompressResource(resource, error);
    if (!database) return std::nullopt;
    input.declaredSize = LoadLe32(resource.data());
    input.database = std::move(*database);
    return input;
  }
  input.kind = InputKind::kDatabase;
  input.database.assign(bytes.begin(), bytes.end());
  return input;
}

std::optional<DatabaseInput> LoadDatabaseInput(const std::filesystem::path& path,
                                               std::string& error) {
  const auto bytes = ReadBinaryFile(path, error);
  if (!bytes) return std::nullopt;
  return DecodeDatabaseInput(*bytes, error);
}

std::optional<std::vector<std::unique_ptr<Definition>>> ParseDefinitions(
    std::span<const std::uint8_t> database, std::string& error) {
  LoadResult result = ParseDatabase(database);
  switch (result.status) {
    case LoadStatus::kOk:
      return std::move(result.definitions);
    case LoadStatus::kMemoryFailure:
      error = "not enough memory to load the database";
      return std::nullopt;
    case LoadStatus::kResourceFailure:
      break;
  }
  error = "the program would refuse this database (damaged or not a database)";
  return std::nullopt;
}

}  // namespace quenwick::dbtool
