// The resource script: a small language in the style of Windows resource scripts.
//
//   // comments, and /* comments */
//   LANGUAGE LANG_NEUTRAL, SUBLANG_NEUTRAL     applies to the resources that follow
//   TJOYSTICK BITMAP "TJoystick.txt"           a picture as text (see Rc.hpp)
//   MAINICON ICON "MainIcon.txt"               an icon group with one image
//   PACKAGEINFO RCDATA                         raw data, item by item:
//   BEGIN
//     DWORD 0x4C300002                           a 32-bit, WORD a 16-bit, BYTE an 8-bit number
//     HASHED "vldesign"                          name hash (one byte), the name, a zero byte
//     PSTRING "text"                             one length byte, then the text
//     "text", L"text"                            8-bit or UTF-16LE text, no terminator added
//     PADTO 96                                   zero bytes up to that size
//   END
//   1 VERSIONINFO ... BEGIN BLOCK ... VALUE ... END   the version record
//
// Names are upper-cased; a number names a resource by number. BEGIN/END and { }
// are the same.
#include <fstream>
#include <map>
#include <sstream>

#include "Rc.hpp"
#include "vorlane/packages/Packages.hpp"
#include "vorlane/runtime/System.hpp"

namespace vorlane::Rc {

namespace {

enum class TTokenKind { End, Word, Number, String, WideString, Comma, Begin, EndBlock };

struct TToken {
  TTokenKind Kind = TTokenKind::End;
  std::string Text;  // words upper-cased as written; strings decoded (UTF-8)
  std::uint32_t Value = 0;
  bool Long = false;  // a number written with an L suffix
  int Line = 0;
};

class TLexer {
 public:
  TLexer(std::string text, std::string file) : FText(std::move(text)), FFile(std::move(file)) {}

  [[noreturn]] void Fail(int line, const std::string& what) const {
    throw ECompileError(FFile + ":" + std::to_string(line) + ": " + what);
  }

  TToken Next() {
    SkipBlanks();
    TToken t;
    t.Line = FLine;
    if (FPos >= FText.size()) return t;
    const char c = FText[FPos];
    if (c == ',') {
      ++FPos;
      t.Kind = TTokenKind::Comma;
    } else if (c == '{') {
      ++FPos;
      t.Kind = TTokenKind::Begin;
    } else if (c == '}') {
      ++FPos;
      t.Kind = TTokenKind::EndBlock;
    } else if (c == '"' || (c == 'L' && FPos + 1 < FText.size() && FText[FPos + 1] == '"')) {
      t.Kind = c == 'L' ? TTokenKind::WideString : TTokenKind::String;
      if (c == 'L') ++FPos;
      t.Text = ReadString();
    } else if (c >= '0' && c <= '9') {
      t.Kind = TTokenKind::Number;
      ReadNumber(t);
    } else if (IsWordChar(c)) {
      std::size_t start = FPos;
      while (FPos < FText.size() && IsWordChar(FText[FPos])) ++FPos;
      t.Text = FText.substr(start, FPos - start);
      t.Kind = TTokenKind::Word;
      if (t.Text == "BEGIN") t.Kind = TTokenKind::Begin;
      if (t.Text == "END") t.Kind = TTokenKind::EndBlock;
    } else {
      Fail(FLine, std::string("unexpected character '") + c + "'");
    }
    return t;
  }

 private:
  static bool IsWordChar(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
  }

  void SkipBlanks() {
    while (FPos < FText.size()) {
      const char c = FText[FPos];
      if (c == '\n') {
        ++FLine;
        ++FPos;
      } else if (c == ' ' || c == '\t' || c == '\r') {
        ++FPos;
      } else if (FText.compare(FPos, 2, "//") == 0) {
        while (FPos < FText.size() && FText[FPos] != '\n') ++FPos;
      } else if (FText.compare(FPos, 2, "/*") == 0) {
        const std::size_t end = FText.find("*/", FPos + 2);
        if (end == std::string::npos) Fail(FLine, "a comment that never ends");
        for (std::size_t i = FPos; i < end; ++i)
          if (FText[i] == '\n') ++FLine;
        FPos = end + 2;
      } else {
        return;
      }
    }
  }

