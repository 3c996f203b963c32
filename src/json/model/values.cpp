#include "json/model/values.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <unordered_set>

#include "json/dates/date_time.h"
#include "json/model/errors.h"
#include "json/model/name_index.h"
#include "json/model/variant_text.h"
#include "json/write/writer.h"

namespace vx::json {

namespace {
constexpr std::string_view kNull = "null";

std::int64_t VariantToInt64(const TVariant& v) {
  if (v.IsIntegral()) return v.AsInt64();
  if (v.VarType() == varBoolean) return v.AsBoolean() ? 1 : 0;
  if (v.IsFloating() || v.VarType() == varDate) return static_cast<std::int64_t>(std::llround(v.AsDouble()));
  if (v.IsText()) {
    if (auto i = TryStrToInt64(v.AsText())) return *i;
    throw EConvertError(u"'" + v.AsText() + u"' is not a valid integer value");
  }
  throw EInvalidCast();
}

double VariantToDouble(const TVariant& v) {
  if (v.IsFloating() || v.VarType() == varDate) return v.AsDouble();
  if (v.IsIntegral()) return static_cast<double>(v.AsInt64());
  if (v.VarType() == varBoolean) return v.AsBoolean() ? 1 : 0;
  if (v.IsText()) {
    if (auto d = TryStrToFloat(v.AsText())) return *d;
    throw EConvertError(u"'" + v.AsText() + u"' is not a valid floating point value");
  }
  throw EInvalidCast();
}
}  // namespace

// ---- TJSONAncestor ----

void TJSONAncestor::SetAsVariant(const TVariant&) {
  throw EInvalidCast();
}

TDataType TJSONAncestor::GetDataType() const {
  throw EJSONError(u"Unknown JSON Type");
}

void TJSONAncestor::AsJSONString(TJSONWriter& writer) const {
  writer.AppendVal(kNull, false);
}

IJSONAncestor TJSONAncestor::Clone() const {
  throw EJSONError(u"Unknown JSON Type");
}

// ---- scalars ----

TVariant TJSONString::GetAsVariant() const {
  return FNull ? TVariant::Null() : TVariant::String(FData.Str());
}
void TJSONString::SetAsVariant(const TVariant& value) {
  if (value.IsNull()) return SetNull();
  SetData(VarToStr(value));
}
void TJSONString::AsJSONString(TJSONWriter& writer) const {
  if (FNull) return writer.AppendVal(kNull, false);
  writer.AppendString(FData);
}
IJSONAncestor TJSONString::Clone() const {
  return FNull ? MakeRef<TJSONString>(kNullValue) : MakeRef<TJSONString>(FData);
}

TVariant TJSONInteger::GetAsVariant() const {
  return FNull ? TVariant::Null() : TVariant::Int64(FData);
}
void TJSONInteger::SetAsVariant(const TVariant& value) {
  if (value.IsNull()) return SetNull();
  SetData(VariantToInt64(value));
}
void TJSONInteger::AsJSONString(TJSONWriter& writer) const {
  if (FNull) return writer.AppendVal(kNull, false);
  writer.AppendVal(FData, false);
}
IJSONAncestor TJSONInteger::Clone() const {
  return FNull ? MakeRef<TJSONInteger>(kNullValue) : MakeRef<TJSONInteger>(FData);
}

TVariant TJSONFloat::GetAsVariant() const {
  return FNull ? TVariant::Null() : TVariant::Double(FData);
}
void TJSONFloat::SetAsVariant(const TVariant& value) {
  if (value.IsNull()) return SetNull();
  SetData(VariantToDouble(value));
}
void TJSONFloat::AsJSONString(TJSONWriter& writer) const {
  if (FNull) return writer.AppendVal(kNull, false);
  writer.AppendFloat(FData);
}
IJSONAncestor TJSONFloat::Clone() const {
  return FNull ? MakeRef<TJSONFloat>(kNullValue) : MakeRef<TJSONFloat>(FData);
}

TVariant TJSONBoolean::GetAsVariant() const {
  return FNull ? TVariant::Null() : TVariant::Boolean(FData);
}
void TJSONBoolean::SetAsVariant(const TVariant& value) {
  if (value.IsNull()) return SetNull();
  SetData(VariantToInt64(value) != 0);
}
void TJSONBoolean::AsJSONString(TJSONWriter& writer) const {
  if (FNull) return writer.AppendVal(kNull, false);
  writer.AppendVal(FData ? std::string_view("true") : std::string_view("false"), false);
}
IJSONAncestor TJSONBoolean::Clone() const {
  return FNull ? MakeRef<TJSONBoolean>(kNullValue) : MakeRef<TJSONBoolean>(FData);
}

void TJSONNull::AsJSONString(TJSONWriter& writer) const {
  writer.AppendVal(kNull, false);
}
IJSONAncestor TJSONNull::Clone() const {
  return MakeRef<TJSONNull>();
}

// ---- dates ----

template <TDataType Kind>
TVariant TJSONBaseDate<Kind>::GetAsVariant() const {
  if (FNull) return TVariant::Null();
  return Kind == dtDateTime ? TVariant::Date(FData) : TVariant::Double(FData);
}

template <TDataType Kind>
void TJSONBaseDate<Kind>::SetAsVariant(const TVariant& value) {
  if (value.IsNull()) return SetNull();
  SetData(VariantToDouble(value));
}

template <TDataType Kind>
void TJSONBaseDate<Kind>::AsJSONString(TJSONWriter& writer) const {
  if (FNull) return writer.AppendVal(kNull, false);
  // The format may hold any character: the text is escaped like every other string.
  if (writer.UniversalTime()) {
    writer.AppendString(FormatDateTime(GetFormat(), LocalToUtc(FData)) + u"Z");
  } else {
    writer.AppendString(FormatDateTime(GetFormat(), FData));
  }
}

template <TDataType Kind>
IJSONAncestor TJSONBaseDate<Kind>::Clone() const {
  using TKind = std::conditional_t<Kind == dtDateTime, TJSONDateTime,
                                   std::conditional_t<Kind == dtDate, TJSONDate, TJSONTime>>;
  auto copy = MakeRef<TKind>(FData);
  if (FNull) copy->SetNull();
  return copy;
}

template class TJSONBaseDate<dtDateTime>;
template class TJSONBaseDate<dtDate>;
template class TJSONBaseDate<dtTime>;

IJSONAncestor NewDate(TDataType kind, TDateTime value) {
  if (kind == dtDateTime) return MakeRef<TJSONDateTime>(value);
  if (kind == dtDate) return MakeRef<TJSONDate>(value);
  return MakeRef<TJSONTime>(value);
}

// ---- the getters' type rules ----

std::int64_t IntegerOf(const TJSONAncestor& j) {
  if (j.GetDataType() != dtInteger) throw EInvalidCast();
  return static_cast<const TJSONInteger&>(j).GetData();
}

double DoubleOf(const TJSONAncestor& j) {
  switch (j.GetDataType()) {
    case dtInteger:
      return static_cast<double>(static_cast<const TJSONInteger&>(j).GetData());
    case dtFloat:
      return static_cast<const TJSONFloat&>(j).GetData();
    default:
      throw EInvalidCast();
  }
}

bool BooleanOf(const TJSONAncestor& j) {
  if (j.GetDataType() != dtBoolean) throw EInvalidCast();
  return static_cast<const TJSONBoolean&>(j).GetData();
}

UString StringOf(const TJSONAncestor& j, bool checkDate) {
  const TDataType kind = j.GetDataType();
  if (kind == dtString) return static_cast<const TJSONString&>(j).GetData();
  if (!checkDate || (kind != dtDateTime && kind != dtDate && kind != dtTime)) throw EInvalidCast();
  return FormatDateTime(DateFormat(kind), static_cast<const TJSONValue<TDateTime>&>(j).GetData());
}

// ---- tree walks ----

// The walks over whole trees. Each keeps an explicit work list, so that no tree depth can
// exhaust the stack.
struct TTreeWalk {
  static const TJSONObject& Obj(const TJSONAncestor& v) { return static_cast<const TJSONObject&>(v); }
  static const TJSONArray& Arr(const TJSONAncestor& v) { return static_cast<const TJSONArray&>(v); }
  static bool HasMembers(const TJSONAncestor* v) {
    if (!v) return false;
    switch (v->Shape()) {
      case TNodeShape::Object:
        return !Obj(*v).FData.empty();
      case TNodeShape::Array:
        return !Arr(*v).FData.empty();
      default:
        return false;
    }
  }

