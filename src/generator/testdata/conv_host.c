/* A stand-in for the web server in the conversion tests: it serves each URL
 * named on its command line through the generated URL table and writes what
 * the send functions send to standard output. */
#include <stdio.h>

#include "hservapi.h"

void HSSend(unsigned long handle, const char *text) {
  (void)handle;
  fputs(text, stdout);
}

void HSSendBinary(unsigned long handle, const char *data, unsigned long length) {
  (void)handle;
  fwrite(data, 1, length, stdout);
}

int HSPageAuthenticate(unsigned long handle, unsigned short realm) {
  (void)handle;
  (void)realm;
  return 1;
}

int HSSetRealm(int realm, const char *name, const char *user, const char *password) {
  (void)realm;
  (void)name;
  (void)user;
  (void)password;
  return 0;
}

void HSTypeHtml(unsigned long handle) { (void)handle; }

#define CONV_TYPE(name)                          \
  void name(unsigned long handle, int length) { \
    (void)handle;                                \
    (void)length;                                \
  }
CONV_TYPE(HSTypeText)
CONV_TYPE(HSTypeJpeg)
CONV_TYPE(HSTypeGif)
CONV_TYPE(HSTypeTiff)
CONV_TYPE(HSTypePict)
CONV_TYPE(HSTypePng)
CONV_TYPE(HSTypeApplet)
CONV_TYPE(HSTypeAsf)
CONV_TYPE(HSTypeXbm)
CONV_TYPE(HSTypeWav)
CONV_TYPE(HSTypeAu)

int main(int argc, char **argv) {
  int i;
  HSInitSecurityTable();
  for (i = 1; i < argc; ++i) {
    if (!SearchURL(0, argv[i])) return 2;
    AppPreprocessURL(0, argv[i]);
    AppSearchURL(0, argv[i]);
  }
  return 0;
}
