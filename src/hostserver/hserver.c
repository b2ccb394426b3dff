/*
 * hserver.c: a small HTTP/1.1 server that runs a project's generated C files on
 * the developer's machine, so its pages can be opened in a desktop browser.
 *
 * It listens on 127.0.0.1 only. Each request is looked up through the routines
 * of the URL file (AppPreprocessURL, SearchURL, AppSearchURL), whose functions
 * answer through HSSend and the other calls of hservapi.h. The answer is
 * collected in memory and then written with its Content-Length; every
 * connection is closed after one answer.
 *
 * Connections are served from one poll loop, so a slow or silent client never
 * holds up the others. What one connection may cost is bounded: its request
 * head, its request body, its answer and the time it takes to send or to read.
 */
#define _POSIX_C_SOURCE 200809L

#ifdef _WIN32
/* Winsock: WSAPoll needs Vista or later; sockets are closed with
   closesocket and report their errors through WSAGetLastError. */
#ifndef _WIN32_WINNT
#define _WIN32_WINNT 0x0600
#endif
#include <winsock2.h>
#include <ws2tcpip.h>
#ifdef _MSC_VER
#pragma comment(lib, "ws2_32")
typedef SSIZE_T ssize_t;
#endif
#include <errno.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
typedef ULONG nfds_t;
#define poll WSAPoll
#define SHUT_WR SD_SEND
#else
#include <arpa/inet.h>
#include <errno.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>
#endif
#ifndef MSG_NOSIGNAL
#define MSG_NOSIGNAL 0 /* SIGPIPE is ignored instead (macOS); Windows has none */
#endif

#include "hservapi.h"
#include "hshttp.h"

enum {
  kMaxConnections = 16,
  kMaxRequestLine = 8 * 1024,
  kMaxHead = 32 * 1024,          /* request line and headers */
  kMaxRequestBody = 1024 * 1024, /* a form's POST data */
  kMaxAnswer = 64 * 1024 * 1024, /* the body one request may send */
  kRealmCount = 8,
  kDrainMillis = 2000 /* how long a closing connection may still send to us */
};

/* A byte buffer that grows up to the limit its user checks. */
typedef struct {
  char* m_pData;
  size_t m_nLen;
  size_t m_nCap;
} Buffer;

static int BufferAppend(Buffer* pBuf, const char* pData, size_t nLen) {
  if (nLen > 0 && pBuf->m_nLen + nLen >= pBuf->m_nCap) {
    size_t nCap = pBuf->m_nCap ? pBuf->m_nCap : 4096;
    char* pNew;
    while (pBuf->m_nLen + nLen >= nCap) nCap *= 2;
    pNew = (char*)realloc(pBuf->m_pData, nCap);
    if (!pNew) return 0;
    pBuf->m_pData = pNew;
    pBuf->m_nCap = nCap;
  }
  if (nLen > 0) memcpy(pBuf->m_pData + pBuf->m_nLen, pData, nLen);
  pBuf->m_nLen += nLen;
  return 1;
}

static void BufferFree(Buffer* pBuf) {
  free(pBuf->m_pData);
  memset(pBuf, 0, sizeof *pBuf);
}

/* ---- The request being answered, as the hservapi.h calls see it ---- */

typedef struct {
  unsigned long m_nHandle; /* 0 while no request is being answered */
  const char* m_pPostData;
  size_t m_nPostLen;
  const char* m_pQuery;
  const char* m_pAuthorization; /* the Authorization header's value, or NULL */
  const char* m_pPath;          /* the requested URL, decoded, without its query */
  const char* m_pContentType;
  long m_nDeclaredLen; /* size passed to a binary type function, -1 if none */
  int m_bDenied;
  int m_nChallengeRealm; /* realm named in the 401 answer, -1 if unknown */
  int m_bTooLarge;
  Buffer m_body;
} Request;

typedef struct {
  char* m_pName;
  char* m_pUser;
  char* m_pPassword;
} Realm;

static Request g_request;
static Realm g_realms[kRealmCount];
static unsigned long g_nLastHandle;

