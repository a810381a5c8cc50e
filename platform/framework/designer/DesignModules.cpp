// The designer's side of unloading a module: what a package registered with the
// designer points into its code and data, so it must go before the library does.
// The designer learns of that from the module notifications of the package library.
#include <algorithm>

#include "vorlane/designer/DesignIntf.hpp"
#include "vorlane/packages/Packages.hpp"
#include "vorlane/runtime/TypInfo.hpp"

namespace vorlane::DesignIntf {

namespace {

using Packages::HMODULE;

// Removes the palette classes, property-editor registrations and mappers that point
// into `module`, keeping the order of the others.
void WithdrawRegistrationsOf(HMODULE module) {
  auto inModule = [&](const void* address) { return Packages::ModuleContains(module, address); };
  auto editorInModule = [&](const TPropertyEditorRegistration& r) {
    return inModule(r.PropertyType) || inModule(r.ComponentClass) ||
           inModule(r.EditorClass.ClassInfo());
  };
  auto mapperInModule = [&](TPropertyMapperFunc mapper) {
    return inModule(reinterpret_cast<const void*>(mapper));
  };

  const std::vector<TPalettePage> palette = GetPalette();
  const std::vector<TPropertyEditorRegistration> editors = GetPropertyEditorRegistrations();
  const std::vector<TPropertyMapperFunc> mappers = GetPropertyMappers();

  // RegisterComponents also made the palette's classes known to form reading: those
  // of the module go with it.
  for (const TPalettePage& page : palette)
    for (const TypInfo::TClassInfo* cls : page.Classes)
      if (inModule(cls)) TypInfo::UnregisterClass(*cls);

  bool touched =
      std::ranges::any_of(editors, editorInModule) || std::ranges::any_of(mappers, mapperInModule);
  for (const TPalettePage& page : palette)
    touched = touched || std::ranges::any_of(page.Classes, inModule);
  if (!touched) return;

  // The registries offer no withdrawal of single entries: start again from nothing
  // and register, in their old order, the entries that stay.
  ClearRegistrations();
  for (const TPalettePage& page : palette) {
    std::vector<const TypInfo::TClassInfo*> keep;
    for (const TypInfo::TClassInfo* cls : page.Classes)
      if (!inModule(cls)) keep.push_back(cls);
    if (!keep.empty()) RegisterComponents(page.Name, keep);
  }
  for (const TPropertyEditorRegistration& r : editors)
    if (!editorInModule(r))
      RegisterPropertyEditor(r.PropertyType, r.ComponentClass, r.PropertyName, r.EditorClass);
  for (TPropertyMapperFunc mapper : mappers)
    if (!mapperInModule(mapper)) RegisterPropertyMapper(mapper);
}

// A package's registrations go once its units are finalised, and at the latest when
// its library entry detaches it (the code is still mapped then), so that none
// outlives the library, however it was unloaded.
void OnModuleEvent(Packages::TModuleEvent event, HMODULE module) {
  if (event == Packages::TModuleEvent::meFinalized || event == Packages::TModuleEvent::meDetached)
    WithdrawRegistrationsOf(module);
}

// Subscribes while the designer is loaded. The subscription ends when the process's
// exit handlers run, before the libraries' own exits: a package still loaded at exit
// detaches after the registries are gone and must not reach them.
struct TModuleSubscription {
  TModuleSubscription() { Packages::AddModuleNotifier(&OnModuleEvent); }
  ~TModuleSubscription() { Packages::RemoveModuleNotifier(&OnModuleEvent); }
};
const TModuleSubscription gSubscription;

}  // namespace

}  // namespace vorlane::DesignIntf
