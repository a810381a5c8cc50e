#include "Options.hpp"

#include <string_view>

namespace vorlane::JoyInspect {

namespace {

// The value of an option given as "--name value" or "--name=value".
class TArguments {
 public:
  TArguments(int argc, const char* const* argv) : FArgc(argc), FArgv(argv) {}
  bool More() const { return FIndex < FArgc; }
  std::string_view Next() { return FArgv[FIndex++]; }
  std::string Value(std::string_view option, std::string_view& inlineValue, bool hasInline) {
    if (hasInline) return std::string(inlineValue);
    if (!More()) throw TUsageError{std::string(option) + " needs a value"};
    return std::string(Next());
  }

 private:
  int FArgc;
  const char* const* FArgv;
  int FIndex = 1;
};

void SetOnce(std::string& target, const std::string& value, std::string_view option) {
  if (!target.empty()) throw TUsageError{std::string(option) + " may be given only once"};
  if (value.empty()) throw TUsageError{std::string(option) + " needs a non-empty value"};
  target = value;
}

}  // namespace

TOptions ParseOptions(int argc, const char* const* argv) {
  TOptions options;
  TArguments args(argc, argv);
  while (args.More()) {
    std::string_view arg = args.Next();
    std::string_view option = arg;
    std::string_view inlineValue;
    bool hasInline = false;
    if (arg.starts_with("--")) {
      if (auto eq = arg.find('='); eq != std::string_view::npos) {
        option = arg.substr(0, eq);
        inlineValue = arg.substr(eq + 1);
        hasInline = true;
      }
    }
    auto value = [&] { return args.Value(option, inlineValue, hasInline); };
    auto noValue = [&] {
      if (hasInline) throw TUsageError{std::string(option) + " takes no value"};
    };

    if (option == "--help" || option == "-h") {
      noValue();
      options.Help = true;
    } else if (option == "--form") {
      SetOnce(options.FormFile, value(), option);
    } else if (option == "--set") {
      const std::string edit = value();
      const auto eq = edit.find('=');
      if (eq == std::string::npos) throw TUsageError{"--set needs Name=Value, got '" + edit + "'"};
      if (eq == 0) throw TUsageError{"--set needs a property name before '=', got '" + edit + "'"};
      options.Edits.emplace_back(edit.substr(0, eq), edit.substr(eq + 1));
    } else if (option == "--controller") {
      options.Edits.emplace_back("Controller", value());
    } else if (option == "--values") {
      SetOnce(options.ValuesOf, value(), option);
    } else if (option == "--palette") {
      noValue();
      options.Palette = true;
    } else if (option == "--save") {
      SetOnce(options.SaveFile, value(), option);
    } else if (option == "--device") {
      std::string file = value();
      if (file.empty()) throw TUsageError{"--device needs a file name"};
      options.Devices.push_back(std::move(file));
    } else if (arg.starts_with("-")) {
      throw TUsageError{"unknown option '" + std::string(arg) + "'"};
    } else {
      throw TUsageError{"unexpected argument '" + std::string(arg) + "'"};
    }
  }
  return options;
}

const char* UsageText() {
  return R"(Usage: joyinspect [options]

Shows a TJoystick as the designer's object inspector does: one row per published
property, "Name = value", sub-rows indented two spaces per level (the Capabilities
sub-object and the elements of sets). Live values are read from the controller
the component's Controller names; when a read is refused the row shows the
error's message in parentheses. The component is in design state: it never
captures input.

Options:
  --form FILE         read the component from form data FILE (a TJoystick, or a
                      root component that owns one: the first TJoystick is shown)
  --set NAME=VALUE    set a property through its editor, as typed in the inspector;
                      NAME may be dotted (Capabilities.MaxX, PressedButtons.joButton1).
                      Repeatable; applied in the order given
  --controller N      the same as --set Controller=N
  --values NAME       print the value list of NAME's editor, one value per line,
                      instead of the rows (--values Controller: the attached controllers)
  --palette           print the component palette (pages and their components)
                      instead of the rows
  --save FILE         write the form data after the edits to FILE ("-": to standard
                      output, instead of the rows)
  --device FILE       attach an evemu recording as a replayed controller (repeatable);
                      VORLANE_JOYSTICK_DEVICES=FILE[:FILE...] does the same at start
  --help              print this text

Design packages (run by the package host joypackage, docs/package.md):
  --package FILE      load the design package FILE through the package loader, call
                      its Register and print its package information and what it
                      registered; with it only these:
  --resources         list the package's resources with their sizes, its
                      description and its version
  --bitmap FILE       write the palette bitmap as PNG (FILE ending in .png) or BMP
  --inspect           show the rows of a new component through the package's editors
  --no-register       load and unload the package without calling Register

Exit codes:
  0  done
  1  an unexpected failure
  2  a wrong command line
  3  an unknown property, a bad value, a bad form or device file, a file that
     cannot be written; the message says which
)";
}

}  // namespace vorlane::JoyInspect
