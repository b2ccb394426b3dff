// Form handlers and dynamic functions: the stubs a page's forms and dynamic
// markers call, which the user fills in and no later conversion touches.
#include <algorithm>
#include <string_view>

#include "document/doc_handle.h"
#include "document/markers.h"
#include "generator/c_names.h"
#include "generator/code_generator.h"
#include "generator/convert_util.h"
#include "generator/field_text.h"
#include "generator/url_table.h"
#include "platform/ascii.h"
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
  InsertTextLines(
      doc, at,
      {key + markers::kOpenSuffix, "void " + function + "(unsigned long handle)", "{",
       "    /* add your implementation here: */", "}   " + key + markers::kCloseSuffix, ""});
}

}  // namespace

int CCodeGenerator::ParseFormAction(const std::string& piece, std::string& name) {
  const std::string upper = AsciiUpperCopy(piece);
  if (upper.find("<FORM ") == std::string::npos || upper.find("METHOD") == std::string::npos ||
      (upper.find("POST") == std::string::npos && upper.find("GET") == std::string::npos)) {
    return 0;
  }
  const size_t action = upper.find("ACTION");
  if (action == std::string::npos) return 0;
  std::string_view rest = std::string_view(piece).substr(action + 6);
  rest.remove_prefix(std::min(rest.find_first_not_of(" =\"\\"), rest.size()));
  name = std::string(rest.substr(0, rest.find_first_of(" =\"\\>")));
  if (AsciiUpperCopy(name).starts_with("MAILTO:")) return 0;
  // The handler is "Post_" + the action: a C identifier only when the action
  // is letters, digits and underscores.
  if (!IsCIdentifier("Post_" + name)) {
    m_prompter.ShowOk(FormatText(kBadActionText, {name}));
    return 0;
  }
  return 1;
}

int CCodeGenerator::RegisterFormHandler(const CPageNode& node, const std::string& action,
                                        std::vector<std::string>& postList) {
  const std::string handler = "Post_" + action;
  if (m_postHandlerSet.count(handler) != 0) return 1;
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
  CDocHandle doc = CDocHandle::Open(m_prompter, pageFile);
  TextPos at;
  if (FindMarkerPos(*doc, FunctionKey(function).c_str(), at)) return 1;
  if (!FindSectionEndBelowPage(*doc, pageFile, markers::kBeginPostFunction,
                               markers::kEndPostFunction, at)) {
    return 0;
  }
  InsertStub(*doc, at, function);
  return SaveOrReport(m_prompter, doc);
}

int CCodeGenerator::AddDynamicFunction(const std::string& function, const std::string& pageFile) {
  CDocHandle doc = CDocHandle::Open(m_prompter, pageFile);
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
