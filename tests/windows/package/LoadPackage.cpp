// Loads the design package with the system's loader and checks it from inside a
// Windows process: every resource of the .res it was built from is found by
// FindResourceExW with the same size and bytes, and every name its .def lists is
// found by GetProcAddress. Then the framework's package loader: it reads the
// package information from the file and from the loaded package, loads and unloads
// the package, answers what a file without package information or no file at all
// is, and refuses the package once the process holds its unit Joystick.
//
//   LoadPackage.exe VorlaneJoy.dll VorlaneJoy.def VorlaneJoy.res
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

// LoadPackageFramework.cpp, which cannot include windows.h beside the framework's
// headers (its macros would rename the framework's names): the package loader's
// checks of `dll`, with `res` the .res's bytes and `program` this program's file.
int CheckPackageLoader(const std::string& dll, const std::vector<unsigned char>& res,
                       const std::string& program);

namespace {

std::vector<unsigned char> ReadAll(const char* path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::uint32_t U32(const std::vector<unsigned char>& d, std::size_t at) {
  return d[at] | d[at + 1] << 8 | d[at + 2] << 16 | static_cast<std::uint32_t>(d[at + 3]) << 24;
}

std::uint16_t U16(const std::vector<unsigned char>& d, std::size_t at) {
  return static_cast<std::uint16_t>(d[at] | d[at + 1] << 8);
}

// A resource type or name of a .res header: an ordinal or a zero-terminated string.
struct TId {
  std::uint16_t Ordinal = 0;
  std::wstring Text;
  LPCWSTR Get() const { return Text.empty() ? MAKEINTRESOURCEW(Ordinal) : Text.c_str(); }
  std::string Show() const {
    return Text.empty() ? "#" + std::to_string(Ordinal) : std::string(Text.begin(), Text.end());
  }
};

TId ReadId(const std::vector<unsigned char>& d, std::size_t& at) {
  TId id;
  if (U16(d, at) == 0xFFFF) {
    id.Ordinal = U16(d, at + 2);
    at += 4;
    return id;
  }
  for (; U16(d, at) != 0; at += 2) id.Text += static_cast<wchar_t>(U16(d, at));
  at += 2;
  return id;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: LoadPackage DLL DEF RES\n");
    return 2;
  }
  int failures = 0;
  const HMODULE module = LoadLibraryA(argv[1]);
  if (module == nullptr) {
    std::fprintf(stderr, "%s: LoadLibrary failed with error %lu\n", argv[1], GetLastError());
    return 1;
  }

  const std::vector<unsigned char> res = ReadAll(argv[3]);
  int resources = 0;
  for (std::size_t at = 0; at + 32 <= res.size();) {
    const std::uint32_t dataSize = U32(res, at);
    const std::uint32_t headerSize = U32(res, at + 4);
    std::size_t field = at + 8;
    const TId type = ReadId(res, field);
    const TId name = ReadId(res, field);
    field = (field + 3) & ~std::size_t{3};
    const WORD language = U16(res, field + 6);
    const unsigned char* expected = res.data() + at + headerSize;
    at = (at + headerSize + dataSize + 3) & ~std::size_t{3};
    if (dataSize == 0 && type.Ordinal == 0 && type.Text.empty()) continue;
    ++resources;
    const HRSRC found = FindResourceExW(module, type.Get(), name.Get(), language);
    if (found == nullptr) {
      std::fprintf(stderr, "resource %s %s %04X: not found\n", type.Show().c_str(),
                   name.Show().c_str(), language);
      ++failures;
      continue;
    }
    const DWORD size = SizeofResource(module, found);
    const void* bytes = LockResource(LoadResource(module, found));
    if (size != dataSize || bytes == nullptr || std::memcmp(bytes, expected, size) != 0) {
      std::fprintf(stderr, "resource %s %s %04X: differs from the .res (%lu bytes against %u)\n",
                   type.Show().c_str(), name.Show().c_str(), language, size, dataSize);
      ++failures;
    }
  }

  std::ifstream def(argv[2]);
  std::string line;
  bool inExports = false;
  int exports = 0;
  while (std::getline(def, line)) {
    std::istringstream words(line);
    std::string word;
    if (!(words >> word) || word[0] == ';') continue;
    if (word == "EXPORTS") {
      inExports = true;
    } else if (inExports) {
      ++exports;
      if (GetProcAddress(module, word.c_str()) == nullptr) {
        std::fprintf(stderr, "export %s: GetProcAddress finds nothing\n", word.c_str());
        ++failures;
      }
    }
  }
  if (resources == 0 || exports == 0) {
    std::fprintf(stderr, "nothing to check: %d resources, %d exports\n", resources, exports);
    ++failures;
  }
  FreeLibrary(module);
  char program[MAX_PATH];
  const DWORD length = GetModuleFileNameA(nullptr, program, MAX_PATH);
  const int loaderFailures = CheckPackageLoader(argv[1], res, std::string(program, length));
  std::printf(
      "%s: %d resources and %d exports checked, %d failures; the package loader: %d failures\n",
      argv[1], resources, exports, failures, loaderFailures);
  failures += loaderFailures;
  return failures == 0 ? 0 : 1;
}
