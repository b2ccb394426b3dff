/* arch/sys_arch.h: the RTOS objects lwIP works with, as handles of the RTOS
   (for example FreeRTOS's queues and semaphores). */
#ifndef PAGORIC_PORT_ARCH_SYS_ARCH_H
#define PAGORIC_PORT_ARCH_SYS_ARCH_H

typedef void* sys_sem_t;
typedef void* sys_mutex_t;
typedef void* sys_mbox_t;
typedef void* sys_thread_t;

#define sys_sem_valid(sem) (*(sem) != NULL)
#define sys_sem_set_invalid(sem) (*(sem) = NULL)
#define sys_mutex_valid(mutex) (*(mutex) != NULL)
#define sys_mutex_set_invalid(mutex) (*(mutex) = NULL)
#define sys_mbox_valid(mbox) (*(mbox) != NULL)
#define sys_mbox_set_invalid(mbox) (*(mbox) = NULL)
#define SYS_MBOX_NULL NULL
#define SYS_SEM_NULL NULL

#endif
