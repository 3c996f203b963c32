/* Simple MAPI: the C interface of a mail client library. ULONG is 32-bit; session handles and
   window parameters are pointer-sized. Strings are single-byte texts in the process's code set. */
#ifndef VX64_MAPI_H
#define VX64_MAPI_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef uint32_t ULONG;
typedef ULONG* LPULONG;
typedef ULONG FLAGS;
typedef uintptr_t ULONG_PTR;
typedef uintptr_t LHANDLE;
typedef LHANDLE* LPLHANDLE;
typedef char* LPSTR;
typedef void* LPVOID;

#define SUCCESS_SUCCESS 0
#define MAPI_USER_ABORT 1
#define MAPI_E_USER_ABORT MAPI_USER_ABORT
#define MAPI_E_FAILURE 2
#define MAPI_E_LOGON_FAILURE 3
#define MAPI_E_LOGIN_FAILURE MAPI_E_LOGON_FAILURE
#define MAPI_E_DISK_FULL 4
#define MAPI_E_INSUFFICIENT_MEMORY 5
#define MAPI_E_ACCESS_DENIED 6
#define MAPI_E_TOO_MANY_SESSIONS 8
#define MAPI_E_TOO_MANY_FILES 9
#define MAPI_E_TOO_MANY_RECIPIENTS 10
#define MAPI_E_ATTACHMENT_NOT_FOUND 11
#define MAPI_E_ATTACHMENT_OPEN_FAILURE 12
#define MAPI_E_ATTACHMENT_WRITE_FAILURE 13
#define MAPI_E_UNKNOWN_RECIPIENT 14
#define MAPI_E_BAD_RECIPTYPE 15
#define MAPI_E_NO_MESSAGES 16
#define MAPI_E_INVALID_MESSAGE 17
#define MAPI_E_TEXT_TOO_LARGE 18
#define MAPI_E_INVALID_SESSION 19
#define MAPI_E_TYPE_NOT_SUPPORTED 20
#define MAPI_E_AMBIGUOUS_RECIPIENT 21
#define MAPI_E_AMBIG_RECIP MAPI_E_AMBIGUOUS_RECIPIENT
#define MAPI_E_MESSAGE_IN_USE 22
#define MAPI_E_NETWORK_FAILURE 23
#define MAPI_E_INVALID_EDITFIELDS 24
#define MAPI_E_INVALID_RECIPS 25
#define MAPI_E_NOT_SUPPORTED 26

/* Recipient classes. */
#define MAPI_ORIG 0
#define MAPI_TO 1
#define MAPI_CC 2
#define MAPI_BCC 3

/* Flags. */
#define MAPI_LOGON_UI 0x00000001
#define MAPI_NEW_SESSION 0x00000002
#define MAPI_DIALOG 0x00000008
#define MAPI_UNREAD_ONLY 0x00000020
#define MAPI_ENVELOPE_ONLY 0x00000040
#define MAPI_PEEK 0x00000080
#define MAPI_GUARANTEE_FIFO 0x00000100
#define MAPI_BODY_AS_FILE 0x00000200
#define MAPI_AB_NOMODIFY 0x00000400
#define MAPI_SUPPRESS_ATTACH 0x00000800
#define MAPI_FORCE_DOWNLOAD 0x00001000
#define MAPI_LONG_MSGID 0x00004000

/* Message flags. */
#define MAPI_UNREAD 0x00000001
#define MAPI_RECEIPT_REQUESTED 0x00000002
#define MAPI_SENT 0x00000004

/* Attachment flags. */
#define MAPI_OLE 0x00000001
#define MAPI_OLE_STATIC 0x00000002

typedef struct {
  ULONG ulReserved;
  ULONG flFlags;
  ULONG nPosition;    /* character in the note text replaced by the attachment, 0xFFFFFFFF: none */
  LPSTR lpszPathName; /* full path of the file */
  LPSTR lpszFileName; /* name shown to the recipient; the file's own name when empty */
  LPVOID lpFileType;
} MapiFileDesc, *lpMapiFileDesc;

typedef struct {
  ULONG ulReserved;
  ULONG ulRecipClass; /* MAPI_ORIG, MAPI_TO, MAPI_CC, MAPI_BCC */
  LPSTR lpszName;
  LPSTR lpszAddress; /* "TYPE:address" or a bare address */
  ULONG ulEIDSize;
  LPVOID lpEntryID;
} MapiRecipDesc, *lpMapiRecipDesc;

