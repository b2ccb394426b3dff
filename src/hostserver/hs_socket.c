/*
 * hs_socket.c: the socket transport of the server library (hsserver.h). The
 * same code serves on POSIX sockets, on Winsock (Windows; link ws2_32) and,
 * compiled with HS_TRANSPORT_LWIP, on lwIP's socket API (lwip_socket,
 * lwip_accept, lwip_recv, lwip_send, ...): a firmware links this file,
 * hsserver.c and its generated files.
 */
#ifndef _POSIX_C_SOURCE
#define _POSIX_C_SOURCE 200809L /* and lwIP's port on a POSIX host wants SSIZE_MAX */
#endif
#ifdef HS_TRANSPORT_LWIP
#include "lwip/def.h"
#include "lwip/inet.h"
#include "lwip/sockets.h"
#define HS_SOCKET lwip_socket
#define HS_SETSOCKOPT lwip_setsockopt
#define HS_BIND lwip_bind
#define HS_LISTEN lwip_listen
#define HS_ACCEPT lwip_accept
#define HS_RECV lwip_recv
#define HS_SEND lwip_send
#define HS_CLOSE lwip_close
#define HS_SHUTDOWN lwip_shutdown
#define HS_GETSOCKNAME lwip_getsockname
#define HS_HTONS lwip_htons
#define HS_HTONL lwip_htonl
#define HS_NTOHS lwip_ntohs
#define HS_SEND_FLAGS 0
#elif defined(_WIN32)
#include <winsock2.h>
#include <ws2tcpip.h>
#define HS_SOCKET socket
#define HS_SETSOCKOPT(s, l, o, v, n) setsockopt(s, l, o, (const char*)(v), n)
#define HS_BIND bind
#define HS_LISTEN listen
#define HS_ACCEPT(s, a, n) (int)accept(s, a, n)
#define HS_RECV(s, b, n, f) recv(s, b, (int)(n), f)
#define HS_SEND(s, b, n, f) send(s, b, (int)(n), f)
#define HS_CLOSE closesocket
#define HS_SHUTDOWN shutdown
#define HS_GETSOCKNAME getsockname
#define HS_HTONS htons
#define HS_HTONL htonl
#define HS_NTOHS ntohs
#define HS_SEND_FLAGS 0 /* Winsock raises no signal on a closed connection */
#define SHUT_WR SD_SEND
#else
#include <arpa/inet.h>
#include <errno.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>
#define HS_SOCKET socket
#define HS_SETSOCKOPT setsockopt
#define HS_BIND bind
#define HS_LISTEN listen
#define HS_ACCEPT accept
#define HS_RECV recv
#define HS_SEND send
#define HS_CLOSE close
#define HS_SHUTDOWN shutdown
#define HS_GETSOCKNAME getsockname
#define HS_HTONS htons
#define HS_HTONL htonl
#define HS_NTOHS ntohs
#ifdef MSG_NOSIGNAL
#define HS_SEND_FLAGS MSG_NOSIGNAL
#else
#define HS_SEND_FLAGS 0 /* macOS: SO_NOSIGPIPE is set on each connection */
#endif
#endif

#include <string.h>

#include "hsserver.h"

#ifndef HS_RECV_TIMEOUT_MS
#define HS_RECV_TIMEOUT_MS 10000 /* how long a client may take to send */
#endif
#ifndef HS_ACCEPT_TIMEOUT_MS
#define HS_ACCEPT_TIMEOUT_MS 500 /* how often the stop flag is looked at */
#endif
#ifndef HS_SEND_TIMEOUT_MS
#define HS_SEND_TIMEOUT_MS 10000 /* how long a client may leave the answer unread */
#endif
#ifndef HS_DRAIN_TIMEOUT_MS
#define HS_DRAIN_TIMEOUT_MS 200 /* how long the rest of a request is read after the answer */
#endif

static int SocketRecv(void* pContext, char* pBuffer, unsigned nLen) {
  return (int)HS_RECV(*(int*)pContext, pBuffer, nLen, 0);
}

static int SocketSend(void* pContext, const char* pData, unsigned nLen) {
  while (nLen > 0) {
    int nSent = (int)HS_SEND(*(int*)pContext, pData, nLen, HS_SEND_FLAGS);
    if (nSent <= 0) return -1;
    pData += nSent;
    nLen -= (unsigned)nSent;
  }
  return 0;
}

