/*
 * hservapi.h: the interface between generated web pages and the web server.
 *
 * The URL file, the binary data file and the page files call these functions;
 * the server calls the routines that the URL file defines (AppSearchURL and the
 * others at the end of this header). This copy belongs to the host server that
 * previews a project on the developer's machine; it compiles as C99 and C++.
 */
#ifndef PAGORIC_HSERVAPI_H
#define PAGORIC_HSERVAPI_H

#ifdef __cplusplus
extern "C" {
#endif

/* Appends NUL-terminated text to the answer of the request `handle`. Page send
   functions call it once per line of the page. */
void HSSend(unsigned long handle, const char* text);

/* Appends len bytes to the answer of the request `handle`; zero bytes are data.
   Binary send functions pass their byte array and its sizeof. */
void HSSendBinary(unsigned long handle, const char* data, unsigned long len);

/* Admits the request only if its credentials match one of the realms of the
   mask (Realm1 is bit 0); a mask of 0 admits everyone. Returns 1 if admitted;
   a refused request is answered 401 and everything it sends is dropped. */
int HSPageAuthenticate(unsigned long handle, unsigned short realmMask);

/* Sets up realm `index` (REALM1 = 0 .. REALM8 = 7) with its name and its one
   user and password. Returns 0, or -1 for an index out of range. */
int HSSetRealm(int index, const char* name, const char* user, const char* password);

/* Content-type functions: each sets the Content-Type of the answer. HSTypeHtml
   is the one the table calls with the handle alone (its entries have html = 1);
   every other type is called with the handle and the size that the table
   records, which is the number of bytes the answer carries. */
void HSTypeHtml(unsigned long handle);
void HSTypeText(unsigned long handle, int len);
void HSTypeJpeg(unsigned long handle, int len);
void HSTypeGif(unsigned long handle, int len);
void HSTypeTiff(unsigned long handle, int len);
void HSTypePict(unsigned long handle, int len);
void HSTypePng(unsigned long handle, int len);
void HSTypeApplet(unsigned long handle, int len);
void HSTypeAsf(unsigned long handle, int len);
void HSTypeXbm(unsigned long handle, int len);
void HSTypeWav(unsigned long handle, int len);
void HSTypeAu(unsigned long handle, int len);

/* The static variants send the same types; the URL file editor writes their
   entries with html = 0, so the table calls all of them with a size. */
void HSTypeStaticHtml(unsigned long handle, int len);
void HSTypeStaticText(unsigned long handle, int len);
void HSTypeStaticJpeg(unsigned long handle, int len);
void HSTypeStaticGif(unsigned long handle, int len);
void HSTypeStaticTiff(unsigned long handle, int len);
void HSTypeStaticPict(unsigned long handle, int len);
void HSTypeStaticPng(unsigned long handle, int len);
void HSTypeStaticApplet(unsigned long handle, int len);
void HSTypeStaticAsf(unsigned long handle, int len);
void HSTypeStaticXbm(unsigned long handle, int len);
void HSTypeStaticWav(unsigned long handle, int len);
void HSTypeStaticAu(unsigned long handle, int len);

/* The body of the request `handle` (a form's POST data), NUL-terminated, and its
   length in *len when len is not NULL. Empty for a request without a body. */
const char* HSGetPostData(unsigned long handle, unsigned long* len);

/* The query of the request `handle`: the text after "?" in its URL (a form sent
   with METHOD=GET), or "" when there is none. */
const char* HSGetQuery(unsigned long handle);

/* Defined by the URL file. AppSearchURL calls the send function of the URL;
   AppPreprocessURL authenticates it and sets its content type; SearchURL tells
   whether the table knows the URL (1) or not (0). URLs are compared as the
   table stores them, with blanks written as %20. */
void AppSearchURL(unsigned long handle, char* URLp);
void AppPreprocessURL(unsigned long handle, char* URLp);
int SearchURL(unsigned long handle, char* URLp);

/* Defined by the URL file: sets up the realms with HSSetRealm. The server calls
   it once at start. */
int HSInitSecurityTable(void);

#ifdef __cplusplus
}
#endif

#endif /* PAGORIC_HSERVAPI_H */
