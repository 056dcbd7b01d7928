// Module resources of the real platform: the database is found by the string
// type "RT_RCDATA", and a resource filed under the numeric RCDATA type (10)
// is not (win32_contract_resources.rc.in declares both).
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "platform/win32/win32_platform.h"

namespace quenwick {
namespace {

constexpr char kResourceText[] = "Quenwick contract resource\n";  // win32_contract_resource.txt
constexpr win::HMODULE kThisProgram{};

TEST(Win32ResourceContract, FindsTheResourceFiledUnderTheStringType) {
  Win32Platform p;
  const win::HRSRC found = p.FindResourceW(kThisProgram, u"IDR_V2", u"RT_RCDATA");
  ASSERT_TRUE(found) << p.GetLastError();
  const win::DWORD size = p.SizeofResource(kThisProgram, found);
  const win::HGLOBAL loaded = p.LoadResource(kThisProgram, found);
  ASSERT_TRUE(loaded);
  const void* bytes = p.LockResource(loaded);
  ASSERT_NE(bytes, nullptr);
  EXPECT_EQ(std::string(static_cast<const char*>(bytes), size), kResourceText);
}

struct MissingCase {
  const char16_t* name;
  const char16_t* type;
  win::DWORD error;
};

TEST(Win32ResourceContract, MissesOtherNamesAndTypes) {
  const MissingCase cases[] = {
      // Exists, but under the numeric type 10, not the string "RT_RCDATA".
      {u"IDR_NUMERIC_TYPE", u"RT_RCDATA", win::ERROR_RESOURCE_NAME_NOT_FOUND},
      {u"IDR_V3", u"RT_RCDATA", win::ERROR_RESOURCE_NAME_NOT_FOUND},
      {u"IDR_V2", u"RCDATA", win::ERROR_RESOURCE_TYPE_NOT_FOUND},
  };
  Win32Platform p;
  for (const MissingCase& c : cases) {
    SCOPED_TRACE(testing::Message() << "case " << (&c - cases));
    EXPECT_FALSE(p.FindResourceW(kThisProgram, c.name, c.type));
    EXPECT_EQ(p.GetLastError(), c.error);
  }
}

TEST(Win32ResourceContract, TheNumericTypeFindsOnlyTheNumericResource) {
  // MAKEINTRESOURCE(10): the predefined RCDATA type.
  const auto* numericRcdata = reinterpret_cast<const char16_t*>(std::uintptr_t{10});
  Win32Platform p;
  EXPECT_TRUE(p.FindResourceW(kThisProgram, u"IDR_NUMERIC_TYPE", numericRcdata));
  EXPECT_FALSE(p.FindResourceW(kThisProgram, u"IDR_V2", numericRcdata));
}

}  // namespace
}  // namespace quenwick
