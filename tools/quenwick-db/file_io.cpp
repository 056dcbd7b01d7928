#include "file_io.h"

#include <atomic>
#include <fstream>
#include <system_error>

namespace quenwick::dbtool {
namespace {

// Distinguishes temporary names of several writes from one process.
std::atomic<unsigned> g_tempCounter{0};

template <class Container>
std::optional<Container> ReadWhole(const std::filesystem::path& path, std::string& error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    error = "cannot open " + path.string();
    return std::nullopt;
  }
  Container bytes;
  char chunk[64 * 1024];
  while (in.read(chunk, sizeof chunk) || in.gcount() > 0) {
    bytes.insert(bytes.end(), chunk, chunk + in.gcount());
  }
  if (in.bad()) {
    error = "cannot read " + path.string();
    return std::nullopt;
  }
  return bytes;
}

}  // namespace

std::optional<std::vector<std::uint8_t>> ReadBinaryFile(const std::filesystem::path& path,
                                                        std::string& error) {
  return ReadWhole<std::vector<std::uint8_t>>(path, error);
}

std::optional<std::string> ReadTextFile(const std::filesystem::path& path, std::string& error) {
  return ReadWhole<std::string>(path, error);
}

bool WriteFileAtomically(const std::filesystem::path& path, std::span<const std::uint8_t> bytes,
                         std::string& error) {
  std::filesystem::path temp = path;
  temp += ".tmp" + std::to_string(g_tempCounter++);
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    if (!out) {
      error = "cannot create " + temp.string();
      return false;
    }
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) {
      std::error_code ignored;
      std::filesystem::remove(temp, ignored);
      error = "cannot write " + temp.string();
      return false;
    }
  }
  std::error_code ec;
  std::filesystem::rename(temp, path, ec);
  if (ec) {
    std::error_code ignored;
    std::filesystem::remove(temp, ignored);
    error = "cannot replace " + path.string() + ": " + ec.message();
    return false;
  }
  return true;
}

bool WriteFileAtomically(const std::filesystem::path& path, std::string_view text,
                         std::string& error) {
  return WriteFileAtomically(
      path,
      std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(text.data()),
                                    text.size()),
      error);
}

}  // namespace quenwick::dbtool
