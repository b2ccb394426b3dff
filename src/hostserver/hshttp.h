/*
 * hshttp.h: the HTTP pieces both of our servers share: the host server that
 * previews a project (hserver.c) and the server library a firmware links
 * (hsserver.c). Request heads, URL paths, basic authentication, status texts
 * and the types of the catch-all HSTypeApplet. Plain C99 without allocation or
 * system calls; every function is local to its file, so each server compiles its own copy
 * and no symbol clashes with a firmware's own.
 */
#ifndef PAGORIC_HSHTTP_H
#define PAGORIC_HSHTTP_H

#include <stddef.h>
#include <stdlib.h>
#include <string.h>

/* Each server uses what it needs; an unused one is no warning. */
#define HS_LOCAL static inline

/* Compares ASCII letters without regard to case; used for header names and the
   few header values with a fixed vocabulary. With bPrefix, pB may be a prefix. */
HS_LOCAL int HsMatchNoCase(const char* pA, const char* pB, int bPrefix) {
  for (; *pA && *pB; ++pA, ++pB) {
    int a = *pA >= 'A' && *pA <= 'Z' ? *pA + 32 : *pA;
    int b = *pB >= 'A' && *pB <= 'Z' ? *pB + 32 : *pB;
    if (a != b) return 0;
  }
  return *pB == '\0' && (bPrefix || *pA == '\0');
}

HS_LOCAL int HsEqualsNoCase(const char* pA, const char* pB) { return HsMatchNoCase(pA, pB, 0); }