static Request* CurrentRequest(unsigned long handle) {
  if (handle != 0 && handle == g_request.m_nHandle) return &g_request;
  fprintf(stderr, "hserver: call with a handle that answers no request: %lu\n", handle);
  return NULL;
}

void HSSendBinary(unsigned long handle, const char* data, unsigned long len) {
  Request* pReq = CurrentRequest(handle);
  if (!pReq || pReq->m_bDenied || pReq->m_bTooLarge || !data) return;
  if (len > (unsigned long)kMaxAnswer - pReq->m_body.m_nLen ||
      !BufferAppend(&pReq->m_body, data, len)) {
    pReq->m_bTooLarge = 1;
    BufferFree(&pReq->m_body);
  }
}

void HSSend(unsigned long handle, const char* text) {
  if (text) HSSendBinary(handle, text, (unsigned long)strlen(text));
}

static int CredentialsMatch(const char* pAuthorization, const Realm* pRealm);

int HSPageAuthenticate(unsigned long handle, unsigned short realmMask) {
  Request* pReq = CurrentRequest(handle);
  int nRealm;
  if (!pReq) return 0;
  if (realmMask == 0) return 1;
  pReq->m_nChallengeRealm = -1;
  for (nRealm = 0; nRealm < kRealmCount; ++nRealm) {
    const Realm* pRealm = &g_realms[nRealm];
    if (!(realmMask & (1u << nRealm)) || !pRealm->m_pName) continue;
    if (pReq->m_nChallengeRealm < 0) pReq->m_nChallengeRealm = nRealm;
    if (CredentialsMatch(pReq->m_pAuthorization, pRealm)) return 1;
  }
  pReq->m_bDenied = 1;
  return 0;
}

static char* CopyText(const char* pText) {
  size_t nLen = strlen(pText ? pText : "");
  char* pCopy = (char*)malloc(nLen + 1);
  if (pCopy) memcpy(pCopy, pText ? pText : "", nLen + 1);
  return pCopy;
}

static void FreeRealm(Realm* pRealm) {
  free(pRealm->m_pName);
  free(pRealm->m_pUser);
  free(pRealm->m_pPassword);
  memset(pRealm, 0, sizeof *pRealm);
}

int HSSetRealm(int index, const char* name, const char* user, const char* password) {
  Realm* pRealm;
  if (index < 0 || index >= kRealmCount) return -1;
  pRealm = &g_realms[index];
  FreeRealm(pRealm);
  pRealm->m_pName = CopyText(name);
  pRealm->m_pUser = CopyText(user);
  pRealm->m_pPassword = CopyText(password);
  if (!pRealm->m_pName || !pRealm->m_pUser || !pRealm->m_pPassword) {
    FreeRealm(pRealm);
    return -1;
  }
  return 0;
}

static void SetType(unsigned long handle, const char* pType, long nLen) {
  Request* pReq = CurrentRequest(handle);
  if (!pReq) return;
  pReq->m_pContentType = pType;
  pReq->m_nDeclaredLen = nLen;
}

void HSTypeHtml(unsigned long handle) { SetType(handle, "text/html", -1); }

#define PAGORIC_TYPE_FN(Name, type)                                                \
  void HSType##Name(unsigned long handle, int len) { SetType(handle, type, len); } \
  void HSTypeStatic##Name(unsigned long handle, int len) { SetType(handle, type, len); }

void HSTypeStaticHtml(unsigned long handle, int len) { SetType(handle, "text/html", len); }
HS_FOR_EACH_SIZED_TYPE(PAGORIC_TYPE_FN)

static const char* AppletType(unsigned long handle) {
  Request* pReq = CurrentRequest(handle);
  return HsAppletType(pReq ? pReq->m_pPath : NULL);
}

void HSTypeApplet(unsigned long handle, int len) { SetType(handle, AppletType(handle), len); }
void HSTypeStaticApplet(unsigned long handle, int len) { SetType(handle, AppletType(handle), len); }

