// The value tree and the wrappers: names, replacement order, sharing, getters and setters.
#include <gtest/gtest.h>

#include <type_traits>
#include <vector>

#include "json/model/errors.h"
#include "json_test_util.h"

namespace vx::json::test {
namespace {

TEST(JsonObject, NamesIgnoreAsciiCaseAndAReplacedPairMovesToTheEnd) {
  auto obj = MakeRef<TJSONObject>();
  obj->AddPair(u"name", MakeRef<TJSONInteger>(1));
  obj->AddPair(u"abc", MakeRef<TJSONInteger>(2));
  obj->AddPair(u"\u00e4", MakeRef<TJSONInteger>(3));
  obj->AddPair(u"Name", MakeRef<TJSONInteger>(4));
  ASSERT_EQ(obj->Count(), 3);
  EXPECT_EQ(obj->Get(2)->GetName(), u"Name");
  EXPECT_EQ(Write(obj), R"({"abc":2,"\u00e4":3,"Name":4})");
  EXPECT_TRUE(obj->Get(u"ABC"));
  EXPECT_FALSE(obj->Get(u"\u00c4"));  // only ASCII letters fold
  EXPECT_FALSE(obj->Get(3));
  EXPECT_FALSE(obj->Get(-1));
  obj->Remove(7);
  obj->Remove(u"NAME");
  EXPECT_EQ(Write(obj), R"({"abc":2,"\u00e4":3})");
}

// Texts are kept inside the value up to twelve units below U+0100 or six others (names: eight or
// four), and in a block of their own beyond: every length around those limits, of ASCII, Latin-1
// and other units, keeps its text through reading (both encodings), setting, renaming, copying.
TEST(JsonValue, TextsOfEveryLengthKeepTheirUnits) {
  for (const char16_t odd : {u'b', u'\u00e9', u'\u00ff', u'\u0100', u'\u0142'})
    for (const std::size_t n : {0u, 1u, 3u, 4u, 5u, 6u, 7u, 8u, 11u, 12u, 13u, 31u, 32u, 33u, 300u}) {
      UString text;
      for (std::size_t i = 0; i < n; ++i) text.push_back(static_cast<char16_t>(i % 2 ? odd : u'a' + i % 26));
      const UString quoted = u"[\"" + text + u"\"]";
      EXPECT_EQ(RefCast<TJSONString>(RefCast<TJSONArray>(Parse(quoted))->Get(0))->GetData(), text) << n;
      const auto fromUtf8 = TJSONObject::ParseJSONValueUtf8(UToUtf8(quoted), false);
      EXPECT_EQ(RefCast<TJSONString>(RefCast<TJSONArray>(fromUtf8)->Get(0))->GetData(), text) << n;
      const std::string written = Write(MakeRef<TJSONString>(text));
      auto arr = RefCast<TJSONArray>(Parse(UString(u"[") + Utf8ToU(written) + u"]"));
      ASSERT_TRUE(arr) << n;
      EXPECT_EQ(RefCast<TJSONString>(arr->Get(0))->GetData(), text) << n;

      auto obj = MakeRef<TJSONObject>();
      obj->AddPair(text + u"k", MakeRef<TJSONString>(u"short"));
      EXPECT_TRUE(obj->Get(text + u"K")) << n;
      EXPECT_EQ(obj->Get(0)->GetName(), text + u"k") << n;
      auto s = RefCast<TJSONString>(obj->Get(0)->GetValue());
      s->SetData(text);
      obj->Get(0)->SetName(u"x");
      auto copy = RefCast<TJSONObject>(obj->Clone());
      s->SetData(u"changed");
      EXPECT_EQ(copy->Get(0)->GetName(), u"x") << n;
      EXPECT_EQ(RefCast<TJSONString>(copy->Get(0)->GetValue())->GetData(), text) << n;

      // A string set to a part of its own text (the units it keeps are copied before they go).
      auto own = MakeRef<TJSONString>(text);
      own->Text().Visit([&](auto units) {
        if constexpr (std::is_same_v<decltype(units), UStringView>)
          own->SetData(units.substr(units.size() / 2));
      });
      if (own->Text().Wide()) {
        EXPECT_EQ(own->GetData(), text.substr(n / 2)) << n;
      }
    }
}

// Names are found whatever their storage, small objects searched and large ones indexed; only
// ASCII letters fold their case.
TEST(JsonObject, NamesOfEveryStorageAreFound) {
  for (const int members : {3, 40}) {
    auto obj = MakeRef<TJSONObject>();
    for (int i = 0; i < members; ++i) obj->AddPair(u"caf\u00e9" + IntToU(i), MakeRef<TJSONInteger>(i));
    obj->AddPair(u"\u0142\u00f3d\u017a", MakeRef<TJSONInteger>(-1));
    const auto read =
        RefCast<TJSONObject>(TJSONObject::ParseJSONValueUtf8(UToUtf8(Utf8ToU(Write(obj))), false));
    for (const auto& o : {obj, read}) {
      EXPECT_EQ(o->IndexOf(u"CAF\u00e9" + IntToU(members - 1)), members - 1) << members;
      EXPECT_EQ(o->IndexOf(u"caf\u00c9" + IntToU(members - 1)), -1) << members;
      EXPECT_EQ(o->IndexOf(u"\u0141\u00f3d\u017a"), -1) << members;
      EXPECT_EQ(o->IndexOf(u"\u0142\u00d3D\u017a"), -1) << members;
      EXPECT_EQ(o->IndexOf(u"\u0142\u00f3D\u017a"), members) << members;
    }
    obj->AddPair(u"Caf\u00e90", MakeRef<TJSONInteger>(7));  // replaces the first member
    EXPECT_EQ(obj->Count(), members + 1);
    EXPECT_EQ(obj->Get(obj->Count() - 1)->GetName(), u"Caf\u00e90");
  }
}

TEST(JsonArray, RemoveAndSetIndexFollowTheirBounds) {
  auto shared = MakeRef<TJSONInteger>(5);
  auto arr = MakeRef<TJSONArray>();
  arr->Add(MakeRef<TJSONInteger>(5));
  arr->Add(shared);
  arr->Add(shared);
  arr->Remove(IJSONAncestor(shared));  // the very object, first occurrence only
  EXPECT_EQ(arr->Count(), 2);
  EXPECT_EQ(arr->Get(1), shared);
  arr->SetIndex(5, MakeRef<TJSONNull>());
  EXPECT_EQ(Write(arr), "[5,5]");
  EXPECT_FALSE(arr->Get(2));
  EXPECT_THROW(arr->Remove(2), EArgumentOutOfRange);
  EXPECT_THROW(arr->Remove(-1), EArgumentOutOfRange);
}

TEST(JsonValue, SharedSubValueSurvivesItsFirstParent) {
  auto child = MakeRef<TJSONString>(u"kept");
  {
    auto first = MakeRef<TJSONArray>();
    auto second = MakeRef<TJSONObject>();
    first->Add(child);
    second->AddPair(u"c", child);
    EXPECT_EQ(child->RefCount(), 3);
    first = nullptr;
    EXPECT_EQ(child->RefCount(), 2);
    EXPECT_EQ(Write(second), R"({"c":"kept"})");
  }
  EXPECT_EQ(child->RefCount(), 1);
}

TEST(JsonValue, KindsNullFlagAndVariants) {
  EXPECT_THROW((void)MakeRef<TJSONAncestor>()->GetDataType(), EJSONError);
  EXPECT_EQ(TCast(IJSONAncestor()).GetDataType(), dtNil);
  auto s = MakeRef<TJSONString>(u"x");
  s->SetNull();
  EXPECT_EQ(Write(s), "null");
  EXPECT_EQ(Write(MakeRef<TJSONObject>(kNullValue)), "null");
  EXPECT_TRUE(MakeRef<TJSONNull>()->GetIsNull());
  EXPECT_EQ(MakeRef<TJSONDateTime>(1.5)->GetAsVariant().VarType(), varDate);
  EXPECT_EQ(MakeRef<TJSONDate>(1.0)->GetAsVariant().VarType(), varDouble);
  EXPECT_EQ(MakeRef<TJSONInteger>(7)->GetAsVariant(), TVariant::Int64(7));
  EXPECT_TRUE(MakeRef<TJSONArray>()->GetAsVariant().IsNull());
  // The parser's second name reads alike.
  EXPECT_EQ(Write(TJSONTextParser::ParseJSON(u"{a:[1,'2']}", true)), R"({"a":[1,"2"]})");
  EXPECT_FALSE(TJSONTextParser::ParseJSON(u" ", true));
}

TEST(JsonDoc, EmptyTextsAndOtherKinds) {
  EXPECT_EQ(UToUtf8(JO(u"")->AsJSON()), "{}");
  EXPECT_EQ(UToUtf8(JA(u"  {}  ")->AsJSON()), "[]");
  EXPECT_EQ(UToUtf8(JA(u"   ")->AsJSON()), "[]");
  // A text of another kind is kept as the cast value and written as such.
  auto o = JO(u"[1,2]");
  EXPECT_EQ(o->GetDataType(), dtArray);
  EXPECT_EQ(UToUtf8(o->AsJSON()), "[1,2]");
  EXPECT_TRUE(o->AsArray());
  EXPECT_FALSE(o->AsObject());
}

TEST(JsonDoc, SettersKeepPositionsAndArraysGrowWithCopies) {
  auto o = JO(uR"({"a":1,"b":2,"c":3})");
  o->SetString(u"B", u"x");
  EXPECT_EQ(o->AsJSONUtf8(), R"({"a":1,"b":"x","c":3})");
  auto a = JA(u"");
  a->SetInteger(3, 7);
  EXPECT_EQ(a->AsJSONUtf8(), "[7,7,7,7]");
  EXPECT_NE(a->GetSelf()->Get(0), a->GetSelf()->Get(1));  // copies, not one shared value
  a->SetString(1, u"s");
  EXPECT_EQ(a->AsJSONUtf8(), R"([7,"s",7,7])");
  EXPECT_THROW(a->SetInteger(-1, 1), EArgumentOutOfRange);
  EXPECT_THROW((void)a->GetInteger(-1), EArgumentOutOfRange);
}

TEST(JsonDoc, GettersAcceptOnlyTheirKind) {
  auto o = JO(uR"({"i":5,"f":1.5,"s":"t","b":true,"n":null,"o":{},"d":"2022-11-21"})");
  EXPECT_EQ(o->GetInteger(u"i"), 5);
  EXPECT_EQ(o->GetDouble(u"i"), 5.0);
  EXPECT_EQ(o->GetDouble(u"f"), 1.5);
  EXPECT_THROW((void)o->GetInteger(u"f"), EInvalidCast);
  EXPECT_THROW((void)o->GetString(u"i"), EInvalidCast);
  EXPECT_THROW((void)o->GetBoolean(u"s"), EInvalidCast);
  EXPECT_THROW((void)o->GetDateTime(u"d"), EInvalidCast);
  EXPECT_EQ(o->GetDate(u"d"), DT(2022, 11, 21));
  EXPECT_EQ(o->GetString(u"d"), u"2022-11-21");  // dates read back as their text
  // Missing and null members give empty values.
  EXPECT_EQ(o->GetString(u"missing"), u"");
  EXPECT_EQ(o->GetInteger(u"n"), 0);
  EXPECT_FALSE(o->GetBoolean(u"n"));
  EXPECT_EQ(o->GetDateTime(u"missing"), 0.0);
  // Without date checking a date member is not a string.
  auto plain = MakeRef<TDocObject>(IJSONObject(RefCast<TJSONObject>(o->GetSelf())), false);
  EXPECT_THROW((void)plain->GetString(u"d"), EInvalidCast);
  EXPECT_EQ(o->GetType(u"missing"), 13);
  EXPECT_EQ(o->GetType(u"s"), 256);
  EXPECT_EQ(o->GetType(u"f"), 5);
  EXPECT_EQ(o->GetType(u"i"), 20);
  EXPECT_EQ(o->GetType(u"n"), 1);
  EXPECT_EQ(o->GetType(u"o"), 73);
  EXPECT_EQ(o->GetType(u"b"), 11);
  EXPECT_EQ(o->GetType(u"d"), 7);
  EXPECT_EQ(JO(u"{\"a\":[]}")->GetType(u"a"), 8192);
}

TEST(JsonDoc, NestedWrappersShareTheDocument) {
  auto o = JO(u"{\"x\":1}");
  o->GetObject(u"inner")->SetInteger(u"v", 2);
  o->GetArray(u"list")->SetBoolean(0, true);
  EXPECT_EQ(o->AsJSONUtf8(), R"({"x":1,"inner":{"v":2},"list":[true]})");
  EXPECT_THROW((void)o->GetObject(u"x"), EInvalidCast);
  EXPECT_THROW((void)o->GetArray(u"inner"), EInvalidCast);
  EXPECT_TRUE(o->GetObject(u"inner")->GetCheckDate());
}

TEST(JsonDoc, SetNullAndMemberStatus) {
  auto o = JO(uR"({"a":1,"b":2})");
  o->SetNull(u"a", jNull);
  EXPECT_EQ(o->AsJSONUtf8(), R"({"b":2,"a":null})");
  o->SetNull(u"b", jUnAssigned);
  o->SetNull(u"c", jUnAssigned);
  o->SetNull(u"a", jAssigned);
  EXPECT_EQ(o->AsJSONUtf8(), R"({"a":null,"c":null})");
  EXPECT_EQ(o->GetNull(u"a"), jNull);
  EXPECT_EQ(o->GetNull(u"zz"), jUnAssigned);
  EXPECT_FALSE(o->Contains(u"b"));

  auto a = JA(u"[1,2,3]");
  a->SetNull(1, jNull);
  a->SetNull(0, jUnAssigned);
  a->SetNull(4, jNull);
  EXPECT_EQ(a->AsJSONUtf8(), "[null,3,null,null,null]");
  EXPECT_EQ(a->GetNull(1), jAssigned);
}

TEST(JsonDoc, SetStringOnADateMemberRequiresADate) {
  auto o = JO(uR"({"d":"2022-11-21","s":"x"})");
  EXPECT_THROW(o->SetString(u"d", u"tomorrow"), EJSONInvalidDate);
  EXPECT_THROW(o->SetString(u"d", u"2022-02-30"), EJSONInvalidDate);
  EXPECT_EQ(o->AsJSONUtf8(), R"({"d":"2022-11-21","s":"x"})");
  o->SetString(u"d", u"2023-01-02T03:04:05");
  EXPECT_EQ(o->GetAncestor(u"d")->GetDataType(), dtDateTime);
  o->SetString(u"s", u"2023-01-02");  // not a date member: stays a string
  EXPECT_EQ(o->GetAncestor(u"s")->GetDataType(), dtString);
  o->SetDateTime(u"t", DT(2022, 11, 21, 9, 7, 34, 120));
  o->SetTime(u"u", *TryEncodeTime(9, 7, 34, 120));
  EXPECT_EQ(
      o->AsJSONUtf8(),
      R"({"d":"2023-01-02T03:04:05.000","s":"2023-01-02","t":"2022-11-21T09:07:34.120","u":"09:07:34.120"})");
}

TEST(JsonDoc, SetDataStoresByVariantType) {
  auto o = JO();
  o->SetData(u"n", TVariant::Null());
  o->SetData(u"i", TVariant::Int32(3));
  o->SetData(u"l", TVariant::Int64(1LL << 40));
  o->SetData(u"f", TVariant::Double(0.5));
  o->SetData(u"b", TVariant::Boolean(false));
  o->SetData(u"s", TVariant::String(u"t", varString));
  o->SetData(u"d", TVariant::Date(DT(2022, 11, 21, 9, 7, 34)));
  o->SetData(u"e", TVariant());
  o->SetData(u"c", TVariant::Floating(varCurrency, 1));
  o->SetData(u"w", TVariant::Integral(varSmallint, 1));
  EXPECT_EQ(o->AsJSONUtf8(),
            R"({"n":null,"i":3,"l":1099511627776,"f":0.5,"b":false,"s":"t","d":"2022-11-21 09:07:34"})");
}

TEST(JsonDoc, CloneEnumerationAndSort) {
  auto o = JO(uR"({"b":[1],"a":2})");
  auto copy = o->Clone();
  copy->GetArray(u"b")->SetInteger(1, 9);
  EXPECT_EQ(o->AsJSONUtf8(), R"({"b":[1],"a":2})");
  EXPECT_EQ(copy->AsJSONUtf8(), R"({"b":[1,9],"a":2})");
  copy->Sort([](const IJSONPair& x, const IJSONPair& y) { return x->GetName().compare(y->GetName()); });
  std::u16string keys;
  for (copy->First(); !copy->GetEoF(); copy->Next()) keys += copy->GetCurrentKey();
  EXPECT_EQ(keys, u"ab");
  auto a = JA(u"[3,1,2]");
  a->Sort([](const IJSONAncestor& x, const IJSONAncestor& y) {
    return static_cast<int>(RefCast<TJSONInteger>(x)->GetData() - RefCast<TJSONInteger>(y)->GetData());
  });
  EXPECT_EQ(a->AsJSONUtf8(), "[1,2,3]");
}

// Walking the members by offset, and editing an array by index.
TEST(JsonDoc, OffsetsLengthsAndDeletionByIndex) {
  auto o = JO(uR"({"a":1,"b":"x","c":null})");
  std::vector<int> offsets;
  std::string values;
  for (o->First(); !o->GetEoF(); o->Next()) {
    offsets.push_back(o->GetOffset());
    values += Write(o->GetCurrentValue());
  }
  EXPECT_EQ(offsets, (std::vector<int>{0, 1, 2}));
  EXPECT_EQ(values, R"(1"x"null)");
  EXPECT_EQ(o->GetOffset(), 3);
  EXPECT_FALSE(o->GetCurrentValue());  // past the last member
  EXPECT_EQ(o->GetCurrentKey(), u"");

  auto a = JA(u"[1,2,3]");
  EXPECT_EQ(a->GetLength(), 3);
  a->Delete(1);
  EXPECT_EQ(a->AsJSONUtf8(), "[1,3]");
  EXPECT_EQ(a->GetLength(), 2);
  EXPECT_THROW(a->Delete(2), EArgumentOutOfRange);
  EXPECT_THROW(a->Delete(-1), EArgumentOutOfRange);
  EXPECT_EQ(a->AsJSONUtf8(), "[1,3]");
}

TEST(JsonDoc, VariantsAndDatesByTheirOwnGettersAndSetters) {
  auto o = JO();
  o->SetVariant(u"i", TVariant::Int64(7));
  o->SetVariant(u"s", TVariant::String(u"t"));
  o->SetVariant(u"e", TVariant());  // stores nothing
  o->SetDate(u"d", DT(2022, 11, 21));
  o->SetTime(u"t", *TryEncodeTime(9, 7, 34, 5));
  EXPECT_EQ(o->AsJSONUtf8(), R"({"i":7,"s":"t","d":"2022-11-21","t":"09:07:34.005"})");
  EXPECT_EQ(o->GetVariant(u"i"), TVariant::Int64(7));
  EXPECT_EQ(o->GetVariant(u"s"), TVariant::String(u"t"));
  EXPECT_TRUE(o->GetVariant(u"missing").IsEmpty());
  EXPECT_EQ(o->GetTime(u"t"), *TryEncodeTime(9, 7, 34, 5));
  EXPECT_EQ(o->GetTime(u"missing"), 0.0);
  EXPECT_THROW((void)o->GetTime(u"d"), EInvalidCast);
  EXPECT_THROW((void)o->GetDate(u"t"), EInvalidCast);
}

TEST(JsonDoc, CastReadsAndReplacesAPairValue) {
  auto o = JO(uR"({"a":1})");
  TCast c(o->GetSelf()->Get(u"a"));
  EXPECT_EQ(c.GetDataType(), dtInteger);
  EXPECT_EQ(c.GetDouble(), 1.0);
  c.SetString(u"z");
  EXPECT_EQ(o->AsJSONUtf8(), R"({"a":"z"})");
  TCast lone(IJSONAncestor(MakeRef<TJSONBoolean>(true)));
  EXPECT_THROW(lone.SetInteger(1), EInvalidCast);
}

}  // namespace
}  // namespace vx::json::test
