// A record whose description misses a field must not compile. Built twice by tests/CMakeLists.txt:
// with VX_COMPLETE_DESCRIPTION as part of the build, without it by a test that expects the
// description's field-count check to stop the compiler.
#include "json/serialize/descriptions.h"

namespace sample {
struct TNote {
  vx::UString Subject;
  vx::UString Body;
  std::int32_t Priority = 0;
};
#ifdef VX_COMPLETE_DESCRIPTION
VX_RECORD(TNote, VX_FIELD(Subject), VX_FIELD(Body), VX_FIELD(Priority));
#else
VX_RECORD(TNote, VX_FIELD(Subject), VX_FIELD(Body));
#endif
}  // namespace sample

const vx::json::TTypeInfo& NoteInfo() {
  return vx::json::TypeInfoOf<sample::TNote>();
}