const char* HSGetPostData(unsigned long handle, unsigned long* len) {
  Request* pReq = CurrentRequest(handle);
  if (len) *len = pReq ? (unsigned long)pReq->m_nPostLen : 0;
  return pReq ? pReq->m_pPostData : "";
}

const char* HSGetQuery(unsigned long handle) {
  Request* pReq = CurrentRequest(handle);
  return pReq ? pReq->m_pQuery : "";
}

/* ---- Basic authentication ---- */

static int CredentialsMatch(const char* pAuthorization, const Realm* pRealm) {
  return HsCredentialsMatch(pAuthorization, pRealm->m_pUser, pRealm->m_pPassword);
}

/* ---- Connections ---- */

typedef HsHead Head;

enum { kFree, kReading, kWriting, kDraining };

typedef struct {
  int m_nFd;
  int m_nState;
  long long m_nDeadline; /* monotonic milliseconds */
  Buffer m_in;           /* the request as received */
  size_t m_nHeadEnd;     /* 0 until the head is complete, then its length */
  size_t m_nNeed;        /* head plus body, once the head is known */
  char* m_pHeadCopy;     /* the head, cut into the strings of m_head */
  Head m_head;
  char m_aHead[1024]; /* the answer's status line and headers */
  size_t m_nHeadLen;
  Buffer m_out;    /* the answer's body */
  size_t m_nSent;  /* bytes of head and body written so far */
  char m_aLog[96]; /* method and URL for the request log */
} Connection;

static Connection g_conns[kMaxConnections];
static long long g_nTimeoutMillis = 10000;
static volatile sig_atomic_t g_bStop;

static long long NowMillis(void) {
#ifdef _WIN32
  return (long long)GetTickCount64();
#else
  struct timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return (long long)ts.tv_sec * 1000 + ts.tv_nsec / 1000000;
#endif
}

/* The socket calls that differ between POSIX and Winsock. */
static void CloseSocket(int nFd) {
#ifdef _WIN32
  closesocket((SOCKET)nFd);
#else
  close(nFd);
#endif
}

static int SetNonBlocking(int nFd) {
#ifdef _WIN32
  u_long nOn = 1;
  return ioctlsocket((SOCKET)nFd, FIONBIO, &nOn) == 0 ? 0 : -1;
#else
  return fcntl(nFd, F_SETFL, fcntl(nFd, F_GETFL) | O_NONBLOCK);
#endif
}

/* True when the last socket call failed only for now (nothing to read or no
   room to write yet, or a signal). */
static int SocketWouldBlock(void) {
#ifdef _WIN32
  const int nError = WSAGetLastError();
  return nError == WSAEWOULDBLOCK || nError == WSAEINTR;
#else
  return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR;
#endif
}

static void CloseConnection(Connection* pConn) {
  CloseSocket(pConn->m_nFd);
  free(pConn->m_pHeadCopy);
  BufferFree(&pConn->m_in);
  BufferFree(&pConn->m_out);
  memset(pConn, 0, sizeof *pConn);
  pConn->m_nFd = -1;
  pConn->m_nState = kFree;
}

static const char* StatusText(int nStatus) { return HsStatusText(nStatus); }

/* Writes a realm name as the quoted string of a WWW-Authenticate header. */
static void QuoteRealm(char* pOut, size_t nRoom, const char* pName) {
  size_t n = 0;
  pOut[n++] = '"';
  for (; *pName && n + 4 < nRoom; ++pName) {
    unsigned char c = (unsigned char)*pName;
    if (c < 0x20 || c == 0x7F) continue; /* no line breaks into the header */
    if (c == '"' || c == '\\') pOut[n++] = '\\';
    pOut[n++] = (char)c;
  }
  pOut[n++] = '"';
  pOut[n] = '\0';
}

/* Makes the connection answer with the status, type and body given (the body is
   taken over), and logs the request. The answer to HEAD leaves the body out. */
