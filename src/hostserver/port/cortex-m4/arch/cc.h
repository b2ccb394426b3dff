/* arch/cc.h: the compiler and platform of a Cortex-M firmware for lwIP. */
#ifndef PAGORIC_PORT_ARCH_CC_H
#define PAGORIC_PORT_ARCH_CC_H

#include <stdint.h>
#include <stdlib.h>

#define BYTE_ORDER LITTLE_ENDIAN
#define LWIP_PLATFORM_DIAG(x) \
  do {                        \
  } while (0)
#define LWIP_PLATFORM_ASSERT(x) abort()
#define LWIP_RAND() ((uint32_t)rand())

#endif
