// vorlane-rc, the resource compiler: what it makes of small scripts, and how it
// reports a fault in a script or a picture.
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "PackageSupport.hpp"

namespace vorlane::PackageTest {
namespace {

namespace fs = std::filesystem;

class ResourceCompiler : public ::testing::Test {
 protected:
  void SetUp() override {
    FDir = fs::temp_directory_path() / ("vorlane-rc-test-" + std::to_string(::getpid()));
    fs::create_directories(FDir);
  }
  void TearDown() override { fs::remove_all(FDir); }

  void Write(const std::string& name, const std::string& text) {
    std::ofstream(FDir / name) << text;
  }
  // Runs the compiler on script.rc; answers its exit code, with its messages in Errors.
  int Compile(const std::string& script) {
    Write("script.rc", script);
    const std::string command =
        std::string("'") + VORLANE_RC_FILE + "' '" + (FDir / "script.rc").string() + "' --res '" +
        (FDir / "out.res").string() + "' 2>'" + (FDir / "errors.txt").string() + "'";
    const int status = std::system(command.c_str());
    std::ifstream in(FDir / "errors.txt");
    std::stringstream text;
    text << in.rdbuf();
    Errors = text.str();
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  std::vector<std::uint8_t> Output() {
    std::ifstream in(FDir / "out.res", std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }
  std::string Path(const std::string& name) { return (FDir / name).string(); }

  fs::path FDir;
  std::string Errors;
};

TEST_F(ResourceCompiler, CompilesDataItemsAndLanguages) {
  ASSERT_EQ(Compile("LANGUAGE LANG_ENGLISH, SUBLANG_ENGLISH_US\n"
                    "Data RCDATA { BYTE 1, WORD 0x0203, DWORD 0x04050607L, \"ab\", L\"c\",\n"
                    "  HASHED \"Ab\" PSTRING \"xyz\" PADTO 24 }\n"
                    "7 RCDATA LANGUAGE 0, 0 BEGIN END\n"),
            0)
      << Errors;
  const auto image = Output();
  const auto resources = Packages::ParseResources(Bytes(image), "out.res");
  ASSERT_EQ(resources.size(), 2u);
  EXPECT_EQ(resources[0].Name.Text(), u"DATA");
  EXPECT_EQ(resources[0].Language, 0x0409);
  const std::vector<std::uint8_t> expected = {1,   3,   2, 7, 6,   5,   4,   'a', 'b', 'c', 0, 0xC4,
                                              'A', 'b', 0, 3, 'x', 'y', 'z', 0,   0,   0,   0, 0};
  const auto data = resources[0].Data;
  EXPECT_EQ(
      std::vector<std::uint8_t>(reinterpret_cast<const std::uint8_t*>(data.data()),
                                reinterpret_cast<const std::uint8_t*>(data.data()) + data.size()),
      expected);
  EXPECT_EQ(resources[1].Name.Text(), u"#7");
  EXPECT_EQ(resources[1].Language, 0);
  EXPECT_TRUE(resources[1].Data.empty());
}

TEST_F(ResourceCompiler, ReportsTheFileAndLineOfAFault) {
  EXPECT_EQ(Compile("A RCDATA {\n  BYTE 256\n}\n"), 1);
  EXPECT_EQ(Errors, "vorlane-rc: " + Path("script.rc") + ":2: BYTE 256 does not fit 8 bits\n");
  EXPECT_EQ(Compile("A RCDATA { DWORD 1 DWORD 2 PADTO 4 }\n"), 1);
  EXPECT_NE(Errors.find(":1: the data is 8 bytes already, more than PADTO 4"), std::string::npos)
      << Errors;
  EXPECT_EQ(Compile("A RCDATA { 1 }\n"), 1);
  EXPECT_NE(Errors.find(":1: expected an RCDATA item"), std::string::npos) << Errors;
  EXPECT_EQ(Compile("A CURSOR \"x\"\n"), 1);
  EXPECT_NE(Errors.find(":1: unknown resource type 'CURSOR'"), std::string::npos) << Errors;
  EXPECT_EQ(Compile("A RCDATA { \"never ends }\n"), 1);
  EXPECT_NE(Errors.find(":1: a string that never ends"), std::string::npos) << Errors;
  EXPECT_EQ(Compile("A RCDATA { }\nA RCDATA { }\n"), 1);
  EXPECT_NE(Errors.find("a second resource A"), std::string::npos) << Errors;
  EXPECT_FALSE(fs::exists(FDir / "out.res")) << "no output from a failed run";
}

TEST_F(ResourceCompiler, ReportsFaultsInPictures) {
  Write("wide.txt", "size 2 2\ncolour . silver\npixels\n...\n..\n");
  EXPECT_EQ(Compile("P BITMAP \"wide.txt\"\n"), 1);
  EXPECT_EQ(Errors, "vorlane-rc: " + Path("wide.txt") + ":4: a row of 3 pixels, not 2\n");
  Write("colour.txt", "size 1 1\ncolour x mauve\npixels\nx\n");
  EXPECT_EQ(Compile("P BITMAP \"colour.txt\"\n"), 1);
  EXPECT_NE(Errors.find(":2: 'mauve' is not a colour of the standard palette"), std::string::npos)
      << Errors;
  Write("short.txt", "size 1 2\ncolour x red\npixels\nx\n");
  EXPECT_EQ(Compile("P BITMAP \"short.txt\"\n"), 1);
  EXPECT_NE(Errors.find("1 rows, not 2"), std::string::npos) << Errors;
  Write("clear.txt", "size 1 1\ncolour _ transparent\npixels\n_\n");
  EXPECT_EQ(Compile("P BITMAP \"clear.txt\"\n"), 1);
  EXPECT_NE(Errors.find("a bitmap cannot have transparent pixels"), std::string::npos) << Errors;
  EXPECT_EQ(Compile("P BITMAP \"missing.txt\"\n"), 1);
  EXPECT_NE(Errors.find("missing.txt: cannot read the picture"), std::string::npos) << Errors;
}

TEST_F(ResourceCompiler, MakesBitmapsBottomUpWithTheLeftPixelHigh) {
  Write("p.txt", "size 3 2\ncolour r red\ncolour w white\ncolour . silver\npixels\nrw.\n..r\n");
  ASSERT_EQ(Compile("P BITMAP \"p.txt\"\n"), 0) << Errors;
  const auto image = Output();
  const auto resources = Packages::ParseResources(Bytes(image), "out.res");
  ASSERT_EQ(resources.size(), 1u);
  const auto d = resources[0].Data;
  ASSERT_EQ(d.size(), 40u + 64u + 8u);
  EXPECT_EQ(U32(d, 4), 3u);
  EXPECT_EQ(U32(d, 8), 2u);
  // Bottom row "..r" first: silver silver | red, then the top row "rw.": red white | silver.
  EXPECT_EQ(U8(d, 104), 0x88u);
  EXPECT_EQ(U8(d, 105), 0x90u);
  EXPECT_EQ(U8(d, 108), 0x9Fu);
  EXPECT_EQ(U8(d, 109), 0x80u);
}

}  // namespace
}  // namespace vorlane::PackageTest
