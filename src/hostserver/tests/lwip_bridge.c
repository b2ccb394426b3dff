/*
 * lwip_bridge.c: runs the server library on lwIP inside this process, so the
 * host's tests can fetch pages through lwIP's own TCP/IP stack.
 *
 * lwIP (Debian's liblwip, with its tcpip thread) gets one network interface,
 * 10.0.0.1, whose packets to itself loop back inside lwIP. The server library
 * serves port 80 there with the lwIP transport (hs_socket.c compiled with
 * HS_TRANSPORT_LWIP). Every connection a client makes to the host port this
 * program prints is carried over an lwIP client socket to that server: the
 * request, the answer and every byte between them cross lwIP's TCP.
 *
 *   lwip_bridge [--port N]     prints "Serving on http://127.0.0.1:N/"
 */
#define _POSIX_C_SOURCE 200809L

#include <arpa/inet.h>
#include <netinet/in.h>
#include <pthread.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include "hsserver.h"
#include "lwip/inet.h"
#include "lwip/netif.h"
#include "lwip/sockets.h"
#include "lwip/tcpip.h"

enum { kServerPort = 80 };

static struct netif g_netif;
static volatile int g_bReady;
static volatile int g_bStop;

/* Packets to other hosts have nowhere to go; those to 10.0.0.1 itself loop
   back inside lwIP before they reach this function. */
static err_t DropOutput(struct netif* pNetif, struct pbuf* pPacket, const ip4_addr_t* pAddr) {
  (void)pNetif;
  (void)pPacket;
  (void)pAddr;
  return ERR_OK;
}

static err_t InitNetif(struct netif* pNetif) {
  pNetif->name[0] = 'h';
  pNetif->name[1] = 's';
  pNetif->mtu = 1500;
  pNetif->output = DropOutput;
  return ERR_OK;
}

/* Runs on lwIP's tcpip thread once the stack is up. */
static void OnStackUp(void* pArg) {
  ip4_addr_t addr, mask, gateway;
  (void)pArg;
  IP4_ADDR(&addr, 10, 0, 0, 1);
  IP4_ADDR(&mask, 255, 255, 255, 0);
  IP4_ADDR(&gateway, 10, 0, 0, 254);
  netif_add(&g_netif, &addr, &mask, &gateway, NULL, InitNetif, tcpip_input);
  netif_set_default(&g_netif);
  netif_set_up(&g_netif);
  netif_set_link_up(&g_netif);
  g_bReady = 1;
}

static int g_nLwipListener = -1;

static void* ServeOnLwip(void* pArg) {
  (void)pArg;
  HSServeListener(g_nLwipListener, &g_bStop);
  return NULL;
}

typedef struct {
  int m_nHost; /* the client's connection on the host */
  int m_nLwip; /* its way to the server through lwIP */
} Pair;

/* Host to lwIP: the request. */
static void* Upstream(void* pArg) {
  Pair* pPair = (Pair*)pArg;
  char aChunk[4096];
  ssize_t nRead;
  while ((nRead = recv(pPair->m_nHost, aChunk, sizeof aChunk, 0)) > 0) {
    const char* p = aChunk;
    while (nRead > 0) {
      ssize_t nSent = lwip_send(pPair->m_nLwip, p, (size_t)nRead, 0);
      if (nSent <= 0) return NULL;
      p += nSent;
      nRead -= nSent;
    }
  }
  return NULL;
}

/* lwIP to host: the answer, until the server closes. */
static void* Carry(void* pArg) {
  Pair* pPair = (Pair*)pArg;
  struct sockaddr_in server;
  pthread_t upstream;
  char aChunk[4096];
  ssize_t nRead;
  pPair->m_nLwip = lwip_socket(AF_INET, SOCK_STREAM, 0);
  memset(&server, 0, sizeof server);
  server.sin_family = AF_INET;
  server.sin_port = lwip_htons(kServerPort);
  server.sin_addr.s_addr = lwip_htonl(0x0A000001UL);
  if (pPair->m_nLwip < 0 ||
      lwip_connect(pPair->m_nLwip, (struct sockaddr*)&server, sizeof server) < 0) {
    fprintf(stderr, "lwip_bridge: cannot connect through lwIP\n");
    close(pPair->m_nHost);
    if (pPair->m_nLwip >= 0) lwip_close(pPair->m_nLwip);
    free(pPair);
    return NULL;
  }
  pthread_create(&upstream, NULL, Upstream, pPair);
  while ((nRead = lwip_recv(pPair->m_nLwip, aChunk, sizeof aChunk, 0)) > 0) {
    if (send(pPair->m_nHost, aChunk, (size_t)nRead, MSG_NOSIGNAL) != nRead) break;
  }
  shutdown(pPair->m_nHost, SHUT_RDWR); /* ends the upstream's recv */
  lwip_shutdown(pPair->m_nLwip, SHUT_RDWR);
  pthread_join(upstream, NULL);
  lwip_close(pPair->m_nLwip);
  close(pPair->m_nHost);
  free(pPair);
  return NULL;
}

static void OnStop(int nSignal) {
  (void)nSignal;
  g_bStop = 1;
}

int main(int argc, char** argv) {
  struct sockaddr_in addr;
  socklen_t nLen = sizeof addr;
  struct timespec pause = {0, 10 * 1000 * 1000};
  pthread_t server;
  int nListen, nOn = 1;
  long nPort = 0;
  if (argc == 3 && strcmp(argv[1], "--port") == 0) nPort = strtol(argv[2], NULL, 10);
  signal(SIGPIPE, SIG_IGN);
  signal(SIGTERM, OnStop);
  signal(SIGINT, OnStop);

  tcpip_init(OnStackUp, NULL);
  while (!g_bReady) nanosleep(&pause, NULL);
  HSServerInit();
  /* The server listens before the first client can come. */
  g_nLwipListener = HSOpenListener(0x0A000001UL, kServerPort, NULL);
  if (g_nLwipListener < 0) {
    fprintf(stderr, "lwip_bridge: the server cannot listen on 10.0.0.1:%d\n", kServerPort);
    return 1;
  }
  pthread_create(&server, NULL, ServeOnLwip, NULL);

  nListen = socket(AF_INET, SOCK_STREAM, 0);
  memset(&addr, 0, sizeof addr);
  addr.sin_family = AF_INET;
  addr.sin_port = htons((unsigned short)nPort);
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  setsockopt(nListen, SOL_SOCKET, SO_REUSEADDR, &nOn, sizeof nOn);
  if (bind(nListen, (struct sockaddr*)&addr, sizeof addr) < 0 || listen(nListen, 16) < 0 ||
      getsockname(nListen, (struct sockaddr*)&addr, &nLen) < 0) {
    perror("lwip_bridge");
    return 1;
  }
  printf("Serving on http://127.0.0.1:%d/\n", ntohs(addr.sin_port));
  fflush(stdout);
  while (!g_bStop) {
    pthread_t carrier;
    Pair* pPair;
    int nHost = accept(nListen, NULL, NULL);
    if (nHost < 0) continue;
    pPair = (Pair*)calloc(1, sizeof *pPair);
    if (!pPair) {
      close(nHost);
      continue;
    }
    pPair->m_nHost = nHost;
    pthread_create(&carrier, NULL, Carry, pPair);
    pthread_detach(carrier);
  }
  close(nListen);
  return 0;
}
