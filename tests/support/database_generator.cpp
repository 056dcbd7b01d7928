#include "support/database_generator.h"

#include <array>
#include <string>
#include <utility>

namespace quenwick::testdb {
namespace {

// A small, fully specified generator, so the bytes do not depend on the
// standard library's distributions.
class Random {
 public:
  explicit Random(std::uint32_t seed) : state_(seed * 0x9E3779B97F4A7C15ull + 0x632BE59BD9B4E019ull) {}
  std::uint32_t Next() {
    state_ ^= state_ >> 12;
    state_ ^= state_ << 25;
    state_ ^= state_ >> 27;
    return static_cast<std::uint32_t>((state_ * 0x2545F4914F6CDD1Dull) >> 32);
  }
  // Uniform in [low, high].
  std::uint32_t Between(std::uint32_t low, std::uint32_t high) { return low + Next() % (high - low + 1); }
  bool Percent(std::uint32_t percent) { return Next() % 100 < percent; }

 private:
  std::uint64_t state_;
};

template <std::size_t N>
std::size_t PickWeighted(Random& random, const std::array<std::uint32_t, N>& weights) {
  std::uint32_t total = 0;
  for (const auto w : weights) total += w;
  std::uint32_t roll = random.Next() % total;
  for (std::size_t i = 0; i < N; ++i) {
    if (roll < weights[i]) return i;
    roll -= weights[i];
  }
  return N - 1;
}

const std::array<std::u16string, 12> kVendorWords = {u"Antivirus", u"Spyware", u"Defender", u"Guard",
                                                     u"Security",  u"Cleaner", u"Protect",  u"Shield",
                                                     u"Sentinel",  u"Doctor",  u"Remover",  u"Syst\u00e8me"};
const std::array<std::u16string, 6> kFolderMacros = {
    u"%ProgramFiles%", u"%APPDATA%", u"%CommonAppData%", u"%Desktop%", u"%StartMenu%", u"%WINDIR%\\system32"};
const std::array<std::u16string, 4> kRegistryRoots = {
    u"HKEY_LOCAL_MACHINE\\SOFTWARE\\", u"HKEY_CURRENT_USER\\Software\\",
    u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\",
    u"HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Run\\"};

class DefinitionGenerator {
 public:
  DefinitionGenerator(Random& random, std::uint32_t index) : random_(random), index_(index) {
    product_ = kVendorWords[random_.Next() % kVendorWords.size()];
    product_ += u" " + kVendorWords[random_.Next() % kVendorWords.size()];
    product_ += u" " + Number(2000 + index % 20);
    // A fifth of the Definitions use no variables at all.
    if (!random_.Percent(20)) {
      const std::uint32_t most = random_.Percent(10) ? 18 : 6;
      variables_ = random_.Between(1, most);
    }
  }

  DefinitionBuilder Generate() {
    DefinitionBuilder builder(product_, Number(index_ + 1), variables_);
    if (variables_ >= 2 && random_.Percent(1)) {
      builder.Pre(MakeAntivirus2009Prec1(random_.Between(0, variables_ - 2)));
    } else {
      const std::uint32_t preconditions = Skewed(1, 5);
      for (std::uint32_t i = 0; i < preconditions; ++i) AddPrecondition(builder);
    }
    const std::uint32_t actions = Skewed(1, 31);
    for (std::uint32_t i = 0; i < actions; ++i) AddAction(builder);
    return builder;
  }

 private:
  static std::u16string Number(std::uint32_t value) {
    std::u16string text;
    do {
      text.insert(text.begin(), static_cast<char16_t>(u'0' + value % 10));
      value /= 10;
    } while (value != 0);
    return text;
  }

  // Small values more often than large ones, as in the shipped lists.
  std::uint32_t Skewed(std::uint32_t low, std::uint32_t high) {
    const std::uint32_t a = random_.Between(low, high);
    const std::uint32_t b = random_.Between(low, high);
    return a < b ? a : b;
  }

  std::uint32_t Slot() { return random_.Between(0, variables_ - 1); }

  std::u16string FilePath() {
    if (random_.Percent(1)) return u"";
    std::u16string path = kFolderMacros[random_.Next() % kFolderMacros.size()];
    path += u"\\" + product_ + (random_.Percent(50) ? u"\\uninst" : u"\\app");
    path += Number(random_.Between(0, 99)) + u".exe";
    return path;
  }
  std::u16string FolderPath() {
    return kFolderMacros[random_.Next() % kFolderMacros.size()] + u"\\" + product_;
  }
  std::u16string KeyPath() { return kRegistryRoots[random_.Next() % kRegistryRoots.size()] + product_; }
  std::u16string ValueName() {
    return random_.Percent(10) ? u"" : product_ + u" " + Number(random_.Next() % 9);
  }

  // About one Operand in four is a variable, where the Definition has any.
  Operand Param(std::u16string (DefinitionGenerator::*literal)()) {
    if (variables_ > 0 && random_.Percent(26)) return Var(Slot());
    return Lit((this->*literal)());
  }

