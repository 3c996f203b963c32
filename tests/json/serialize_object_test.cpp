// Class instances to JSON and back: member order and class-level DISABLE in a hierarchy,
// properties, streams, generic lists, construction, class maps and the FromJSON constructors.
#include <gtest/gtest.h>

#include "json/serialize/serialize.h"
#include "json_test_util.h"

namespace shapes {
using vx::UString;
using namespace vx::json;

// Live instances of the classes below, to show that failed constructions free what they made.
inline int gLive = 0;

class TCounted {
 public:
  TCounted() { ++gLive; }
  TCounted(const TCounted&) { ++gLive; }
  ~TCounted() { --gLive; }
};

class TShape : public TCounted {
 public:
  virtual ~TShape() = default;
  [[nodiscard]] UString GetTitle() const { return FTitle; }
  void SetTitle(UString v) {
    FTitle = std::move(v);
    Calls.push_back(u"Title=" + FTitle);
  }
  UString A = u"a";
  UString B = u"b";
  UString C = u"c";
  std::vector<UString> Calls;

 private:
  UString FTitle = u"t";
};
VX_CLASS(TShape, VX_PROPERTY(Title, GetTitle, SetTitle), VX_FIELD(A), VX_FIELD(B), VX_FIELD(C),
         VX_FIELD(Calls, DISABLE()), VX_CLASS_ATTR(DISABLE(u"B")));

class TBox : public TShape {
 public:
  [[nodiscard]] std::int32_t GetSize() const { return FSize; }
  void SetSize(std::int32_t v) {
    FSize = v;
    Calls.push_back(u"Size");
  }
  [[nodiscard]] std::int32_t GetArea() const { return FSize * FSize; }
  void SetSecret(const UString& v) { Calls.push_back(u"Secret=" + v); }
  UString D = u"d";

 private:
  std::int32_t FSize = 2;
};
// The nearer class-level list decides: B is written again, C and D are not.
VX_CLASS_OF(TBox, TShape, VX_PROPERTY(Size, GetSize, SetSize), VX_PROPERTY_R(Area, GetArea),
            VX_PROPERTY_W(Secret, SetSecret), VX_FIELD(D), VX_CLASS_ATTR(DISABLE(u" C ;D,, ")));

// A class whose only constructor needs an argument.
class TSized : public TCounted {
 public:
  explicit TSized(std::int32_t n) : N(n) {
    if (n < 0) throw std::invalid_argument("negative");
  }
  std::int32_t N;
};
VX_CLASS(TSized, VX_CREATE(std::int32_t), VX_FIELD(N));

class TNoCreate {
 public:
  TNoCreate() = delete;
  std::int32_t N = 0;
};
VX_CLASS(TNoCreate, VX_FIELD(N));

class TItem : public TCounted {
 public:
  UString Name;
  std::int32_t Qty = 0;
};
VX_CLASS(TItem, VX_FIELD(Name), VX_FIELD(Qty));

class THolder : public TCounted {
 public:
  THolder() = default;
  THolder(UString name, std::int32_t n) : Name(std::move(name)), Count(n) {}
  UString Name;
  std::int32_t Count = 0;
  std::unique_ptr<TMemoryStream> Data;
  std::unique_ptr<TObjectList<TItem>> Items;
  std::unique_ptr<TList<std::int32_t>> Numbers;
  std::unique_ptr<TSized> Sized;
  std::unique_ptr<TBox> Box;
};
VX_CLASS(THolder, VX_CREATE(), VX_CONSTRUCTOR(CreateNamed, UString, std::int32_t), VX_FIELD(Name),
         VX_FIELD(Count), VX_FIELD(Data), VX_FIELD(Items), VX_FIELD(Numbers), VX_FIELD(Sized), VX_FIELD(Box));

class TMapped {
 public:
  std::int32_t A = 1;
  std::int32_t B = 2;
  UString C = u"c";
};
VX_CLASS(TMapped, VX_FIELD(A), VX_FIELD(B), VX_FIELD(C));

class TMappedExt {
 public:
  std::int32_t A = 1;
  std::int32_t B = 2;
};
VX_CLASS(TMappedExt, VX_FIELD(A), VX_FIELD(B));

class TNote : public TObjectJSONMethods<TNote> {
 public:
  UString Text;
  std::int32_t Pages = 0;
};
VX_CLASS(TNote, VX_FIELD(Text), VX_FIELD(Pages));
}  // namespace shapes

