#include "pe_resource.h"

#include <algorithm>
#include <vector>

#include "base/little_endian.h"
#include "base/text.h"
#include "base/utf8.h"

namespace quenwick::dbtool {
namespace {

constexpr std::size_t kDosHeaderSize = 64;
constexpr std::size_t kPeOffsetField = 0x3C;
constexpr std::size_t kCoffHeaderSize = 20;
constexpr std::uint16_t kPe32Magic = 0x10B;
constexpr std::uint16_t kPe32PlusMagic = 0x20B;
constexpr std::size_t kPe32DirectoryCountField = 92;
constexpr std::size_t kPe32PlusDirectoryCountField = 108;
constexpr std::uint32_t kResourceDirectoryIndex = 2;
constexpr std::size_t kDataDirectorySize = 8;
constexpr std::size_t kSectionHeaderSize = 40;
constexpr std::size_t kResourceDirectoryHeaderSize = 16;
constexpr std::size_t kResourceEntrySize = 8;
constexpr std::uint32_t kHighBit = 0x80000000u;

// Bounds-checked little-endian reads over the whole file.
class Bytes {
 public:
  explicit Bytes(std::span<const std::uint8_t> data) : data_(data) {}
  bool U16(std::uint64_t offset, std::uint16_t& out) const {
    if (offset > data_.size() || data_.size() - offset < 2) return false;
    out = LoadLe16(data_.data() + offset);
    return true;
  }
  bool U32(std::uint64_t offset, std::uint32_t& out) const {
    if (offset > data_.size() || data_.size() - offset < 4) return false;
    out = LoadLe32(data_.data() + offset);
    return true;
  }
  std::size_t size() const { return data_.size(); }

 private:
  std::span<const std::uint8_t> data_;
};

struct Section {
  std::uint32_t virtualAddress = 0;
  std::uint32_t virtualSize = 0;
  std::uint32_t rawSize = 0;
  std::uint32_t rawOffset = 0;
};

class PeFile {
 public:
  explicit PeFile(std::span<const std::uint8_t> file) : file_(file), bytes_(file) {}

  bool Parse(std::string& error) {
    std::uint32_t peOffset = 0;
    std::uint32_t signature = 0;
    if (!bytes_.U32(kPeOffsetField, peOffset) || !bytes_.U32(peOffset, signature) ||
        signature != 0x00004550u) {
      error = "not a PE image";
      return false;
    }
    const std::uint64_t coff = std::uint64_t{peOffset} + 4;
    std::uint16_t sectionCount = 0;
    std::uint16_t optionalSize = 0;
    std::uint16_t magic = 0;
    if (!bytes_.U16(coff + 2, sectionCount) || !bytes_.U16(coff + 16, optionalSize) ||
        !bytes_.U16(coff + kCoffHeaderSize, magic)) {
      error = "truncated PE header";
      return false;
    }
    const std::uint64_t optional = coff + kCoffHeaderSize;
    std::size_t countField = 0;
    if (magic == kPe32Magic) {
      countField = kPe32DirectoryCountField;
    } else if (magic == kPe32PlusMagic) {
      countField = kPe32PlusDirectoryCountField;
    } else {
      error = "unknown PE optional header";
      return false;
    }
    std::uint32_t directoryCount = 0;
    if (!bytes_.U32(optional + countField, directoryCount)) {
      error = "truncated PE optional header";
      return false;
    }
    if (directoryCount <= kResourceDirectoryIndex) {
      error = "the executable has no resources";
      return false;
    }
    const std::uint64_t resourceEntry =
        optional + countField + 4 + kResourceDirectoryIndex * kDataDirectorySize;
    if (resourceEntry + kDataDirectorySize > optional + optionalSize ||
        !bytes_.U32(resourceEntry, resourceRva_) || !bytes_.U32(resourceEntry + 4, resourceSize_)) {
      error = "truncated PE data directories";
      return false;
    }
    if (resourceRva_ == 0) {
      error = "the executable has no resources";
      return false;
    }
    const std::uint64_t sectionTable = optional + optionalSize;
    for (std::uint16_t i = 0; i < sectionCount; ++i) {
      const std::uint64_t at = sectionTable + std::uint64_t{i} * kSectionHeaderSize;
      Section s;
      if (!bytes_.U32(at + 8, s.virtualSize) || !bytes_.U32(at + 12, s.virtualAddress) ||
          !bytes_.U32(at + 16, s.rawSize) || !bytes_.U32(at + 20, s.rawOffset)) {
        error = "truncated PE section table";
        return false;
      }
      sections_.push_back(s);
    }
    if (!ToFileOffset(resourceRva_, resourceBase_)) {
      error = "the resource directory lies outside the file";
      return false;
    }
    return true;
  }

