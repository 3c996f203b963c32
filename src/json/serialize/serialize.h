#pragma once
// Records and objects to JSON and back, by their static descriptions (descriptions.h).
//
// Reading an instance into JSON takes its properties, then its fields (own members first, then
// the ancestors', nearest first), skips members marked DISABLE or DISABLEWRITE or named in the
// nearest class-level DISABLE, keeps only the members a class map lists when one applies, names
// each by its Alias (then by the map's alias), applies REVAL and the map's conversion function,
// and stores the value by its kind. Writing JSON into an instance skips DISABLE and DISABLEREAD
// members and members that are null under their own name (before any alias), hands mapped members
// with a conversion function to that function, leaves members missing from the JSON unchanged, and
// sets the others by their kind (REVAL first). A JSON value of the wrong kind raises EInvalidCast,
// which ends the operation; members set before it keep their new values.
//
// Choices where the rules leave room:
// - A text that holds no JSON value (empty or blank) given to the object FromJSON raises
//   TJSONSyntaxError "Unexpected end of input", as a cut-off text does: a missing document is a
//   failure, not an empty instance (setJSONAttribute answers false). The record FromJSON reads
//   its text through JO, so an empty or blank text gives the empty record there. A text whose
//   value is not an object raises EInvalidCast in every form.
// - A null element of a JSON array where a record, object or interface is expected is skipped:
//   the element keeps its value (a new element stays empty); scalar elements take their empty
//   value (0, "", false), as the getters give for null.
// - Generic lists of plain values (TList<int>, TList<UString>) are written as arrays of those
//   values and read back element by element (nulls skipped, other kinds raise EInvalidCast).
// - A JSON value equal to a REVAL's EQVal whose NewVal is null gives the member its empty value.
// - Registering a class map drops the remembered last-found map, so the change applies at once.
// - A class's constructors are its own (C++ constructors are not inherited); a default-
//   constructible class without a "Create" entry has an implicit one without parameters.
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <vector>

#include "core/ustring.h"
#include "json/model/documents.h"
#include "json/serialize/descriptions.h"

namespace vx::json {

struct TClassMapRecExt;

// Converts a member's value: aToJSON is true when an instance is turned into JSON (the result is
// stored) and false when JSON is turned into an instance (the function sets the member itself).
using TClassMapFnc = std::function<TVariant(void* aInstance, const TClassMapRecExt& aMember,
                                            const TVariant& aValue, bool aToJSON)>;

struct TClassMapRecExt {
  UString Name;
  UString Alias;
  TClassMapFnc Fnc;
  [[nodiscard]] bool Enabled() const noexcept { return !Name.empty(); }
};

struct TClassMapRec {
  UString ClassType;
  std::vector<TClassMapRecExt> Enabled;
  // The entry of that member name (ASCII case ignored) that applies, or none.
  [[nodiscard]] const TClassMapRecExt* GetEnabledMember(UStringView name) const noexcept;
};

class TSerializeParse {
 public:
  // Instance or record into JSON (the Read operations) and JSON into it (the Write operations).
  static void ReadRecord(const TTypeInfo& type, const void* record, TJSONObject& object);
  static void WriteRecord(const TTypeInfo& type, void* record, const TJSONObject& object,
                          bool checkDate = true);
  template <Described T>
  static void ReadObject(const T& instance, const IDocObject& object) {
    ReadRecord(TypeInfoOf<T>(), &instance, *object->GetSelf());
  }
  template <Described T>
  static void WriteObject(T& instance, const IDocObject& object) {
    WriteRecord(TypeInfoOf<T>(), &instance, *object->GetSelf(), object->GetCheckDate());
  }

  // A new instance by the class's nearest "Create" (a generic list with its construction
  // arguments); raises EJSONError when it has none or it needs arguments.
  [[nodiscard]] static TOwned ObjectConstructor(const TTypeInfo& type);
  // 0 for a generic list, else the parameter count of "Create", or -1 when there is none.
  [[nodiscard]] static int ObjectConstructorParamCount(const TTypeInfo& type);

  [[nodiscard]] static bool VxCastDateTime(const TVariant& in, TVariant& out);
  [[nodiscard]] static TDateTime VxJSDateToDateTime(UStringView text);

  // RFC 4648 alphabet with "=" padding, in one line. Decoding skips characters outside the
  // alphabet and stops at the first "=".
  [[nodiscard]] static UString Base64Encode(std::span<const std::uint8_t> bytes);
  [[nodiscard]] static std::vector<std::uint8_t> Base64Decode(UStringView text);

