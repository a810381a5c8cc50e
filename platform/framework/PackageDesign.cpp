// The designer's side of unloading a package: what the package registered with the
// designer points into its code and data, so it must go before the library does.
#include <algorithm>

#include "framework/PackageInternal.hpp"
#include "vorlane/DesignIntf.hpp"
#include "vorlane/TypInfo.hpp"

namespace vorlane::Packages::detail {

void WithdrawDesignRegistrations(HMODULE module) {
  auto inModule = [&](const void* address) { return ModuleContains(module, address); };
  auto editorInModule = [&](const DesignIntf::TPropertyEditorRegistration& r) {
    return inModule(r.PropertyType) || inModule(r.ComponentClass) ||
           inModule(r.EditorClass.ClassInfo());
  };
  auto mapperInModule = [&](DesignIntf::TPropertyMapperFunc mapper) {
    return inModule(reinterpret_cast<const void*>(mapper));
  };

  const std::vector<DesignIntf::TPalettePage> palette = DesignIntf::GetPalette();
  const std::vector<DesignIntf::TPropertyEditorRegistration> editors =
      DesignIntf::GetPropertyEditorRegistrations();
  const std::vector<DesignIntf::TPropertyMapperFunc> mappers = DesignIntf::GetPropertyMappers();

  // RegisterComponents also made the palette's classes known to form reading: those
  // of the package go with it.
  for (const DesignIntf::TPalettePage& page : palette)
    for (const TypInfo::TClassInfo* cls : page.Classes)
      if (inModule(cls)) TypInfo::UnregisterClass(*cls);

  bool touched =
      std::ranges::any_of(editors, editorInModule) || std::ranges::any_of(mappers, mapperInModule);
  for (const DesignIntf::TPalettePage& page : palette)
    touched = touched || std::ranges::any_of(page.Classes, inModule);
  if (!touched) return;

  // The designer offers no withdrawal of single entries: start again from nothing
  // and register, in their old order, the entries that stay.
  DesignIntf::ClearRegistrations();
  for (const DesignIntf::TPalettePage& page : palette) {
    std::vector<const TypInfo::TClassInfo*> keep;
    for (const TypInfo::TClassInfo* cls : page.Classes)
      if (!inModule(cls)) keep.push_back(cls);
    if (!keep.empty()) DesignIntf::RegisterComponents(page.Name, keep);
  }
  for (const DesignIntf::TPropertyEditorRegistration& r : editors)
    if (!editorInModule(r))
      DesignIntf::RegisterPropertyEditor(r.PropertyType, r.ComponentClass, r.PropertyName,
                                         r.EditorClass);
  for (DesignIntf::TPropertyMapperFunc mapper : mappers)
    if (!mapperInModule(mapper)) DesignIntf::RegisterPropertyMapper(mapper);
}

}  // namespace vorlane::Packages::detail
