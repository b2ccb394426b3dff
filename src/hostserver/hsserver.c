/*
 * hsserver.c: the server library for generated files (see hsserver.h). One
 * request per connection, answered as the URL file's routines run: the status
 * line and headers go out before the first byte of the body, the body in
 * pieces of HS_SEND_BUFFER bytes.
 */
#include "hsserver.h"

#include <string.h>

#include "hshttp.h"

#ifndef HS_MAX_HEAD
#define HS_MAX_HEAD 2048
#endif
#ifndef HS_MAX_BODY
#define HS_MAX_BODY 2048
#endif
#ifndef HS_SEND_BUFFER
#define HS_SEND_BUFFER 1024
#endif
#ifndef HS_MAX_REQUESTS
#define HS_MAX_REQUESTS 4
#endif
#ifndef HS_MAX_REALM_TEXT
#define HS_MAX_REALM_TEXT 63
#endif
#ifndef HS_LOCK
#define HS_LOCK()
#define HS_UNLOCK()
#endif

enum { kHsRealmCount = 8 };

typedef struct {
  char m_aName[HS_MAX_REALM_TEXT + 1];
  char m_aUser[HS_MAX_REALM_TEXT + 1];
  char m_aPassword[HS_MAX_REALM_TEXT + 1];
  int m_bSet;
} HsRealm;

/* Everything one request being answered holds. The handle the generated code
   gets is the slot's number + 1. */
typedef struct {
  int m_bBusy;
  const HSStream* m_pStream;
  char m_aIn[HS_MAX_HEAD + HS_MAX_BODY + 1]; /* head, then body, NUL-terminated */
  HsHead m_head;
  const char* m_pPath;  /* the URL, decoded, without its query */
  const char* m_pQuery; /* "" when there is none */
  const char* m_pBody;
  unsigned long m_nBodyLen;
  const char* m_pContentType;
  long m_nDeclaredLen; /* the size a binary type function gave; -1 for pages */
  unsigned long m_nSentBody;
  int m_bDenied;
  int m_nChallengeRealm;
  int m_bHeadSent;
  int m_bFailed; /* the connection broke: nothing more goes out */
  int m_bHeadOnly;
  char m_aOut[HS_SEND_BUFFER];
  unsigned m_nOut;
} HsRequest;

static HsRealm g_aRealms[kHsRealmCount];
static HsRequest g_aRequests[HS_MAX_REQUESTS];

static HsRequest* RequestOf(unsigned long handle) {
  if (handle == 0 || handle > HS_MAX_REQUESTS || !g_aRequests[handle - 1].m_bBusy) return NULL;
  return &g_aRequests[handle - 1];
}

static void Flush(HsRequest* pReq) {
  if (pReq->m_nOut > 0 && !pReq->m_bFailed &&
      pReq->m_pStream->m_pSend(pReq->m_pStream->m_pContext, pReq->m_aOut, pReq->m_nOut) < 0)
    pReq->m_bFailed = 1;
  pReq->m_nOut = 0;
}

static void Put(HsRequest* pReq, const char* pData, unsigned long nLen) {
  while (nLen > 0 && !pReq->m_bFailed) {
    unsigned nRoom = (unsigned)sizeof pReq->m_aOut - pReq->m_nOut;
    unsigned nTake = nLen < nRoom ? (unsigned)nLen : nRoom;
    memcpy(pReq->m_aOut + pReq->m_nOut, pData, nTake);
    pReq->m_nOut += nTake;
    pData += nTake;
    nLen -= nTake;
    if (pReq->m_nOut == sizeof pReq->m_aOut) Flush(pReq);
  }
}

static void PutText(HsRequest* pReq, const char* pText) { Put(pReq, pText, strlen(pText)); }

static void PutNumber(HsRequest* pReq, unsigned long nValue) {
  char aDigits[24];
  int n = (int)sizeof aDigits;
  aDigits[--n] = '\0';
  do {
    aDigits[--n] = (char)('0' + nValue % 10);
    nValue /= 10;
  } while (nValue > 0);
  PutText(pReq, aDigits + n);
}

