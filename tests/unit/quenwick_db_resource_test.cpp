// The resource form of a database (quenwick-db resource): declared size, then
// a zlib stream that decompresses to exactly the database.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include <sstream>

#include "base/little_endian.h"
#include "commands.h"
#include "database_encoding.h"

namespace quenwick::dbtool {
namespace {

// What the program does with the resource: uncompress the stream into a
// buffer of the declared size.
std::vector<std::uint8_t> Decompress(const std::vector<std::uint8_t>& resource) {
  std::vector<std::uint8_t> out(LoadLe32(resource.data()) + 1);  // +1: never a null buffer
  uLongf length = LoadLe32(resource.data());
  const int status =
      uncompress(out.data(), &length, resource.data() + 4, static_cast<uLong>(resource.size() - 4));
  EXPECT_EQ(status, Z_OK);
  out.resize(length);
  return out;
}

TEST(QuenwickDbResource, RoundTripsDatabasesOfEverySize) {
  std::vector<std::uint8_t> filler(143758, 0xCD);  // the shipped database's size
  std::vector<std::uint8_t> mixed(70000);
  for (std::size_t i = 0; i < mixed.size(); ++i) mixed[i] = static_cast<std::uint8_t>(i * 7919 >> 3);
  const std::vector<std::vector<std::uint8_t>> databases = {
      {},                      // no bytes at all
      {0, 0, 0, 0},            // the empty database: count 0
      {1, 0, 0, 0, 0xFF, 0x7F},
      filler,
      mixed,
  };
  for (const auto& database : databases) {
    SCOPED_TRACE(database.size());
    std::string error;
    const auto resource = EncodeResource(database, error);
    ASSERT_TRUE(resource.has_value());
    ASSERT_GE(resource->size(), 4u + 2u);  // size, then at least the zlib header
    EXPECT_EQ(LoadLe32(resource->data()), database.size());
    EXPECT_EQ(Decompress(*resource), database);
  }
}

TEST(QuenwickDbResource, UsesTheZlibWrapperAtBestCompression) {
  std::string error;
  const auto resource = EncodeResource(std::vector<std::uint8_t>(4096, 0xCD), error);
  ASSERT_TRUE(resource.has_value());
  // CMF 0x78: deflate with a 32 KiB window; FLG 0xDA: level 9.
  EXPECT_EQ((*resource)[4], 0x78);
  EXPECT_EQ((*resource)[5], 0xDA);
  EXPECT_LT(resource->size(), 64u);  // 4 KiB of one byte value compresses to almost nothing
}

// A folder of its own for each test, removed afterwards.
class ResourceCommandTest : public testing::Test {
 protected:
  void SetUp() override {
    const auto* info = testing::UnitTest::GetInstance()->current_test_info();
    dir_ = std::filesystem::temp_directory_path() /
           ("quenwick-db-test-" + std::string(info->name()));
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  std::string Path(const char* name) const { return (dir_ / name).string(); }
  void Write(const char* name, const std::string& bytes) const {
    std::ofstream(dir_ / name, std::ios::binary) << bytes;
  }
  std::vector<std::uint8_t> Read(const char* name) const {
    std::ifstream in(dir_ / name, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }
  int Run(std::vector<std::string> args) const {
    std::ostringstream out;
    std::ostringstream err;
    return RunResource(args, out, err);
  }

  std::filesystem::path dir_;
};

TEST_F(ResourceCommandTest, WritesTheResourceOfTheDatabase) {
  Write("db.bin", std::string("\x02\0\0\0record", 10));
  ASSERT_EQ(Run({Path("db.bin"), "-o", Path("db.res")}), 0);
  const auto resource = Read("db.res");
  ASSERT_GT(resource.size(), 4u);
  EXPECT_EQ(Decompress(resource), Read("db.bin"));
  // No temporary file is left beside the output.
  for (const auto& entry : std::filesystem::directory_iterator(dir_)) {
    EXPECT_TRUE(entry.path().filename() == "db.bin" || entry.path().filename() == "db.res")
        << entry.path();
  }
}

TEST_F(ResourceCommandTest, FailsWithoutTouchingAnExistingOutput) {
  Write("old.res", "previous");
  Write("db.bin", std::string(4, '\0'));
  std::filesystem::create_directory(Path("folder"));
  const std::vector<std::vector<std::string>> failing = {
      {Path("missing.bin"), "-o", Path("old.res")},  // no such database
      {Path("folder"), "-o", Path("old.res")},       // a folder is no database
      {Path("db.bin"), "-o"},                        // -o without a file
      {Path("db.bin")},                              // no -o
      {"-o", Path("old.res")},                       // no database
      {Path("db.bin"), Path("db.bin"), "-o", Path("old.res")},
      {Path("db.bin"), "-x", "-o", Path("old.res")},
  };
  for (const auto& args : failing) {
    SCOPED_TRACE(testing::PrintToString(args));
    EXPECT_NE(Run(args), kExitOk);
    EXPECT_EQ(Read("old.res"), std::vector<std::uint8_t>({'p', 'r', 'e', 'v', 'i', 'o', 'u', 's'}));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_),
                            std::filesystem::directory_iterator()),
              3);  // old.res, db.bin, folder: no temporary left
  }
}

TEST_F(ResourceCommandTest, AnUnwritableOutputLeavesNoPartialFile) {
  Write("db.bin", std::string(4, '\0'));
  EXPECT_EQ(Run({Path("db.bin"), "-o", Path("no-such-folder/db.res")}), 1);
  // The output names an existing folder: the rename fails, the temporary goes.
  std::filesystem::create_directories(Path("taken/inner"));
  EXPECT_EQ(Run({Path("db.bin"), "-o", Path("taken")}), 1);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_),
                          std::filesystem::directory_iterator()),
            2);  // db.bin and taken: no temporary left
  EXPECT_TRUE(std::filesystem::is_directory(Path("taken/inner")));
}

}  // namespace
}  // namespace quenwick::dbtool