  // Raises when `target` (a container or a pair) can be reached from `value`: putting the value
  // beneath the target would make the tree contain itself. A target whose only reference is the
  // caller's is held by no container, so nothing can reach it.
  static void RefuseCycle(const void* target, std::int32_t targetRefs, const TJSONAncestor* value) {
    if (value == target) Raise();
    if (targetRefs <= 1 || !HasMembers(value)) return;
    std::vector<const TJSONAncestor*> work{value};
    std::unordered_set<const void*> seen{value};
    auto visit = [&](const TJSONAncestor* v) {
      if (v == target) Raise();
      if (HasMembers(v) && seen.insert(v).second) work.push_back(v);
    };
    while (!work.empty()) {
      const TJSONAncestor* v = work.back();
      work.pop_back();
      if (v->Shape() == TNodeShape::Object) {
        for (const IJSONPair& p : Obj(*v).FData) {
          if (p.get() == target) Raise();
          visit(p->FValue.get());
        }
      } else {
        for (const IJSONAncestor& e : Arr(*v).FData) visit(e.get());
      }
    }
  }
  [[noreturn]] static void Raise() { throw EJSONError(u"A JSON value cannot be put inside itself"); }

  // Whether releasing these members frees a container that holds members of its own.
  static bool FreesContainers(const TJSONValueList& values) {
    for (const IJSONAncestor& v : values) {
      if (v && v->RefCount() == 1 && HasMembers(v.get())) return true;
    }
    return false;
  }
  static bool FreesContainers(const TJSONPairList& pairs) {
    for (const IJSONPair& p : pairs) {
      if (p->RefCount() == 1 && p->FValue && p->FValue->RefCount() == 1 && HasMembers(p->FValue.get()))
        return true;
    }
    return false;
  }
  // Moves the members of a container about to be freed into the work list: values only this
  // container holds are then freed one by one from the list, after their own members.
  static void TakeMembers(TJSONAncestor& v, std::vector<IJSONAncestor>& work) {
    if (v.Shape() == TNodeShape::Object) {
      auto& pairs = static_cast<TJSONObject&>(v).FData;
      for (IJSONPair& p : pairs) {
        if (p->RefCount() == 1 && p->FValue) work.push_back(std::move(p->FValue));
      }
      pairs.clear();
    } else {
      auto& values = static_cast<TJSONArray&>(v).FData;
      for (IJSONAncestor& e : values) {
        if (e) work.push_back(std::move(e));
      }
      values.clear();
    }
  }
  static void Release(TJSONAncestor& container) noexcept {
    std::vector<IJSONAncestor> work;
    TakeMembers(container, work);
    while (!work.empty()) {
      IJSONAncestor v = std::move(work.back());
      work.pop_back();
      if (v->RefCount() == 1 && HasMembers(v.get())) TakeMembers(*v, work);
    }
  }

