#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/prompter.h"

class CCSrvDoc;
class CGeneratedFiles;

// Every marker comment of the generated files, byte for byte (inner blanks
// included). A marker is found anywhere in a line, ignoring letter case.
namespace markers {

// Page file.
inline constexpr const char* kBeginHtmlPage = "/* @! Begin HTML page */";
inline constexpr const char* kEndHtmlPage = "/* @! End HTML page   */";
// Prefix of the lines around one page's send function: kFilePrefix name " {{ */"
// before it and "}    " kFilePrefix name " }} */" after it.
inline constexpr const char* kFilePrefix = "/*  @! File: ";
// Prefix of the lines around one user function stub, closed with " {{ */" / " }} */".
inline constexpr const char* kFunctionPrefix = "/* @! Function: ";
inline constexpr const char* kOpenSuffix = " {{ */";
inline constexpr const char* kCloseSuffix = " }} */";
// The body line of a stub as it is generated, before the user fills it in.
inline constexpr const char* kStubPlaceholder = "    /* add your implementation here: */";
inline constexpr const char* kBeginPostFunction = "/* @! Begin of post function */";
inline constexpr const char* kEndPostFunction = "/* @! End of post function   */";
inline constexpr const char* kBeginDynamicFunctions = "/* @! Begin of dynamic functions */";
inline constexpr const char* kEndDynamicFunctions = "/* @! End of dynamic functions   */";
inline constexpr const char* kBeginForwardDecl =
    "/* @! Begin Function Prototype Forward Declaration */";
inline constexpr const char* kEndForwardDecl =
    "/* @! End Function Prototype Forward Declaration   */";

// URL file.
inline constexpr const char* kBeginPrototypes = "/* @! Begin Function Prototypes */";
inline constexpr const char* kEndPrototypes = "/* @! End Function Prototypes   */";
inline constexpr const char* kBeginUrlTable = "/* @! Begin of Table for all URLs */";
inline constexpr const char* kEndUrlTable = "/* @! End of Table for all URLs   */";
inline constexpr const char* kBeginSearchUrl = "/* @! Begin search URL function  */";
inline constexpr const char* kEndSearchUrl = "/* @! End search URL function    */";
inline constexpr const char* kBeginPreprocess = "/* @! Begin pre-process function */";
inline constexpr const char* kEndPreprocess = "/* @! End pre-process function   */";
inline constexpr const char* kBeginPureSearch = "/* @! Begin pure search URL function  */";
inline constexpr const char* kEndPureSearch = "/* @! End pure search URL function    */";
inline constexpr const char* kBeginSecurityTable = "/* @! Begin of Setup Security Table */";
inline constexpr const char* kEndSecurityTable = "/* @! End   of Setup Security Table */";
// The whole line that ends the security table, as the realm editor searches it.
inline constexpr const char* kEndSecurityTableLine = "}  /* @! End   of Setup Security Table */";
inline constexpr const char* kBeginRealmCalls = "/* @! Begin of HSSetRealm calls */";
inline constexpr const char* kEndRealmCalls = "/* @! End   of HSSetRealm calls */";

// Binary data file.
inline constexpr const char* kBeginBufferData = "/* @! Begin buffer data */";
inline constexpr const char* kEndBufferData = "/* @! End buffer data   */";
inline constexpr const char* kBeginBinary = "/* @! Begin Binary */";
inline constexpr const char* kEndBinary = "/* @! End Binary   */";
// Prefixes of the lines kBeginFilePrefix name " */" and kEndFilePrefix name " */"
// that fence one binary file's sections.
inline constexpr const char* kBeginFilePrefix = "/* @! Begin File: ";
inline constexpr const char* kEndFilePrefix = "/* @! End File: ";

}  // namespace markers

// Finds marker in doc with a zeroed SearchSpec (forward, case-insensitive,
// anywhere in a line) from column 0 of startLine. Returns the line, or -1.
int FindMarker(CCSrvDoc& doc, const std::string& marker, int startLine = 0);

// Streams the lines of the file at path through take, each without its line
// end (LF or CR LF), through one buffer of 1 MiB; take returns false to stop.
// 1 = read (to its end or until take stopped); 0 = the file is empty; -1 =
// it cannot be read, or a line does not fit the buffer.
int ForEachLineOfFile(const std::string& path,
                      const std::function<bool(std::string_view line)>& take);

// Looks at a file without loading it into a document: 1 when every marker of
// the list stands in it, each on the line of the one before or below it (as
// FindMarker finds them one after the other from there), 0 when not. -1 when
// the file cannot be judged that way and must be loaded: it cannot be read,
// or it holds a NUL byte or a line the document would wrap, so that its
// document's lines would differ from its text's lines.
int MarkersInOrderInFile(const std::string& path, const std::vector<const char*>& markerList);

// The text "Can't find %s in %s" for a missing marker in a file.
std::string MissingMarkerText(const std::string& marker, const std::string& path);
// Shows that text in the OK box.
void ReportMissingMarker(Prompter& prompter, const std::string& marker, const std::string& path);

// Removes the lines between a begin and an end marker of a generated file (with
// includeMarkers, the marker lines too) and saves the file. Returns -1 when the
// begin marker is missing, else the line after the begin marker. Adjacent
// markers or a missing end marker remove and save nothing.
int ClearSection(Prompter& prompter, CGeneratedFiles& files, const std::string& path,
                 const std::string& beginMarker, const std::string& endMarker, int includeMarkers);