  // Each draw is its own statement: the order in which function arguments
  // are evaluated is unspecified, and the bytes must not depend on it.
  void AddPrecondition(DefinitionBuilder& builder) {
    // GetRegValue, FileExist, RegValueExist, RegKeyExist, StrConcat,
    // ExtractPathFromCommand, FolderExist, ASDPrec1.
    static constexpr std::array<std::uint32_t, 8> kWeights = {30, 25, 15, 12, 6, 5, 5, 1};
    std::size_t pick = PickWeighted(random_, kWeights);
    if (variables_ == 0 && (pick == 0 || pick == 4 || pick == 5)) pick = 1;
    switch (pick) {
      case 0: {
        Operand key = Param(&DefinitionGenerator::KeyPath);
        Operand value = Param(&DefinitionGenerator::ValueName);
        builder.Pre(MakeGetRegValue(std::move(key), std::move(value), Slot()));
        break;
      }
      case 1: builder.Pre(MakeFileExist(Param(&DefinitionGenerator::FilePath))); break;
      case 2: {
        Operand key = Param(&DefinitionGenerator::KeyPath);
        Operand value = Param(&DefinitionGenerator::ValueName);
        builder.Pre(MakeRegValueExist(std::move(key), std::move(value)));
        break;
      }
      case 3: builder.Pre(MakeRegKeyExist(Param(&DefinitionGenerator::KeyPath))); break;
      case 4: {
        Operand folder = Param(&DefinitionGenerator::FolderPath);
        builder.Pre(MakeStrConcat(std::move(folder), Lit(u"\\app.exe"), Slot()));
        break;
      }
      case 5: {
        const std::uint32_t target = Slot();
        builder.Pre(MakeExtractPathFromCommand(target, Param(&DefinitionGenerator::FilePath)));
        break;
      }
      case 6: builder.Pre(MakeFolderExist(Param(&DefinitionGenerator::FolderPath))); break;
      default: builder.Pre(MakeASDPrec1(u"\\advansed spyware detector\\")); break;
    }
  }

  void AddAction(DefinitionBuilder& builder) {
    // FileDelete, RegValueDelete, FolderDelete, RegKeyDelete, StrConcat,
    // KillProcess, GetRegValue, InnoSetupUninstall, Uninstall,
    // ExtractPathFromCommand, ASDPrec1.
    static constexpr std::array<std::uint32_t, 11> kWeights = {350, 200, 120, 120, 60, 60, 30, 20, 15, 15, 3};
    std::size_t pick = PickWeighted(random_, kWeights);
    if (variables_ == 0 && (pick == 4 || pick == 6 || pick == 9)) pick = 0;
    switch (pick) {
      case 0: builder.Act(MakeFileDelete(Param(&DefinitionGenerator::FilePath))); break;
      case 1: {
        Operand key = Param(&DefinitionGenerator::KeyPath);
        Operand value = Param(&DefinitionGenerator::ValueName);
        builder.Act(MakeRegValueDelete(std::move(key), std::move(value)));
        break;
      }
      case 2: builder.Act(MakeFolderDelete(Param(&DefinitionGenerator::FolderPath))); break;
      case 3: builder.Act(MakeRegKeyDelete(Param(&DefinitionGenerator::KeyPath))); break;
      case 4: {
        const std::uint32_t source = Slot();
        builder.Act(MakeStrConcat(Lit(kRegistryRoots[1]), Var(source), Slot()));
        break;
      }
      case 5: builder.Act(MakeKillProcess(Param(&DefinitionGenerator::FilePath))); break;
      case 6: {
        Operand key = Param(&DefinitionGenerator::KeyPath);
        builder.Act(MakeGetRegValue(std::move(key), Lit(u"UninstallString"), Slot()));
        break;
      }
      case 7:
        builder.Act(MakeInnoSetupUninstall(kRegistryRoots[2], u"UninstallString", u" /SILENT /NORESTART",
                                           Lit(product_ + u"_is1")));
        break;
      case 8: builder.Act(MakeUninstall(Param(&DefinitionGenerator::FilePath), Lit(u""))); break;
      case 9: {
        const std::uint32_t target = Slot();
        builder.Act(MakeExtractPathFromCommand(target, Var(Slot())));
        break;
      }
      default: builder.Act(MakeASDPrec1(u"\\advansed spyware detector\\")); break;
    }
  }

  Random& random_;
  std::uint32_t index_;
  std::u16string product_;
  std::uint32_t variables_ = 0;
};

}  // namespace

DatabaseBuilder GenerateDatabase(std::uint32_t definitionCount, std::uint32_t seed) {
  Random random(seed);
  DatabaseBuilder db;
  for (std::uint32_t i = 0; i < definitionCount; ++i) db.Add(DefinitionGenerator(random, i).Generate());
  return db;
}

}  // namespace quenwick::testdb
