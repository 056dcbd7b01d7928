// Building Definition records and databases for tests, byte by byte.
//
// Sound records are built from the element classes themselves and written by
// their own Serialize, so a test states what a Definition holds rather than
// its bytes:
//
//   auto bytes = testdb::DatabaseBuilder()
//       .Add(testdb::DefinitionBuilder(u"Rogue", u"7", /*variables=*/1)
//                .Pre(testdb::MakeGetRegValue(Lit(u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Rogue"), Lit(u"Path"), 0))
//                .Act(testdb::MakeFileDelete(Var(0))))
//       .Filler(16)
//       .Bytes();
//
// Damaged records are written with RawBytes, which lays out exactly the
// fields it is given, in the database's own encoding.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "elements/antivirus2009_prec1.h"
#include "elements/asd_prec1.h"
#include "elements/extract_path_from_command.h"
#include "elements/file_delete.h"
#include "elements/file_exist.h"
#include "elements/folder_delete.h"
#include "elements/folder_exist.h"
#include "elements/get_reg_value.h"
#include "elements/inno_setup_uninstall.h"
#include "elements/kill_process.h"
#include "elements/reg_key_delete.h"
#include "elements/reg_key_exist.h"
#include "elements/reg_value_delete.h"
#include "elements/reg_value_exist.h"
#include "elements/reg_value_repair.h"
#include "elements/str_concat.h"
#include "elements/uninstall.h"
#include "engine/definition.h"
#include "engine/operand.h"

namespace quenwick::testdb {

inline Operand Lit(std::u16string text) { return Operand::Text(std::move(text)); }
inline Operand Var(std::uint32_t slot) { return Operand::Variable(slot); }

// One element of each class, its members given in record order. The owner is
// set when the element is added to a DefinitionBuilder.
std::unique_ptr<FileExist> MakeFileExist(Operand path);
std::unique_ptr<FolderExist> MakeFolderExist(Operand path);
std::unique_ptr<RegKeyExist> MakeRegKeyExist(Operand key);
std::unique_ptr<RegValueExist> MakeRegValueExist(Operand key, Operand valueName);
std::unique_ptr<RegValueDelete> MakeRegValueDelete(Operand key, Operand valueName);
std::unique_ptr<RegKeyDelete> MakeRegKeyDelete(Operand key);
std::unique_ptr<FileDelete> MakeFileDelete(Operand path);
std::unique_ptr<FolderDelete> MakeFolderDelete(Operand path);
std::unique_ptr<StrConcat> MakeStrConcat(Operand first, Operand second, std::uint32_t target);
std::unique_ptr<GetRegValue> MakeGetRegValue(Operand keyPath, Operand valueName, std::uint32_t target);
std::unique_ptr<Uninstall> MakeUninstall(Operand program, Operand arguments);
// Defaults are the shipped parameters; the table block is 16 tables each
// holding 0 to 63 in a scrambled order unless `tables` is given.
std::unique_ptr<Antivirus2009Prec1> MakeAntivirus2009Prec1(
    std::uint32_t firstVariable = 0, std::u16string baseKey = u"Software",
    std::u16string keyPrefix = u"HKEY_CURRENT_USER\\Software\\", std::u16string optionsKeyName = u"Options",
    std::u16string pathValueName = u"pPath", std::u16string exeSuffix = u".exe");
std::array<std::uint8_t, Antivirus2009Prec1::kTableBlockSize> ScrambledTables(std::uint32_t seed = 1);
std::unique_ptr<ExtractPathFromCommand> MakeExtractPathFromCommand(std::uint32_t target, Operand command);
std::unique_ptr<InnoSetupUninstall> MakeInnoSetupUninstall(std::u16string keyPrefix, std::u16string valueName,
                                                           std::u16string arguments, Operand applicationKey);
std::unique_ptr<KillProcess> MakeKillProcess(Operand target);
std::unique_ptr<ASDPrec1> MakeASDPrec1(std::u16string pattern);
std::unique_ptr<RegValueRepair> MakeRegValueRepair(Operand key, Operand valueName, Operand marker,
                                                   Operand replacement);

// A Definition under construction. Elements are owned by the builder's
// Definition (their owner set to it) until Build or Bytes.
class DefinitionBuilder {
 public:
  explicit DefinitionBuilder(std::u16string name = u"Rogue", std::u16string id = u"1",
                             std::uint32_t variableCount = 0);