typedef struct {
  ULONG ulReserved;
  LPSTR lpszSubject;
  LPSTR lpszNoteText;
  LPSTR lpszMessageType;
  LPSTR lpszDateReceived;
  LPSTR lpszConversationID;
  FLAGS flFlags;
  lpMapiRecipDesc lpOriginator;
  ULONG nRecipCount;
  lpMapiRecipDesc lpRecips;
  ULONG nFileCount;
  lpMapiFileDesc lpFiles;
} MapiMessage, *lpMapiMessage;

/* The twelve entry points, as function types for run-time lookup. */
typedef ULONG(MAPIADDRESS)(LHANDLE lhSession, ULONG_PTR ulUIParam, LPSTR lpszCaption, ULONG nEditFields,
                           LPSTR lpszLabels, ULONG nRecips, lpMapiRecipDesc lpRecips, FLAGS flFlags,
                           ULONG ulReserved, LPULONG lpnNewRecips, lpMapiRecipDesc* lppNewRecips);
typedef ULONG(MAPIDELETEMAIL)(LHANDLE lhSession, ULONG_PTR ulUIParam, LPSTR lpszMessageID, FLAGS flFlags,
                              ULONG ulReserved);
typedef ULONG(MAPIDETAILS)(LHANDLE lhSession, ULONG_PTR ulUIParam, lpMapiRecipDesc lpRecip, FLAGS flFlags,
                           ULONG ulReserved);
typedef ULONG(MAPIFINDNEXT)(LHANDLE lhSession, ULONG_PTR ulUIParam, LPSTR lpszMessageType,
                            LPSTR lpszSeedMessageID, FLAGS flFlags, ULONG ulReserved, LPSTR lpszMessageID);
typedef ULONG(MAPIFREEBUFFER)(LPVOID pv);
typedef ULONG(MAPILOGOFF)(LHANDLE lhSession, ULONG_PTR ulUIParam, FLAGS flFlags, ULONG ulReserved);
typedef ULONG(MAPILOGON)(ULONG_PTR ulUIParam, LPSTR lpszProfileName, LPSTR lpszPassword, FLAGS flFlags,
                         ULONG ulReserved, LPLHANDLE lplhSession);
typedef ULONG(MAPIREADMAIL)(LHANDLE lhSession, ULONG_PTR ulUIParam, LPSTR lpszMessageID, FLAGS flFlags,
                            ULONG ulReserved, lpMapiMessage* lppMessage);
typedef ULONG(MAPIRESOLVENAME)(LHANDLE lhSession, ULONG_PTR ulUIParam, LPSTR lpszName, FLAGS flFlags,
                               ULONG ulReserved, lpMapiRecipDesc* lppRecip);
typedef ULONG(MAPISAVEMAIL)(LHANDLE lhSession, ULONG_PTR ulUIParam, lpMapiMessage lpMessage, FLAGS flFlags,
                            ULONG ulReserved, LPSTR lpszMessageID);
typedef ULONG(MAPISENDDOCUMENTS)(ULONG_PTR ulUIParam, LPSTR lpszDelimChar, LPSTR lpszFilePaths,
                                 LPSTR lpszFileNames, ULONG ulReserved);
typedef ULONG(MAPISENDMAIL)(LHANDLE lhSession, ULONG_PTR ulUIParam, lpMapiMessage lpMessage, FLAGS flFlags,
                            ULONG ulReserved);

/* A library exports these names with C linkage. */
MAPIADDRESS MAPIAddress;
MAPIDELETEMAIL MAPIDeleteMail;
MAPIDETAILS MAPIDetails;
MAPIFINDNEXT MAPIFindNext;
MAPIFREEBUFFER MAPIFreeBuffer;
MAPILOGOFF MAPILogoff;
MAPILOGON MAPILogon;
MAPIREADMAIL MAPIReadMail;
MAPIRESOLVENAME MAPIResolveName;
MAPISAVEMAIL MAPISaveMail;
MAPISENDDOCUMENTS MAPISendDocuments;
MAPISENDMAIL MAPISendMail;

#ifdef __cplusplus
}
#endif

#endif
