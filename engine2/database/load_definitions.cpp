#include "database/load_definitions.h"

#include <zlib.h>

#include <algorithm>
#include <limits>
#include <new>

#include "base/little_endian.h"
#include "database/byte_reader.h"
#include "database/parse_definition.h"
#include "platform/platform.h"

namespace quenwick {
namespace {

constexpr char16_t kResourceName[] = u"IDR_V2";
// The type is looked up by this string name, not by the predefined numeric
// data type.
constexpr char16_t kResourceType[] = u"RT_RCDATA";
constexpr std::size_t kDeclaredSizeBytes = 4;
// The smallest possible record: variable count, two empty texts and two empty
// element lists.
constexpr std::size_t kMinRecordBytes = 16;
// Deflate never expands more than about 1032:1, so a declared size beyond
// this bound cannot be filled by the stream and only wastes memory.
constexpr std::uint64_t kMaxInflateRatio = 1032;
constexpr std::uint64_t kInflateSlack = 64;

LoadResult Failure(LoadStatus status) {
  LoadResult result;
  result.status = status;
  return result;
}

}  // namespace

LoadResult ParseDatabase(std::span<const std::uint8_t> data) {
  try {
    ByteReader in(data);
    std::uint32_t count = 0;
    if (!in.ReadU32(count)) return Failure(LoadStatus::kResourceFailure);
    // Every record takes at least kMinRecordBytes, so a larger count cannot be
    // right; checking it first also keeps the list allocation bounded.
    if (count > in.remaining() / kMinRecordBytes) return Failure(LoadStatus::kResourceFailure);

    LoadResult result;
    result.definitions.reserve(count);
    for (std::uint32_t i = 0; i < count; ++i) {
      auto definition = std::make_unique<Definition>();
      if (!ParseDefinition(*definition, in)) return Failure(LoadStatus::kResourceFailure);
      result.definitions.push_back(std::move(definition));
    }
    return result;
  } catch (const std::bad_alloc&) {
    return Failure(LoadStatus::kMemoryFailure);
  }
}

LoadResult LoadDefinitions() {
  Platform& os = Sys();
  const win::HMODULE self{};
  const win::HRSRC resource = os.FindResourceW(self, kResourceName, kResourceType);
  if (!resource) return Failure(LoadStatus::kResourceFailure);
  const win::DWORD size = os.SizeofResource(self, resource);
  const win::HGLOBAL handle = os.LoadResource(self, resource);
  if (!handle || size == 0) return Failure(LoadStatus::kResourceFailure);
  const auto* bytes = static_cast<const std::uint8_t*>(os.LockResource(handle));
  if (bytes == nullptr) return Failure(LoadStatus::kResourceFailure);

  // A resource too short for its declared size, a declared size of 0 and an
  // empty stream are damage like any other.
  if (size <= kDeclaredSizeBytes) return Failure(LoadStatus::kResourceFailure);
  const std::uint32_t declared = LoadLe32(bytes);
  if (declared == 0) return Failure(LoadStatus::kResourceFailure);
  const std::uint64_t streamSize = size - kDeclaredSizeBytes;
  const std::uint64_t capacity =
      std::min<std::uint64_t>(declared, streamSize * kMaxInflateRatio + kInflateSlack);

  std::unique_ptr<std::uint8_t[]> buffer;
  try {
    buffer = std::make_unique_for_overwrite<std::uint8_t[]>(static_cast<std::size_t>(capacity));
  } catch (const std::bad_alloc&) {
    return Failure(LoadStatus::kMemoryFailure);
  }

  // Only a stream that decompresses completely within the declared size is
  // walked; a damaged, truncated or oversized stream is reported as damage.
  uLongf produced = static_cast<uLongf>(capacity);
  const int status = uncompress(buffer.get(), &produced, bytes + kDeclaredSizeBytes,
                                static_cast<uLong>(streamSize));
  if (status != Z_OK) return Failure(LoadStatus::kResourceFailure);
  return ParseDatabase(std::span<const std::uint8_t>(buffer.get(), produced));
}

}  // namespace quenwick