static void Answer(Connection* pConn, int nStatus, const char* pType, Buffer* pBody,
                   const char* pChallenge) {
  int bHead = pConn->m_head.m_pMethod && strcmp(pConn->m_head.m_pMethod, "HEAD") == 0;
  char aRealm[300] = "";
  if (pChallenge) QuoteRealm(aRealm, sizeof aRealm, pChallenge);
  pConn->m_out = *pBody;
  memset(pBody, 0, sizeof *pBody);
  pConn->m_nHeadLen = (size_t)snprintf(
      pConn->m_aHead, sizeof pConn->m_aHead,
      "HTTP/1.1 %d %s\r\nContent-Type: %s\r\nContent-Length: %lu\r\n%s%s%s"
      "Cache-Control: no-store\r\nConnection: close\r\n\r\n",
      nStatus, StatusText(nStatus), pType, (unsigned long)pConn->m_out.m_nLen,
      pChallenge ? "WWW-Authenticate: Basic realm=" : "", aRealm, pChallenge ? "\r\n" : "");
  if (bHead) BufferFree(&pConn->m_out);
  fprintf(stderr, "%s %d %lu\n", pConn->m_aLog[0] ? pConn->m_aLog : "-", nStatus,
          (unsigned long)pConn->m_out.m_nLen);
  pConn->m_nSent = 0;
  pConn->m_nState = kWriting;
  pConn->m_nDeadline = NowMillis() + g_nTimeoutMillis;
}

static void AnswerError(Connection* pConn, int nStatus, const char* pChallenge) {
  Buffer body = {NULL, 0, 0};
  char aText[64];
  int nLen = snprintf(aText, sizeof aText, "%d %s\n", nStatus, StatusText(nStatus));
  BufferAppend(&body, aText, (size_t)nLen);
  Answer(pConn, nStatus, "text/plain", &body, pChallenge);
}

/* The page `--home URL` names; the answer to "/" when the URL table has no "/"
   entry points to it. */
static const char* g_pHome = NULL;

/* Appends text with the characters that HTML text or an attribute value
   cannot hold as they are written as references. */
static void AppendHtmlEscaped(Buffer* pBuffer, const char* pText) {
  const char* p;
  for (p = pText; *p; ++p) {
    const char* pEscaped = *p == '&' ? "&amp;" : *p == '<' ? "&lt;" : *p == '"' ? "&quot;" : NULL;
    if (pEscaped)
      BufferAppend(pBuffer, pEscaped, strlen(pEscaped));
    else
      BufferAppend(pBuffer, p, 1);
  }
}

static void AnswerNoHome(Connection* pConn) {
  static const char aHead[] =
      "<!DOCTYPE html>\n<title>404 Not Found</title>\n"
      "<p>The URL table has no entry for /. Its first page is <a href=\"";
  Buffer body = {NULL, 0, 0};
  BufferAppend(&body, aHead, sizeof aHead - 1);
  AppendHtmlEscaped(&body, g_pHome);
  BufferAppend(&body, "\">", 2);
  AppendHtmlEscaped(&body, g_pHome);
  BufferAppend(&body, "</a>.</p>\n", 11);
  Answer(pConn, 404, "text/html", &body, NULL);
}

/* ---- Request parsing ---- */

static int DecodePath(const char* pPath, char* pOut) { return HsDecodePath(pPath, pOut); }

static int ParseHead(char* pHead, Head* pOut) { return HsParseHead(pHead, pOut, kMaxRequestBody); }

/* ---- Serving ---- */

/* The URL table records the size of a binary; the device announces it as the
   length of the answer, so the preview does the same. An empty file is stored
   as one zero byte with size 0, which is why a longer body is cut. */
static void FitDeclaredLength(Request* pReq, const char* pPath) {
  size_t nDeclared = (size_t)pReq->m_nDeclaredLen;
  if (pReq->m_nDeclaredLen < 0 || nDeclared == pReq->m_body.m_nLen) return;
  if (nDeclared != 0 || pReq->m_body.m_nLen != 1)
    fprintf(stderr, "hserver: %s: the URL table gives %lu bytes, the send function sent %lu\n",
            pPath, (unsigned long)nDeclared, (unsigned long)pReq->m_body.m_nLen);
  if (nDeclared < pReq->m_body.m_nLen) pReq->m_body.m_nLen = nDeclared;
}

