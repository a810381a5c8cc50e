// vorlane-rc: compiles a resource script and the pictures it names (as text) into
// the resource file layout, and into a C++ source that embeds it in a module.
#pragma once

#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

namespace vorlane::Rc {

using TBytes = std::vector<std::uint8_t>;

// Little-endian writing, as every structure of the resource layout is stored:
// Put8, Put16 and Put32 append the low 8, 16 or 32 bits of `v`, lowest byte
// first; Align4 appends zero bytes up to the next multiple of four.
void Put8(TBytes& out, std::uint32_t v);
void Put16(TBytes& out, std::uint32_t v);
void Put32(TBytes& out, std::uint32_t v);
void Align4(TBytes& out);

// A failure in a script or a picture; the message starts with "file:line: ".
class ECompileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A resource type or name: a number, or an upper-case name.
struct TId {
  std::uint16_t Ordinal = 0;
  std::string Name;  // empty for a number
};

struct TResource {
  TId Type;
  TId Name;
  std::uint16_t Language = 0;
  std::uint16_t MemoryFlags = 0x0030;
  TBytes Data;
};

// Reads a resource script; pictures are found relative to the script's folder.
// Raises ECompileError.
std::vector<TResource> CompileScript(const std::filesystem::path& script);

// --- Pictures ----------------------------------------------------------------------
//
// A picture as text:
//
//   // comment lines before the pixels
//   size 24 24
//   colour . silver
//   colour k black
//   colour _ transparent      (icons only)
//   pixels
//   ........................   (one line per row, top row first, one character a pixel)
//
// Colours are named after the standard 16-colour palette: black, maroon, green,
// olive, navy, purple, teal, gray, silver, red, lime, yellow, blue, fuchsia, aqua,
// white (indices 0 to 15).
struct TPicture {
  int Width = 0;
  int Height = 0;
  std::vector<std::uint8_t> Pixels;       // palette indices, top row first
  std::vector<std::uint8_t> Transparent;  // 1 where the pixel is transparent
};

TPicture ReadPicture(const std::filesystem::path& file);
// A 4-bit device-independent bitmap with the standard palette, rows bottom up, as a
// BITMAP resource holds it (no file header). Raises ECompileError for a picture
// with transparent pixels.
TBytes MakeBitmap(const TPicture& picture, const std::string& where);
// A 4-bit icon image (header of double height, palette, colour rows, mask rows).
TBytes MakeIconImage(const TPicture& picture);
// The standard 16-colour palette as RGB.
extern const std::uint32_t kStandardPalette[16];

// --- Output ---------------------------------------------------------------------------

// The resource file layout, starting with the empty marker entry.
TBytes WriteResourceFile(const std::vector<TResource>& resources);
// A C++ source that defines the exported byte array and its size.
std::string WriteCppSource(const TBytes& image, const std::string& scriptName);

}  // namespace vorlane::Rc
