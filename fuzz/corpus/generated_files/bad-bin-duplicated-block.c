/* C file: /tmp/pgseed/gen/bindata.c created
 by Corvane Pagoric Utility on Tuesday, November 14, 2023 22:13:20 */


#include "hservapi.h"

/* @! Begin buffer data */
/* @! Begin File: /tmp/pgseed/site/c.wav */
const char buffer_0 [] =
{
0x78
};  /* @! End File: /tmp/pgseed/site/c.wav */
/* @! Begin File: /tmp/pgseed/site/img/a.gif */
const char buffer_1 [] =
{
0x47,0x49,0x46,0x38,0x39,0x61,0x01,0x02
};  /* @! End File: /tmp/pgseed/site/img/a.gif */
/* @! Begin File: /tmp/pgseed/site/img/b.png */
const char buffer_2 [] =
{
0x50,0x4e,0x47,0x00,0x10
};  /* @! End File: /tmp/pgseed/site/img/b.png */
/* @! End buffer data   */

/* @! Begin Binary */
/* @! Begin File: /tmp/pgseed/site/c.wav */
void Send_function_0 (unsigned long handle)
{
     HSSendBinary (handle, (char*) buffer_0, sizeof (buffer_0));
}  /* @! End File: /tmp/pgseed/site/c.wav */
/* @! Begin File: /tmp/pgseed/site/img/a.gif */
void Send_function_1 (unsigned long handle)
{
     HSSendBinary (handle, (char*) buffer_1, sizeof (buffer_1));
}  /* @! End File: /tmp/pgseed/site/img/a.gif */
/* @! Begin File: /tmp/pgseed/site/img/b.png */
void Send_function_2 (unsigned long handle)
{
     HSSendBinary (handle, (char*) buffer_2, sizeof (buffer_2));
}  /* @! End File: /tmp/pgseed/site/img/b.png */
/* @! End Binary   */
/* @! Begin Binary */
/* @! Begin File: /tmp/pgseed/site/c.wav */
void Send_function_0 (unsigned long handle)
{
     HSSendBinary (handle, (char*) buffer_0, sizeof (buffer_0));
}  /* @! End File: /tmp/pgseed/site/c.wav */
/* @! Begin File: /tmp/pgseed/site/img/a.gif */
void Send_function_1 (unsigned long handle)
{
     HSSendBinary (handle, (char*) buffer_1, sizeof (buffer_1));
}  /* @! End File: /tmp/pgseed/site/img/a.gif */
/* @! Begin File: /tmp/pgseed/site/img/b.png */
void Send_function_2 (unsigned long handle)
{
     HSSendBinary (handle, (char*) buffer_2, sizeof (buffer_2));
}  /* @! End File: /tmp/pgseed/site/img/b.png */
/* @! End Binary   */