/* Answers a complete request: runs the URL file's routines for its URL and
   turns what they sent into the connection's answer. */
static void ServeRequest(Connection* pConn) {
  static char aRoot[] = "/";
  static char aNoQuery[] = "";
  Request* pReq = &g_request;
  char* pTarget = pConn->m_head.m_pTarget;
  char* pQuery;
  char* pPath;
  /* An absolute target names this server first; only its path matters. */
  if (strncmp(pTarget, "http://", 7) == 0) {
    pTarget = strchr(pTarget + 7, '/');
    if (!pTarget) pTarget = aRoot;
  }
  if (pTarget[0] != '/') {
    AnswerError(pConn, 400, NULL);
    return;
  }
  pQuery = strchr(pTarget, '?');
  if (pQuery)
    *pQuery++ = '\0';
  else
    pQuery = aNoQuery;
  pPath = (char*)malloc(strlen(pTarget) + 1);
  if (!pPath || !DecodePath(pTarget, pPath)) {
    AnswerError(pConn, pPath ? 400 : 500, NULL);
    free(pPath);
    return;
  }

  memset(pReq, 0, sizeof *pReq);
  if (++g_nLastHandle == 0) ++g_nLastHandle;
  pReq->m_nHandle = g_nLastHandle;
  pConn->m_in.m_pData[pConn->m_nNeed] = '\0'; /* BufferAppend leaves a spare byte */
  pReq->m_pPostData = pConn->m_in.m_pData + pConn->m_nHeadEnd;
  pReq->m_nPostLen = pConn->m_nNeed - pConn->m_nHeadEnd;
  pReq->m_pQuery = pQuery;
  pReq->m_pPath = pPath;
  pReq->m_pAuthorization = pConn->m_head.m_pAuthorization;
  pReq->m_nDeclaredLen = -1;
  pReq->m_nChallengeRealm = -1;

  AppPreprocessURL(pReq->m_nHandle, pPath);
  if (pReq->m_bDenied) {
    int nRealm = pReq->m_nChallengeRealm;
    AnswerError(pConn, 401, nRealm >= 0 ? g_realms[nRealm].m_pName : "Protected");
  } else if (!SearchURL(pReq->m_nHandle, pPath)) {
    if (g_pHome && strcmp(pPath, "/") == 0 && strcmp(g_pHome, "/") != 0)
      AnswerNoHome(pConn);
    else
      AnswerError(pConn, 404, NULL);
  } else {
    AppSearchURL(pReq->m_nHandle, pPath);
    if (pReq->m_bTooLarge) {
      fprintf(stderr, "hserver: %s: the answer is larger than %d bytes\n", pPath, kMaxAnswer);
      AnswerError(pConn, 500, NULL);
    } else {
      FitDeclaredLength(pReq, pPath);
      Answer(pConn, 200, pReq->m_pContentType ? pReq->m_pContentType : "application/octet-stream",
             &pReq->m_body, NULL);
    }
  }
  BufferFree(&pReq->m_body);
  pReq->m_nHandle = 0;
  pReq->m_pPath = NULL;
  free(pPath);
}

/* Finds the end of the head (an empty line, after CR LF or LF line ends) in the
   bytes received, looking from nFrom on; returns its length or 0. */
static size_t FindHeadEnd(const Buffer* pIn, size_t nFrom) {
  size_t i;
  for (i = nFrom; i < pIn->m_nLen; ++i) {
    if (pIn->m_pData[i] != '\n') continue;
    if (i + 1 < pIn->m_nLen && pIn->m_pData[i + 1] == '\n') return i + 2;
    if (i + 2 < pIn->m_nLen && pIn->m_pData[i + 1] == '\r' && pIn->m_pData[i + 2] == '\n')
      return i + 3;
  }
  return 0;
}

/* Called once the head has arrived: checks and parses it. Returns 0 to go on
   reading the body, or the status of the error answer. */
