#include "Session.hpp"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "vorlane/Evdev.hpp"
#include "vorlane/Joystick.hpp"
#include "vorlane/JoystickDesign.hpp"
#include "vorlane/designer/DesignIntf.hpp"
#include "vorlane/designer/Inspector.hpp"
#include "vorlane/runtime/Classes.hpp"
#include "vorlane/runtime/FormData.hpp"

namespace vorlane::JoyInspect {

namespace {

using Classes::TComponent;
using Joystick::TJoystick;
using System::String;
using System::StringToUtf8;
using System::Utf8ToString;

// Input that joyinspect refuses; the message says what and where.
struct TRefusal {
  std::string Message;
};

struct TFree {
  void operator()(TComponent* c) const { System::TObject::Free(c); }
};
using TRootPtr = std::unique_ptr<TComponent, TFree>;

std::string ReadFile(const std::string& path) {
  try {
    return System::ReadWholeFile(path, FormData::MaxFormBytes);
  } catch (const System::EFileError& e) {
    std::string message = "cannot read form file '" + path + "': ";
    if (e.GetKind() == System::EFileError::TKind::Unreadable)
      message += StringToUtf8(e.GetMessage());
    else
      message += "it " + StringToUtf8(e.GetMessage());
    if (e.GetKind() == System::EFileError::TKind::TooLarge) message += " (64 MiB)";
    throw TRefusal{message};
  }
}

// Reads the form file into a root of its top class, in design state; returns the
// root and sets `joystick` to the root or to the first TJoystick it owns.
TRootPtr ReadForm(const std::string& path, TJoystick*& joystick) {
  const std::string text = ReadFile(path);
  std::string className;
  try {
    className = FormData::ReadTopClassName(text);
  } catch (const System::Exception& e) {
    throw TRefusal{path + ": " + StringToUtf8(e.GetMessage())};
  }
  const TypInfo::TClassInfo* cls = TypInfo::FindClass(className);
  if (cls == nullptr || cls->Members.Create == nullptr)
    throw TRefusal{path + ": unknown component class '" + className + "'"};
  TRootPtr root(cls->Members.Create(nullptr));
  root->SetDesigning(true);
  try {
    FormData::ReadComponent(text, root.get());
  } catch (const System::Exception& e) {
    throw TRefusal{path + ": " + StringToUtf8(e.GetMessage())};
  }
  joystick = dynamic_cast<TJoystick*>(root.get());
  for (int i = 0; joystick == nullptr && i < root->GetComponentCount(); ++i)
    joystick = dynamic_cast<TJoystick*>(root->GetComponents(i));
  if (joystick == nullptr) throw TRefusal{path + ": the form holds no TJoystick"};
  return root;
}

void Print(std::FILE* out, const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), out);
}

void PrintPalette(std::FILE* out) {
  std::string text;
  for (const DesignIntf::TPalettePage& page : DesignIntf::GetPalette()) {
    text += StringToUtf8(page.Name) + "\n";
    for (const TypInfo::TClassInfo* cls : page.Classes)
      text += std::string("  ") + cls->Name + "\n";
  }
  Print(out, text);
}

void Save(const std::string& path, TComponent* root, std::FILE* out) {
  std::string text;
  try {
    text = FormData::WriteComponent(root);
  } catch (const System::Exception& e) {
    throw TRefusal{"cannot save the form: " + StringToUtf8(e.GetMessage())};
  }
  if (path == "-") {
    Print(out, text);
    return;
  }
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  if (file) file << text;
  file.close();
  if (!file) throw TRefusal{"cannot write '" + path + "': " + std::strerror(errno)};
}

int RunChecked(const TOptions& options, std::FILE* out) {
  JoystickDesign::Register();

  std::vector<Evdev::TAttachedRecording> recordings;
  for (const std::string& device : options.Devices) {
    try {
      recordings.push_back(Evdev::AttachRecording(device));
      for (const std::string& line : recordings.back().GetLeftOut())
        std::fprintf(stderr, "joyinspect: --device %s: left out, %s\n", device.c_str(),
                     line.c_str());
    } catch (const System::Exception& e) {
      throw TRefusal{"--device " + device + ": " + StringToUtf8(e.GetMessage())};
    }
  }

  TJoystick* joystick = nullptr;
  TRootPtr root;
  if (!options.FormFile.empty()) {
    root = ReadForm(options.FormFile, joystick);
  } else {
    joystick = new TJoystick(nullptr);
    root.reset(joystick);
    joystick->SetName(u"Joystick1");
    joystick->SetDesigning(true);
  }

  Inspector::TObjectInspector inspector({joystick}, root.get());
  for (const auto& [name, value] : options.Edits) {
    try {
      inspector.SetValue(Utf8ToString(name), Utf8ToString(value));
    } catch (const System::Exception& e) {
      throw TRefusal{"--set " + name + "=" + value + ": " + StringToUtf8(e.GetMessage())};
    }
  }

  if (options.Palette) PrintPalette(out);
  if (!options.ValuesOf.empty()) {
    std::vector<String> values;
    try {
      values = inspector.GetValues(Utf8ToString(options.ValuesOf));
    } catch (const System::Exception& e) {
      throw TRefusal{"--values " + options.ValuesOf + ": " + StringToUtf8(e.GetMessage())};
    }
    std::string text;
    for (const String& v : values) text += StringToUtf8(v) + "\n";
    Print(out, text);
  }
  if (!options.Palette && options.ValuesOf.empty() && options.SaveFile != "-")
    Print(out, Inspector::FormatRows(inspector.GetRows()));
  if (!options.SaveFile.empty()) Save(options.SaveFile, root.get(), out);
  return ExitOk;
}

}  // namespace

int Run(const TOptions& options, std::FILE* out, std::FILE* err) {
  try {
    return RunChecked(options, out);
  } catch (const TRefusal& r) {
    std::fprintf(err, "joyinspect: %s\n", r.Message.c_str());
    return ExitRefused;
  }
}

}  // namespace vorlane::JoyInspect
