// Trees built through the API: any depth is cloned, written and freed without exhausting the
// stack, a value is never put inside itself, and large objects find members by name quickly.
#include <gtest/gtest.h>

#include "json/model/errors.h"
#include "json_test_util.h"

namespace vx::json::test {
namespace {

// [[[...[1]...]]] nested this deep, built from the inside out.
IJSONArray DeepArray(int depth) {
  auto cur = MakeRef<TJSONArray>();
  cur->Add(MakeRef<TJSONInteger>(1));
  for (int i = 1; i < depth; ++i) {
    auto outer = MakeRef<TJSONArray>();
    outer->Add(std::move(cur));
    cur = std::move(outer);
  }
  return cur;
}

TEST(JsonTree, DeepTreesAreClonedWrittenAndFreedWithoutRecursion) {
  constexpr int kDepth = 1'000'000;
  {
    IJSONArray deep = DeepArray(kDepth);
    const std::string text = Write(deep);
    ASSERT_EQ(text.size(), 2u * kDepth + 1);
    EXPECT_EQ(text.substr(kDepth - 2, 5), "[[1]]");
    IJSONAncestor copy = deep->Clone();
    EXPECT_EQ(Write(copy), text);
    // Objects too, built from the outside in.
    auto obj = MakeRef<TJSONObject>();
    auto top = obj;
    for (int i = 0; i < 200'000; ++i) {
      auto inner = MakeRef<TJSONObject>();
      obj->AddPair(u"a", inner);
      obj = inner;
    }
    const std::string compact = Write(top->Clone());
    EXPECT_EQ(compact.size(), 6u * 200'000 + 2);
    EXPECT_EQ(compact.substr(0, 10), R"({"a":{"a":)");
  }
}

TEST(JsonTree, SmallTreesKeepTheirExactLayout) {
  auto obj =
      RefCast<TJSONObject>(Parse(uR"({"a":1,"b":"x","c":{"d":true},"e":[1,2],"f":[],"g":{},"n":null})"));
  ASSERT_TRUE(obj);
  obj->AddPair(u"h", IJSONAncestor());  // a member without value is not written
  auto nullObj = MakeRef<TJSONObject>(kNullValue);
  auto arr = MakeRef<TJSONArray>();
  arr->Add(nullObj);
  arr->Add(IJSONAncestor());
  obj->AddPair(u"i", arr);
  EXPECT_EQ(Write(obj), R"({"a":1,"b":"x","c":{"d":true},"e":[1,2],"f":[],"g":{},"n":null,"i":[null,null]})");
  EXPECT_EQ(Write(obj->Clone()), Write(obj));
  EXPECT_EQ(Write(obj->Clone(), true), Write(obj, true));
}

TEST(JsonTree, AValueIsNeverPutInsideItself) {
  auto a = MakeRef<TJSONArray>();
  auto o = MakeRef<TJSONObject>();
  auto inner = MakeRef<TJSONArray>();
  a->Add(o);
  o->AddPair(u"inner", inner);
  EXPECT_THROW(a->Add(a), EJSONError);
  EXPECT_THROW(inner->Add(a), EJSONError);
  EXPECT_THROW(inner->Add(o), EJSONError);
  EXPECT_THROW(o->AddPair(u"self", o), EJSONError);
  auto pair = o->Get(u"inner");
  EXPECT_THROW(pair->SetValue(a), EJSONError);
  a->Add(MakeRef<TJSONInteger>(2));
  EXPECT_THROW(a->SetIndex(1, a), EJSONError);
  EXPECT_THROW(o->SetData(TJSONPairList{MakeRef<TJSONPair>(u"x", a)}), EJSONError);
  // Sharing without a cycle stays allowed; the tree is unchanged by the refused calls.
  inner->Add(MakeRef<TJSONArray>());
  a->Add(inner);
  EXPECT_EQ(Write(a), R"([{"inner":[[]]},2,[[]]])");

  auto d = JO(u"{}");
  EXPECT_THROW(d->SetObject(u"self", d), EJSONError);
  auto child = d->GetObject(u"child");
  EXPECT_THROW(child->SetObject(u"up", d), EJSONError);
  EXPECT_EQ(UToUtf8(d->AsJSON()), R"({"child":{}})");
}

TEST(JsonTree, LargeObjectsFindMembersByNameInAnyAsciiCase) {
  constexpr int kCount = 100'000;
  auto doc = JO(u"{}");
  for (int i = 0; i < kCount; ++i) doc->SetInteger(u"m" + IntToU(i), i);
  auto obj = MakeRef<TJSONObject>();
  for (int i = 0; i < kCount; ++i) obj->AddPair(u"Key" + IntToU(i), MakeRef<TJSONInteger>(i));
  EXPECT_EQ(doc->GetCount(), kCount);
  EXPECT_EQ(doc->GetInteger(u"M77777"), 77777);
  doc->SetInteger(u"M5", -5);  // replaced in place
  EXPECT_EQ(doc->GetSelf()->Get(5)->GetName(), u"m5");
  EXPECT_EQ(doc->GetInteger(u"m5"), -5);
  // AddPair of a present name moves the member to the end, under the new spelling.
  obj->AddPair(u"KEY10", MakeRef<TJSONInteger>(-10));
  EXPECT_EQ(obj->Count(), kCount);
  EXPECT_EQ(obj->Get(kCount - 1)->GetName(), u"KEY10");
  EXPECT_EQ(obj->IndexOf(u"key11"), 10);
  obj->Remove(u"kEy0");
  EXPECT_EQ(obj->IndexOf(u"key11"), 9);
  EXPECT_FALSE(obj->Get(u"key0"));
  obj->Remove(0);
  EXPECT_FALSE(obj->Get(u"key1"));
  obj->Sort([](const IJSONPair& x, const IJSONPair& y) { return x->GetName().compare(y->GetName()); });
  EXPECT_EQ(obj->IndexOf(u"KEY10"), 0);
  EXPECT_EQ(obj->Get(u"key99999")->GetValue()->GetAsVariant(), TVariant::Int64(99999));
}

}  // namespace
}  // namespace vx::json::test