  // Converts an address in the loaded image to an offset in the file.
  bool ToFileOffset(std::uint32_t rva, std::uint64_t& out) const {
    for (const Section& s : sections_) {
      const std::uint64_t extent = std::max(s.virtualSize, s.rawSize);
      if (rva < s.virtualAddress || rva - s.virtualAddress >= extent) continue;
      const std::uint64_t delta = rva - s.virtualAddress;
      if (delta >= s.rawSize) return false;
      out = std::uint64_t{s.rawOffset} + delta;
      return out < bytes_.size();
    }
    return false;
  }

  // The entry of a directory whose string name equals `name` (ignoring the
  // case of a-z), or for an empty `name` the first entry of any kind.
  bool FindEntry(std::uint64_t directory, std::u16string_view name, std::uint32_t& target) const {
    std::uint16_t named = 0;
    std::uint16_t numbered = 0;
    if (!bytes_.U16(directory + 12, named) || !bytes_.U16(directory + 14, numbered)) return false;
    const std::uint32_t entries = name.empty() ? std::uint32_t{named} + numbered : named;
    for (std::uint32_t i = 0; i < entries; ++i) {
      const std::uint64_t entry = directory + kResourceDirectoryHeaderSize + std::uint64_t{i} * kResourceEntrySize;
      std::uint32_t nameField = 0;
      std::uint32_t offsetField = 0;
      if (!bytes_.U32(entry, nameField) || !bytes_.U32(entry + 4, offsetField)) return false;
      if (name.empty() || ((nameField & kHighBit) && NameEquals(nameField & ~kHighBit, name))) {
        target = offsetField;
        return true;
      }
    }
    return false;
  }

  std::uint64_t resourceBase() const { return resourceBase_; }
  const Bytes& bytes() const { return bytes_; }
  std::span<const std::uint8_t> file() const { return file_; }

 private:
  bool NameEquals(std::uint32_t offset, std::u16string_view name) const {
    const std::uint64_t at = resourceBase_ + offset;
    std::uint16_t length = 0;
    if (!bytes_.U16(at, length) || length != name.size()) return false;
    for (std::uint16_t k = 0; k < length; ++k) {
      std::uint16_t unit = 0;
      if (!bytes_.U16(at + 2 + 2ull * k, unit)) return false;
      if (ToUpperAscii(static_cast<char16_t>(unit)) != ToUpperAscii(name[k])) return false;
    }
    return true;
  }

  std::span<const std::uint8_t> file_;
  Bytes bytes_;
  std::vector<Section> sections_;
  std::uint32_t resourceRva_ = 0;
  std::uint32_t resourceSize_ = 0;
  std::uint64_t resourceBase_ = 0;
};

}  // namespace

bool LooksLikePeImage(std::span<const std::uint8_t> file) {
  Bytes bytes(file);
  std::uint32_t peOffset = 0;
  std::uint32_t signature = 0;
  return file.size() >= kDosHeaderSize && file[0] == 'M' && file[1] == 'Z' &&
         bytes.U32(kPeOffsetField, peOffset) && bytes.U32(peOffset, signature) &&
         signature == 0x00004550u;
}

std::optional<std::span<const std::uint8_t>> FindNamedResource(std::span<const std::uint8_t> file,
                                                               std::u16string_view type,
                                                               std::u16string_view name,
                                                               std::string& error) {
  PeFile pe(file);
  if (!pe.Parse(error)) return std::nullopt;
  // Three levels: type, name, language. The first two lead to subdirectories,
  // the third to a data entry.
  std::uint32_t level1 = 0;
  std::uint32_t level2 = 0;
  std::uint32_t level3 = 0;
  const std::uint64_t base = pe.resourceBase();
  const std::string typeText = "\"" + ToUtf8(type) + "\"";
  const std::string nameText = "\"" + ToUtf8(name) + "\"";
  if (!pe.FindEntry(base, type, level1) || !(level1 & kHighBit)) {
    error = "the executable has no resource of type " + typeText;
    return std::nullopt;
  }
  if (!pe.FindEntry(base + (level1 & ~kHighBit), name, level2) || !(level2 & kHighBit)) {
    error = "the executable has no resource named " + nameText;
    return std::nullopt;
  }
  if (!pe.FindEntry(base + (level2 & ~kHighBit), {}, level3) || (level3 & kHighBit)) {
    error = "the resource " + nameText + " has no language entry";
    return std::nullopt;
  }
  std::uint32_t dataRva = 0;
  std::uint32_t dataSize = 0;
  std::uint64_t dataOffset = 0;
  if (!pe.bytes().U32(base + level3, dataRva) || !pe.bytes().U32(base + level3 + 4, dataSize) ||
      !pe.ToFileOffset(dataRva, dataOffset) || dataSize > file.size() - dataOffset) {
    error = "the resource " + nameText + " lies outside the file";
    return std::nullopt;
  }
  return file.subspan(static_cast<std::size_t>(dataOffset), dataSize);
}

}  // namespace quenwick::dbtool