  // The process-wide class maps (not locked: one thread at a time).
  static void AddObjectMap(UStringView aClass, const std::vector<UString>& aEnabled);
  static void AddObjectMapExt(UStringView aClass, UStringView aPropName, UStringView aAliasName,
                              TClassMapFnc aConvertFnc = {});
  [[nodiscard]] static int IsObjectMappedIdx(UStringView aClass);
  [[nodiscard]] static bool IsObjectMapped(UStringView aClass) { return IsObjectMappedIdx(aClass) >= 0; }
  // The map of a type name (ASCII case ignored), the last one found tried first; none when no map
  // names the type or its list is empty.
  [[nodiscard]] static std::shared_ptr<const TClassMapRec> FindClassMap(UStringView typeName);

  // Type-erased forms of the attribute helpers.
  [[nodiscard]] static bool SetJSONAttributes(const TTypeInfo& type, void* instance,
                                              UStringView aJSONAttributes) noexcept;
  [[nodiscard]] static UString GetJSONAttribute(UStringView compactJSON, UStringView aAttribute);
};

// The four class-map operations of every front end; they work on the process-wide list,
// whatever type they are called on.
struct TClassMapOperations {
  static void AddObjectMap(UStringView aClass, const std::vector<UString>& aEnabled) {
    TSerializeParse::AddObjectMap(aClass, aEnabled);
  }
  static void AddObjectMapExt(UStringView aClass, UStringView aPropName, UStringView aAliasName,
                              TClassMapFnc aConvertFnc = {}) {
    TSerializeParse::AddObjectMapExt(aClass, aPropName, aAliasName, std::move(aConvertFnc));
  }
  [[nodiscard]] static bool IsObjectMapped(UStringView aClass) {
    return TSerializeParse::IsObjectMapped(aClass);
  }
  [[nodiscard]] static int IsObjectMappedIdx(UStringView aClass) {
    return TSerializeParse::IsObjectMappedIdx(aClass);
  }
};

// The operations on class instances.
class TObjectJSONHelper : public TClassMapOperations {
 public:
  template <Described T>
  [[nodiscard]] static IDocObject AsJSONObject(const T& instance) {
    auto doc = MakeRef<TDocObject>(MakeRef<TJSONObject>(), true);
    TSerializeParse::ReadObject(instance, doc);
    return doc;
  }
  template <Described T>
  [[nodiscard]] static UString AsJSON(const T& instance, bool Ident = false, bool UniversalTime = false) {
    return AsJSONObject(instance)->AsJSON(Ident, UniversalTime);
  }

  template <Described T>
  [[nodiscard]] static std::unique_ptr<T> FromJSON(UStringView text) {
    return FromJSON<T>(text, {}, u"Create");
  }
  template <Described T>
  [[nodiscard]] static std::unique_ptr<T> FromJSON(UStringView text, const TArgs& args,
                                                   UStringView constructor) {
    return FromJSON<T>(ParseDocument(text), args, constructor);
  }
  // Runs the named constructor with the arguments (without one when the class has none of that
  // name), then writes the JSON object into the new instance; on any error the instance is freed.
  template <Described T>
  [[nodiscard]] static std::unique_ptr<T> FromJSON(const IDocObject& json, const TArgs& args,
                                                   UStringView constructor) {
    RequireObject(json);
    std::unique_ptr<T> instance(
        static_cast<T*>(Construct(TypeInfoOf<T>(), args, constructor, &MakeDefault<T>).release()));
    TSerializeParse::WriteObject(*instance, json);
    return instance;
  }

  // Writes the members of a JSON text into the instance; false (and no error) when anything fails.
  template <Described T>
  static bool setJSONAttribute(T& instance, UStringView aJSONAttributes) noexcept {
    return TSerializeParse::SetJSONAttributes(TypeInfoOf<T>(), &instance, aJSONAttributes);
  }
  // The text {name:value} with both inserted as they are (NUL characters of the value as blanks).
  template <Described T>
  static bool setJSONAttribute(T& instance, UStringView aAttribute, UStringView aJSONFormatValue) noexcept {
    try {
      return setJSONAttribute(instance, AttributeText(aAttribute, aJSONFormatValue));
    } catch (...) {
      return false;
    }
  }
  // One member's value cut out of the compact text (a purely textual split); "" on any failure.
  template <Described T>
  [[nodiscard]] static UString getJSONAttribute(const T& instance, UStringView aAttribute) noexcept {
    try {
      return TSerializeParse::GetJSONAttribute(AsJSON(instance), aAttribute);
    } catch (...) {
      return {};
    }
  }

