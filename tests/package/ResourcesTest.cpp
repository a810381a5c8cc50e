// The resources of the design package, each decoded field by field from its bytes.
#include <algorithm>
#include <cctype>
#include <map>

#include "PackageSupport.hpp"

namespace vorlane::PackageTest {
namespace {

using Packages::RT_BITMAP;
using Packages::RT_GROUP_ICON;
using Packages::RT_ICON;
using Packages::RT_RCDATA;
using Packages::RT_VERSION;

// The framework's name hash, written out again from its definition: upper-case
// each character, rotate the hash left by one bit and add the character.
std::uint32_t ExpectedHash(const std::string& name) {
  unsigned hash = 0;
  for (char c : name) {
    const unsigned up = static_cast<unsigned>(std::toupper(static_cast<unsigned char>(c)));
    hash = (((hash << 1) | (hash >> 7)) + up) & 0xFF;
  }
  return hash;
}

// The standard palette as the bytes of its entries: blue, green, red, zero.
const std::uint8_t kPalette[16][3] = {
    {0x00, 0x00, 0x00}, {0x00, 0x00, 0x80}, {0x00, 0x80, 0x00}, {0x00, 0x80, 0x80},
    {0x80, 0x00, 0x00}, {0x80, 0x00, 0x80}, {0x80, 0x80, 0x00}, {0x80, 0x80, 0x80},
    {0xC0, 0xC0, 0xC0}, {0x00, 0x00, 0xFF}, {0x00, 0xFF, 0x00}, {0x00, 0xFF, 0xFF},
    {0xFF, 0x00, 0x00}, {0xFF, 0x00, 0xFF}, {0xFF, 0xFF, 0x00}, {0xFF, 0xFF, 0xFF},
};
constexpr int kBlack = 0, kRed = 9, kSilver = 8;

class PackageResources : public TPackageFixture {
 protected:
  void SetUp() override {
    TPackageFixture::SetUp();
    FPackage = Packages::LoadPackage(kPackageFile);
  }
  void TearDown() override {
    Packages::UnloadPackage(FPackage);
    TPackageFixture::TearDown();
  }
  Packages::TResource Get(const Packages::TResourceId& type, const Packages::TResourceId& name) {
    auto r = Packages::FindResource(FPackage, type, name);
    EXPECT_TRUE(r.has_value()) << System::StringToUtf8(name.Text());
    return r.value_or(Packages::TResource{});
  }
  void ExpectPalette(std::span<const std::byte> d, std::size_t at) {
    for (int i = 0; i < 16; ++i) {
      const std::size_t p = at + static_cast<std::size_t>(i) * 4;
      EXPECT_EQ(U8(d, p), kPalette[i][0]) << "blue of colour " << i;
      EXPECT_EQ(U8(d, p + 1), kPalette[i][1]) << "green of colour " << i;
      EXPECT_EQ(U8(d, p + 2), kPalette[i][2]) << "red of colour " << i;
      EXPECT_EQ(U8(d, p + 3), 0u);
    }
  }
  HMODULE FPackage = 0;
};

TEST_F(PackageResources, AreTheListedOnesWithTheirSizesAndLanguages) {
  std::vector<std::string> found;
  for (const Packages::TResource& r : Packages::EnumResources(FPackage))
    found.push_back(System::StringToUtf8(r.Type.TypeText() + u" " + r.Name.Text() + u" ") +
                    std::to_string(r.Language) + " " + std::to_string(r.Data.size()));
  EXPECT_EQ(
      found,
      (std::vector<std::string>{
          "RCDATA PACKAGEINFO 0 96", "RCDATA DESCRIPTION 0 56", "RCDATA PACKAGEOPTIONS 0 144",
          "BITMAP TJOYSTICK 1033 392", "ICON #1 1033 744", "GROUP_ICON MAINICON 1033 20",
          "VERSION #1 1033 " + std::to_string(Get(RT_VERSION, std::uint16_t{1}).Data.size())}));
  // Names are found without regard to case, and only with their type.
  EXPECT_TRUE(Packages::FindResource(FPackage, RT_BITMAP, u"TJoystick").has_value());
  EXPECT_FALSE(Packages::FindResource(FPackage, RT_RCDATA, u"TJOYSTICK").has_value());
  EXPECT_FALSE(Packages::FindResource(FPackage, RT_BITMAP, u"TJOYSTICK", 0).has_value());
  EXPECT_THROW(Packages::LoadResource(FPackage, RT_RCDATA, u"MISSING"), Packages::EPackageError);
}

TEST_F(PackageResources, PackageInfo) {
  const auto d = Get(RT_RCDATA, u"PACKAGEINFO").Data;
  ASSERT_EQ(d.size(), 96u);
  const std::uint32_t flags = U32(d, 0);
  EXPECT_EQ(flags, 0x4C300002u);
  EXPECT_EQ(flags & 0x2, 0x2u) << "design-only";
  EXPECT_EQ(flags & 0xC0000000, 0x40000000u) << "package module";
  EXPECT_EQ(flags & 0x0C000000, 0x0C000000u) << "producer field";
  EXPECT_EQ(U32(d, 4), 2u);
  std::size_t at = 8;
  for (const char* required : {"vldesign", "vlvisual"}) {
    const std::uint32_t hash = U8(d, at++);
    EXPECT_EQ(ZText(d, at), required);
    EXPECT_EQ(hash, ExpectedHash(required)) << required;
  }
  EXPECT_EQ(U32(d, at), 4u);
  at += 4;
  const std::pair<std::uint32_t, std::string> units[] = {
      {3, "VorlaneJoy"}, {0, "JoystickDesign"}, {0, "Joystick"}, {0, "SysInit"}};
  for (const auto& [unitFlags, name] : units) {
    EXPECT_EQ(U8(d, at++), unitFlags) << name;
    const std::uint32_t hash = U8(d, at++);
    EXPECT_EQ(ZText(d, at), name);
    EXPECT_EQ(hash, ExpectedHash(name)) << name;
  }
  const std::uint32_t hash = U8(d, at++);
  EXPECT_EQ(ZText(d, at), "VorlaneJoy");
  EXPECT_EQ(hash, ExpectedHash("VorlaneJoy"));
  EXPECT_EQ(at, 95u);
  EXPECT_EQ(U8(d, 95), 0u) << "the padding byte";

  // The loader's decoding agrees, from the loaded module and from the file.
  for (const Packages::TPackageInfo& info :
       {Packages::GetPackageInfo(FPackage), Packages::ReadPackageInfo(kPackageFile)}) {
    EXPECT_EQ(info.Flags, 0x4C300002u);
    ASSERT_EQ(info.Requires.size(), 2u);
    EXPECT_EQ(info.Requires[1].Name, "vlvisual");
    ASSERT_EQ(info.Contains.size(), 4u);
    EXPECT_EQ(info.Contains[0].Flags, Packages::ufMainUnit | Packages::ufPackageUnit);
    EXPECT_EQ(info.Contains[2].Name, "Joystick");
    EXPECT_EQ(info.Package.Name, "VorlaneJoy");
  }
}

TEST_F(PackageResources, Description) {
  const auto d = Get(RT_RCDATA, u"DESCRIPTION").Data;
  ASSERT_EQ(d.size(), 56u);
  std::size_t at = 0;
  EXPECT_EQ(ZText16(d, at), u"Vorlane Joystick Component");
  EXPECT_EQ(at, 54u);
  EXPECT_EQ(U16(d, 54), 0u);
}

TEST_F(PackageResources, PackageOptions) {
  const auto d = Get(RT_RCDATA, u"PACKAGEOPTIONS").Data;
  ASSERT_EQ(d.size(), 144u);
  EXPECT_EQ(U8(d, 0), 0x30u);
  EXPECT_EQ(U8(d, 1), 0x08u);
  for (std::size_t i = 2; i < 28; ++i) EXPECT_LE(U8(d, i), 1u) << "switch " << char('A' + i - 2);
  EXPECT_EQ(U32(d, 28), 16384u);
  EXPECT_EQ(U32(d, 32), 1048576u);
  EXPECT_EQ(U32(d, 36), 1048576u);
  EXPECT_EQ(U32(d, 40), 4194304u);
  EXPECT_EQ(U8(d, 44), 0u);
  ASSERT_EQ(U8(d, 45), 71u);
  std::string aliases;
  for (std::size_t i = 46; i < 46 + 71; ++i) aliases.push_back(static_cast<char>(U8(d, i)));
  std::vector<std::string> pairs;
  for (std::size_t start = 0, end; start <= aliases.size(); start = end + 1) {
    end = std::min(aliases.find(';', start), aliases.size());
    pairs.push_back(aliases.substr(start, end - start));
  }
  ASSERT_EQ(pairs.size(), 5u) << aliases;
  for (const std::string& p : pairs) {
    const auto eq = p.find('=');
    EXPECT_TRUE(eq != std::string::npos && eq > 0 && eq + 1 < p.size() &&
                p.find('=', eq + 1) == std::string::npos)
        << p;
  }
  ASSERT_EQ(U8(d, 117), 26u);
  std::string description;
  for (std::size_t i = 118; i < 144; ++i) description.push_back(static_cast<char>(U8(d, i)));
  EXPECT_EQ(description, "Vorlane Joystick Component");
}

TEST_F(PackageResources, PaletteBitmapIsAJoystickOnSilver) {
  const Packages::TResource r = Get(RT_BITMAP, u"TJOYSTICK");
  EXPECT_EQ(r.Language, 0x0409);
  const auto d = r.Data;
  ASSERT_EQ(d.size(), 40u + 64u + 288u);
  EXPECT_EQ(U32(d, 0), 40u);                         // header size
  EXPECT_EQ(U32(d, 4), 24u);                         // width
  EXPECT_EQ(U32(d, 8), 24u);                         // height: positive, rows bottom up
  EXPECT_EQ(U16(d, 12), 1u);                         // planes
  EXPECT_EQ(U16(d, 14), 4u);                         // bits per pixel
  EXPECT_EQ(U32(d, 16), 0u);                         // uncompressed
  EXPECT_EQ(U32(d, 20), 288u);                       // image size
  EXPECT_TRUE(U32(d, 32) == 16 || U32(d, 32) == 0);  // colours used
  ExpectPalette(d, 40);

  // pixel(x, y), y = 0 the top row: rows are stored bottom up, 12 bytes each,
  // the left pixel in the high half of a byte.
  auto pixel = [&](int x, int y) {
    const std::uint32_t byte = U8(d, 104 + static_cast<std::size_t>((23 - y) * 12 + x / 2));
    return static_cast<int>(x % 2 == 0 ? byte >> 4 : byte & 0xF);
  };
  auto drawn = [&](int y) {
    int n = 0;
    for (int x = 0; x < 24; ++x) n += pixel(x, y) != kSilver ? 1 : 0;
    return n;
  };
  for (auto [x, y] : {std::pair{0, 0}, {23, 0}, {0, 23}, {23, 23}}) EXPECT_EQ(pixel(x, y), kSilver);
  int background = 0, red = 0, black = 0;
  for (int y = 0; y < 24; ++y)
    for (int x = 0; x < 24; ++x) {
      background += pixel(x, y) == kSilver;
      red += pixel(x, y) == kRed && y < 8;
      black += pixel(x, y) == kBlack;
    }
  EXPECT_GT(background, 24 * 24 / 2) << "mostly silver";
  EXPECT_GT(red, 6) << "a red knob at the top";
  EXPECT_GT(black, 20) << "outlines";
  // A narrow stick in the middle rows, a wide base in the bottom rows.
  for (int y = 9; y < 14; ++y) EXPECT_TRUE(drawn(y) >= 2 && drawn(y) <= 6) << "row " << y;
  int widest = 0;
  for (int y = 16; y < 22; ++y) widest = std::max(widest, drawn(y));
  EXPECT_GE(widest, 16);
}

TEST_F(PackageResources, IconGroupWithOne32x32Image) {
  const Packages::TResource group = Get(RT_GROUP_ICON, u"MAINICON");
  EXPECT_EQ(group.Language, 0x0409);
  const auto g = group.Data;
  ASSERT_EQ(g.size(), 20u);
  EXPECT_EQ(U16(g, 0), 0u);  // reserved
  EXPECT_EQ(U16(g, 2), 1u);  // icons
  EXPECT_EQ(U16(g, 4), 1u);  // one image
  EXPECT_EQ(U8(g, 6), 32u);  // width
  EXPECT_EQ(U8(g, 7), 32u);  // height
  EXPECT_EQ(U8(g, 8), 16u);  // colours
  EXPECT_EQ(U8(g, 9), 0u);
  EXPECT_EQ(U16(g, 10), 1u);  // planes
  EXPECT_EQ(U16(g, 12), 4u);  // bits per pixel
  EXPECT_EQ(U32(g, 14), 744u);
  const std::uint32_t id = U16(g, 18);

  const Packages::TResource image = Get(RT_ICON, static_cast<std::uint16_t>(id));
  EXPECT_EQ(image.Language, 0x0409);
  const auto d = image.Data;
  ASSERT_EQ(d.size(), 744u);
  EXPECT_EQ(U32(d, 0), 40u);
  EXPECT_EQ(U32(d, 4), 32u);
  EXPECT_EQ(U32(d, 8), 64u);  // colour rows and mask rows
  EXPECT_EQ(U16(d, 12), 1u);
  EXPECT_EQ(U16(d, 14), 4u);
  EXPECT_EQ(U32(d, 16), 0u);
  ExpectPalette(d, 40);
  // The mask (1 = transparent), bottom row first, 4 bytes a row, after 512 bytes of colour.
  auto transparent = [&](int x, int y) {
    return (U8(d, 104 + 512 + static_cast<std::size_t>((31 - y) * 4 + x / 8)) >> (7 - x % 8) & 1) !=
           0;
  };
  EXPECT_TRUE(transparent(0, 0));
  EXPECT_TRUE(transparent(31, 31));
  EXPECT_FALSE(transparent(16, 6)) << "the knob";
  EXPECT_FALSE(transparent(16, 24)) << "the base";
}

// One block of a version record: its fields, and the offsets of its value and of
// its children.
struct TVersionBlock {
  std::uint32_t Length, ValueLength, Type;
  std::u16string Key;
  std::size_t Value, End;
  std::vector<TVersionBlock> Children;
};

TVersionBlock ReadVersionBlock(std::span<const std::byte> d, std::size_t at) {
  TVersionBlock b;
  b.Length = U16(d, at);
  b.ValueLength = U16(d, at + 2);
  b.Type = U16(d, at + 4);
  std::size_t p = at + 6;
  b.Key = ZText16(d, p);
  p = (p + 3) & ~std::size_t{3};
  b.Value = p;
  b.End = at + b.Length;
  p += b.Type == 1 ? b.ValueLength * 2 : b.ValueLength;
  for (p = (p + 3) & ~std::size_t{3}; p < b.End; p = (p + 3) & ~std::size_t{3}) {
    b.Children.push_back(ReadVersionBlock(d, p));
    if (b.Children.back().Length == 0) break;
    p += b.Children.back().Length;
  }
  return b;
}

TEST_F(PackageResources, VersionRecord) {
  const Packages::TResource r = Get(RT_VERSION, std::uint16_t{1});
  EXPECT_EQ(r.Language, 0x0409);
  const auto d = r.Data;
  const TVersionBlock root = ReadVersionBlock(d, 0);
  EXPECT_EQ(root.Length, d.size());
  EXPECT_EQ(root.Key, u"VS_VERSION_INFO");
  EXPECT_EQ(root.Type, 0u);
  ASSERT_EQ(root.ValueLength, 52u);
  const std::size_t f = root.Value;
  EXPECT_EQ(U32(d, f), 0xFEEF04BDu);       // signature
  EXPECT_EQ(U32(d, f + 4), 0x00010000u);   // structure version
  EXPECT_EQ(U32(d, f + 8), 0x00010000u);   // file version 1.0
  EXPECT_EQ(U32(d, f + 12), 0u);           //              .0.0
  EXPECT_EQ(U32(d, f + 16), 0x00010000u);  // product version 1.0
  EXPECT_EQ(U32(d, f + 20), 0u);           //                 .0.0
  EXPECT_EQ(U32(d, f + 24), 0x3Fu);        // flags mask
  EXPECT_EQ(U32(d, f + 28), 0u);           // flags
  EXPECT_EQ(U32(d, f + 32), 0x4u);         // 32-bit Windows
  EXPECT_EQ(U32(d, f + 36), 1u);           // an application
  EXPECT_EQ(U32(d, f + 40), 0u);           // subtype
  EXPECT_EQ(U32(d, f + 44), 0u);           // date
  EXPECT_EQ(U32(d, f + 48), 0u);

  ASSERT_EQ(root.Children.size(), 2u);
  const TVersionBlock& strings = root.Children[0];
  EXPECT_EQ(strings.Key, u"StringFileInfo");
  ASSERT_EQ(strings.Children.size(), 1u);
  const TVersionBlock& table = strings.Children[0];
  EXPECT_EQ(table.Key, u"040904E4");
  const std::pair<std::u16string, std::u16string> expected[] = {
      {u"CompanyName", u""},      {u"FileDescription", u""}, {u"FileVersion", u"1.0.0.0"},
      {u"InternalName", u""},     {u"LegalCopyright", u""},  {u"LegalTrademarks", u""},
      {u"OriginalFilename", u""}, {u"ProductName", u""},     {u"ProductVersion", u"1.0.0.0"},
      {u"Comments", u""}};
  ASSERT_EQ(table.Children.size(), std::size(expected));
  for (std::size_t i = 0; i < table.Children.size(); ++i) {
    const TVersionBlock& s = table.Children[i];
    EXPECT_EQ(s.Key, expected[i].first);
    EXPECT_EQ(s.Type, 1u) << "text";
    EXPECT_EQ(s.ValueLength, expected[i].second.size() + 1) << "units with the terminating zero";
    std::size_t p = s.Value;
    EXPECT_EQ(ZText16(d, p), expected[i].second);
  }
  const TVersionBlock& vars = root.Children[1];
  EXPECT_EQ(vars.Key, u"VarFileInfo");
  ASSERT_EQ(vars.Children.size(), 1u);
  const TVersionBlock& translation = vars.Children[0];
  EXPECT_EQ(translation.Key, u"Translation");
  EXPECT_EQ(translation.Type, 0u);
  ASSERT_EQ(translation.ValueLength, 4u);
  EXPECT_EQ(U16(d, translation.Value), 0x0409u);
  EXPECT_EQ(U16(d, translation.Value + 2), 0x04E4u);

  // The loader's decoding agrees.
  const Packages::TVersionInfo info = Packages::DecodeVersionInfo(d, "version");
  EXPECT_EQ(Packages::VersionText(info.Fixed.FileVersionMS, info.Fixed.FileVersionLS), "1.0.0.0");
  ASSERT_EQ(info.StringTables.size(), 1u);
  EXPECT_EQ(info.StringTables[0].Values[8],
            (std::pair<std::u16string, std::u16string>{u"ProductVersion", u"1.0.0.0"}));
  EXPECT_EQ(info.Translations, std::vector<std::uint32_t>{0x04E40409});
}

}  // namespace
}  // namespace vorlane::PackageTest