/* The status line and headers. A page's length is not known before it is
   sent, so its answer ends when the connection closes. */
static void SendHead(HsRequest* pReq, int nStatus, const char* pType, long nLength,
                     const char* pChallenge) {
  PutText(pReq, "HTTP/1.1 ");
  PutNumber(pReq, (unsigned long)nStatus);
  PutText(pReq, " ");
  PutText(pReq, HsStatusText(nStatus));
  PutText(pReq, "\r\nContent-Type: ");
  PutText(pReq, pType);
  if (nLength >= 0) {
    PutText(pReq, "\r\nContent-Length: ");
    PutNumber(pReq, (unsigned long)nLength);
  }
  if (pChallenge) {
    const char* p;
    PutText(pReq, "\r\nWWW-Authenticate: Basic realm=\"");
    for (p = pChallenge; *p; ++p) {
      if ((unsigned char)*p < 0x20 || *p == 0x7F) continue;
      if (*p == '"' || *p == '\\') Put(pReq, "\\", 1);
      Put(pReq, p, 1);
    }
    PutText(pReq, "\"");
  }
  PutText(pReq, "\r\nCache-Control: no-store\r\nConnection: close\r\n\r\n");
  pReq->m_bHeadSent = 1;
}

static void SendError(HsRequest* pReq, int nStatus, const char* pChallenge) {
  const char* pText = HsStatusText(nStatus);
  SendHead(pReq, nStatus, "text/plain", (long)(strlen(pText) + 5), pChallenge);
  PutNumber(pReq, (unsigned long)nStatus);
  PutText(pReq, " ");
  PutText(pReq, pText);
  PutText(pReq, "\n");
}

/* ---- The calls of hservapi.h ---- */

void HSSendBinary(unsigned long handle, const char* data, unsigned long len) {
  HsRequest* pReq = RequestOf(handle);
  if (!pReq || pReq->m_bDenied || !data) return;
  if (!pReq->m_bHeadSent)
    SendHead(pReq, 200, pReq->m_pContentType ? pReq->m_pContentType : "application/octet-stream",
             pReq->m_nDeclaredLen, NULL);
  if (pReq->m_bHeadOnly) return;
  /* A binary's answer is as long as the URL table says: an empty file is
     stored as one zero byte with size 0. */
  if (pReq->m_nDeclaredLen >= 0) {
    unsigned long nLeft = (unsigned long)pReq->m_nDeclaredLen - pReq->m_nSentBody;
    if (len > nLeft) len = nLeft;
  }
  Put(pReq, data, len);
  pReq->m_nSentBody += len;
}

void HSSend(unsigned long handle, const char* text) {
  if (text) HSSendBinary(handle, text, (unsigned long)strlen(text));
}

int HSPageAuthenticate(unsigned long handle, unsigned short realmMask) {
  HsRequest* pReq = RequestOf(handle);
  int nRealm;
  if (!pReq) return 0;
  if (realmMask == 0) return 1;
  pReq->m_nChallengeRealm = -1;
  for (nRealm = 0; nRealm < kHsRealmCount; ++nRealm) {
    const HsRealm* pRealm = &g_aRealms[nRealm];
    if (!(realmMask & (1u << nRealm)) || !pRealm->m_bSet) continue;
    if (pReq->m_nChallengeRealm < 0) pReq->m_nChallengeRealm = nRealm;
    if (HsCredentialsMatch(pReq->m_head.m_pAuthorization, pRealm->m_aUser, pRealm->m_aPassword))
      return 1;
  }
  pReq->m_bDenied = 1;
  return 0;
}

static int CopyRealmText(char* pTo, const char* pFrom) {
  size_t nLen = strlen(pFrom ? pFrom : "");
  if (nLen > HS_MAX_REALM_TEXT) return 0;
  memcpy(pTo, pFrom ? pFrom : "", nLen + 1);
  return 1;
}

