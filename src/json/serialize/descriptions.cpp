#include "json/serialize/descriptions.h"

#include "json/model/errors.h"

namespace vx::json {

DISABLE::DISABLE(UStringView aNames) {
  while (!aNames.empty()) {
    const std::size_t cut = std::min(aNames.find_first_of(u";,"), aNames.size());
    if (const UStringView name = Trim(aNames.substr(0, cut)); !name.empty()) FNames.emplace_back(name);
    aNames.remove_prefix(std::min(cut + 1, aNames.size()));
  }
}

bool VarSame(const TVariant& a, const TVariant& b) noexcept {
  if (a.IsEmpty() || b.IsEmpty() || a.IsNull() || b.IsNull()) return a.VarType() == b.VarType();
  if (a.VarType() == varBoolean || b.VarType() == varBoolean) {
    return a.VarType() == b.VarType() && a.AsBoolean() == b.AsBoolean();
  }
  if (a.IsText() || b.IsText()) return a.IsText() && b.IsText() && a.AsText() == b.AsText();
  if (a.IsIntegral() && b.IsIntegral()) return a.AsInt64() == b.AsInt64();
  const auto x = rtti::VarNumber(a);
  const auto y = rtti::VarNumber(b);
  return x && y && *x == *y;
}

const TTypeInfo& VxTypeInfo(const TMemoryStream*) {
  static const TTypeInfo info = [] {
    TTypeInfo t;
    t.Name = u"TMemoryStream";
    t.IsClass = true;
    t.Constructors.push_back(rtti::Constructor<TMemoryStream>(u"Create").Constructor);
    t.Finish();
    return t;
  }();
  return info;
}

void TTypeInfo::Finish() {
  Ordered.clear();
  for (auto list : {&TTypeInfo::Properties, &TTypeInfo::Fields}) {
    int depth = 0;
    for (const TTypeInfo* t = this; t; t = t->Base, ++depth) {
      for (const TMember& m : t->*list) Ordered.push_back({&m, depth});
    }
  }
}

namespace rtti {

void AddEntry(TTypeInfo& t, TFieldDecl&& e) {
  t.Fields.push_back(std::move(e.Member));
}
void AddEntry(TTypeInfo& t, TPropertyDecl&& e) {
  t.Properties.push_back(std::move(e.Member));
}
void AddEntry(TTypeInfo& t, TConstructorDecl&& e) {
  t.Constructors.push_back(std::move(e.Constructor));
}
void AddEntry(TTypeInfo& t, TClassAttrDecl&& e) {
  t.ClassDisable = std::move(e.Disable);
}

void CheckFieldOrder(const TTypeInfo& t, std::span<const void* const> addresses) {
  for (std::size_t i = 1; i < addresses.size(); ++i) {
    if (std::less<>()(addresses[i - 1], addresses[i])) continue;
    throw std::logic_error("the description of " + UToUtf8(t.Name) +
                           " does not list its fields in declaration order");
  }
}

}  // namespace rtti
}  // namespace vx::json
