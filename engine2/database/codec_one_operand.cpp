// Records of one Operand: tag, Operand P. Length 8 + v(P).
#include "database/element_codec.h"
#include "elements/file_delete.h"
#include "elements/file_exist.h"
#include "elements/folder_delete.h"
#include "elements/folder_exist.h"
#include "elements/kill_process.h"
#include "elements/reg_key_delete.h"
#include "elements/reg_key_exist.h"

namespace quenwick {

std::unique_ptr<FileExist> FileExist::Read(Definition& owner, ByteReader& in) {
  return codec::ReadElement<FileExist>(owner, in,
                                       [&](FileExist& e) { return codec::ReadFields(in, owner, e.path); });
}
void FileExist::Serialize(std::uint8_t* buffer, std::uint32_t& size) const {
  codec::SerializeFields(buffer, size, kType, path);
}

std::unique_ptr<FolderExist> FolderExist::Read(Definition& owner, ByteReader& in) {
  return codec::ReadElement<FolderExist>(
      owner, in, [&](FolderExist& e) { return codec::ReadFields(in, owner, e.path); });
}
void FolderExist::Serialize(std::uint8_t* buffer, std::uint32_t& size) const {
  codec::SerializeFields(buffer, size, kType, path);
}

std::unique_ptr<RegKeyExist> RegKeyExist::Read(Definition& owner, ByteReader& in) {
  return codec::ReadElement<RegKeyExist>(owner, in,
                                         [&](RegKeyExist& e) { return codec::ReadFields(in, owner, e.key); });
}
void RegKeyExist::Serialize(std::uint8_t* buffer, std::uint32_t& size) const {
  codec::SerializeFields(buffer, size, kType, key);
}

std::unique_ptr<RegKeyDelete> RegKeyDelete::Read(Definition& owner, ByteReader& in) {
  return codec::ReadElement<RegKeyDelete>(
      owner, in, [&](RegKeyDelete& e) { return codec::ReadFields(in, owner, e.key); });
}
void RegKeyDelete::Serialize(std::uint8_t* buffer, std::uint32_t& size) const {
  codec::SerializeFields(buffer, size, kType, key);
}

std::unique_ptr<FileDelete> FileDelete::Read(Definition& owner, ByteReader& in) {
  return codec::ReadElement<FileDelete>(owner, in,
                                        [&](FileDelete& e) { return codec::ReadFields(in, owner, e.path); });
}
void FileDelete::Serialize(std::uint8_t* buffer, std::uint32_t& size) const {
  codec::SerializeFields(buffer, size, kType, path);
}

std::unique_ptr<FolderDelete> FolderDelete::Read(Definition& owner, ByteReader& in) {
  return codec::ReadElement<FolderDelete>(
      owner, in, [&](FolderDelete& e) { return codec::ReadFields(in, owner, e.path); });
}
void FolderDelete::Serialize(std::uint8_t* buffer, std::uint32_t& size) const {
  codec::SerializeFields(buffer, size, kType, path);
}

std::unique_ptr<KillProcess> KillProcess::Read(Definition& owner, ByteReader& in) {
  return codec::ReadElement<KillProcess>(
      owner, in, [&](KillProcess& e) { return codec::ReadFields(in, owner, e.target); });
}
void KillProcess::Serialize(std::uint8_t* buffer, std::uint32_t& size) const {
  codec::SerializeFields(buffer, size, kType, target);
}

}  // namespace quenwick