int HSSetRealm(int index, const char* name, const char* user, const char* password) {
  HsRealm* pRealm;
  if (index < 0 || index >= kHsRealmCount) return -1;
  pRealm = &g_aRealms[index];
  memset(pRealm, 0, sizeof *pRealm);
  if (!CopyRealmText(pRealm->m_aName, name) || !CopyRealmText(pRealm->m_aUser, user) ||
      !CopyRealmText(pRealm->m_aPassword, password)) {
    memset(pRealm, 0, sizeof *pRealm);
    return -1;
  }
  pRealm->m_bSet = 1;
  return 0;
}

static void SetType(unsigned long handle, const char* pType, long nLen) {
  HsRequest* pReq = RequestOf(handle);
  if (!pReq) return;
  pReq->m_pContentType = pType;
  pReq->m_nDeclaredLen = nLen;
}

void HSTypeHtml(unsigned long handle) { SetType(handle, "text/html", -1); }

#define HS_TYPE_FN(Name, type)                                                     \
  void HSType##Name(unsigned long handle, int len) { SetType(handle, type, len); } \
  void HSTypeStatic##Name(unsigned long handle, int len) { SetType(handle, type, len); }

void HSTypeStaticHtml(unsigned long handle, int len) { SetType(handle, "text/html", len); }
HS_FOR_EACH_SIZED_TYPE(HS_TYPE_FN)

static const char* AppletType(unsigned long handle) {
  HsRequest* pReq = RequestOf(handle);
  return HsAppletType(pReq ? pReq->m_pPath : NULL);
}

void HSTypeApplet(unsigned long handle, int len) { SetType(handle, AppletType(handle), len); }
void HSTypeStaticApplet(unsigned long handle, int len) { SetType(handle, AppletType(handle), len); }

const char* HSGetPostData(unsigned long handle, unsigned long* len) {
  HsRequest* pReq = RequestOf(handle);
  if (len) *len = pReq ? pReq->m_nBodyLen : 0;
  return pReq ? pReq->m_pBody : "";
}

const char* HSGetQuery(unsigned long handle) {
  HsRequest* pReq = RequestOf(handle);
  return pReq ? pReq->m_pQuery : "";
}

/* ---- Serving ---- */

void HSServerInit(void) {
  memset(g_aRealms, 0, sizeof g_aRealms);
  HSInitSecurityTable();
}

static HsRequest* TakeSlot(void) {
  HsRequest* pFree = NULL;
  int i;
  HS_LOCK();
  for (i = 0; i < HS_MAX_REQUESTS && !pFree; ++i) {
    if (!g_aRequests[i].m_bBusy) {
      pFree = &g_aRequests[i];
      memset(pFree, 0, sizeof *pFree);
      pFree->m_bBusy = 1;
    }
  }
  HS_UNLOCK();
  return pFree;
}

/* The end of the head (an empty line after CR LF or LF line ends) in the first
   nLen bytes, or 0. */
static unsigned FindHeadEnd(const char* pIn, unsigned nLen) {
  unsigned i;
  for (i = 0; i < nLen; ++i) {
    if (pIn[i] != '\n') continue;
    if (i + 1 < nLen && pIn[i + 1] == '\n') return i + 2;
    if (i + 2 < nLen && pIn[i + 1] == '\r' && pIn[i + 2] == '\n') return i + 3;
  }
  return 0;
}

/* Receives the request into the slot: 0 when complete, the status of an error
   answer, or -1 when the peer went away. */
