// Pictures as text, and the bitmap and icon images made from them.
#include <fstream>
#include <sstream>

#include "Rc.hpp"

namespace vorlane::Rc {

const std::uint32_t kStandardPalette[16] = {
    0x000000, 0x800000, 0x008000, 0x808000, 0x000080, 0x800080, 0x008080, 0x808080,
    0xC0C0C0, 0xFF0000, 0x00FF00, 0xFFFF00, 0x0000FF, 0xFF00FF, 0x00FFFF, 0xFFFFFF,
};

namespace {

const char* const kColourNames[16] = {
    "black",  "maroon", "green", "olive",  "navy", "purple",  "teal", "gray",
    "silver", "red",    "lime",  "yellow", "blue", "fuchsia", "aqua", "white",
};
constexpr int kTransparent = 16;
constexpr int kMaxSide = 256;

void PutHeader(TBytes& out, int width, int height, std::uint32_t imageSize) {
  Put32(out, 40);  // biSize
  Put32(out, static_cast<std::uint32_t>(width));
  Put32(out, static_cast<std::uint32_t>(height));
  Put16(out, 1);  // biPlanes
  Put16(out, 4);  // biBitCount
  Put32(out, 0);  // biCompression: BI_RGB
  Put32(out, imageSize);
  Put32(out, 0);   // biXPelsPerMeter
  Put32(out, 0);   // biYPelsPerMeter
  Put32(out, 16);  // biClrUsed
  Put32(out, 0);   // biClrImportant
}

void PutPalette(TBytes& out) {
  // Each entry is blue, green, red, zero: the 0xRRGGBB word, little-endian.
  for (std::uint32_t rgb : kStandardPalette) Put32(out, rgb);
}

std::uint32_t RowBytes(int width, int bits) {
  return static_cast<std::uint32_t>((width * bits + 31) / 32 * 4);
}

void PutColourRows(TBytes& out, const TPicture& p) {
  const std::uint32_t rowBytes = RowBytes(p.Width, 4);
  for (int y = p.Height - 1; y >= 0; --y) {
    TBytes row(rowBytes, 0);
    for (int x = 0; x < p.Width; ++x) {
      const std::size_t i = static_cast<std::size_t>(y * p.Width + x);
      const std::uint8_t index = p.Transparent[i] ? 0 : p.Pixels[i];
      row[static_cast<std::size_t>(x / 2)] |=
          static_cast<std::uint8_t>(x % 2 == 0 ? index << 4 : index);
    }
    out.insert(out.end(), row.begin(), row.end());
  }
}

}  // namespace

TPicture ReadPicture(const std::filesystem::path& file) {
  std::ifstream in(file);
  if (!in) throw ECompileError(file.string() + ": cannot read the picture");
  int colourOf[256];
  for (int& c : colourOf) c = -1;
  TPicture picture;
  std::string line;
  int lineNo = 0;
  auto fail = [&](const std::string& what) -> void {
    throw ECompileError(file.string() + ":" + std::to_string(lineNo) + ": " + what);
  };
  bool inPixels = false;
  int row = 0;
  while (std::getline(in, line)) {
    ++lineNo;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (inPixels) {
      if (row == picture.Height) {
        if (line.find_first_not_of(" \t") == std::string::npos) continue;
        fail("more rows than the height " + std::to_string(picture.Height));
      }
      if (static_cast<int>(line.size()) != picture.Width)
        fail("a row of " + std::to_string(line.size()) + " pixels, not " +
             std::to_string(picture.Width));
      for (char ch : line) {
        const int colour = colourOf[static_cast<unsigned char>(ch)];
        if (colour < 0) fail(std::string("the pixel '") + ch + "' has no colour");
        picture.Pixels.push_back(static_cast<std::uint8_t>(colour == kTransparent ? 0 : colour));
        picture.Transparent.push_back(colour == kTransparent ? 1 : 0);
      }
      ++row;
      continue;
    }
    std::istringstream words(line);
    std::string keyword;
    if (!(words >> keyword) || keyword.starts_with("//")) continue;
    if (keyword == "size") {
      if (!(words >> picture.Width >> picture.Height) || picture.Width <= 0 ||
          picture.Height <= 0 || picture.Width > kMaxSide || picture.Height > kMaxSide)
        fail("'size' needs a width and a height from 1 to 256");
    } else if (keyword == "colour") {
      std::string ch, name;
      if (!(words >> ch >> name) || ch.size() != 1) fail("'colour' needs a character and a name");
      int colour = name == "transparent" ? kTransparent : -1;
      for (int i = 0; i < 16; ++i)
        if (name == kColourNames[i]) colour = i;
      if (colour < 0) fail("'" + name + "' is not a colour of the standard palette");
      colourOf[static_cast<unsigned char>(ch[0])] = colour;
    } else if (keyword == "pixels") {
      if (picture.Width == 0) fail("'pixels' before 'size'");
      inPixels = true;
    } else {
      fail("unknown keyword '" + keyword + "'");
    }
    std::string rest;
    if (words >> rest && !rest.starts_with("//")) fail("unexpected '" + rest + "'");
  }
  if (!inPixels) fail("no 'pixels'");
  if (row != picture.Height)
    fail(std::to_string(row) + " rows, not " + std::to_string(picture.Height));
  return picture;
}

TBytes MakeBitmap(const TPicture& p, const std::string& where) {
  for (std::uint8_t t : p.Transparent)
    if (t) throw ECompileError(where + ": a bitmap cannot have transparent pixels");
  TBytes out;
  PutHeader(out, p.Width, p.Height, RowBytes(p.Width, 4) * static_cast<std::uint32_t>(p.Height));
  PutPalette(out);
  PutColourRows(out, p);
  return out;
}

TBytes MakeIconImage(const TPicture& p) {
  const std::uint32_t colourBytes = RowBytes(p.Width, 4) * static_cast<std::uint32_t>(p.Height);
  const std::uint32_t maskRow = RowBytes(p.Width, 1);
  TBytes out;
  PutHeader(out, p.Width, p.Height * 2,
            colourBytes + maskRow * static_cast<std::uint32_t>(p.Height));
  PutPalette(out);
  PutColourRows(out, p);
  for (int y = p.Height - 1; y >= 0; --y) {
    TBytes row(maskRow, 0);
    for (int x = 0; x < p.Width; ++x)
      if (p.Transparent[static_cast<std::size_t>(y * p.Width + x)])
        row[static_cast<std::size_t>(x / 8)] |= static_cast<std::uint8_t>(0x80 >> (x % 8));
    out.insert(out.end(), row.begin(), row.end());
  }
  return out;
}

}  // namespace vorlane::Rc
