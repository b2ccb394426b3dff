/* Test stand-in for the web server interface that generated files compile
 * against: the declarations only, with the argument types the generated calls
 * use. The compile tests of the generator use it. */
#ifndef HSERVAPI_H
#define HSERVAPI_H

/* Sending a response. */
void HSSend(unsigned long handle, const char *text);
void HSSendBinary(unsigned long handle, const char *data, unsigned long length);

/* Access control: checks a request against a realm mask, and sets up a realm. */
int HSPageAuthenticate(unsigned long handle, unsigned short realm);
int HSSetRealm(int realm, const char *name, const char *user, const char *password);

/* Content type functions. HSTypeHtml, called for entries whose html flag is 1,
 * takes the handle only; every other one takes the content's length as well. */
void HSTypeHtml(unsigned long handle);
void HSTypeText(unsigned long handle, int length);
void HSTypeJpeg(unsigned long handle, int length);
void HSTypeGif(unsigned long handle, int length);
void HSTypeTiff(unsigned long handle, int length);
void HSTypePict(unsigned long handle, int length);
void HSTypePng(unsigned long handle, int length);
void HSTypeApplet(unsigned long handle, int length);
void HSTypeAsf(unsigned long handle, int length);
void HSTypeXbm(unsigned long handle, int length);
void HSTypeWav(unsigned long handle, int length);
void HSTypeAu(unsigned long handle, int length);
void HSTypeStaticHtml(unsigned long handle, int length);
void HSTypeStaticText(unsigned long handle, int length);
void HSTypeStaticJpeg(unsigned long handle, int length);
void HSTypeStaticGif(unsigned long handle, int length);
void HSTypeStaticTiff(unsigned long handle, int length);
void HSTypeStaticPict(unsigned long handle, int length);
void HSTypeStaticPng(unsigned long handle, int length);
void HSTypeStaticApplet(unsigned long handle, int length);
void HSTypeStaticAsf(unsigned long handle, int length);
void HSTypeStaticXbm(unsigned long handle, int length);
void HSTypeStaticWav(unsigned long handle, int length);
void HSTypeStaticAu(unsigned long handle, int length);

/* The routines of the URL file that the web server calls. */
void AppSearchURL(unsigned long handle, char *URLp);
void AppPreprocessURL(unsigned long handle, char *URLp);
int SearchURL(unsigned long handle, char *URLp);
int HSInitSecurityTable(void);

#endif