  std::string ReadString() {
    ++FPos;  // the opening quote
    std::string out;
    while (true) {
      if (FPos >= FText.size() || FText[FPos] == '\n') Fail(FLine, "a string that never ends");
      const char c = FText[FPos++];
      if (c == '"') return out;
      if (c != '\\') {
        out.push_back(c);
        continue;
      }
      if (FPos >= FText.size()) Fail(FLine, "a string that never ends");
      const char e = FText[FPos++];
      switch (e) {
        case 'n':
          out.push_back('\n');
          break;
        case 't':
          out.push_back('\t');
          break;
        case '0':
          out.push_back('\0');
          break;
        case '\\':
          out.push_back('\\');
          break;
        case '"':
          out.push_back('"');
          break;
        default:
          Fail(FLine, std::string("unknown escape '\\") + e + "'");
      }
    }
  }

  void ReadNumber(TToken& t) {
    std::size_t start = FPos;
    int base = 10;
    if (FText.compare(FPos, 2, "0x") == 0 || FText.compare(FPos, 2, "0X") == 0) {
      base = 16;
      FPos += 2;
      start = FPos;
    }
    std::uint64_t value = 0;
    while (FPos < FText.size()) {
      const char c = FText[FPos];
      int digit = -1;
      if (c >= '0' && c <= '9') digit = c - '0';
      if (base == 16 && c >= 'a' && c <= 'f') digit = c - 'a' + 10;
      if (base == 16 && c >= 'A' && c <= 'F') digit = c - 'A' + 10;
      if (digit < 0) break;
      value = value * static_cast<std::uint64_t>(base) + static_cast<std::uint64_t>(digit);
      if (value > 0xFFFFFFFFu) Fail(FLine, "a number larger than 32 bits");
      ++FPos;
    }
    if (FPos == start) Fail(FLine, "a number without digits");
    if (FPos < FText.size() && (FText[FPos] == 'L' || FText[FPos] == 'l')) {
      t.Long = true;
      ++FPos;
    }
    if (FPos < FText.size() && IsWordChar(FText[FPos])) Fail(FLine, "a malformed number");
    t.Value = static_cast<std::uint32_t>(value);
  }

  std::string FText;
  std::string FFile;
  std::size_t FPos = 0;
  int FLine = 1;
};

// UTF-8 to UTF-16 code units; raises on malformed text.
std::u16string Utf16(const std::string& text, const TLexer& lexer, int line) {
  std::u16string out;
  for (std::size_t i = 0; i < text.size();) {
    const auto c = static_cast<unsigned char>(text[i]);
    char32_t cp;
    int extra;
    if (c < 0x80) {
      cp = c;
      extra = 0;
    } else if ((c & 0xE0) == 0xC0) {
      cp = c & 0x1F;
      extra = 1;
    } else if ((c & 0xF0) == 0xE0) {
      cp = c & 0x0F;
      extra = 2;
    } else if ((c & 0xF8) == 0xF0) {
      cp = c & 0x07;
      extra = 3;
    } else {
      lexer.Fail(line, "a string that is not UTF-8");
    }
    if (i + static_cast<std::size_t>(extra) >= text.size())
      lexer.Fail(line, "a string that is not UTF-8");
    for (int k = 1; k <= extra; ++k) {
      const auto b = static_cast<unsigned char>(text[i + static_cast<std::size_t>(k)]);
      if ((b & 0xC0) != 0x80) lexer.Fail(line, "a string that is not UTF-8");
      cp = (cp << 6) | (b & 0x3F);
    }
    i += static_cast<std::size_t>(extra) + 1;
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(cp));
    }
  }
  return out;
}

void PutUtf16(TBytes& out, const std::u16string& text) {
  for (char16_t u : text) Put16(out, u);
}

// One node of the version record while it is being read.
struct TVersionNode {
  std::string Key;
  bool Text = true;
  std::u16string TextValue;
  bool HasValue = false;
  TBytes BinaryValue;
  std::vector<TVersionNode> Children;
};

class TParser {
 public:
  TParser(TLexer& lexer, std::filesystem::path folder) : FLexer(lexer), FFolder(std::move(folder)) {
    Advance();
  }

  std::vector<TResource> Run() {
    while (FToken.Kind != TTokenKind::End) {
      if (IsWord("LANGUAGE")) {
        Advance();
        FLanguage = ReadLanguage();
        continue;
      }
      TId name = ReadId();
      if (FToken.Kind != TTokenKind::Word) Fail("a resource type after the name");
      const std::string type = FToken.Text;
      const int line = FToken.Line;
      Advance();
      if (type == "BITMAP")
        Bitmap(name);
      else if (type == "ICON")
        Icon(name);
      else if (type == "RCDATA")
        RcData(name);
      else if (type == "VERSIONINFO")
        VersionInfo(name);
      else
        FLexer.Fail(line, "unknown resource type '" + type + "'");
    }
    return std::move(FResources);
  }

