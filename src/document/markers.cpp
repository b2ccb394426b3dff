#include "document/markers.h"

#include "document/doc_handle.h"

int FindMarker(CCSrvDoc& doc, const std::string& marker, int startLine) {
  SearchSpec spec;
  spec.text = marker.c_str();
  spec.length = static_cast<int>(marker.size());
  spec.line = startLine;
  TextPos found;
  if (!doc.FindText(spec, found)) return -1;
  return found.line;
}

std::string MissingMarkerText(const std::string& marker, const std::string& path) {
  return "Can't find " + marker + " in " + path;
}

void ReportMissingMarker(Prompter& prompter, const std::string& marker, const std::string& path) {
  prompter.ShowOk(MissingMarkerText(marker, path));
}

int ClearSection(Prompter& prompter, const std::string& path, const std::string& beginMarker,
                 const std::string& endMarker, int includeMarkers) {
  CDocHandle doc = CDocHandle::Open(prompter, path);
  const int a = FindMarker(*doc, beginMarker, 0);
  if (a < 0) return -1;
  int b = FindMarker(*doc, endMarker, a + 1);
  if (b < 0) b = a;
  if (a + 1 < b) {
    if (includeMarkers) {
      doc->RemoveLines(a, b - a + 1);
    } else {
      doc->RemoveLines(a + 1, b - a - 1);
    }
    doc.Save();
  }
  return a + 1;
}
