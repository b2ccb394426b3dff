// Form handlers and dynamic functions: the stubs a page's forms and dynamic
// markers call, which the user fills in and no later conversion touches.
#include <algorithm>
#include <cstring>
#include <string_view>

#include "document/generated_files.h"
#include "document/markers.h"
#include "generator/c_names.h"
#include "generator/code_generator.h"
#include "generator/convert_util.h"
#include "generator/field_text.h"
#include "generator/url_table.h"
#include "platform/ascii.h"
#include "platform/file_util.h"
#include "platform/text_format.h"

namespace {

// The comment that names a stub; the blank after the name keeps Post_a from
// matching Post_ab.
std::string FunctionKey(const std::string& function) {
  return markers::kFunctionPrefix + function + " ";
}

// Inserts the empty stub of a user function at a position.
void InsertStub(CCSrvDoc& doc, TextPos at, const std::string& function) {
  const std::string key = FunctionKey(function);
  InsertTextLines(doc, at,
                  {key + markers::kOpenSuffix, "void " + function + "(unsigned long handle)", "{",
                   markers::kStubPlaceholder, "}   " + key + markers::kCloseSuffix, ""});
}

}  // namespace

int CCodeGenerator::ParseFormAction(const std::string& piece, std::string& name) {
  const std::string upper = AsciiUpperCopy(piece);
  if (upper.find("<FORM ") == std::string::npos || upper.find("METHOD") == std::string::npos ||
      (upper.find("POST") == std::string::npos && upper.find("GET") == std::string::npos)) {
    return 0;
  }
  // The ACTION attribute of the form tag: a whole attribute name after the
  // tag's start ("transaction" in a class name or in text before the tag is
  // none).
  const auto inName = [](char c) {
    return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '-';
  };
  size_t action = upper.find("<FORM ");
  for (action = upper.find("ACTION", action); action != std::string::npos;
       action = upper.find("ACTION", action + 1)) {
    const char next = action + 6 < upper.size() ? upper[action + 6] : ' ';
    if (!inName(upper[action - 1]) && !inName(next)) break;
  }
  if (action == std::string::npos) return 0;
  // ACTION = value, the value in double quotes (escaped in the piece), in
  // single quotes or bare.
  std::string_view rest = std::string_view(piece).substr(action + 6);
  const auto skipBlanks = [&rest] {
    rest.remove_prefix(std::min(rest.find_first_not_of(" \t"), rest.size()));
  };
  skipBlanks();
  std::string_view value;
  if (rest.starts_with('=')) {
    rest.remove_prefix(1);
    skipBlanks();
    if (rest.starts_with("\\\"")) {
      rest.remove_prefix(2);
      value = rest.substr(0, rest.find("\\\""));
    } else if (rest.starts_with('\'')) {
      rest.remove_prefix(1);
      value = rest.substr(0, rest.find('\''));
    } else {
      value = rest.substr(0, rest.find_first_of(" \t>\\"));
    }
  }
  name = std::string(TrimBlanks(value));
  // A form that posts to its own page names no handler.
  if (name.empty()) {
    m_notes.emplace_back(kEmptyActionNote);
    return 0;
  }
  if (AsciiUpperCopy(name).starts_with("MAILTO:")) return 0;
  // The handler is "Post_" + the action: a C identifier only when the action
  // is letters, digits and underscores.
  if (!IsCIdentifier("Post_" + name)) {
    m_prompter.ShowOk(FormatText(kBadActionText, {name}));
    return 0;
  }
  return 1;
}

void CCodeGenerator::NotePostStubs(const std::string& pageFile, std::string_view text) {
  // The opening line of a stub: kFunctionPrefix, the name, " ", kOpenSuffix.
  const std::string prefix = std::string(markers::kFunctionPrefix) + "Post_";
  for (size_t at = text.find(prefix); at != std::string_view::npos;
       at = text.find(prefix, at + 1)) {
    const size_t name = at + std::strlen(markers::kFunctionPrefix);
    const size_t blank = text.find(' ', name);
    if (blank == std::string_view::npos) break;
    if (text.substr(blank + 1, std::strlen(markers::kOpenSuffix)) != markers::kOpenSuffix) {
      continue;
    }
    const std::string handler(text.substr(name, blank - name));
    const auto [it, added] = m_postStubFiles.emplace(handler, pageFile);
    if (!added && it->second != pageFile) {
      m_prompter.ShowOk(FormatText(kDuplicateHandlerText, {handler, it->second, pageFile}));
    }
  }
}