 private:
  [[noreturn]] void Fail(const std::string& what) const {
    FLexer.Fail(FToken.Line, "expected " + what);
  }
  void Advance() { FToken = FLexer.Next(); }
  bool IsWord(const char* w) const { return FToken.Kind == TTokenKind::Word && FToken.Text == w; }
  void SkipComma() {
    if (FToken.Kind == TTokenKind::Comma) Advance();
  }

  std::uint32_t ReadNumber(const std::string& what) {
    std::uint32_t v;
    if (FToken.Kind == TTokenKind::Number) {
      v = FToken.Value;
    } else if (FToken.Kind == TTokenKind::Word && Constant(FToken.Text, v)) {
    } else {
      Fail(what);
    }
    Advance();
    return v;
  }

  static bool Constant(const std::string& word, std::uint32_t& v) {
    static const std::map<std::string, std::uint32_t> constants = {
        {"LANG_NEUTRAL", 0x00},       {"SUBLANG_NEUTRAL", 0x00}, {"LANG_ENGLISH", 0x09},
        {"SUBLANG_ENGLISH_US", 0x01}, {"LANG_GERMAN", 0x07},     {"SUBLANG_GERMAN", 0x01},
    };
    auto it = constants.find(word);
    if (it == constants.end()) return false;
    v = it->second;
    return true;
  }

  std::uint16_t ReadLanguage() {
    const std::uint32_t primary = ReadNumber("a language");
    SkipComma();
    const std::uint32_t sub = ReadNumber("a sublanguage");
    if (primary > 0x3FF || sub > 0x3F) FLexer.Fail(FToken.Line, "a language out of range");
    return static_cast<std::uint16_t>(sub << 10 | primary);
  }

  TId ReadId() {
    TId id;
    if (FToken.Kind == TTokenKind::Number) {
      if (FToken.Value > 0xFFFF) Fail("a resource number below 65536");
      id.Ordinal = static_cast<std::uint16_t>(FToken.Value);
    } else if (FToken.Kind == TTokenKind::Word) {
      for (char c : FToken.Text) id.Name.push_back(System::AsciiUpper(c));
    } else {
      Fail("a resource name");
    }
    Advance();
    return id;
  }

  // Statements allowed between a resource's type and its data.
  std::uint16_t ReadOptions() {
    std::uint16_t language = FLanguage;
    while (IsWord("LANGUAGE")) {
      Advance();
      language = ReadLanguage();
    }
    return language;
  }

  std::filesystem::path ReadFileName() {
    if (FToken.Kind != TTokenKind::String) Fail("a file name in quotes");
    std::filesystem::path file = FFolder / FToken.Text;
    Advance();
    return file;
  }

  void Add(TId type, TId name, std::uint16_t language, TBytes data, std::uint16_t flags = 0x0030) {
    for (const TResource& r : FResources)
      if (r.Type.Ordinal == type.Ordinal && r.Type.Name == type.Name &&
          r.Name.Ordinal == name.Ordinal && r.Name.Name == name.Name && r.Language == language)
        FLexer.Fail(FToken.Line,
                    "a second resource " +
                        (name.Name.empty() ? std::to_string(name.Ordinal) : name.Name) +
                        " of the same type and language");
    FResources.push_back({std::move(type), std::move(name), language, flags, std::move(data)});
  }

  void Bitmap(const TId& name) {
    const std::uint16_t language = ReadOptions();
    const std::filesystem::path file = ReadFileName();
    Add({Packages::RT_BITMAP, {}}, name, language, MakeBitmap(ReadPicture(file), file.string()));
  }

  void Icon(const TId& name) {
    const std::uint16_t language = ReadOptions();
    const std::filesystem::path file = ReadFileName();
    const TPicture picture = ReadPicture(file);
    if (picture.Width > 255 || picture.Height > 255)
      FLexer.Fail(FToken.Line, "an icon larger than 255 pixels");
    TBytes image = MakeIconImage(picture);
    const std::uint16_t id = ++FIconCount;
    TBytes group;
    Put16(group, 0);  // reserved
    Put16(group, 1);  // type: icon
    Put16(group, 1);  // one image
    Put8(group, static_cast<std::uint32_t>(picture.Width));
    Put8(group, static_cast<std::uint32_t>(picture.Height));
    Put8(group, 16);  // colours
    Put8(group, 0);
    Put16(group, 1);  // planes
    Put16(group, 4);  // bits per pixel
    Put32(group, static_cast<std::uint32_t>(image.size()));
    Put16(group, id);
    Add({Packages::RT_ICON, {}}, {id, {}}, language, std::move(image), 0x1010);
    Add({Packages::RT_GROUP_ICON, {}}, name, language, std::move(group), 0x1030);
  }

