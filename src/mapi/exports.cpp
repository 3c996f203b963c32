// The twelve Simple MAPI entry points of the library. Only sending is offered; the others answer
// MAPI_E_NOT_SUPPORTED. No exception leaves the library.
#include <new>

#include "mapi/mapi.h"
#include "mapi/mapi_log.h"
#include "mapi/send_mail.h"

#define VX_MAPI_EXPORT extern "C" __attribute__((visibility("default")))

VX_MAPI_EXPORT ULONG MAPISendMail(LHANDLE /*lhSession*/, ULONG_PTR /*ulUIParam*/, lpMapiMessage lpMessage,
                                  FLAGS flFlags, ULONG /*ulReserved*/) {
  try {
    return vx::mapi::SendMail(lpMessage, flFlags);
  } catch (const std::bad_alloc&) {
    return MAPI_E_INSUFFICIENT_MEMORY;
  } catch (const std::exception& e) {
    vx::mapi::Log(std::string("sending failed: ") + e.what());
    return MAPI_E_FAILURE;
  } catch (...) {
    return MAPI_E_FAILURE;
  }
}

VX_MAPI_EXPORT ULONG MAPIFreeBuffer(LPVOID pv) {
  return vx::mapi::FreeBuffer(pv);
}

VX_MAPI_EXPORT ULONG MAPIAddress(LHANDLE, ULONG_PTR, LPSTR, ULONG, LPSTR, ULONG, lpMapiRecipDesc, FLAGS,
                                 ULONG, LPULONG, lpMapiRecipDesc*) {
  return MAPI_E_NOT_SUPPORTED;
}
VX_MAPI_EXPORT ULONG MAPIDeleteMail(LHANDLE, ULONG_PTR, LPSTR, FLAGS, ULONG) {
  return MAPI_E_NOT_SUPPORTED;
}
VX_MAPI_EXPORT ULONG MAPIDetails(LHANDLE, ULONG_PTR, lpMapiRecipDesc, FLAGS, ULONG) {
  return MAPI_E_NOT_SUPPORTED;
}
VX_MAPI_EXPORT ULONG MAPIFindNext(LHANDLE, ULONG_PTR, LPSTR, LPSTR, FLAGS, ULONG, LPSTR) {
  return MAPI_E_NOT_SUPPORTED;
}
VX_MAPI_EXPORT ULONG MAPILogoff(LHANDLE, ULONG_PTR, FLAGS, ULONG) {
  return MAPI_E_NOT_SUPPORTED;
}
VX_MAPI_EXPORT ULONG MAPILogon(ULONG_PTR, LPSTR, LPSTR, FLAGS, ULONG, LPLHANDLE) {
  return MAPI_E_NOT_SUPPORTED;
}
VX_MAPI_EXPORT ULONG MAPIReadMail(LHANDLE, ULONG_PTR, LPSTR, FLAGS, ULONG, lpMapiMessage*) {
  return MAPI_E_NOT_SUPPORTED;
}
VX_MAPI_EXPORT ULONG MAPIResolveName(LHANDLE, ULONG_PTR, LPSTR, FLAGS, ULONG, lpMapiRecipDesc*) {
  return MAPI_E_NOT_SUPPORTED;
}
VX_MAPI_EXPORT ULONG MAPISaveMail(LHANDLE, ULONG_PTR, lpMapiMessage, FLAGS, ULONG, LPSTR) {
  return MAPI_E_NOT_SUPPORTED;
}
VX_MAPI_EXPORT ULONG MAPISendDocuments(ULONG_PTR, LPSTR, LPSTR, LPSTR, ULONG) {
  return MAPI_E_NOT_SUPPORTED;
}
