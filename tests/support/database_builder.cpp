#include "support/database_builder.h"

#include <cstdio>
#include <cstdlib>
#include <numeric>

#include "base/little_endian.h"
#include "base/utf16le.h"
#include "database/byte_reader.h"
#include "database/database_writer.h"
#include "database/parse_definition.h"

namespace quenwick::testdb {

std::unique_ptr<FileExist> MakeFileExist(Operand path) {
  auto e = std::make_unique<FileExist>();
  e->path = std::move(path);
  return e;
}
std::unique_ptr<FolderExist> MakeFolderExist(Operand path) {
  auto e = std::make_unique<FolderExist>();
  e->path = std::move(path);
  return e;
}
std::unique_ptr<RegKeyExist> MakeRegKeyExist(Operand key) {
  auto e = std::make_unique<RegKeyExist>();
  e->key = std::move(key);
  return e;
}
std::unique_ptr<RegValueExist> MakeRegValueExist(Operand key, Operand valueName) {
  auto e = std::make_unique<RegValueExist>();
  e->key = std::move(key);
  e->valueName = std::move(valueName);
  return e;
}
std::unique_ptr<RegValueDelete> MakeRegValueDelete(Operand key, Operand valueName) {
  auto e = std::make_unique<RegValueDelete>();
  e->key = std::move(key);
  e->valueName = std::move(valueName);
  return e;
}
std::unique_ptr<RegKeyDelete> MakeRegKeyDelete(Operand key) {
  auto e = std::make_unique<RegKeyDelete>();
  e->key = std::move(key);
  return e;
}
std::unique_ptr<FileDelete> MakeFileDelete(Operand path) {
  auto e = std::make_unique<FileDelete>();
  e->path = std::move(path);
  return e;
}
std::unique_ptr<FolderDelete> MakeFolderDelete(Operand path) {
  auto e = std::make_unique<FolderDelete>();
  e->path = std::move(path);
  return e;
}
std::unique_ptr<StrConcat> MakeStrConcat(Operand first, Operand second, std::uint32_t target) {
  auto e = std::make_unique<StrConcat>();
  e->first = std::move(first);
  e->second = std::move(second);
  e->target = target;
  return e;
}
std::unique_ptr<GetRegValue> MakeGetRegValue(Operand keyPath, Operand valueName, std::uint32_t target) {
  auto e = std::make_unique<GetRegValue>();
  e->keyPath = std::move(keyPath);
  e->valueName = std::move(valueName);
  e->target = target;
  return e;
}
std::unique_ptr<Uninstall> MakeUninstall(Operand program, Operand arguments) {
  auto e = std::make_unique<Uninstall>();
  e->program = std::move(program);
  e->arguments = std::move(arguments);
  return e;
}

std::array<std::uint8_t, Antivirus2009Prec1::kTableBlockSize> ScrambledTables(std::uint32_t seed) {
  std::array<std::uint8_t, Antivirus2009Prec1::kTableBlockSize> block{};
  std::uint32_t state = seed * 2654435761u + 1;
  for (std::size_t table = 0; table < 16; ++table) {
    std::uint8_t* entries = block.data() + 64 * table;
    std::iota(entries, entries + 64, std::uint8_t{0});
    // Fisher-Yates with a small LCG: every table holds 0 to 63 once, zero
    // included, as the real tables do.
    for (std::size_t i = 63; i > 0; --i) {
      state = state * 1664525u + 1013904223u;
      std::swap(entries[i], entries[(state >> 8) % (i + 1)]);
    }
  }
  return block;
}

std::unique_ptr<Antivirus2009Prec1> MakeAntivirus2009Prec1(std::uint32_t firstVariable,
                                                           std::u16string baseKey, std::u16string keyPrefix,
                                                           std::u16string optionsKeyName,
                                                           std::u16string pathValueName,
                                                           std::u16string exeSuffix) {
  auto e = std::make_unique<Antivirus2009Prec1>();
  e->baseKey = std::move(baseKey);
  e->keyPrefix = std::move(keyPrefix);
  e->optionsKeyName = std::move(optionsKeyName);
  e->pathValueName = std::move(pathValueName);
  e->exeSuffix = std::move(exeSuffix);
  e->firstVariable = firstVariable;
  e->SubstitutionTables = ScrambledTables();
  return e;
}
std::unique_ptr<ExtractPathFromCommand> MakeExtractPathFromCommand(std::uint32_t target, Operand command) {
  auto e = std::make_unique<ExtractPathFromCommand>();
  e->target = target;
  e->command = std::move(command);
  return e;
}
std::unique_ptr<InnoSetupUninstall> MakeInnoSetupUninstall(std::u16string keyPrefix, std::u16string valueName,
                                                           std::u16string arguments, Operand applicationKey) {
  auto e = std::make_unique<InnoSetupUninstall>();
  e->applicationKey = std::move(applicationKey);
  e->keyPrefix = std::move(keyPrefix);
  e->valueName = std::move(valueName);
  e->arguments = std::move(arguments);
  return e;
}
std::unique_ptr<KillProcess> MakeKillProcess(Operand target) {
  auto e = std::make_unique<KillProcess>();
  e->target = std::move(target);
  return e;
}
std::unique_ptr<ASDPrec1> MakeASDPrec1(std::u16string pattern) {
  auto e = std::make_unique<ASDPrec1>();
  e->pattern = std::move(pattern);
  return e;
}
std::unique_ptr<RegValueRepair> MakeRegValueRepair(Operand key, Operand valueName, Operand marker,
                                                   Operand replacement) {
  auto e = std::make_unique<RegValueRepair>();
  e->key = std::move(key);
  e->valueName = std::move(valueName);
  e->marker = std::move(marker);
  e->replacement = std::move(replacement);
  return e;
}

DefinitionBuilder::DefinitionBuilder(std::u16string name, std::u16string id, std::uint32_t variableCount)
    : definition_(std::make_unique<Definition>(variableCount)) {
  definition_->name = std::move(name);
  definition_->id = std::move(id);
}

std::vector<std::uint8_t> DefinitionBuilder::Bytes() const { return SerializeDefinition(*definition_); }

std::unique_ptr<Definition> DefinitionBuilder::Build() const {
  const std::vector<std::uint8_t> bytes = Bytes();
  ByteReader in(bytes);
  auto parsed = std::make_unique<Definition>();
  if (!ParseDefinition(*parsed, in) || in.remaining() != 0) {
    std::fprintf(stderr, "DefinitionBuilder::Build: the built record does not parse (offset %zu)\n",
                 in.failure_offset());
    std::abort();
  }
  return parsed;
}

DatabaseBuilder& DatabaseBuilder::Add(const DefinitionBuilder& definition) {
  AppendDefinition(records_, definition.definition());
  ++recordCount_;
  return *this;
}

DatabaseBuilder& DatabaseBuilder::AddRecord(std::span<const std::uint8_t> record) {
  records_.insert(records_.end(), record.begin(), record.end());
  ++recordCount_;
  return *this;
}

DatabaseBuilder& DatabaseBuilder::Filler(std::size_t count, std::uint8_t value) {
  filler_.insert(filler_.end(), count, value);
  return *this;
}

DatabaseBuilder& DatabaseBuilder::Count(std::uint32_t count) {
  countOverride_ = count;
  return *this;
}

std::vector<std::uint8_t> DatabaseBuilder::Bytes() const {
  RawBytes out;
  out.U32(countOverride_.value_or(recordCount_));
  out.Bytes(records_);
  out.Bytes(filler_);
  return out.bytes();
}

std::vector<std::uint8_t> DatabaseBuilder::Resource() const { return MakeResource(Bytes()); }

RawBytes& RawBytes::U32(std::uint32_t value) {
  AppendLittleEndian(bytes_, value, 4);
  return *this;
}

RawBytes& RawBytes::Units(std::u16string_view text) {
  AppendUtf16Le(bytes_, text);
  return *this;
}

RawBytes& RawBytes::Text(std::u16string_view text) { return Units(text).Byte(0).Byte(0); }

RawBytes& RawBytes::Byte(std::uint8_t value) {
  bytes_.push_back(value);
  return *this;
}

RawBytes& RawBytes::Bytes(std::span<const std::uint8_t> bytes) {
  bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
  return *this;
}

RawBytes& RawBytes::Repeat(std::uint8_t value, std::size_t count) {
  bytes_.insert(bytes_.end(), count, value);
  return *this;
}

RawBytes& RawBytes::Header(std::uint32_t variableCount, std::u16string_view name, std::u16string_view id) {
  return U32(variableCount).Text(name).Text(id);
}

}  // namespace quenwick::testdb