  void ExpectBegin() {
    if (FToken.Kind != TTokenKind::Begin) Fail("BEGIN or {");
    Advance();
  }

  void RcData(const TId& name) {
    const std::uint16_t language = ReadOptions();
    ExpectBegin();
    TBytes data;
    while (FToken.Kind != TTokenKind::EndBlock) {
      const int line = FToken.Line;
      if (FToken.Kind == TTokenKind::End) Fail("END");
      if (FToken.Kind == TTokenKind::Comma) {
        Advance();
      } else if (FToken.Kind == TTokenKind::String) {
        for (char c : FToken.Text) {
          if (static_cast<unsigned char>(c) >= 0x80)
            FLexer.Fail(line, "8-bit strings hold ASCII only; use L\"...\"");
          data.push_back(static_cast<std::uint8_t>(c));
        }
        Advance();
      } else if (FToken.Kind == TTokenKind::WideString) {
        PutUtf16(data, Utf16(FToken.Text, FLexer, line));
        Advance();
      } else if (IsWord("BYTE") || IsWord("WORD") || IsWord("DWORD")) {
        const std::string size = FToken.Text;
        Advance();
        const std::uint32_t v = ReadNumber("a number after " + size);
        if (size == "BYTE") {
          if (v > 0xFF) FLexer.Fail(line, "BYTE " + std::to_string(v) + " does not fit 8 bits");
          Put8(data, v);
        } else if (size == "WORD") {
          if (v > 0xFFFF) FLexer.Fail(line, "WORD " + std::to_string(v) + " does not fit 16 bits");
          Put16(data, v);
        } else {
          Put32(data, v);
        }
      } else if (IsWord("HASHED")) {
        Advance();
        if (FToken.Kind != TTokenKind::String) Fail("a name in quotes after HASHED");
        const std::string text = FToken.Text;
        if (text.empty() || text.find('\0') != std::string::npos)
          FLexer.Fail(line, "HASHED needs a name without zero bytes");
        Put8(data, Packages::NameHash(text));
        data.insert(data.end(), text.begin(), text.end());
        Put8(data, 0);
        Advance();
      } else if (IsWord("PSTRING")) {
        Advance();
        if (FToken.Kind != TTokenKind::String) Fail("a text in quotes after PSTRING");
        if (FToken.Text.size() > 255) FLexer.Fail(line, "PSTRING holds at most 255 characters");
        Put8(data, static_cast<std::uint32_t>(FToken.Text.size()));
        data.insert(data.end(), FToken.Text.begin(), FToken.Text.end());
        Advance();
      } else if (IsWord("PADTO")) {
        Advance();
        const std::uint32_t size = ReadNumber("a size after PADTO");
        if (data.size() > size)
          FLexer.Fail(line, "the data is " + std::to_string(data.size()) +
                                " bytes already, more than PADTO " + std::to_string(size));
        data.resize(size, 0);
      } else {
        Fail("an RCDATA item (BYTE, WORD, DWORD, HASHED, PSTRING, PADTO or a string)");
      }
    }
    Advance();
    Add({Packages::RT_RCDATA, {}}, name, language, std::move(data));
  }

  // --- VERSIONINFO ---

  void VersionInfo(const TId& name) {
    std::uint32_t fixed[13] = {Packages::VS_FFI_SIGNATURE, 0x00010000};
    const std::map<std::string, int> single = {{"FILEFLAGSMASK", 6},
                                               {"FILEFLAGS", 7},
                                               {"FILEOS", 8},
                                               {"FILETYPE", 9},
                                               {"FILESUBTYPE", 10}};
    std::uint16_t language = FLanguage;
    while (FToken.Kind == TTokenKind::Word) {
      const std::string word = FToken.Text;
      Advance();
      if (word == "FILEVERSION" || word == "PRODUCTVERSION") {
        std::uint32_t part[4] = {};
        for (int i = 0; i < 4; ++i) {
          if (i > 0) SkipComma();
          part[i] = ReadNumber("four version numbers");
          if (part[i] > 0xFFFF) FLexer.Fail(FToken.Line, "a version number above 65535");
        }
        const int at = word == "FILEVERSION" ? 2 : 4;
        fixed[at] = part[0] << 16 | part[1];
        fixed[at + 1] = part[2] << 16 | part[3];
      } else if (word == "LANGUAGE") {
        language = ReadLanguage();
      } else if (auto it = single.find(word); it != single.end()) {
        fixed[it->second] = ReadNumber("a number after " + word);
      } else {
        FLexer.Fail(FToken.Line, "unknown VERSIONINFO statement '" + word + "'");
      }
    }
    TVersionNode root;
    root.Key = "VS_VERSION_INFO";
    root.Text = false;
    root.HasValue = true;
    for (std::uint32_t f : fixed) Put32(root.BinaryValue, f);
    ReadBlockBody(root, 0);
    TBytes data;
    WriteNode(data, root, true);
    Add({Packages::RT_VERSION, {}}, name, language, std::move(data));
  }

