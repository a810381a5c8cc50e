#include "PictureFile.hpp"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <stdexcept>
#include <vector>

namespace vorlane::JoyPackage {

namespace {

using TBytes = std::vector<std::uint8_t>;

std::uint32_t Get(std::span<const std::byte> d, std::size_t at, int size) {
  std::uint32_t v = 0;
  for (int i = size - 1; i >= 0; --i)
    v = v << 8 | std::to_integer<std::uint32_t>(d[at + static_cast<std::size_t>(i)]);
  return v;
}

void PutLE(TBytes& out, std::uint32_t v, int size) {
  for (int i = 0; i < size; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}
void PutBE(TBytes& out, std::uint32_t v) {
  for (int i = 3; i >= 0; --i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

// The pixels of an uncompressed DIB of 1, 4 or 8 bits per pixel as RGB rows, top first.
struct TImage {
  std::uint32_t Width = 0, Height = 0;
  TBytes Rgb;
};

TImage Decode(std::span<const std::byte> d) {
  if (d.size() < 40 || Get(d, 0, 4) < 40)
    throw std::runtime_error("the bitmap header is cut short");
  const std::uint32_t headerSize = Get(d, 0, 4);
  const auto width = static_cast<std::int32_t>(Get(d, 4, 4));
  const auto height = static_cast<std::int32_t>(Get(d, 8, 4));
  const std::uint32_t bits = Get(d, 14, 2);
  if (Get(d, 16, 4) != 0) throw std::runtime_error("the bitmap is compressed");
  if (bits != 1 && bits != 4 && bits != 8)
    throw std::runtime_error("the bitmap has " + std::to_string(bits) + " bits per pixel");
  if (width <= 0 || width > 4096 || height == 0 || height > 4096 || height < -4096)
    throw std::runtime_error("the bitmap's size is out of range");
  std::uint32_t colours = Get(d, 32, 4);
  if (colours == 0 || colours > (1u << bits)) colours = 1u << bits;
  const std::size_t palette = headerSize;
  const std::size_t pixels = palette + colours * 4;
  const std::uint32_t rows = static_cast<std::uint32_t>(height < 0 ? -height : height);
  const std::size_t rowBytes = (static_cast<std::size_t>(width) * bits + 31) / 32 * 4;
  if (pixels + rowBytes * rows > d.size())
    throw std::runtime_error("the bitmap's pixels are cut short");
  TImage image{static_cast<std::uint32_t>(width), rows, {}};
  for (std::uint32_t y = 0; y < rows; ++y) {
    const std::uint32_t stored = height > 0 ? rows - 1 - y : y;  // positive heights are bottom up
    const std::size_t row = pixels + stored * rowBytes;
    for (std::uint32_t x = 0; x < image.Width; ++x) {
      const std::size_t bit = static_cast<std::size_t>(x) * bits;
      const std::uint32_t byte = Get(d, row + bit / 8, 1);
      std::uint32_t index = (byte >> (8 - bits - bit % 8)) & ((1u << bits) - 1);
      if (index >= colours) index = 0;
      const std::size_t entry = palette + index * 4;
      image.Rgb.push_back(static_cast<std::uint8_t>(Get(d, entry + 2, 1)));  // red
      image.Rgb.push_back(static_cast<std::uint8_t>(Get(d, entry + 1, 1)));  // green
      image.Rgb.push_back(static_cast<std::uint8_t>(Get(d, entry, 1)));      // blue
    }
  }
  return image;
}

TBytes BitmapFile(std::span<const std::byte> dib) {
  Decode(dib);  // refuses what a viewer could not show
  std::uint32_t colours = Get(dib, 32, 4);
  const std::uint32_t bits = Get(dib, 14, 2);
  if (colours == 0) colours = 1u << bits;
  TBytes out = {'B', 'M'};
  PutLE(out, static_cast<std::uint32_t>(14 + dib.size()), 4);
  PutLE(out, 0, 4);
  PutLE(out, 14 + Get(dib, 0, 4) + colours * 4, 4);  // where the pixels start
  for (std::byte b : dib) out.push_back(std::to_integer<std::uint8_t>(b));
  return out;
}

std::uint32_t Crc32(const std::uint8_t* p, std::size_t n, std::uint32_t crc = 0) {
  static const std::array<std::uint32_t, 256> table = [] {
    std::array<std::uint32_t, 256> t{};
    for (std::uint32_t i = 0; i < 256; ++i) {
      std::uint32_t c = i;
      for (int k = 0; k < 8; ++k) c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      t[i] = c;
    }
    return t;
  }();
  crc = ~crc;
  for (std::size_t i = 0; i < n; ++i) crc = table[(crc ^ p[i]) & 0xFF] ^ (crc >> 8);
  return ~crc;
}

void Chunk(TBytes& out, const char* type, const TBytes& data) {
  PutBE(out, static_cast<std::uint32_t>(data.size()));
  const std::size_t start = out.size();
  out.insert(out.end(), type, type + 4);
  out.insert(out.end(), data.begin(), data.end());
  PutBE(out, Crc32(out.data() + start, out.size() - start));
}

// A PNG of 8-bit RGB, its image data in stored (uncompressed) deflate blocks.
TBytes PngFile(std::span<const std::byte> dib) {
  const TImage image = Decode(dib);
  TBytes raw;
  for (std::uint32_t y = 0; y < image.Height; ++y) {
    raw.push_back(0);  // no filter
    const auto row = image.Rgb.begin() + static_cast<std::ptrdiff_t>(y * image.Width * 3);
    raw.insert(raw.end(), row, row + static_cast<std::ptrdiff_t>(image.Width * 3));
  }
  TBytes z = {0x78, 0x01};
  for (std::size_t at = 0; at < raw.size() || at == 0; at += 65535) {
    const std::size_t n = std::min<std::size_t>(65535, raw.size() - at);
    z.push_back(at + n >= raw.size() ? 1 : 0);
    PutLE(z, static_cast<std::uint32_t>(n), 2);
    PutLE(z, static_cast<std::uint32_t>(~n & 0xFFFF), 2);
    z.insert(z.end(), raw.begin() + static_cast<std::ptrdiff_t>(at),
             raw.begin() + static_cast<std::ptrdiff_t>(at + n));
    if (raw.empty()) break;
  }
  std::uint32_t a = 1, b = 0;
  for (std::uint8_t c : raw) {
    a = (a + c) % 65521;
    b = (b + a) % 65521;
  }
  PutBE(z, b << 16 | a);

  TBytes out = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  TBytes header;
  PutBE(header, image.Width);
  PutBE(header, image.Height);
  header.insert(header.end(), {8, 2, 0, 0, 0});  // 8 bits, RGB, deflate, no filter, no interlace
  Chunk(out, "IHDR", header);
  Chunk(out, "IDAT", z);
  Chunk(out, "IEND", {});
  return out;
}

}  // namespace

void WritePicture(std::span<const std::byte> dib, const std::string& path) {
  const bool png = path.size() >= 4 && (path.ends_with(".png") || path.ends_with(".PNG"));
  const TBytes bytes = png ? PngFile(dib) : BitmapFile(dib);
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (!out) throw std::runtime_error("cannot write '" + path + "': " + std::strerror(errno));
}

}  // namespace vorlane::JoyPackage