  // A copy of a value; containers are copied member by member, nothing is shared.
  static IJSONAncestor Clone(const TJSONAncestor& root) {
    struct TJob {
      const TJSONAncestor* From;
      TJSONAncestor* To;
    };
    std::vector<TJob> jobs;
    auto copy = [&](const TJSONAncestor* v) -> IJSONAncestor {
      if (!v) return {};
      IJSONAncestor c;
      switch (v->Shape()) {
        case TNodeShape::Leaf:
          return v->Clone();
        case TNodeShape::Object:
          c = v->GetIsNull() ? MakeRef<TJSONObject>(kNullValue) : MakeRef<TJSONObject>();
          break;
        case TNodeShape::Array:
          c = v->GetIsNull() ? MakeRef<TJSONArray>(kNullValue) : MakeRef<TJSONArray>();
          break;
      }
      if (HasMembers(v)) jobs.push_back({v, c.get()});
      return c;
    };
    IJSONAncestor top = copy(&root);
    while (!jobs.empty()) {
      const TJob job = jobs.back();
      jobs.pop_back();
      if (job.From->Shape() == TNodeShape::Object) {
        const TJSONPairList& from = Obj(*job.From).FData;
        TJSONPairList& to = static_cast<TJSONObject*>(job.To)->FData;
        to.reserve(from.size());
        for (const IJSONPair& p : from) to.push_back(MakeRef<TJSONPair>(p->Name(), copy(p->FValue.get())));
      } else {
        const TJSONValueList& from = Arr(*job.From).FData;
        TJSONValueList& to = static_cast<TJSONArray*>(job.To)->FData;
        to.reserve(from.size());
        for (const IJSONAncestor& e : from) to.push_back(copy(e.get()));
      }
    }
    return top;
  }

