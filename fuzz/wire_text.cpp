// The wire text as a frame brings it: bytes checked as a frame, decoded into a Name=Value list
// and prepared as a command (CMDPrepare and the base dispatcher). The list must also survive its
// own wire text unchanged.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <optional>

#include "core/string_list.h"
#include "link/proc_com_msg.h"

namespace {

class Receiver : public vx::TvxProcComMsg {
 public:
  void Receive(const std::uint8_t* data, std::size_t size) {
    vx::platform::CopyDataBlock cds;
    cds.cbData = static_cast<std::uint32_t>(size);
    cds.lpData = data;
    CopyDataRecived(cds);
  }
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  setenv("VX64_DEBUG_LOG", "none", 1);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static std::optional<Receiver> receiver;
  if (!receiver) receiver.emplace();
  receiver->Receive(data, size);

  vx::UString text(size / 2, u'\0');
  if (!text.empty()) std::memcpy(text.data(), data, text.size() * 2);
  vx::TStringList list;
  list.SetDelimitedText(text);
  vx::TStringList again;
  again.SetDelimitedText(list.DelimitedText());
  if (again.Lines() != list.Lines()) std::abort();
  (void)vx::HandleValue(list, u"CMD_HANDLE");
  return 0;
}
