// A forward cursor over untrusted bytes that cannot read past their end.
//
// Every read checks the remaining length first; a read that does not fit
// consumes nothing and puts the reader in a failed state, which sticks: every
// later read fails too, and the offset of the first failure is kept. Lengths
// are compared with what remains, never by adding to a pointer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace quenwick {

class ByteReader {
 public:
  explicit ByteReader(std::span<const std::uint8_t> data) : data_(data) {}

  std::size_t offset() const { return offset_; }
  std::size_t remaining() const { return data_.size() - offset_; }
  bool failed() const { return failed_; }
  // Where the first failure happened (meaningful once failed()).
  std::size_t failure_offset() const { return failure_offset_; }
  // Marks the data as damaged at the current offset (for checks made by the
  // caller, such as an index beyond the variable table).
  void Fail();

  // Little-endian unsigned 32-bit integer.
  bool ReadU32(std::uint32_t& out);
  // Looks at the next u32 without consuming it.
  bool PeekU32(std::uint32_t& out) const;
  // A UTF-16LE text up to and including its zero terminator; fails when no
  // terminator comes before the end of the data.
  bool ReadText(std::u16string& out);
  bool ReadBytes(std::uint8_t* out, std::size_t count);

 private:
  std::span<const std::uint8_t> data_;
  std::size_t offset_ = 0;
  std::size_t failure_offset_ = 0;
  bool failed_ = false;
};

}  // namespace quenwick
