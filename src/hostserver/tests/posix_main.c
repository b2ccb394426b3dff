/*
 * posix_main.c: the server library on POSIX sockets as a program, for the
 * tests: serves 127.0.0.1 until SIGTERM.
 *
 *   server [--port N]     prints "Serving on http://127.0.0.1:N/"
 */
#define _POSIX_C_SOURCE 200809L

#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "hsserver.h"

static volatile int g_bStop;

static void OnStop(int nSignal) {
  (void)nSignal;
  g_bStop = 1;
}

int main(int argc, char** argv) {
  struct sigaction stop;
  unsigned short nPort = 0;
  int nListen;
  if (argc == 3 && strcmp(argv[1], "--port") == 0) nPort = (unsigned short)atoi(argv[2]);
  memset(&stop, 0, sizeof stop);
  stop.sa_handler = OnStop;
  sigaction(SIGTERM, &stop, NULL);
  sigaction(SIGINT, &stop, NULL);
  signal(SIGPIPE, SIG_IGN);
  HSServerInit();
  nListen = HSOpenListener(0x7F000001UL, nPort, &nPort);
  if (nListen < 0) {
    perror("server");
    return 1;
  }
  printf("Serving on http://127.0.0.1:%d/\n", nPort);
  fflush(stdout);
  return HSServeListener(nListen, &g_bStop);
}