const std::string* CCodeGenerator::PostStubFile(const std::string& handler) {
  // The page files of the project: every page's file, once SetPageOrder has
  // been given them, and those converted since.
  if (m_stubScannedFiles.size() != m_pageFileOwners.size()) {
    for (const CPageFileOwner& owner : m_pageFileOwners) {
      const std::string& file = owner.m_strFile;
      if (!m_stubScannedFiles.insert(file).second) continue;
      if (m_pFiles->IsHeld(file)) {
        // As this build has it so far.
        CDocHandle doc = m_pFiles->Open(m_prompter, file);
        for (int n = 0; n < doc->GetLineCount(); ++n) NotePostStubs(file, doc->LineText(n));
      } else {
        std::string text;
        if (m_pFiles->Status(file).exists && ReadWholeFile(file, text)) NotePostStubs(file, text);
      }
    }
  }
  const auto it = m_postStubFiles.find(handler);
  return it == m_postStubFiles.end() ? nullptr : &it->second;
}

int CCodeGenerator::RegisterFormHandler(const CPageNode& node, const std::string& action,
                                        std::vector<std::string>& postList) {
  const std::string handler = "Post_" + action;
  if (m_postHandlerSet.count(handler) != 0) return 1;
  // Made by an earlier build into another page: not made again, or the
  // firmware would not link.
  const std::string* stubFile = PostStubFile(handler);
  if (stubFile != nullptr && *stubFile != node.GetOutputFile()) {
    m_postHandlers.push_back(handler);
    m_postHandlerSet.insert(handler);
    return 1;
  }
  // The form's URL lies in the page's folder.
  const std::string& pageUrl = node.GetUrl();
  const size_t slash = pageUrl.rfind('/');
  std::string formUrl = slash == std::string::npos ? action : pageUrl.substr(0, slash + 1) + action;
  EncodeSpaces(formUrl);
  const std::string entry = HtmlEntry(formUrl, handler);
  // The entry's middle line names URL and handler; it must fit on one line.
  if (entry.size() - 8 >= static_cast<size_t>(CSourceText::MaxLineLength)) {
    m_prompter.ShowOk(FormatText(kLongActionText, {action}));
    return 1;  // like a refused action: no handler, and the page still converts
  }
  m_postHandlers.push_back(handler);
  m_postHandlerSet.insert(handler);
  postList.push_back(handler);  // new to the generator, so new to the page too
  return AddUrlEntry(formUrl, entry, handler);
}

bool CCodeGenerator::FindSectionEndBelowPage(CCSrvDoc& doc, const std::string& pageFile,
                                             const char* begin, const char* end, TextPos& at) {
  if (FindMarkerPos(doc, end, at)) return true;
  // A page file without the section gets it, empty, below the page's code.
  TextPos page;
  if (!FindMarkerPos(doc, markers::kEndHtmlPage, page)) {
    ReportMissingMarker(m_prompter, markers::kEndHtmlPage, pageFile);
    return false;
  }
  const TextPos after = InsertTextLines(doc, {0, page.line + 1}, {"", begin, end, "", ""});
  at = {0, after.line - 2};
  return true;
}

int CCodeGenerator::AddPostFunction(const std::string& function, const std::string& pageFile) {
  CDocHandle doc = m_pFiles->Open(m_prompter, pageFile);
  TextPos at;
  if (FindMarkerPos(*doc, FunctionKey(function).c_str(), at)) return 1;
  if (!FindSectionEndBelowPage(*doc, pageFile, markers::kBeginPostFunction,
                               markers::kEndPostFunction, at)) {
    return 0;
  }
  InsertStub(*doc, at, function);
  m_postStubFiles.emplace(function, pageFile);
  return SaveOrReport(m_prompter, doc);
}

int CCodeGenerator::AddDynamicFunction(const std::string& function, const std::string& pageFile) {
  CDocHandle doc = m_pFiles->Open(m_prompter, pageFile);
  TextPos at;
  if (FindMarkerPos(*doc, FunctionKey(function).c_str(), at)) return 1;

  if (!FindMarkerPos(*doc, markers::kEndForwardDecl, at)) {
    TextPos page;
    if (!FindMarkerPos(*doc, markers::kBeginHtmlPage, page)) {
      ReportMissingMarker(m_prompter, markers::kBeginHtmlPage, pageFile);
      return 0;
    }
    const TextPos end =
        InsertTextLines(*doc, page, {markers::kBeginForwardDecl, markers::kEndForwardDecl, "", ""});
    at = {0, end.line - 2};
  }
  InsertTextLines(*doc, at,
                  {markers::kFilePrefix + function + " */",
                   "static void " + function + " (unsigned long handle);", ""});

  if (!FindSectionEndBelowPage(*doc, pageFile, markers::kBeginDynamicFunctions,
                               markers::kEndDynamicFunctions, at)) {
    return 0;
  }
  InsertStub(*doc, at, function);
  return SaveOrReport(m_prompter, doc);
}