static void SetTimeout(int nFd, int nOption, int nMillis) {
#if defined(_WIN32) && !defined(HS_TRANSPORT_LWIP)
  DWORD nTimeout = (DWORD)nMillis; /* Winsock takes milliseconds */
  HS_SETSOCKOPT(nFd, SOL_SOCKET, nOption, &nTimeout, sizeof nTimeout);
#else
  struct timeval tv;
  tv.tv_sec = nMillis / 1000;
  tv.tv_usec = (nMillis % 1000) * 1000;
  HS_SETSOCKOPT(nFd, SOL_SOCKET, nOption, &tv, sizeof tv);
#endif
}

/* After the answer: what the client still sends (the rest of a refused
   request) is read and dropped for a short while, as closing a socket with
   unread data resets the connection and can destroy the answer before the
   client has read it. */
static void DrainAndClose(int nFd) {
  char aChunk[256];
  int nRounds = 0;
  HS_SHUTDOWN(nFd, SHUT_WR);
  SetTimeout(nFd, SO_RCVTIMEO, HS_DRAIN_TIMEOUT_MS);
  while (nRounds++ < 64 && HS_RECV(nFd, aChunk, sizeof aChunk, 0) > 0) {
  }
  HS_CLOSE(nFd);
}

int HSOpenListener(unsigned long nAddress, unsigned short nPort, unsigned short* pBoundPort) {
  struct sockaddr_in addr;
  socklen_t nLen = sizeof addr;
  int nOn = 1;
  int nListen;
#if defined(_WIN32) && !defined(HS_TRANSPORT_LWIP)
  WSADATA wsa;
  if (WSAStartup(MAKEWORD(2, 2), &wsa) != 0) return -1;
#endif
  nListen = (int)HS_SOCKET(AF_INET, SOCK_STREAM, 0);
  if (nListen < 0) return -1;
  memset(&addr, 0, sizeof addr);
  addr.sin_family = AF_INET;
  addr.sin_port = HS_HTONS(nPort);
  addr.sin_addr.s_addr = HS_HTONL(nAddress);
  HS_SETSOCKOPT(nListen, SOL_SOCKET, SO_REUSEADDR, &nOn, sizeof nOn);
  if (HS_BIND(nListen, (struct sockaddr*)&addr, sizeof addr) < 0 || HS_LISTEN(nListen, 4) < 0 ||
      HS_GETSOCKNAME(nListen, (struct sockaddr*)&addr, &nLen) < 0) {
    HS_CLOSE(nListen);
    return -1;
  }
  if (pBoundPort) *pBoundPort = HS_NTOHS(addr.sin_port);
  SetTimeout(nListen, SO_RCVTIMEO, HS_ACCEPT_TIMEOUT_MS);
  return nListen;
}

int HSServeListener(int nListen, volatile int* pStop) {
#if !defined(HS_TRANSPORT_LWIP) && !defined(MSG_NOSIGNAL) && defined(SO_NOSIGPIPE)
  int nOn = 1;
#endif
  while (!pStop || !*pStop) {
    HSStream stream;
    int nFd = HS_ACCEPT(nListen, NULL, NULL);
    if (nFd < 0) continue; /* a timeout or a signal: look at the stop flag again */
#if !defined(HS_TRANSPORT_LWIP) && !defined(MSG_NOSIGNAL) && defined(SO_NOSIGPIPE)
    HS_SETSOCKOPT(nFd, SOL_SOCKET, SO_NOSIGPIPE, &nOn, sizeof nOn);
#endif
    SetTimeout(nFd, SO_RCVTIMEO, HS_RECV_TIMEOUT_MS);
    SetTimeout(nFd, SO_SNDTIMEO, HS_SEND_TIMEOUT_MS);
    stream.m_pRecv = SocketRecv;
    stream.m_pSend = SocketSend;
    stream.m_pContext = &nFd;
    HSServeStream(&stream);
    DrainAndClose(nFd);
  }
  HS_CLOSE(nListen);
  return 0;
}

int HSServeSockets(unsigned long nAddress, unsigned short nPort, volatile int* pStop) {
  const int nListen = HSOpenListener(nAddress, nPort, NULL);
  return nListen < 0 ? -1 : HSServeListener(nListen, pStop);
}