static int ReceiveRequest(HsRequest* pReq) {
  unsigned nLen = 0, nHeadEnd = 0, nNeed = 0;
  for (;;) {
    unsigned nRoom = (nHeadEnd ? nNeed : (unsigned)HS_MAX_HEAD) - nLen;
    int nRead;
    if (nRoom == 0) {
      if (!nHeadEnd) return memchr(pReq->m_aIn, '\n', nLen) ? 431 : 414;
      break;
    }
    nRead = pReq->m_pStream->m_pRecv(pReq->m_pStream->m_pContext, pReq->m_aIn + nLen, nRoom);
    if (nRead <= 0) return nLen > 0 && !nHeadEnd ? 400 : -1;
    nLen += (unsigned)nRead;
    if (!nHeadEnd) {
      int nStatus;
      nHeadEnd = FindHeadEnd(pReq->m_aIn, nLen);
      if (!nHeadEnd) continue;
      /* The head is parsed as C strings, so a NUL byte in it is refused. */
      if (memchr(pReq->m_aIn, '\0', nHeadEnd)) return 400;
      /* Parsing cuts the head into strings in place; its last line end
         becomes the NUL that ends it, so the body after it stays as sent. */
      pReq->m_aIn[nHeadEnd - 1] = '\0';
      nStatus = HsParseHead(pReq->m_aIn, &pReq->m_head, HS_MAX_BODY);
      if (nStatus) return nStatus;
      nNeed = nHeadEnd +
              (pReq->m_head.m_nContentLength > 0 ? (unsigned)pReq->m_head.m_nContentLength : 0);
      if (pReq->m_head.m_bExpectContinue && nLen < nNeed) {
        static const char kContinue[] = "HTTP/1.1 100 Continue\r\n\r\n";
        pReq->m_pStream->m_pSend(pReq->m_pStream->m_pContext, kContinue, sizeof kContinue - 1);
      }
    }
    if (nHeadEnd && nLen >= nNeed) break;
  }
  if (nLen > nNeed) nLen = nNeed; /* bytes after the body are no part of it */
  pReq->m_aIn[nLen] = '\0';
  pReq->m_pBody = pReq->m_aIn + nHeadEnd;
  pReq->m_nBodyLen = nLen - nHeadEnd;
  return 0;
}

/* Runs the URL file's routines for the received request. */
static int Answer(HsRequest* pReq) {
  static char aRoot[] = "/";
  char* pTarget = pReq->m_head.m_pTarget;
  char* pQuery;
  unsigned long handle = (unsigned long)(pReq - g_aRequests) + 1;
  /* An absolute target names this server first; only its path matters. */
  if (strncmp(pTarget, "http://", 7) == 0) {
    pTarget = strchr(pTarget + 7, '/');
    if (!pTarget) pTarget = aRoot;
  }
  if (pTarget[0] != '/') {
    SendError(pReq, 400, NULL);
    return 400;
  }
  pQuery = strchr(pTarget, '?');
  if (pQuery)
    *pQuery++ = '\0';
  else
    pQuery = pTarget + strlen(pTarget);
  if (!HsDecodePath(pTarget, pTarget)) {
    SendError(pReq, 400, NULL);
    return 400;
  }
  pReq->m_pPath = pTarget;
  pReq->m_pQuery = pQuery;
  pReq->m_bHeadOnly = strcmp(pReq->m_head.m_pMethod, "HEAD") == 0;

  AppPreprocessURL(handle, pTarget);
  if (pReq->m_bDenied) {
    int nRealm = pReq->m_nChallengeRealm;
    SendError(pReq, 401, nRealm >= 0 ? g_aRealms[nRealm].m_aName : "Protected");
    return 401;
  }
  if (!SearchURL(handle, pTarget)) {
    SendError(pReq, 404, NULL);
    return 404;
  }
  AppSearchURL(handle, pTarget);
  /* A send function that sent nothing still answers. */
  if (!pReq->m_bHeadSent) HSSendBinary(handle, "", 0);
  /* A binary shorter than the URL table says cannot be made whole: the
     connection closes early and the client sees the answer cut. */
  return 200;
}

int HSServeStream(const HSStream* pStream) {
  HsRequest* pReq = TakeSlot();
  int nStatus;
  if (!pReq) {
    static const char kBusy[] =
        "HTTP/1.1 503 Service Unavailable\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
    pStream->m_pSend(pStream->m_pContext, kBusy, sizeof kBusy - 1);
    return 503;
  }
  pReq->m_pStream = pStream;
  pReq->m_nDeclaredLen = -1;
  pReq->m_nChallengeRealm = -1;
  nStatus = ReceiveRequest(pReq);
  if (nStatus > 0) {
    SendError(pReq, nStatus, NULL);
  } else if (nStatus == 0) {
    nStatus = Answer(pReq);
  } else {
    nStatus = 0;
  }
  Flush(pReq);
  HS_LOCK();
  pReq->m_bBusy = 0;
  HS_UNLOCK();
  return nStatus;
}
