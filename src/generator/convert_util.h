#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "document/generated_files.h"
#include "document/srv_doc.h"
#include "platform/prompter.h"

// Helpers shared by the page and binary data converters.

// Multi-line insertion: a converted page or binary file inserts thousands of
// lines at one marker. InsertText would grow the lines byte run by byte run, so
// the converters hand the document whole lines instead, with exactly the result
// InsertText gives for the same text.

// The lines of a text as InsertText splits it: at CR LF, LF and a lone CR, and
// only up to a NUL byte. The last element is what follows the last line end
// (empty when the text ends with one), so there is always at least one. The
// views point into text.
std::vector<std::string_view> SplitAtLineEnds(std::string_view text);

// Inserts the text whose lines are lines (joined by line ends, as
// SplitAtLineEnds gives them) at pos, leaving the document as InsertText(pos,
// text) would: the text before pos is padded with blanks up to pos.column, the
// rest of the line follows the last inserted line. Returns the position just
// after the inserted text, so a long text may go in piece by piece, each piece
// at the position the one before returned.
TextPos InsertTextLines(CCSrvDoc& doc, TextPos pos, const std::vector<std::string_view>& lines);

// Finds marker like FindMarkerPos, but backward from the end of the last line,
// so that its last occurrence is found.
bool FindLastMarkerPos(CCSrvDoc& doc, const char* marker, TextPos& found);

// The marker lines around the byte array and around the send function of a
// binary source in the binary data file.
std::string BeginFileMarker(const std::string& source);
std::string EndFileMarker(const std::string& source);
// Removes every block of source from binFile, marker lines included, in one
// load and save: its byte array, its send function, and a stale send function
// an earlier conversion may have left (one left behind would send an array
// that is gone). A block without its end line stays. 0 = at least two blocks
// were found; 1 = fewer (with none nothing changes).
int RemoveSourceBlocks(Prompter& prompter, CGeneratedFiles& files, const std::string& binFile,
                       const std::string& source);
// The same on a streamed file (see CStreamedFile), text this update inserted
// included.
int RemoveSourceBlocks(CStreamedFile& file, const std::string& source);

// The URL table entry of a page or form handler: sent by function as HTML.
// url is written as a C string (CStringText), blanks already encoded.
// realm is the entry's realm expression.
std::string HtmlEntry(const std::string& url, const std::string& function,
                      const std::string& realm = "Unprotected");

// True when the file at path could be written now; otherwise the generator's
// "cannot be written" message is shown.
bool WritableOrReport(Prompter& prompter, const std::string& path);

// Saves a document; a failure is shown with the generator's "cannot be
// written" message and its reason. 1 = saved.
int SaveOrReport(Prompter& prompter, CDocHandle& doc);