static int TakeHead(Connection* pConn) {
  const char* pLineEnd = memchr(pConn->m_in.m_pData, '\n', pConn->m_nHeadEnd);
  int nStatus;
  if (pLineEnd - pConn->m_in.m_pData > kMaxRequestLine) return 414;
  /* The head is parsed as C strings, so a NUL byte in it is refused. */
  if (memchr(pConn->m_in.m_pData, '\0', pConn->m_nHeadEnd)) return 400;
  pConn->m_pHeadCopy = (char*)malloc(pConn->m_nHeadEnd + 1);
  if (!pConn->m_pHeadCopy) return 500;
  memcpy(pConn->m_pHeadCopy, pConn->m_in.m_pData, pConn->m_nHeadEnd);
  pConn->m_pHeadCopy[pConn->m_nHeadEnd] = '\0';
  nStatus = ParseHead(pConn->m_pHeadCopy, &pConn->m_head);
  if (pConn->m_head.m_pTarget)
    snprintf(pConn->m_aLog, sizeof pConn->m_aLog, "%s %s", pConn->m_head.m_pMethod,
             pConn->m_head.m_pTarget);
  if (nStatus) return nStatus;
  pConn->m_nNeed = pConn->m_nHeadEnd;
  if (pConn->m_head.m_nContentLength > 0) pConn->m_nNeed += (size_t)pConn->m_head.m_nContentLength;
  if (pConn->m_head.m_bExpectContinue && pConn->m_in.m_nLen < pConn->m_nNeed) {
    static const char kContinue[] = "HTTP/1.1 100 Continue\r\n\r\n";
    /* Best effort: a client that misses it sends its body after a pause. */
    if (send(pConn->m_nFd, kContinue, sizeof kContinue - 1, MSG_NOSIGNAL) < 0) return 0;
  }
  return 0;
}

static void ReadRequest(Connection* pConn) {
  char aChunk[16 * 1024];
  /* Until the head is complete its end may arrive together with body bytes. */
  size_t nLimit = pConn->m_nHeadEnd ? pConn->m_nNeed : (size_t)kMaxHead + kMaxRequestBody;
  size_t nOld = pConn->m_in.m_nLen;
  size_t nTake;
  ssize_t nRead = recv(pConn->m_nFd, aChunk, sizeof aChunk, 0);
  if (nRead < 0 && SocketWouldBlock()) return;
  if (nRead <= 0) { /* the client went away before its request was complete */
    CloseConnection(pConn);
    return;
  }
  nTake = (size_t)nRead < nLimit - nOld ? (size_t)nRead : nLimit - nOld;
  if (!BufferAppend(&pConn->m_in, aChunk, nTake)) {
    AnswerError(pConn, 500, NULL);
    return;
  }
  if (!pConn->m_nHeadEnd) {
    int nStatus;
    pConn->m_nHeadEnd = FindHeadEnd(&pConn->m_in, nOld > 2 ? nOld - 2 : 0);
    if (!pConn->m_nHeadEnd || pConn->m_nHeadEnd > kMaxHead) {
      int bLineEnded = memchr(pConn->m_in.m_pData, '\n', pConn->m_in.m_nLen) != NULL;
      if (!bLineEnded && pConn->m_in.m_nLen > kMaxRequestLine)
        AnswerError(pConn, 414, NULL);
      else if (pConn->m_in.m_nLen >= kMaxHead)
        AnswerError(pConn, 431, NULL);
      pConn->m_nHeadEnd = 0;
      return;
    }
    nStatus = TakeHead(pConn);
    if (nStatus) {
      AnswerError(pConn, nStatus, NULL);
      return;
    }
  }
  if (pConn->m_in.m_nLen >= pConn->m_nNeed) ServeRequest(pConn);
}