  void ReadBlockBody(TVersionNode& node, int depth) {
    ExpectBegin();
    while (FToken.Kind != TTokenKind::EndBlock) {
      if (FToken.Kind == TTokenKind::End) Fail("END");
      if (IsWord("BLOCK")) {
        if (depth >= 2) FLexer.Fail(FToken.Line, "BLOCKs nested too deeply");
        Advance();
        TVersionNode child;
        if (FToken.Kind != TTokenKind::String) Fail("a block name in quotes");
        child.Key = FToken.Text;
        Advance();
        ReadBlockBody(child, depth + 1);
        node.Children.push_back(std::move(child));
      } else if (IsWord("VALUE")) {
        Advance();
        TVersionNode value;
        if (FToken.Kind != TTokenKind::String) Fail("a value name in quotes");
        value.Key = FToken.Text;
        value.HasValue = true;
        Advance();
        SkipComma();
        if (FToken.Kind == TTokenKind::String || FToken.Kind == TTokenKind::WideString) {
          value.TextValue = Utf16(FToken.Text, FLexer, FToken.Line);
          Advance();
        } else {
          value.Text = false;
          while (FToken.Kind == TTokenKind::Number) {
            if (FToken.Long)
              Put32(value.BinaryValue, FToken.Value);
            else if (FToken.Value <= 0xFFFF)
              Put16(value.BinaryValue, FToken.Value);
            else
              FLexer.Fail(FToken.Line, "a binary value above 65535 without the L suffix");
            Advance();
            SkipComma();
          }
          if (value.BinaryValue.empty()) Fail("a string or numbers after the value name");
        }
        node.Children.push_back(std::move(value));
      } else {
        Fail("BLOCK, VALUE or END");
      }
    }
    Advance();
  }

  // u16 length, u16 value length, u16 type, key, padding, value, then each child on
  // a multiple of 4. Text values are counted in 16-bit units with their terminating
  // zero, binary ones in bytes.
  void WriteNode(TBytes& out, const TVersionNode& node, bool root) {
    const std::size_t start = out.size();
    Put16(out, 0);
    std::size_t valueLength = 0;
    if (node.HasValue)
      valueLength = node.Text ? node.TextValue.size() + 1 : node.BinaryValue.size();
    if (valueLength > 0xFFFF) FLexer.Fail(FToken.Line, "a version value too long");
    Put16(out, static_cast<std::uint32_t>(valueLength));
    Put16(out, node.Text && !root ? 1 : 0);
    PutUtf16(out, Utf16(node.Key, FLexer, FToken.Line));
    Put16(out, 0);
    Align4(out);
    if (node.HasValue) {
      if (node.Text) {
        PutUtf16(out, node.TextValue);
        Put16(out, 0);
      } else {
        out.insert(out.end(), node.BinaryValue.begin(), node.BinaryValue.end());
      }
    }
    for (const TVersionNode& child : node.Children) {
      Align4(out);
      WriteNode(out, child, false);
    }
    const std::size_t length = out.size() - start;
    if (length > 0xFFFF) FLexer.Fail(FToken.Line, "a version block longer than 65535 bytes");
    out[start] = static_cast<std::uint8_t>(length);
    out[start + 1] = static_cast<std::uint8_t>(length >> 8);
  }

  TLexer& FLexer;
  std::filesystem::path FFolder;
  TToken FToken;
  std::uint16_t FLanguage = 0;
  std::uint16_t FIconCount = 0;
  std::vector<TResource> FResources;
};

}  // namespace

std::vector<TResource> CompileScript(const std::filesystem::path& script) {
  std::ifstream in(script, std::ios::binary);
  if (!in) throw ECompileError(script.string() + ": cannot read the script");
  std::ostringstream text;
  text << in.rdbuf();
  TLexer lexer(text.str(), script.string());
  TParser parser(lexer, script.parent_path());
  return parser.Run();
}

}  // namespace vorlane::Rc
