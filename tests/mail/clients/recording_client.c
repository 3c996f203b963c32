/* A mail client library for tests: MAPISendMail writes what it was given to the file named by
   VX_TEST_MAPI_RECORD and answers the code in VX_TEST_MAPI_RESULT (default 0), after sleeping
   VX_TEST_MAPI_SLEEP_MS milliseconds and after the file named by VX_TEST_MAPI_GATE exists (it
   waits up to 30 s for it and records "gate=open" or "gate=timeout"). Built without MAPIReadMail
   when VX_TEST_OMIT_READMAIL is defined, and as a 32-bit image for the architecture check. */
#define _GNU_SOURCE
#include <stdio.h>
#include <stdlib.h>
#include <time.h>
#include <unistd.h>

#include "mapi/mapi.h"

#define EXPORT __attribute__((visibility("default")))

static void put_text(FILE* f, const char* label, const char* s) {
  if (s == NULL) {
    fprintf(f, "%s=(null)\n", label);
    return;
  }
  fprintf(f, "%s=\"", label);
  for (; *s; ++s) {
    if (*s == '\r')
      fputs("\\r", f);
    else if (*s == '\n')
      fputs("\\n", f);
    else
      fputc(*s, f);
  }
  fputs("\"\n", f);
}

EXPORT ULONG MAPISendMail(LHANDLE lhSession, ULONG_PTR ulUIParam, lpMapiMessage m, FLAGS flFlags,
                          ULONG ulReserved) {
  const char* sleepMs = getenv("VX_TEST_MAPI_SLEEP_MS");
  if (sleepMs != NULL) {
    long ms = atol(sleepMs);
    struct timespec ts = {ms / 1000, (ms % 1000) * 1000000L};
    nanosleep(&ts, NULL);
  }
  const char* gate = getenv("VX_TEST_MAPI_GATE");
  int gateOpen = 0;
  for (int i = 0; gate != NULL && i < 30000 && !(gateOpen = access(gate, F_OK) == 0); ++i) {
    struct timespec ts = {0, 1000000L};
    nanosleep(&ts, NULL);
  }
  const char* path = getenv("VX_TEST_MAPI_RECORD");
  FILE* f = path != NULL ? fopen(path, "a") : NULL;
  if (f != NULL) {
    if (gate != NULL) fprintf(f, "gate=%s\n", gateOpen ? "open" : "timeout");
    fprintf(f, "session=%lu ui=%lu flags=0x%x reserved=%u main_thread=%d pointer_bits=%u\n",
            (unsigned long)lhSession, (unsigned long)ulUIParam, flFlags, ulReserved, gettid() == getpid(),
            (unsigned)(sizeof(void*) * 8));
    put_text(f, "subject", m->lpszSubject);
    put_text(f, "note", m->lpszNoteText);
    fprintf(f, "originator=%s type=%s date=%s conversation=%s msgflags=%u\n",
            m->lpOriginator ? "set" : "(null)", m->lpszMessageType ? "set" : "(null)",
            m->lpszDateReceived ? "set" : "(null)", m->lpszConversationID ? "set" : "(null)", m->flFlags);
    fprintf(f, "recips=%u\n", m->nRecipCount);
    for (ULONG i = 0; i < m->nRecipCount; ++i) {
      fprintf(f, "recip class=%u eid=%u ", m->lpRecips[i].ulRecipClass, m->lpRecips[i].ulEIDSize);
      put_text(f, "name", m->lpRecips[i].lpszName);
      put_text(f, "  address", m->lpRecips[i].lpszAddress);
    }
    fprintf(f, "files=%u\n", m->nFileCount);
    for (ULONG i = 0; i < m->nFileCount; ++i) {
      fprintf(f, "file pos=0x%x flags=%u type=%s ", m->lpFiles[i].nPosition, m->lpFiles[i].flFlags,
              m->lpFiles[i].lpFileType ? "set" : "(null)");
      put_text(f, "path", m->lpFiles[i].lpszPathName);
      put_text(f, "  name", m->lpFiles[i].lpszFileName);
    }
    fputs("end\n", f);
    fclose(f);
  }
  const char* result = getenv("VX_TEST_MAPI_RESULT");
  return result != NULL ? (ULONG)atol(result) : SUCCESS_SUCCESS;
}

EXPORT ULONG MAPIAddress(LHANDLE a, ULONG_PTR b, LPSTR c, ULONG d, LPSTR e, ULONG f, lpMapiRecipDesc g,
                         FLAGS h, ULONG i, LPULONG j, lpMapiRecipDesc* k) {
  (void)a, (void)b, (void)c, (void)d, (void)e, (void)f, (void)g, (void)h, (void)i, (void)j, (void)k;
  return MAPI_E_NOT_SUPPORTED;
}
EXPORT ULONG MAPIDeleteMail(LHANDLE a, ULONG_PTR b, LPSTR c, FLAGS d, ULONG e) {
  (void)a, (void)b, (void)c, (void)d, (void)e;
  return MAPI_E_NOT_SUPPORTED;
}
EXPORT ULONG MAPIDetails(LHANDLE a, ULONG_PTR b, lpMapiRecipDesc c, FLAGS d, ULONG e) {
  (void)a, (void)b, (void)c, (void)d, (void)e;
  return MAPI_E_NOT_SUPPORTED;
}
EXPORT ULONG MAPIFindNext(LHANDLE a, ULONG_PTR b, LPSTR c, LPSTR d, FLAGS e, ULONG f, LPSTR g) {
  (void)a, (void)b, (void)c, (void)d, (void)e, (void)f, (void)g;
  return MAPI_E_NOT_SUPPORTED;
}
EXPORT ULONG MAPIFreeBuffer(LPVOID pv) {
  (void)pv;
  return SUCCESS_SUCCESS;
}
EXPORT ULONG MAPILogoff(LHANDLE a, ULONG_PTR b, FLAGS c, ULONG d) {
  (void)a, (void)b, (void)c, (void)d;
  return SUCCESS_SUCCESS;
}
EXPORT ULONG MAPILogon(ULONG_PTR a, LPSTR b, LPSTR c, FLAGS d, ULONG e, LPLHANDLE f) {
  (void)a, (void)b, (void)c, (void)d, (void)e, (void)f;
  return MAPI_E_NOT_SUPPORTED;
}
#ifndef VX_TEST_OMIT_READMAIL
EXPORT ULONG MAPIReadMail(LHANDLE a, ULONG_PTR b, LPSTR c, FLAGS d, ULONG e, lpMapiMessage* f) {
  (void)a, (void)b, (void)c, (void)d, (void)e, (void)f;
  return MAPI_E_NOT_SUPPORTED;
}
#endif
EXPORT ULONG MAPIResolveName(LHANDLE a, ULONG_PTR b, LPSTR c, FLAGS d, ULONG e, lpMapiRecipDesc* f) {
  (void)a, (void)b, (void)c, (void)d, (void)e, (void)f;
  return MAPI_E_NOT_SUPPORTED;
}
EXPORT ULONG MAPISaveMail(LHANDLE a, ULONG_PTR b, lpMapiMessage c, FLAGS d, ULONG e, LPSTR f) {
  (void)a, (void)b, (void)c, (void)d, (void)e, (void)f;
  return MAPI_E_NOT_SUPPORTED;
}
EXPORT ULONG MAPISendDocuments(ULONG_PTR a, LPSTR b, LPSTR c, LPSTR d, ULONG e) {
  (void)a, (void)b, (void)c, (void)d, (void)e;
  return MAPI_E_NOT_SUPPORTED;
}
