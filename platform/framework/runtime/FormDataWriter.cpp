// Writing a component tree as text form data.
#include <algorithm>
#include <vector>

#include "vorlane/runtime/FormData.hpp"

namespace vorlane::FormData {

using Classes::TComponent;
using System::String;
using System::TObject;
using System::Utf8ToString;
using TypInfo::TPropInfo;
using TypInfo::TTypeKind;

const TypInfo::TClassInfo& EWriteError::StaticClass() {
  static const TypInfo::TClassInfo info("EWriteError", &System::Exception::StaticClass());
  return info;
}

namespace {

// Printable ASCII between quotes, every other code unit as #NNN.
std::string StringLiteral(const String& value) {
  if (value.empty()) return "''";
  std::string out;
  bool quoted = false;
  for (char16_t unit : value) {
    if (unit >= 0x20 && unit <= 0x7E) {
      if (!quoted) out += '\'';
      quoted = true;
      if (unit == u'\'') out += '\'';
      out += static_cast<char>(unit);
    } else {
      if (quoted) out += '\'';
      quoted = false;
      out += '#';
      out += std::to_string(static_cast<unsigned>(unit));
    }
  }
  if (quoted) out += '\'';
  return out;
}

std::string Describe(TObject* object) {
  std::string text;
  if (auto* c = dynamic_cast<TComponent*>(object); c != nullptr && !c->GetName().empty())
    text = System::StringToUtf8(c->GetName()) + " ";
  return text + "(" + object->ClassType().Name + ")";
}

class TWriter {
 public:
  explicit TWriter(TComponent* root) : FRoot(root) {}

  std::string Run() {
    WriteObject(FRoot, 0);
    return std::move(FOut);
  }

 private:
  void Indent(int level) { FOut.append(static_cast<std::size_t>(level) * 2, ' '); }

  void WriteObject(TComponent* component, int level) {
    Indent(level);
    FOut += "object ";
    if (!component->GetName().empty()) FOut += System::StringToUtf8(component->GetName()) + ": ";
    FOut += component->ClassType().Name;
    FOut += '\n';
    FPath.push_back(component);
    WriteProperties(component, component, "", level + 1);
    FPath.pop_back();
    if (component == FRoot)
      for (int i = 0; i < FRoot->GetComponentCount(); ++i)
        WriteObject(FRoot->GetComponents(i), level + 1);
    Indent(level);
    FOut += "end\n";
  }

  void Line(int level, const std::string& name, const std::string& value) {
    Indent(level);
    FOut += name;
    FOut += " = ";
    FOut += value;
    FOut += '\n';
  }

  [[noreturn]] void Fail(TComponent* component, const std::string& name, const std::string& why) {
    throw EWriteError(Utf8ToString("cannot write property '" + name + "' of " +
                                   Describe(component) + ": " + why));
  }

  // `component` is the object whose header line encloses the property, `object`
  // the one that has it (the component itself or one of its sub-objects).
  void WriteProperties(TComponent* component, TObject* object, const std::string& prefix,
                       int level) {
    const bool isHeaderObject = object == component;
    for (const TPropInfo* prop : TypInfo::GetPropList(object->ClassType())) {
      if (!prop->Stored) continue;
      const std::string_view propName(prop->Name);
      if (isHeaderObject && propName == "Name") continue;  // in the header line
      const std::string name = prefix + prop->Name;
      switch (prop->PropType->Kind) {
        case TTypeKind::tkInteger:
        case TTypeKind::tkEnumeration:
        case TTypeKind::tkSet: {
          if (prop->GetOrd == nullptr) continue;
          const std::int64_t value = prop->GetOrd(object);
          if (prop->HasDefault && value == prop->Default) continue;
          Line(level, name, OrdinalText(component, name, prop, value));
          break;
        }
        case TTypeKind::tkUString: {
          if (prop->GetStr == nullptr) continue;
          const String value = prop->GetStr(object);
          if (value.empty()) continue;
          Line(level, name, StringLiteral(value));
          break;
        }
        case TTypeKind::tkMethod: {
          if (prop->GetMethod == nullptr) continue;
          const Closure::TMethod method = prop->GetMethod(object);
          if (method.Code == nullptr) continue;
          const TypInfo::TMethodInfo* info = TypInfo::FindMethodName(FRoot, method);
          if (info == nullptr)
            Fail(component, name,
                 "its handler is not a published method of the root " + Describe(FRoot));
          Line(level, name, info->Name);
          break;
        }
        case TTypeKind::tkClass: {
          if (prop->GetObj == nullptr) continue;
          TObject* sub = prop->GetObj(object);
          if (sub == nullptr) continue;
          if (auto* c = dynamic_cast<TComponent*>(sub); c != nullptr && c->GetOwner() != object)
            Fail(component, name,
                 "it refers to the component " + Describe(sub) + ", which it does not own");
          if (std::find(FPath.begin(), FPath.end(), sub) != FPath.end())
            Fail(component, name, "its object is already being written (a cycle)");
          FPath.push_back(sub);
          WriteProperties(component, sub, name + ".", level);
          FPath.pop_back();
          break;
        }
        default:
          Fail(component, name,
               std::string("form data cannot hold its type ") + prop->PropType->Name);
      }
    }
  }

  std::string OrdinalText(TComponent* component, const std::string& name, const TPropInfo* prop,
                          std::int64_t value) {
    const TypInfo::TTypeInfo* type = prop->PropType;
    if (type->Kind == TTypeKind::tkInteger) {
      if (value < type->Data.MinValue || value > type->Data.MaxValue)
        Fail(component, name,
             "its value " + std::to_string(value) + " is outside the range of " + type->Name);
      return std::to_string(value);
    }
    if (type->Kind == TTypeKind::tkEnumeration) {
      const std::string_view text = TypInfo::GetEnumName(type, value);
      if (text.empty())
        Fail(component, name,
             "its value " + std::to_string(value) + " has no name in " + type->Name);
      return std::string(text);
    }
    // A set: its elements in ascending order.
    const TypInfo::TTypeInfo* element = type->Data.CompType;
    const auto bits = static_cast<std::uint64_t>(value);
    std::string text = "[";
    for (int bit = 0; bit < 64; ++bit) {
      if ((bits >> bit & 1u) == 0) continue;
      const std::string_view elementName = TypInfo::GetEnumName(element, bit);
      if (elementName.empty())
        Fail(component, name,
             "its element " + std::to_string(bit) + " has no name in " +
                 (element != nullptr ? element->Name : type->Name));
      if (text.size() > 1) text += ", ";
      text += elementName;
    }
    return text + "]";
  }

  TComponent* FRoot;
  std::string FOut;
  std::vector<TObject*> FPath;  // objects whose properties are being written
};

}  // namespace

std::string WriteComponent(TComponent* root) {
  if (root == nullptr) throw EWriteError(u"cannot write form data: no component given");
  return TWriter(root).Run();
}

}  // namespace vorlane::FormData