  // Writes a container. Objects skip members without a value; arrays write them as null. The
  // comma goes before every member written but the first.
  static void Write(const TJSONAncestor& root, TJSONWriter& w) {
    struct TFrame {
      const TJSONAncestor* Node;
      std::size_t Next;  // the member to write next
      std::size_t Size;
      bool Object;
      bool Written;  // a member has been written
    };
    std::vector<TFrame> stack;
    const bool ident = w.Ident();
    // Writes a value; a container with members is opened and left on the stack.
    auto open = [&](const TJSONAncestor* v) {
      if (!v) return w.AppendVal(kNull, false);
      if (v->Shape() == TNodeShape::Leaf) return v->AsJSONString(w);
      if (v->GetIsNull()) return w.AppendVal(kNull, false);
      const bool object = v->Shape() == TNodeShape::Object;
      if (ident) {
        w.Append(std::string_view(object ? "{" : "["), true);
        w.Inc();
      } else {
        w.AppendVal(object ? '{' : '[');
      }
      const std::size_t size = object ? Obj(*v).FData.size() : Arr(*v).FData.size();
      stack.push_back({v, 0, size, object, false});
    };
    open(&root);
    while (!stack.empty()) {
      TFrame& f = stack.back();
      const TJSONAncestor* value = nullptr;
      const TJSONPair* pair = nullptr;
      if (f.Object) {
        const TJSONPairList& pairs = Obj(*f.Node).FData;
        while (f.Next < f.Size && !pairs[f.Next]->FValue) ++f.Next;
        if (f.Next < f.Size) {
          // The pair after next and the value after this one are fetched ahead: the walk waits
          // on memory, the nodes of a large tree lying far apart.
          if (f.Next + 2 < f.Size) __builtin_prefetch(pairs[f.Next + 2].get());
          if (f.Next + 1 < f.Size) __builtin_prefetch(pairs[f.Next + 1]->FValue.get());
          pair = pairs[f.Next].get();
          value = pair->FValue.get();
        }
      } else if (f.Next < f.Size) {
        const TJSONValueList& values = Arr(*f.Node).FData;
        if (f.Next + 2 < f.Size) __builtin_prefetch(values[f.Next + 2].get());
        value = values[f.Next].get();
      }
      if (f.Next >= f.Size) {
        const bool object = f.Object;
        stack.pop_back();
        if (ident) {
          w.Dec();
          w.Append(std::string_view("\r\n"), false);
          w.Append(std::string_view(object ? "}" : "]"), false);
        } else {
          w.AppendVal(object ? '}' : ']');
        }
        continue;
      }
      ++f.Next;
      if (f.Written) w.AppendVal(std::string_view(","), ident);
      f.Written = true;
      if (pair) {
        if (ident) w.Append(std::string_view(), false);  // indentation
        w.AppendString(pair->Name());
        w.AppendVal(':');
        if (ident && value->Shape() != TNodeShape::Leaf) w.Append(std::string_view(), true);
      }
      open(value);  // may move the stack: f is not used after this
    }
  }
};

// ---- pair ----

void TJSONPair::SetValue(IJSONAncestor value) {
  TTreeWalk::RefuseCycle(this, RefCount(), value.get());
  FValue = std::move(value);
}

// ---- object ----

TJSONObject::TJSONObject() {
  FShape = TNodeShape::Object;
}
TJSONObject::TJSONObject(TJSONPairList pairs) : TJSONValue(std::move(pairs)) {
  FShape = TNodeShape::Object;
}
TJSONObject::TJSONObject(TNullValue) : TJSONValue(kNullValue) {
  FShape = TNodeShape::Object;
}
TJSONObject::~TJSONObject() {
  if (TTreeWalk::FreesContainers(FData)) TTreeWalk::Release(*this);
}

void TJSONObject::SetData(TJSONPairList pairs) {
  for (const IJSONPair& p : pairs) {
    if (p) TTreeWalk::RefuseCycle(this, RefCount(), p->GetValue().get());
  }
  FData = std::move(pairs);
  FNull = false;
  FIndex.reset();
}

int TJSONObject::IndexOf(UStringView name) const noexcept {
  return Position(name);
}

template <class Name>
int TJSONObject::Position(const Name& name) const noexcept {
  // Small objects are searched; large ones keep an index of their names.
  constexpr std::size_t kIndexFrom = 16;
  if (FData.size() > kIndexFrom) {
    try {
      if (!FIndex) {
        auto index = std::make_unique<TNameIndex>();
        index->Reserve(FData.size());
        for (std::size_t i = 0; i < FData.size(); ++i) index->Set(FData[i]->Name(), i);
        FIndex = std::move(index);
      }
      const std::optional<std::size_t> i = FIndex->Find(name);
      return i ? static_cast<int>(*i) : -1;
    } catch (const std::bad_alloc&) {
      FIndex.reset();  // no memory for the index: search
    }
  }
  for (size_t i = 0; i < FData.size(); ++i) {
    if (SameName(FData[i]->Name(), name)) return static_cast<int>(i);
  }
  return -1;
}

IJSONPair TJSONObject::Get(UStringView name) const {
  const int i = IndexOf(name);
  return i < 0 ? IJSONPair() : FData[static_cast<size_t>(i)];
}

IJSONPair TJSONObject::Get(int index) const {
  if (index < 0 || index >= Count()) return {};
  return FData[static_cast<size_t>(index)];
}

void TJSONObject::Erase(std::size_t pos) {
  if (FIndex) {
    FIndex->Erase(FData[pos]->Name());
    FIndex->Removed(pos);
  }
  FData.erase(FData.begin() + static_cast<std::ptrdiff_t>(pos));
}

void TJSONObject::AddPair(IJSONPair pair) {
  if (!pair) return;
  TTreeWalk::RefuseCycle(this, RefCount(), pair->GetValue().get());
  const int old = Position(pair->Name());
  if (old >= 0) Erase(static_cast<std::size_t>(old));
  FData.push_back(std::move(pair));
  if (FIndex) {
    try {
      FIndex->Set(FData.back()->Name(), FData.size() - 1);
    } catch (const std::bad_alloc&) {
      FIndex.reset();
    }
  }
}

void TJSONObject::AddPair(UString name, IJSONAncestor value) {
  AddPair(MakeRef<TJSONPair>(std::move(name), std::move(value)));
}

void TJSONObject::Remove(const IJSONPair& pair) {
  if (!pair) return;
  const int i = Position(pair->Name());
  if (i >= 0) Erase(static_cast<std::size_t>(i));
}

void TJSONObject::Remove(UStringView name) {
  const int i = IndexOf(name);
  if (i >= 0) Erase(static_cast<std::size_t>(i));
}

void TJSONObject::Remove(int index) {
  if (index >= 0 && index < Count()) Erase(static_cast<std::size_t>(index));
}

void TJSONObject::Sort(const TComparison& comparison) {
  FIndex.reset();
  std::stable_sort(FData.begin(), FData.end(),
                   [&](const IJSONPair& a, const IJSONPair& b) { return comparison(a, b) < 0; });
}

void TJSONObject::AsJSONString(TJSONWriter& writer) const {
  TTreeWalk::Write(*this, writer);
}

IJSONAncestor TJSONObject::Clone() const {
  return TTreeWalk::Clone(*this);
}

// ---- array ----

TJSONArray::~TJSONArray() {
  if (TTreeWalk::FreesContainers(FData)) TTreeWalk::Release(*this);
}

void TJSONArray::SetData(TJSONValueList values) {
  for (const IJSONAncestor& v : values) TTreeWalk::RefuseCycle(this, RefCount(), v.get());
  FData = std::move(values);
  FNull = false;
}

void TJSONArray::Add(IJSONAncestor value) {
  TTreeWalk::RefuseCycle(this, RefCount(), value.get());
  FData.push_back(std::move(value));
}

void TJSONArray::Remove(const IJSONAncestor& value) {
  auto it = std::find_if(FData.begin(), FData.end(), [&](const IJSONAncestor& v) { return v == value; });
  if (it != FData.end()) FData.erase(it);
}

void TJSONArray::Remove(int index) {
  if (index < 0 || index >= Count()) throw EArgumentOutOfRange();
  FData.erase(FData.begin() + index);
}

IJSONAncestor TJSONArray::Get(int index) const {
  if (index < 0 || index >= Count()) return {};
  return FData[static_cast<size_t>(index)];
}

void TJSONArray::SetIndex(int index, IJSONAncestor value) {
  if (index < 0 || index >= Count()) return;
  TTreeWalk::RefuseCycle(this, RefCount(), value.get());
  FData[static_cast<size_t>(index)] = std::move(value);
}

void TJSONArray::Sort(const TComparison& comparison) {
  std::stable_sort(FData.begin(), FData.end(),
                   [&](const IJSONAncestor& a, const IJSONAncestor& b) { return comparison(a, b) < 0; });
}

void TJSONArray::AsJSONString(TJSONWriter& writer) const {
  TTreeWalk::Write(*this, writer);
}

IJSONAncestor TJSONArray::Clone() const {
  return TTreeWalk::Clone(*this);
}

}  // namespace vx::json
