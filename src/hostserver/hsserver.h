/*
 * hsserver.h: the web server for a project's generated files, as a library a
 * firmware links. It implements hservapi.h (HSSend, HSSendBinary,
 * HSPageAuthenticate, HSSetRealm, the HSType... functions, HSGetPostData,
 * HSGetQuery) and answers HTTP/1.x requests through the URL file's routines.
 *
 * It owns no sockets: a transport hands it one connection at a time as an
 * HSStream (two functions that receive and send bytes). hs_socket.c is the
 * transport for BSD-style sockets: POSIX, or lwIP's socket API when compiled
 * with HS_TRANSPORT_LWIP.
 *
 * Memory is bounded and static: no allocation at all. Each request being
 * served uses one HSRequestSlot (its head, its POST body and its send buffer);
 * HS_MAX_REQUESTS slots exist, one per connection served at the same time.
 * The answer streams out as the send functions produce it: pages without a
 * Content-Length, binaries with the size the URL table records; every
 * connection closes after its answer. C99, no system calls.
 *
 * Options (define them before compiling hsserver.c, e.g. -DHS_MAX_HEAD=4096):
 *   HS_MAX_HEAD       bytes of request line and headers   (default 2048)
 *   HS_MAX_BODY       bytes of POST data                   (default 2048)
 *   HS_SEND_BUFFER    bytes gathered before each send      (default 1024)
 *   HS_MAX_REQUESTS   requests served at the same time     (default 4)
 *   HS_MAX_REALM_TEXT longest realm name, user or password (default 63)
 */
#ifndef PAGORIC_HSSERVER_H
#define PAGORIC_HSSERVER_H

#include "hservapi.h"

#ifdef __cplusplus
extern "C" {
#endif

/* One connection as the transport offers it. m_pRecv reads up to nLen bytes
   into pBuffer and returns how many (0: the peer closed, negative: an error or
   a timeout). m_pSend writes all nLen bytes and returns 0, or negative when
   the connection failed. */
typedef struct {
  int (*m_pRecv)(void* pContext, char* pBuffer, unsigned nLen);
  int (*m_pSend)(void* pContext, const char* pData, unsigned nLen);
  void* m_pContext;
} HSStream;

/* Sets up the realms (calls the URL file's HSInitSecurityTable). Call it once
   before the first request. */
void HSServerInit(void);

/* Reads one request from the stream, answers it and returns the HTTP status
   sent (0 when the peer went away before a complete request). The caller
   closes the connection afterwards. Safe to call from several tasks at once
   when HS_MAX_REQUESTS allows and the transport's functions are; the slot is
   taken through HS_LOCK()/HS_UNLOCK() (define them for your RTOS; by default
   they do nothing, which suits one serving task). */
int HSServeStream(const HSStream* pStream);

/* hs_socket.c: serves connections on a TCP port until *pStop becomes non-zero
   (checked after each connection and each accept timeout). With one serving
   task it answers one connection after the other. Returns 0 when stopped, -1
   when the port cannot be opened. nAddress is the IPv4 address to listen on in
   host byte order (0: every address). */
int HSServeSockets(unsigned long nAddress, unsigned short nPort, volatile int* pStop);
/* The two halves of HSServeSockets: a listening socket (port 0 picks a free
   one, told in *pBoundPort), and the loop that serves it and closes it. */
int HSOpenListener(unsigned long nAddress, unsigned short nPort, unsigned short* pBoundPort);
int HSServeListener(int nListen, volatile int* pStop);

#ifdef __cplusplus
}
#endif

#endif /* PAGORIC_HSSERVER_H */