  // Chain on a named builder or on a temporary (`auto b = DefinitionBuilder().Pre(...)`).
  template <class Element>
  DefinitionBuilder& Pre(std::unique_ptr<Element> element) & {
    element->owner = definition_.get();
    definition_->preconditions.push_back(std::move(element));
    return *this;
  }
  template <class Element>
  DefinitionBuilder&& Pre(std::unique_ptr<Element> element) && {
    return std::move(Pre(std::move(element)));
  }
  template <class Element>
  DefinitionBuilder& Act(std::unique_ptr<Element> element) & {
    element->owner = definition_.get();
    definition_->actions.push_back(std::move(element));
    return *this;
  }
  template <class Element>
  DefinitionBuilder&& Act(std::unique_ptr<Element> element) && {
    return std::move(Act(std::move(element)));
  }

  // The record, written through SerializeDefinition.
  std::vector<std::uint8_t> Bytes() const;
  // The Definition as the loader would give it: its record parsed afresh.
  // Aborts the test program if the record does not parse (a builder misuse,
  // such as an index beyond the variable count; use RawBytes for damage).
  std::unique_ptr<Definition> Build() const;
  // The Definition under construction itself.
  const Definition& definition() const { return *definition_; }

 private:
  std::unique_ptr<Definition> definition_;
};

// A decompressed database: count, records, filler.
class DatabaseBuilder {
 public:
  DatabaseBuilder& Add(const DefinitionBuilder& definition);
  // A record given as bytes (damaged ones included); counts as one record.
  DatabaseBuilder& AddRecord(std::span<const std::uint8_t> record);
  // Bytes after the last record, never read by the loader.
  DatabaseBuilder& Filler(std::size_t count, std::uint8_t value = 0xCD);
  // Overrides the record count written at the start (for damaged databases).
  DatabaseBuilder& Count(std::uint32_t count);

  std::vector<std::uint8_t> Bytes() const;
  // Where the records end (the filler begins) in Bytes().
  std::size_t RecordsEnd() const { return 4 + records_.size(); }
  // The resource: declared size and zlib stream of Bytes().
  std::vector<std::uint8_t> Resource() const;

 private:
  std::vector<std::uint8_t> records_;
  std::vector<std::uint8_t> filler_;
  std::uint32_t recordCount_ = 0;
  std::optional<std::uint32_t> countOverride_;
};

// Writes fields in the database encoding, for records a builder of sound
// elements cannot produce.
class RawBytes {
 public:
  RawBytes& U32(std::uint32_t value);
  RawBytes& Tag(ElementType type) { return U32(static_cast<std::uint32_t>(type)); }
  // UTF-16LE units and the terminator.
  RawBytes& Text(std::u16string_view text);
  // UTF-16LE units without terminator.
  RawBytes& Units(std::u16string_view text);
  RawBytes& Literal(std::u16string_view text) { return U32(1).Text(text); }
  RawBytes& Variable(std::uint32_t slot) { return U32(0).U32(slot); }
  RawBytes& Byte(std::uint8_t value);
  RawBytes& Bytes(std::span<const std::uint8_t> bytes);
  RawBytes& Repeat(std::uint8_t value, std::size_t count);
  // The header of a Definition record: variable count, name, id.
  RawBytes& Header(std::uint32_t variableCount, std::u16string_view name = u"Rogue",
                   std::u16string_view id = u"1");

  const std::vector<std::uint8_t>& bytes() const { return bytes_; }
  std::size_t size() const { return bytes_.size(); }

 private:
  std::vector<std::uint8_t> bytes_;
};

}  // namespace quenwick::testdb