static void WriteAnswer(Connection* pConn) {
  size_t nTotal = pConn->m_nHeadLen + pConn->m_out.m_nLen;
  while (pConn->m_nSent < nTotal) {
    int bInHead = pConn->m_nSent < pConn->m_nHeadLen;
    const char* pFrom = bInHead ? pConn->m_aHead + pConn->m_nSent
                                : pConn->m_out.m_pData + (pConn->m_nSent - pConn->m_nHeadLen);
    size_t nLeft = bInHead ? pConn->m_nHeadLen - pConn->m_nSent : nTotal - pConn->m_nSent;
    ssize_t nWritten = send(pConn->m_nFd, pFrom, nLeft, MSG_NOSIGNAL);
    if (nWritten < 0 && SocketWouldBlock()) return;
    if (nWritten <= 0) { /* the client went away before it had the answer */
      CloseConnection(pConn);
      return;
    }
    pConn->m_nSent += (size_t)nWritten;
    pConn->m_nDeadline = NowMillis() + g_nTimeoutMillis;
  }
  /* Closing at once would reset the connection if the client is still sending,
     which can destroy the answer before it is read; let it finish first. */
  shutdown(pConn->m_nFd, SHUT_WR);
  BufferFree(&pConn->m_in);
  BufferFree(&pConn->m_out);
  pConn->m_nState = kDraining;
  pConn->m_nDeadline = NowMillis() + kDrainMillis;
}

static void Drain(Connection* pConn) {
  char aChunk[16 * 1024];
  ssize_t nRead = recv(pConn->m_nFd, aChunk, sizeof aChunk, 0);
  if (nRead < 0 && SocketWouldBlock()) return;
  if (nRead <= 0) CloseConnection(pConn);
}

static void OnDeadline(Connection* pConn) {
  if (pConn->m_nState == kReading && pConn->m_in.m_nLen > 0)
    AnswerError(pConn, 408, NULL);
  else
    CloseConnection(pConn);
}

static void AcceptConnections(int nListenFd) {
  int nSlot;
  for (nSlot = 0; nSlot < kMaxConnections; ++nSlot) {
    Connection* pConn = &g_conns[nSlot];
    int nFd;
    if (pConn->m_nState != kFree) continue;
    nFd = (int)accept(nListenFd, NULL, NULL);
    if (nFd < 0) return;
    if (SetNonBlocking(nFd) < 0) {
      CloseSocket(nFd);
      continue;
    }
    pConn->m_nFd = nFd;
    pConn->m_nState = kReading;
    pConn->m_nDeadline = NowMillis() + g_nTimeoutMillis;
  }
}

/* Waits for the next events and handles them. A full connection table leaves
   new clients waiting in the listen queue. */
static void ServeOnce(int nListenFd) {
  struct pollfd aFds[kMaxConnections + 1];
  Connection* apConns[kMaxConnections + 1];
  int nFds = 0, nWait = 1000, i, bRoom = 0;
  long long nNow = NowMillis();
  for (i = 0; i < kMaxConnections; ++i) {
    Connection* pConn = &g_conns[i];
    long long nLeft;
    if (pConn->m_nState == kFree) {
      bRoom = 1;
      continue;
    }
    nLeft = pConn->m_nDeadline - nNow;
    if (nLeft < nWait) nWait = nLeft < 0 ? 0 : (int)nLeft;
    aFds[nFds].fd = pConn->m_nFd;
    aFds[nFds].events = pConn->m_nState == kWriting ? POLLOUT : POLLIN;
    aFds[nFds].revents = 0;
    apConns[nFds++] = pConn;
  }
  if (bRoom) {
    aFds[nFds].fd = nListenFd;
    aFds[nFds].events = POLLIN;
    aFds[nFds].revents = 0;
    apConns[nFds++] = NULL;
  }
  if (poll(aFds, (nfds_t)nFds, nWait) < 0) return; /* EINTR: the caller checks for a stop */
  for (i = 0; i < nFds; ++i) {
    Connection* pConn = apConns[i];
    if (!aFds[i].revents) continue;
    if (!pConn)
      AcceptConnections(nListenFd);
    else if (pConn->m_nState == kReading)
      ReadRequest(pConn);
    else if (pConn->m_nState == kWriting)
      WriteAnswer(pConn);
    else
      Drain(pConn);
  }
  nNow = NowMillis();
  for (i = 0; i < kMaxConnections; ++i)
    if (g_conns[i].m_nState != kFree && g_conns[i].m_nDeadline <= nNow) OnDeadline(&g_conns[i]);
}

/* ---- Start-up ---- */