  // Raises EInvalidCast when the document's value is not an object.
  static void RequireObject(const IDocObject& json);
  // The text as a document (date checking on); TJSONSyntaxError when it holds no value.
  [[nodiscard]] static IDocObject ParseDocument(UStringView text);
  [[nodiscard]] static UString AttributeText(UStringView aAttribute, UStringView aJSONFormatValue);

 private:
  template <class T>
  static TOwned MakeDefault() {
    if constexpr (std::is_default_constructible_v<T>) {
      return rtti::Own(std::make_unique<T>());
    } else {
      throw EJSONError(u"No constructor");
    }
  }
  static TOwned Construct(const TTypeInfo& type, const TArgs& args, UStringView constructor,
                          TOwned (*makeDefault)());
};

// The object helper's operations as members of a class (described with VX_CLASS) that derives
// from this one:
//   class TNote : public TObjectJSONMethods<TNote> { ... };   note.AsJSON(), TNote::FromJSON(text)
template <class T>
class TObjectJSONMethods : public TClassMapOperations {
 public:
  [[nodiscard]] IDocObject AsJSONObject() const { return TObjectJSONHelper::AsJSONObject(Self()); }
  [[nodiscard]] UString AsJSON(bool Ident = false, bool UniversalTime = false) const {
    return TObjectJSONHelper::AsJSON(Self(), Ident, UniversalTime);
  }
  [[nodiscard]] static std::unique_ptr<T> FromJSON(UStringView text) {
    return TObjectJSONHelper::FromJSON<T>(text);
  }
  [[nodiscard]] static std::unique_ptr<T> FromJSON(UStringView text, const TArgs& args,
                                                   UStringView constructor) {
    return TObjectJSONHelper::FromJSON<T>(text, args, constructor);
  }
  [[nodiscard]] static std::unique_ptr<T> FromJSON(const IDocObject& json, const TArgs& args,
                                                   UStringView constructor) {
    return TObjectJSONHelper::FromJSON<T>(json, args, constructor);
  }
  bool setJSONAttribute(UStringView aJSONAttributes) noexcept {
    return TObjectJSONHelper::setJSONAttribute(Self(), aJSONAttributes);
  }
  bool setJSONAttribute(UStringView aAttribute, UStringView aJSONFormatValue) noexcept {
    return TObjectJSONHelper::setJSONAttribute(Self(), aAttribute, aJSONFormatValue);
  }
  [[nodiscard]] UString getJSONAttribute(UStringView aAttribute) const noexcept {
    return TObjectJSONHelper::getJSONAttribute(Self(), aAttribute);
  }

 private:
  const T& Self() const { return static_cast<const T&>(*this); }
  T& Self() { return static_cast<T&>(*this); }
};

// The operations on a record type.
template <Described T>
class TRecordJSONHelper : public TClassMapOperations {
 public:
  [[nodiscard]] static IDocObject AsJSONObject(const T& Rec) { return TObjectJSONHelper::AsJSONObject(Rec); }
  // Compact, local time.
  [[nodiscard]] static UString AsJSON(const T& Rec) { return AsJSONObject(Rec)->AsJSON(false, false); }
  [[nodiscard]] static T FromJSON(UStringView text) { return FromJSON(JO(text)); }
  // From a record with every member empty (T{}).
  [[nodiscard]] static T FromJSON(const IDocObject& json) {
    TObjectJSONHelper::RequireObject(json);
    T rec{};
    TSerializeParse::WriteObject(rec, json);
    return rec;
  }

  static bool setJSONAttribute(T& Rec, UStringView aJSONAttributes) noexcept {
    return TObjectJSONHelper::setJSONAttribute(Rec, aJSONAttributes);
  }
  static bool setJSONAttribute(T& Rec, UStringView aAttribute, UStringView aJSONFormatValue) noexcept {
    return TObjectJSONHelper::setJSONAttribute(Rec, aAttribute, aJSONFormatValue);
  }
  [[nodiscard]] static UString getJSONAttribute(const T& Rec, UStringView aAttribute) noexcept {
    return TObjectJSONHelper::getJSONAttribute(Rec, aAttribute);
  }
};

}  // namespace vx::json
