// Writing a device-independent bitmap (as a BITMAP resource holds it) to a file a
// person can open: a Windows bitmap file (.bmp) or a PNG image (.png).
#pragma once

#include <cstddef>
#include <span>
#include <string>

namespace vorlane::JoyPackage {

// Writes `dib` to `path`, as PNG when the name ends in ".png", else as a bitmap
// file. Throws std::runtime_error saying what is wrong with the bitmap or the file.
void WritePicture(std::span<const std::byte> dib, const std::string& path);

}  // namespace vorlane::JoyPackage
