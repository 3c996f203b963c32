// Hostile JSON text read into a record that has every member kind, then written back.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "json/serialize/serialize.h"

namespace fuzzed {
using vx::UString;
using namespace vx::json;

enum class TMode : std::uint8_t { A, B, C };

struct TLeaf {
  UString Name;
  std::int32_t N = 0;
  TDateTimeField When;
};
VX_RECORD(TLeaf, VX_FIELD(Name), VX_FIELD(N), VX_FIELD(When));

class TNode {
 public:
  UString Label;
  std::unique_ptr<TNode> Next;
  std::unique_ptr<TMemoryStream> Data;
  std::unique_ptr<TObjectList<TNode>> Children;
  std::unique_ptr<TList<UString>> Words;
};
VX_CLASS(TNode, VX_FIELD(Label), VX_FIELD(Next), VX_FIELD(Data), VX_FIELD(Children), VX_FIELD(Words));

struct TAll {
  UString S;
  std::string Ansi;
  char16_t C = 0;
  std::int32_t I = 0;
  std::uint32_t U = 0;
  std::int64_t L = 0;
  bool B = false;
  double F = 0;
  TMode M = TMode::A;
  TSet<TMode> Modes;
  TDateField Day;
  TTimeField At;
  TVariant V;
  IDocObject Doc;
  IDocArray Arr;
  std::vector<TLeaf> Leaves;
  std::array<std::int32_t, 3> Fixed{};
  std::vector<std::vector<UString>> Grid;
  std::unique_ptr<TNode> Tree;
  std::int32_t Aliased = 0;
  std::int32_t Replaced = 0;
};
VX_RECORD(TAll, VX_FIELD(S), VX_FIELD(Ansi), VX_FIELD(C), VX_FIELD(I), VX_FIELD(U), VX_FIELD(L), VX_FIELD(B),
          VX_FIELD(F), VX_FIELD(M), VX_FIELD(Modes), VX_FIELD(Day), VX_FIELD(At), VX_FIELD(V), VX_FIELD(Doc),
          VX_FIELD(Arr), VX_FIELD(Leaves), VX_FIELD(Fixed), VX_FIELD(Grid), VX_FIELD(Tree),
          VX_FIELD(Aliased, Alias(u"a")), VX_FIELD(Replaced, REVAL(1, 2)));
}  // namespace fuzzed

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace vx::json;
  const vx::UString text = vx::Utf8ToU(std::string_view(reinterpret_cast<const char*>(data), size));
  fuzzed::TAll all;
  try {
    all = TRecordJSONHelper<fuzzed::TAll>::FromJSON(text);
  } catch (const EJSONBaseError&) {
  }
  try {
    (void)TObjectJSONHelper::AsJSON(all, size % 2 == 1, false);
  } catch (const EJSONBaseError&) {
  }
  (void)TRecordJSONHelper<fuzzed::TAll>::setJSONAttribute(all, text);
  (void)TRecordJSONHelper<fuzzed::TAll>::getJSONAttribute(all, u"S");
  return 0;
}
