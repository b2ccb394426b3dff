/*
 * lwipopts.h: a minimal lwIP configuration for a Cortex-M firmware that serves
 * a project's pages with the server library: an RTOS (NO_SYS 0), the socket
 * API, receive timeouts. Start from it and size the pools for your device.
 */
#ifndef PAGORIC_PORT_LWIPOPTS_H
#define PAGORIC_PORT_LWIPOPTS_H

#define NO_SYS 0
#define LWIP_SOCKET 1
#define LWIP_NETCONN 1
#define LWIP_COMPAT_SOCKETS 0
#define LWIP_SO_RCVTIMEO 1
#define LWIP_SO_SNDTIMEO 1
#define LWIP_TCP 1
#define LWIP_UDP 0
#define LWIP_IPV4 1
#define LWIP_IPV6 0
#define TCP_MSS 1460
#define TCP_WND (4 * TCP_MSS)
#define TCP_SND_BUF (4 * TCP_MSS)
#define MEM_ALIGNMENT 4
#define MEM_SIZE (16 * 1024)
#define MEMP_NUM_NETCONN 8
#define MEMP_NUM_TCP_PCB 8
#define MEMP_NUM_TCP_PCB_LISTEN 2
#define TCPIP_THREAD_STACKSIZE 1024
#define TCPIP_MBOX_SIZE 8
#define DEFAULT_ACCEPTMBOX_SIZE 4
#define DEFAULT_TCP_RECVMBOX_SIZE 8

#endif
