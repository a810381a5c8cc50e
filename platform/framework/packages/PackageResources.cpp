// Resources of loaded modules: the resource file layout, lookup by type and name,
// and the decoding of the package information and of version records.
#include <algorithm>
#include <array>
#include <cstring>

#include "framework/packages/PackageInternal.hpp"

namespace vorlane::Packages {

namespace detail {

void Fail(std::string_view message) {
  throw EPackageError(System::Utf8ToString(message));
}

void TByteReader::Malformed(std::string_view what) const {
  Fail(FWhere + " is malformed: " + std::string(what) + " (at byte " + std::to_string(FOffset) +
       ").");
}

void TByteReader::Seek(std::size_t offset, std::string_view what) {
  if (offset > FData.size()) Malformed(what);
  FOffset = offset;
}

void TByteReader::Align4() {
  FOffset = std::min(FData.size(), (FOffset + 3) & ~std::size_t{3});
}

std::span<const std::byte> TByteReader::Bytes(std::size_t count, std::string_view what) {
  if (count > Remaining()) Malformed(std::string(what) + " is cut short");
  auto bytes = FData.subspan(FOffset, count);
  FOffset += count;
  return bytes;
}

std::uint8_t TByteReader::U8(std::string_view what) {
  return std::to_integer<std::uint8_t>(Bytes(1, what)[0]);
}

std::uint16_t TByteReader::U16(std::string_view what) {
  auto b = Bytes(2, what);
  return static_cast<std::uint16_t>(std::to_integer<unsigned>(b[0]) |
                                    std::to_integer<unsigned>(b[1]) << 8);
}

std::uint32_t TByteReader::U32(std::string_view what) {
  auto b = Bytes(4, what);
  return std::to_integer<std::uint32_t>(b[0]) | std::to_integer<std::uint32_t>(b[1]) << 8 |
         std::to_integer<std::uint32_t>(b[2]) << 16 | std::to_integer<std::uint32_t>(b[3]) << 24;
}

std::string TByteReader::ZString(std::string_view what) {
  std::string text;
  for (;;) {
    if (Remaining() == 0) Malformed(std::string(what) + " has no terminating zero");
    const auto c = U8(what);
    if (c == 0) return text;
    text.push_back(static_cast<char>(c));
  }
}

String TByteReader::ZString16(std::string_view what) {
  String text;
  for (;;) {
    if (Remaining() < 2) Malformed(std::string(what) + " has no terminating zero");
    const auto c = U16(what);
    if (c == 0) return text;
    text.push_back(static_cast<char16_t>(c));
  }
}

}  // namespace detail

using detail::TByteReader;

// --- Resource identifiers -------------------------------------------------------------

String TResourceId::Text() const {
  if (!IsOrdinal()) return FName;
  // Appended, not `literal + temporary`, which g++ 12 at -O3 misreads as an
  // overlapping copy (-Wrestrict).
  String text(u"#");
  text += System::UIntToStr(FOrdinal);
  return text;
}

String TResourceId::TypeText() const {
  if (!IsOrdinal()) return FName;
  switch (FOrdinal) {
    case 1:
      return u"CURSOR";
    case RT_BITMAP:
      return u"BITMAP";
    case RT_ICON:
      return u"ICON";
    case 4:
      return u"MENU";
    case 5:
      return u"DIALOG";
    case 6:
      return u"STRING";
    case 9:
      return u"ACCELERATOR";
    case RT_RCDATA:
      return u"RCDATA";
    case 12:
      return u"GROUP_CURSOR";
    case RT_GROUP_ICON:
      return u"GROUP_ICON";
    case RT_VERSION:
      return u"VERSION";
    case 24:
      return u"MANIFEST";
    default:
      return Text();
  }
}

bool operator==(const TResourceId& a, const TResourceId& b) {
  if (a.IsOrdinal() != b.IsOrdinal()) return false;
  if (a.IsOrdinal()) return a.FOrdinal == b.FOrdinal;
  return System::SameText(a.FName, b.FName);
}

// --- The resource file layout ------------------------------------------------------------
//
// Each entry: u32 data size, u32 header size, the type and the name (each either
// 0xFFFF and a 16-bit number, or a zero-terminated 16-bit text), padding to a
// multiple of 4, u32 data version, u16 memory flags, u16 language, u32 version,
// u32 characteristics; then the data, padded to a multiple of 4. The first entry is
// an empty one (type 0, name 0) that marks the layout.

namespace {

TResourceId ReadId(TByteReader& r, std::string_view what) {
  const std::uint16_t first = r.U16(what);
  if (first == 0xFFFF) return TResourceId(r.U16(what));
  String name;
  for (std::uint16_t c = first; c != 0; c = r.U16(what)) name.push_back(static_cast<char16_t>(c));
  if (name.empty()) r.Malformed(std::string(what) + " is an empty name");
  return TResourceId(std::move(name));
}

}  // namespace

std::vector<TResource> ParseResources(std::span<const std::byte> image, std::string_view where) {
  TByteReader r(image, where);
  std::vector<TResource> out;
  while (true) {
    r.Align4();
    if (r.Remaining() == 0) break;
    const std::size_t start = r.Offset();
    const std::uint32_t dataSize = r.U32("a resource header");
    const std::uint32_t headerSize = r.U32("a resource header");
    if (headerSize < 24 || headerSize > r.Size() - start)
      r.Malformed("a resource header gives a header size of " + std::to_string(headerSize));
    if (dataSize > r.Size() - start - headerSize)
      r.Malformed("a resource's data (" + std::to_string(dataSize) + " bytes) runs past the end");
    TByteReader header(image.subspan(start, headerSize), where);
    header.Seek(8, "a resource header");
    TResource res;
    res.Type = ReadId(header, "a resource type");
    res.Name = ReadId(header, "a resource name");
    header.Align4();
    header.U32("a resource header");  // data version
    header.U16("a resource header");  // memory flags
    res.Language = header.U16("a resource header");
    header.U32("a resource header");  // version
    header.U32("a resource header");  // characteristics
    r.Seek(start + headerSize, "a resource header");
    res.Data = r.Bytes(dataSize, "a resource's data");
    const bool marker = res.Type.IsOrdinal() && res.Type.Ordinal() == 0 && res.Name.IsOrdinal() &&
                        res.Name.Ordinal() == 0;
    if (marker) {
      if (dataSize != 0) r.Malformed("the empty first resource holds data");
      continue;
    }
    out.push_back(std::move(res));
  }
  return out;
}

std::vector<TResource> EnumResources(HMODULE module) {
  const auto* image = static_cast<const std::byte*>(GetProcAddress(module, ResourcesSymbol));
  const auto* size = static_cast<const std::uint32_t*>(GetProcAddress(module, ResourcesSizeSymbol));
  if (image == nullptr || size == nullptr) return {};
  return ParseResources(std::span(image, *size),
                        "the resources of '" + GetModuleFileName(module) + "'");
}

std::optional<TResource> FindResource(HMODULE module, const TResourceId& type,
                                      const TResourceId& name,
                                      std::optional<std::uint16_t> language) {
  for (TResource& r : EnumResources(module))
    if (r.Type == type && r.Name == name && (!language || r.Language == *language)) return r;
  return std::nullopt;
}

std::span<const std::byte> LoadResource(HMODULE module, const TResourceId& type,
                                        const TResourceId& name) {
  if (auto r = FindResource(module, type, name)) return r->Data;
  throw EPackageError(u"Resource " + name.Text() + u" of type " + type.TypeText() +
                      u" not found in '" + System::Utf8ToString(GetModuleFileName(module)) + u"'.");
}

// --- Package information -----------------------------------------------------------------

namespace {

void CheckName(const TByteReader& r, std::uint8_t hash, const std::string& name,
               std::string_view what) {
  if (name.empty()) r.Malformed(std::string(what) + " is empty");
  if (NameHash(name) != hash)
    r.Malformed("the hash of " + std::string(what) + " '" + name + "' is " + std::to_string(hash) +
                ", not " + std::to_string(NameHash(name)));
}

constexpr std::uint32_t kMaxEntries = 4096;

}  // namespace

TPackageInfo DecodePackageInfo(std::span<const std::byte> data, std::string_view where) {
  TByteReader r(data, where);
  TPackageInfo info;
  info.Flags = r.U32("the flags");
  const std::uint32_t required = r.U32("the count of required packages");
  if (required > kMaxEntries) r.Malformed("it claims " + std::to_string(required) + " packages");
  for (std::uint32_t i = 0; i < required; ++i) {
    TPackageName p;
    p.Hash = r.U8("a required package");
    p.Name = r.ZString("the name of a required package");
    CheckName(r, p.Hash, p.Name, "a required package's name");
    info.Requires.push_back(std::move(p));
  }
  const std::uint32_t contains = r.U32("the count of contained units");
  if (contains > kMaxEntries) r.Malformed("it claims " + std::to_string(contains) + " units");
  for (std::uint32_t i = 0; i < contains; ++i) {
    TPackageUnit u;
    u.Flags = r.U8("a contained unit");
    u.Hash = r.U8("a contained unit");
    u.Name = r.ZString("the name of a contained unit");
    CheckName(r, u.Hash, u.Name, "a unit's name");
    info.Contains.push_back(std::move(u));
  }
  info.Package.Hash = r.U8("the package's name");
  info.Package.Name = r.ZString("the package's name");
  CheckName(r, info.Package.Hash, info.Package.Name, "the package's name");
  while (r.Remaining() > 0)
    if (r.U8("the padding") != 0) r.Malformed("a byte after the package's name is not zero");
  return info;
}

std::vector<std::string> FrameworkPackages() {
  return System::GetUnitPackages();
}

// --- Version records -----------------------------------------------------------------------
//
// A block: u16 length (of the block, its children included), u16 value length (in
// 16-bit units for text values, in bytes for binary ones), u16 type (1 text, 0
// binary), the key as zero-terminated 16-bit text, padding to a multiple of 4, the
// value, padding, then the child blocks, each starting on a multiple of 4.

namespace {

struct TBlock {
  std::uint16_t Type = 0;
  std::uint16_t ValueLength = 0;
  String Key;
  std::span<const std::byte> Value;
  std::vector<TBlock> Children;
};

}  // namespace

TVersionInfo DecodeVersionInfo(std::span<const std::byte> data, std::string_view where) {
  // Blocks are read with their own offsets so that a child's length bounds it.
  struct TWalker {
    std::span<const std::byte> Data;
    std::string Where;

    TBlock Read(std::size_t offset, std::size_t limit, int depth) {
      TByteReader r(Data.first(limit), Where);
      r.Seek(offset, "a version block");
      const std::uint16_t length = r.U16("a version block");
      if (length < 6 || length > limit - offset)
        r.Malformed("a version block's length " + std::to_string(length) + " does not fit");
      const std::size_t end = offset + length;
      TByteReader b(Data.first(end), Where);
      b.Seek(offset + 2, "a version block");
      TBlock block;
      block.ValueLength = b.U16("a version block");
      block.Type = b.U16("a version block");
      if (block.Type > 1) b.Malformed("a version block has type " + std::to_string(block.Type));
      block.Key = b.ZString16("a version block's key");
      b.Align4();
      const std::size_t valueBytes =
          block.Type == 1 ? std::size_t{block.ValueLength} * 2 : block.ValueLength;
      block.Value = b.Bytes(valueBytes,
                            "the value of version block '" + System::StringToUtf8(block.Key) + "'");
      for (b.Align4(); b.Remaining() > 0; b.Align4()) {
        if (depth >= 3) b.Malformed("version blocks are nested too deeply");
        TBlock child = Read(b.Offset(), end, depth + 1);
        TByteReader len(Data.first(end), Where);
        len.Seek(b.Offset(), "a version block");
        b.Seek(b.Offset() + len.U16("a version block"), "a version block");
        block.Children.push_back(std::move(child));
      }
      return block;
    }
  };
  TWalker walker{data, std::string(where)};
  const TBlock root = walker.Read(0, data.size(), 0);
  TByteReader r(data, where);
  if (root.Key != u"VS_VERSION_INFO") r.Malformed("the first key is not VS_VERSION_INFO");
  if (root.Type != 0 || root.Value.size() != 52)
    r.Malformed("the fixed file information is not 52 bytes");

  TVersionInfo info;
  TByteReader fixed(root.Value, where);
  std::uint32_t* fields[] = {
      &info.Fixed.Signature,     &info.Fixed.StrucVersion,     &info.Fixed.FileVersionMS,
      &info.Fixed.FileVersionLS, &info.Fixed.ProductVersionMS, &info.Fixed.ProductVersionLS,
      &info.Fixed.FileFlagsMask, &info.Fixed.FileFlags,        &info.Fixed.FileOS,
      &info.Fixed.FileType,      &info.Fixed.FileSubtype,      &info.Fixed.FileDateMS,
      &info.Fixed.FileDateLS};
  for (std::uint32_t* f : fields) *f = fixed.U32("the fixed file information");
  if (info.Fixed.Signature != VS_FFI_SIGNATURE)
    r.Malformed("the fixed file information has the wrong signature");

  for (const TBlock& child : root.Children) {
    if (child.Key == u"StringFileInfo") {
      for (const TBlock& table : child.Children) {
        TVersionStringTable t;
        t.Key = table.Key;
        for (const TBlock& value : table.Children) {
          String text;
          TByteReader v(value.Value, where);
          while (v.Remaining() >= 2) {
            const auto c = v.U16("a version string");
            if (c == 0) break;
            text.push_back(static_cast<char16_t>(c));
          }
          t.Values.emplace_back(value.Key, std::move(text));
        }
        info.StringTables.push_back(std::move(t));
      }
    } else if (child.Key == u"VarFileInfo") {
      for (const TBlock& var : child.Children) {
        if (var.Key != u"Translation") continue;
        TByteReader v(var.Value, where);
        while (v.Remaining() >= 4) info.Translations.push_back(v.U32("a translation"));
      }
    }
  }
  return info;
}

std::string VersionText(std::uint32_t ms, std::uint32_t ls) {
  return std::to_string(ms >> 16) + "." + std::to_string(ms & 0xFFFF) + "." +
         std::to_string(ls >> 16) + "." + std::to_string(ls & 0xFFFF);
}

}  // namespace vorlane::Packages