namespace vx::json::test {
namespace {
using namespace shapes;

TEST(SerializeObject, PropertiesBeforeFieldsOwnMembersFirstAndTheNearestClassDisable) {
  TBox box;
  EXPECT_EQ(UToUtf8(TObjectJSONHelper::AsJSON(box)), R"({"Size":2,"Area":4,"Title":"t","A":"a","B":"b"})");
  TShape shape;
  EXPECT_EQ(UToUtf8(TObjectJSONHelper::AsJSON(shape)), R"({"Title":"t","A":"a","C":"c"})");
}

TEST(SerializeObject, WritingIgnoresTheClassListAndCallsSettersOfPresentMembers) {
  TBox box;
  TSerializeParse::WriteObject(
      box, JO(uR"({"D":"D","C":"C","B":"B","Title":"T","Size":3,"Area":100,"Secret":"s","Calls":["x"]})"));
  EXPECT_EQ(box.D, u"D");
  EXPECT_EQ(box.C, u"C");
  EXPECT_EQ(box.B, u"B");
  EXPECT_EQ(box.GetArea(), 9);
  // Setters run in member order (own properties, then the base's), once each.
  EXPECT_EQ(box.Calls, (std::vector<UString>{u"Size", u"Secret=s", u"Title=T"}));

  box.Calls.clear();
  TSerializeParse::WriteObject(box, JO(uR"({"Title":null,"Other":1})"));
  EXPECT_TRUE(box.Calls.empty());
  EXPECT_EQ(box.GetTitle(), u"T");
}

TEST(SerializeObject, StreamRoundTripOfEveryByte) {
  THolder h;
  h.Data = std::make_unique<TMemoryStream>();
  std::vector<std::uint8_t> bytes(256);
  for (int i = 0; i < 256; ++i) bytes[i] = static_cast<std::uint8_t>(i);
  h.Data->Write(bytes);
  h.Data->SetPosition(10);
  const UString text = TObjectJSONHelper::AsJSON(h);
  // The whole content, from position 0; the stream is left at its end.
  EXPECT_EQ(h.Data->Position(), 256);
  const UString encoded = TSerializeParse::Base64Encode(bytes);
  EXPECT_NE(text.find(u"\"Data\":\"" + encoded + u"\""), UString::npos);
  EXPECT_EQ(encoded.substr(0, 8), u"AAECAwQF");
  EXPECT_EQ(encoded.substr(encoded.size() - 8), u"/P3+/w==");

  const auto back = TObjectJSONHelper::FromJSON<THolder>(text);
  ASSERT_TRUE(back->Data);
  EXPECT_EQ(back->Data->Bytes(), bytes);

  // Read into an existing stream, the bytes are appended at its position.
  TSerializeParse::WriteObject(*back, JO(uR"({"Data":"AQI="})"));
  EXPECT_EQ(back->Data->Size(), 258);
  EXPECT_EQ(back->Data->Bytes()[257], 2);
}

TEST(SerializeObject, OwningListOfObjects) {
  const int live = gLive;
  {
    THolder h;
    h.Items = std::make_unique<TObjectList<TItem>>();
    for (int i = 1; i <= 2; ++i) {
      auto item = std::make_unique<TItem>();
      item->Name = u"n" + IntToU(i);
      item->Qty = i;
      h.Items->Add(std::move(item));
    }
    h.Numbers = std::make_unique<TList<std::int32_t>>();
    h.Numbers->Add(7);
    const std::string text = UToUtf8(TObjectJSONHelper::AsJSON(h));
    EXPECT_EQ(text,
              R"({"Name":"","Count":0,"Data":null,"Items":[{"Name":"n1","Qty":1},{"Name":"n2","Qty":2}],)"
              R"("Numbers":[7],"Sized":null,"Box":null})");

    auto back = TObjectJSONHelper::FromJSON<THolder>(Utf8ToU(text));
    ASSERT_TRUE(back->Items && back->Numbers);
    ASSERT_EQ(back->Items->Count(), 2);
    EXPECT_EQ(back->Items->Items(1).Name, u"n2");
    EXPECT_EQ(back->Numbers->Items(0), 7);
    // Elements that are not objects are skipped; the list is not cleared first.
    TSerializeParse::WriteObject(*back, JO(uR"({"Items":[5,null,{"Qty":3}],"Numbers":[null,8]})"));
    ASSERT_EQ(back->Items->Count(), 3);
    EXPECT_EQ(back->Items->Items(2).Qty, 3);
    EXPECT_EQ(back->Numbers->Count(), 2);
    EXPECT_THROW(TSerializeParse::WriteObject(*back, JO(uR"({"Numbers":["x"]})")), EInvalidCast);
  }
  EXPECT_EQ(gLive, live);
}

TEST(SerializeObject, ConstructionRules) {
  EXPECT_EQ(TSerializeParse::ObjectConstructorParamCount(TypeInfoOf<TItem>()), 0);
  EXPECT_EQ(TSerializeParse::ObjectConstructorParamCount(TypeInfoOf<TSized>()), 1);
  EXPECT_EQ(TSerializeParse::ObjectConstructorParamCount(TypeInfoOf<TNoCreate>()), -1);
  EXPECT_EQ(TSerializeParse::ObjectConstructorParamCount(TypeInfoOf<TObjectList<TItem>>()), 0);
  EXPECT_EQ(TSerializeParse::ObjectConstructorParamCount(TypeInfoOf<THolder>()), 0);
  EXPECT_THROW((void)TSerializeParse::ObjectConstructor(TypeInfoOf<TSized>()), EJSONError);

  // A member whose class needs constructor arguments stays empty; others are made.
  const auto h = TObjectJSONHelper::FromJSON<THolder>(uR"({"Sized":{"N":3},"Box":{"Size":5}})");
  EXPECT_FALSE(h->Sized);
  ASSERT_TRUE(h->Box);
  EXPECT_EQ(h->Box->GetSize(), 5);
  // One already there is filled in place.
  THolder k;
  k.Sized = std::make_unique<TSized>(1);
  TSerializeParse::WriteObject(k, JO(uR"({"Sized":{"N":3}})"));
  EXPECT_EQ(k.Sized->N, 3);
}

TEST(SerializeObject, FromJSONConstructorForms) {
  const int live = gLive;
  {
    const auto named = TObjectJSONHelper::FromJSON<THolder>(
        u"{\"Count\":9}", {TVariant::String(u"n"), TVariant::Int64(4)}, u"createnamed");
    EXPECT_EQ(named->Name, u"n");
    EXPECT_EQ(named->Count, 9);
    const auto sized = TObjectJSONHelper::FromJSON<TSized>(JO(u"{}"), {TVariant::Int64(6)}, u"Create");
    EXPECT_EQ(sized->N, 6);
    // No constructor of that name: the instance is filled without one.
    const auto plain = TObjectJSONHelper::FromJSON<THolder>(u"{\"Name\":\"p\"}", {}, u"Missing");
    EXPECT_EQ(plain->Name, u"p");
    // A text without a value is a failure, as a cut-off one is.
    EXPECT_THROW((void)TObjectJSONHelper::FromJSON<THolder>(u""), TJSONSyntaxError);
    EXPECT_THROW((void)TObjectJSONHelper::FromJSON<THolder>(u" \r\n"), TJSONSyntaxError);
    EXPECT_THROW((void)TObjectJSONHelper::FromJSON<THolder>(u"{\"Name\":"), TJSONSyntaxError);

    // A failing constructor, a failing fill, wrong arguments: nothing is left behind.
    EXPECT_THROW((void)TObjectJSONHelper::FromJSON<TSized>(JO(u"{}"), {TVariant::Int64(-1)}, u"Create"),
                 std::invalid_argument);
    EXPECT_THROW((void)TObjectJSONHelper::FromJSON<THolder>(uR"({"Items":[{"Qty":1}],"Box":{"Size":"x"}})"),
                 EInvalidCast);
    EXPECT_THROW((void)TObjectJSONHelper::FromJSON<TSized>(JO(u"{}"), {TVariant::String(u"x")}, u"Create"),
                 EInvalidCast);
    EXPECT_THROW((void)TObjectJSONHelper::FromJSON<TSized>(JO(u"{}"), {}, u"Create"), EJSONError);
    EXPECT_THROW((void)TObjectJSONHelper::FromJSON<THolder>(u"5"), EInvalidCast);
  }
  EXPECT_EQ(gLive, live);
}

TEST(SerializeObject, ClassMapRestrictsBothDirections) {
  EXPECT_FALSE(TObjectJSONHelper::IsObjectMapped(u"TMapped"));
  TObjectJSONHelper::AddObjectMap(u"TMapped", {u"A"});
  EXPECT_TRUE(TObjectJSONHelper::IsObjectMapped(u"TMapped"));
  EXPECT_FALSE(TObjectJSONHelper::IsObjectMapped(u"tmapped"));
  EXPECT_GE(TObjectJSONHelper::IsObjectMappedIdx(u"TMapped"), 0);

  TMapped m;
  EXPECT_EQ(UToUtf8(TObjectJSONHelper::AsJSON(m)), R"({"A":1})");
  TSerializeParse::WriteObject(m, JO(uR"({"A":5,"B":6,"C":"x"})"));
  EXPECT_EQ(m.A, 5);
  EXPECT_EQ(m.B, 2);
  EXPECT_EQ(m.C, u"c");

  // Changing the map takes effect at once, the remembered copy included.
  TObjectJSONHelper::AddObjectMapExt(u"TMapped", u"c", u"see");
  EXPECT_EQ(UToUtf8(TObjectJSONHelper::AsJSON(m)), R"({"A":5,"see":"c"})");
  TSerializeParse::WriteObject(m, JO(uR"({"see":"new","C":"old"})"));
  EXPECT_EQ(m.C, u"new");
  // An empty list restricts nothing.
  TObjectJSONHelper::AddObjectMap(u"TMapped", {});
  EXPECT_EQ(UToUtf8(TObjectJSONHelper::AsJSON(m)), R"({"A":5,"B":2,"C":"new"})");
}

TEST(SerializeObject, AddObjectMapExtWithConversionFunctions) {
  EXPECT_FALSE(TRecordJSONHelper<TMappedExt>::IsObjectMapped(u"TMappedExt"));
  std::vector<std::pair<bool, TVariant>> calls;
  TRecordJSONHelper<TMappedExt>::AddObjectMapExt(
      u"TMappedExt", u"B", u"",
      [&](void* instance, const TClassMapRecExt& member, const TVariant& value, bool toJSON) {
        EXPECT_EQ(member.Name, u"B");
        calls.emplace_back(toJSON, value);
        if (!toJSON) static_cast<TMappedExt*>(instance)->B = static_cast<std::int32_t>(value.AsInt64()) * 10;
        return TVariant::String(u"B=" + IntToU(value.AsInt64()));
      });
  const auto map = TSerializeParse::FindClassMap(u"tmappedext");
  ASSERT_TRUE(map);
  EXPECT_EQ(map->Enabled.size(), 1u);

  TMappedExt m;
  EXPECT_EQ(UToUtf8(TObjectJSONHelper::AsJSON(m)), R"({"B":"B=2"})");
  TSerializeParse::WriteObject(m, JO(uR"({"A":7,"B":3})"));
  EXPECT_EQ(m.A, 1);
  EXPECT_EQ(m.B, 30);
  TSerializeParse::WriteObject(m, JO(uR"({"A":7})"));
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_TRUE(calls[0].first);
  EXPECT_FALSE(calls[1].first);
  EXPECT_EQ(calls[1].second, TVariant::Int64(3));
}

TEST(SerializeObject, HelperOperationsAsMembers) {
  const auto note = TNote::FromJSON(u"{\"Text\":\"t\",\"Pages\":2}");
  EXPECT_EQ(UToUtf8(note->AsJSON()), R"({"Text":"t","Pages":2})");
  EXPECT_TRUE(note->setJSONAttribute(u"Pages", u"3"));
  EXPECT_EQ(note->getJSONAttribute(u"Pages"), u"3");
  EXPECT_EQ(note->AsJSONObject()->GetInteger(u"Pages"), 3);
}

TEST(SerializeObject, AttributeHelpersNeverRaise) {
  TBox box;
  EXPECT_TRUE(TObjectJSONHelper::setJSONAttribute(box, u"Size", u"4"));
  EXPECT_EQ(box.GetSize(), 4);
  EXPECT_FALSE(TObjectJSONHelper::setJSONAttribute(box, u"Size", u"\"4\""));
  EXPECT_FALSE(TObjectJSONHelper::setJSONAttribute(box, u"{"));
  EXPECT_FALSE(TObjectJSONHelper::setJSONAttribute(box, u" "));
  EXPECT_EQ(TObjectJSONHelper::getJSONAttribute(box, u"Title"), u"t");
  EXPECT_EQ(TObjectJSONHelper::getJSONAttribute(box, u"Size"), u"4");
}

}  // namespace
}  // namespace vx::json::test
