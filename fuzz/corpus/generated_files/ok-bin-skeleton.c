/* C file: /tmp/pgseed/empty/bindata.c created
 by Corvane Pagoric Utility on Tuesday, November 14, 2023 22:13:20 */


#include "hservapi.h"

/* @! Begin buffer data */
/* @! End buffer data   */

/* @! Begin Binary */
/* @! End Binary   */