static void OnStopSignal(int nSignal) {
  (void)nSignal;
  g_bStop = 1;
}

static int ParseNumber(const char* pText, long nMin, long nMax, long* pOut) {
  char* pEnd;
  long nValue;
  if (!pText || *pText < '0' || *pText > '9') return 0;
  errno = 0;
  nValue = strtol(pText, &pEnd, 10);
  if (errno || *pEnd || nValue < nMin || nValue > nMax) return 0;
  *pOut = nValue;
  return 1;
}

static int OpenListener(long nPort) {
  struct sockaddr_in addr;
  socklen_t nAddrLen = sizeof addr;
  int nOn = 1;
  int nFd = (int)socket(AF_INET, SOCK_STREAM, 0);
  if (nFd < 0) return -1;
  memset(&addr, 0, sizeof addr);
  addr.sin_family = AF_INET;
  addr.sin_port = htons((unsigned short)nPort);
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (setsockopt(nFd, SOL_SOCKET, SO_REUSEADDR, (const char*)&nOn, sizeof nOn) < 0 ||
      bind(nFd, (struct sockaddr*)&addr, sizeof addr) < 0 || listen(nFd, 64) < 0 ||
      SetNonBlocking(nFd) < 0 || getsockname(nFd, (struct sockaddr*)&addr, &nAddrLen) < 0) {
    int nError = errno;
#ifdef _WIN32
    nError = WSAGetLastError() == WSAEADDRINUSE ? EADDRINUSE : EACCES;
#endif
    CloseSocket(nFd);
    errno = nError;
    return -1;
  }
  printf("Serving on http://127.0.0.1:%d/\n", ntohs(addr.sin_port));
  fflush(stdout);
  return nFd;
}

int main(int argc, char** argv) {
#ifdef _WIN32
  WSADATA wsa;
#else
  struct sigaction stop;
#endif
  long nPort = 8080, nTimeout = 10;
  int nListenFd, i;
  for (i = 1; i < argc; ++i) {
    if (strcmp(argv[i], "--port") == 0 && ParseNumber(argv[i + 1], 0, 65535, &nPort)) {
      ++i;
    } else if (strcmp(argv[i], "--timeout") == 0 && ParseNumber(argv[i + 1], 1, 3600, &nTimeout)) {
      ++i;
    } else if (strcmp(argv[i], "--home") == 0 && i + 1 < argc && argv[i + 1][0] == '/') {
      g_pHome = argv[++i];
    } else {
      fprintf(stderr, "usage: %s [--port N] [--timeout SECONDS] [--home URL]\n", argv[0]);
      return 2;
    }
  }
  g_nTimeoutMillis = nTimeout * 1000;
#ifdef _WIN32
  if (WSAStartup(MAKEWORD(2, 2), &wsa) != 0) {
    fprintf(stderr, "%s: cannot start Winsock\n", argv[0]);
    return 1;
  }
  signal(SIGINT, OnStopSignal); /* Ctrl+C in the console */
  signal(SIGTERM, OnStopSignal);
#else
  signal(SIGPIPE, SIG_IGN);
  memset(&stop, 0, sizeof stop);
  stop.sa_handler = OnStopSignal;
  sigemptyset(&stop.sa_mask);
  sigaction(SIGTERM, &stop, NULL);
  sigaction(SIGINT, &stop, NULL);
#endif
  for (i = 0; i < kMaxConnections; ++i) g_conns[i].m_nFd = -1;

  HSInitSecurityTable();
  nListenFd = OpenListener(nPort);
  if (nListenFd < 0) {
    fprintf(stderr, "%s: cannot listen on 127.0.0.1:%ld: %s\n", argv[0], nPort, strerror(errno));
    return 1;
  }
  while (!g_bStop) ServeOnce(nListenFd);

  for (i = 0; i < kMaxConnections; ++i)
    if (g_conns[i].m_nState != kFree) CloseConnection(&g_conns[i]);
  for (i = 0; i < kRealmCount; ++i) FreeRealm(&g_realms[i]);
  CloseSocket(nListenFd);
  return 0;
}