HS_LOCAL int HsBase64Value(int c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

/* True when an Authorization header value ("Basic " + base64 of user:password)
   names exactly this user and password. The base64 text is decoded byte by
   byte against the expected text, so no buffer is needed. */
HS_LOCAL int HsCredentialsMatch(const char* pAuthorization, const char* pUser,
                              const char* pPassword) {
  size_t nUser = strlen(pUser), nPassword = strlen(pPassword), nAt = 0;
  unsigned long nBits = 0;
  int nBitCount = 0;
  if (!pAuthorization || !HsMatchNoCase(pAuthorization, "Basic ", 1)) return 0;
  pAuthorization += 6;
  while (*pAuthorization == ' ') ++pAuthorization;
  for (; *pAuthorization && *pAuthorization != '='; ++pAuthorization) {
    int nValue = HsBase64Value((unsigned char)*pAuthorization);
    if (nValue < 0) return 0;
    nBits = ((nBits << 6) | (unsigned long)nValue) & 0xFFFFFF;
    nBitCount += 6;
    if (nBitCount >= 8) {
      char c, expected;
      nBitCount -= 8;
      c = (char)((nBits >> nBitCount) & 0xFF);
      if (nAt < nUser)
        expected = pUser[nAt];
      else if (nAt == nUser)
        expected = ':';
      else if (nAt - nUser - 1 < nPassword)
        expected = pPassword[nAt - nUser - 1];
      else
        return 0;
      if (c != expected) return 0;
      ++nAt;
    }
  }
  while (*pAuthorization == '=') ++pAuthorization;
  return !*pAuthorization && nAt == nUser + 1 + nPassword;
}

HS_LOCAL int HsHexValue(int c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

/* Turns the path of a request target into the form the URL table stores: every
   %XX becomes its byte, except %20, which stays, since the table writes blanks
   that way. pOut has room for strlen(pPath) + 1 (it may be pPath itself).
   Returns 0 for a path that would hold a NUL byte. */
HS_LOCAL int HsDecodePath(const char* pPath, char* pOut) {
  for (; *pPath; ++pPath) {
    int nHigh = pPath[0] == '%' ? HsHexValue((unsigned char)pPath[1]) : -1;
    int nLow = nHigh >= 0 ? HsHexValue((unsigned char)pPath[2]) : -1;
    int c = nHigh * 16 + nLow;
    if (nLow < 0 || c == ' ') {
      *pOut++ = *pPath;
      continue;
    }
    if (c == 0) return 0;
    *pOut++ = (char)c;
    pPath += 2;
  }
  *pOut = '\0';
  return 1;
}

/* The parts of a request head, pointing into the head that HsParseHead cuts
   into NUL-terminated strings. */
typedef struct {
  char* m_pMethod;
  char* m_pTarget;
  const char* m_pAuthorization;
  long m_nContentLength; /* -1 when the head gives none */
  int m_bExpectContinue;
} HsHead;

/* Cuts a NUL-terminated head (which ends in an empty line) into its parts.
   Returns 0, or the status that answers a head we cannot serve (a body longer
   than nMaxBody is 413). */
HS_LOCAL int HsParseHead(char* pHead, HsHead* pOut, long nMaxBody) {
  char* pLine = pHead;
  char* pEnd = strchr(pLine, '\n');
  char* pVersion;
  char* p;
  memset(pOut, 0, sizeof *pOut);
  pOut->m_nContentLength = -1;
  if (!pEnd) return 400;
  if (pEnd > pLine && pEnd[-1] == '\r') pEnd[-1] = '\0';
  *pEnd = '\0';
  for (p = pLine; *p; ++p)
    if ((unsigned char)*p < 0x20 || (unsigned char)*p == 0x7F) return 400;
  pOut->m_pMethod = pLine;
  pOut->m_pTarget = strchr(pLine, ' ');
  if (!pOut->m_pTarget) return 400;
  *pOut->m_pTarget++ = '\0';
  pVersion = strchr(pOut->m_pTarget, ' ');
  if (!pVersion) return 400;
  *pVersion++ = '\0';
  if (strncmp(pVersion, "HTTP/1.", 7) != 0 || pVersion[7] < '0' || pVersion[7] > '9' ||
      pVersion[8] != '\0' || !*pOut->m_pMethod)
    return 400;

  for (pLine = pEnd + 1; *pLine && *pLine != '\r' && *pLine != '\n'; pLine = pEnd + 1) {
    char* pColon;
    char* pValue;
    char* pStop;
    pEnd = strchr(pLine, '\n');
    if (!pEnd) return 400;
    if (pEnd[-1] == '\r') pEnd[-1] = '\0';
    *pEnd = '\0';
    pColon = strchr(pLine, ':');
    if (!pColon || pColon == pLine) return 400;
    *pColon = '\0';
    /* A folded line or a name with blanks is refused rather than guessed at. */
    if (strpbrk(pLine, " \t")) return 400;
    for (pValue = pColon + 1; *pValue == ' ' || *pValue == '\t'; ++pValue) {
    }
    for (pStop = pValue + strlen(pValue);
         pStop > pValue && (pStop[-1] == ' ' || pStop[-1] == '\t');)
      *--pStop = '\0';
    for (p = pValue; *p; ++p)
      if (((unsigned char)*p < 0x20 && *p != '\t') || (unsigned char)*p == 0x7F) return 400;
    if (HsEqualsNoCase(pLine, "Content-Length")) {
      long nLen = 0;
      if (!*pValue || strspn(pValue, "0123456789") != strlen(pValue)) return 400;
      if (strlen(pValue) > 9) return 413;
      nLen = strtol(pValue, NULL, 10);
      if (pOut->m_nContentLength >= 0 && pOut->m_nContentLength != nLen) return 400;
      pOut->m_nContentLength = nLen;
    } else if (HsEqualsNoCase(pLine, "Transfer-Encoding")) {
      return 501;
    } else if (HsEqualsNoCase(pLine, "Authorization")) {
      pOut->m_pAuthorization = pValue;
    } else if (HsEqualsNoCase(pLine, "Expect")) {
      pOut->m_bExpectContinue = HsEqualsNoCase(pValue, "100-continue");
    }
  }
  if (pOut->m_nContentLength > nMaxBody) return 413;
  if (strcmp(pOut->m_pMethod, "GET") != 0 && strcmp(pOut->m_pMethod, "HEAD") != 0 &&
      strcmp(pOut->m_pMethod, "POST") != 0)
    return 501;
  return 0;
}

HS_LOCAL const char* HsStatusText(int nStatus) {
  switch (nStatus) {
    case 200:
      return "OK";
    case 400:
      return "Bad Request";
    case 401:
      return "Unauthorized";
    case 404:
      return "Not Found";
    case 408:
      return "Request Timeout";
    case 413:
      return "Content Too Large";
    case 414:
      return "URI Too Long";
    case 431:
      return "Request Header Fields Too Large";
    case 501:
      return "Not Implemented";
    default:
      return "Internal Server Error";
  }
}

/* The content type of every HSType function that takes a size, but Applet
   (whose type comes from the URL): X(Name, type) for each. */
#define HS_FOR_EACH_SIZED_TYPE(X) \
  X(Text, "text/plain")           \
  X(Jpeg, "image/jpeg")           \
  X(Gif, "image/gif")             \
  X(Tiff, "image/tiff")           \
  X(Pict, "image/x-pict")         \
  X(Png, "image/png")             \
  X(Asf, "video/x-ms-asf")        \
  X(Xbm, "image/x-xbitmap")       \
  X(Wav, "audio/wav")             \
  X(Au, "audio/basic")

/* Every file of a kind without its own type function (style sheets, scripts,
 * fonts, ...) is sent through HSTypeApplet. A browser ignores a style sheet or
 * a module script that comes as application/octet-stream, so the type is
 * chosen from the URL's extension; .class and unknown extensions stay
 * application/octet-stream. */
HS_LOCAL const char* HsAppletType(const char* pPath) {
  static const struct {
    const char* m_pExtension;
    const char* m_pType;
  } aTypes[] = {
      {".css", "text/css"},        {".js", "text/javascript"},    {".mjs", "text/javascript"},
      {".svg", "image/svg+xml"},   {".json", "application/json"}, {".ico", "image/x-icon"},
      {".woff2", "font/woff2"},    {".woff", "font/woff"},        {".wasm", "application/wasm"},
      {".xml", "application/xml"}, {".pdf", "application/pdf"},   {".mp3", "audio/mpeg"},
  };
  const char* pDot;
  size_t i;
  if (!pPath) return "application/octet-stream";
  pDot = strrchr(pPath, '.');
  if (!pDot || strchr(pDot, '/')) return "application/octet-stream";
  for (i = 0; i < sizeof aTypes / sizeof aTypes[0]; ++i) {
    const char* a = pDot;
    const char* b = aTypes[i].m_pExtension;
    while (*a && *b && (*a >= 'A' && *a <= 'Z' ? *a + 32 : *a) == *b) ++a, ++b;
    if (!*a && !*b) return aTypes[i].m_pType;
  }
  return "application/octet-stream";
}

#endif /* PAGORIC_HSHTTP_H */
