#include "JsonOutput.hpp"

#include "TypeNames.hpp"

namespace vorlane::JoyMon {

using TypInfo::TTypeKind;

void WriteError(TJsonWriter& json, const Joystick::EJoystickError& error) {
  json.BeginInlineObject();
  json.Key("error").Value(static_cast<std::int64_t>(error.ErrorCode));
  json.Key("message").Value(System::StringView(error.GetMessage()));
  json.EndObject();
}

namespace {

// Writes the value of one ordinal property (already read as `ord`).
void WriteOrdinal(TJsonWriter& json, TypInfo::PTypeInfo type, std::int64_t ord) {
  switch (type->Kind) {
    case TTypeKind::tkEnumeration:
      if (type == TypInfo::BooleanTypeInfo()) {
        json.Value(ord != 0);
      } else if (std::string_view name = TypInfo::GetEnumName(type, ord); !name.empty()) {
        json.Value(name);
      } else {
        json.Value(ord);  // a value outside the enumeration has no name
      }
      break;
    case TTypeKind::tkSet:
      json.BeginArray();
      for (std::string_view name : SetElementNames(type, static_cast<std::uint64_t>(ord)))
        json.Value(name);
      json.EndArray();
      break;
    default:
      json.Value(ord);
  }
}

void WriteProperty(TJsonWriter& json, System::TObject& object, const TypInfo::TPropInfo& prop) {
  const TypInfo::PTypeInfo type = prop.PropType;
  // Read first, write after: a read that raises leaves nothing half-written.
  try {
    if (prop.GetObj != nullptr) {
      System::TObject* child = prop.GetObj(&object);
      json.Key(prop.Name);
      if (child == nullptr) {
        json.Null();
      } else {
        json.BeginObject();
        WritePublishedProperties(json, *child, nullptr);
        json.EndObject();
      }
    } else if (prop.GetStr != nullptr) {
      const System::String value = prop.GetStr(&object);
      json.Key(prop.Name).Value(System::StringView(value));
    } else if (prop.GetOrd != nullptr) {
      const std::int64_t value = prop.GetOrd(&object);
      json.Key(prop.Name);
      WriteOrdinal(json, type, value);
    }
  } catch (const Joystick::EJoystickError& e) {
    json.Key(prop.Name);
    WriteError(json, e);
  }
}

}  // namespace

void WritePublishedProperties(TJsonWriter& json, System::TObject& object,
                              const TypInfo::TClassInfo* base) {
  for (const TypInfo::TPropInfo* prop : TypInfo::GetPropList(object.ClassType())) {
    if (prop->PropType == nullptr || prop->PropType->Kind == TTypeKind::tkMethod) continue;
    if (base != nullptr && TypInfo::GetPropInfo(*base, prop->Name) == prop) continue;
    WriteProperty(json, object, *prop);
  }
}

void WriteSnapshot(TJsonWriter& json, Joystick::TJoystick& joystick) {
  json.BeginObject();
  WritePublishedProperties(json, joystick, &Classes::TComponent::StaticClass());
  json.Key("ControllerCount").Value(joystick.GetControllerCount());
  json.Key("Attached").Value(joystick.GetAttached(joystick.GetController()));
  json.EndObject();
}

void WriteEvent(TJsonWriter& json, const TEventRecord& event, TClock::time_point start) {
  json.BeginObject();
  json.Key("event").Value(EventName(event.Kind));
  const bool button = event.Kind == TEventKind::ButtonDown || event.Kind == TEventKind::ButtonUp;
  auto names = [&](const char* key, Joystick::TButtons set) {
    json.Key(key).BeginArray();
    for (std::string_view name : SetNames(set)) json.Value(name);
    json.EndArray();
  };
  if (button) names("Changed", event.Changed);
  names("Pressed", event.Pressed);
  if (event.Kind == TEventKind::MoveZ) {
    json.Key("Z").Value(event.Z);
  } else {
    json.Key("X").Value(event.X);
    json.Key("Y").Value(event.Y);
  }
  const double seconds = std::chrono::duration<double>(event.Time - start).count();
  json.Key("Time").Value(static_cast<double>(static_cast<std::int64_t>(seconds * 1000)) / 1000);
  json.EndObject();
}

}  // namespace vorlane::JoyMon
