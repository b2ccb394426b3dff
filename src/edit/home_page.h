#pragma once

#include <string>
#include <vector>

#include "document/generated_files.h"
#include "platform/prompter.h"

// One URL the home page form offers: a URL table entry other than "/", with
// the send function it shares with every entry that sends the same page, and
// its realm expression.
struct CHomePageItem {
  std::string m_strUrl;
  std::string m_strFunction;
  std::string m_strRealm;
};

// What a press of "Set &Home" or "&No Home Page" did.
enum class HomePageResult {
  kUnchanged,  // the chosen function already is the home page's: nothing written
  kAdded,      // "Home Page added."
  kChanged,    // "Home Page changed."
  kRemoved,    // "Home page removed"
  kNoHome,     // "No page is Home": there was nothing to remove; the form stays open
  kFailed,     // the file could not be written (shown); nothing changed
};

// The light yellow behind every URL that shares the highlighted function.
struct CHighlightColor {
  int m_nRed, m_nGreen, m_nBlue;
};
inline constexpr CHighlightColor kHomeHighlight = {255, 255, 128};

// The rules of the home page dialog. The home page is the URL table entry
// whose URL is "/"; its send function is the function of one of the pages.
// Construction reads the table; the form closes after every result but
// kNoHome.
class CHomePageEditor {
 public:
  CHomePageEditor(Prompter& prompter, std::string urlFilePath);

  // Every entry but the "/" entries, in file order.
  const std::vector<CHomePageItem>& Items() const { return m_items; }
  // The send function of the "/" entry (the last one if there are several);
  // empty when there is none. The highlighted function starts as this.
  const std::string& CurrentHome() const { return m_strHome; }
  // Whether item is drawn highlighted while highlighted is the highlighted
  // function (an empty function highlights nothing).
  static bool IsHighlighted(const CHomePageItem& item, const std::string& highlighted) {
    return !highlighted.empty() && item.m_strFunction == highlighted;
  }

  // "Set &Home" with the highlighted function: the home page keeps the
  // protection of the page it is made from, so the "/" entry gets realm, or
  // without one the realm expression of the first item with that function.
  // Nothing is written when the "/" entry has that function and realm already;
  // else the "/" entry replaces the old one in place or is added behind the
  // last entry, with the message saying which.
  HomePageResult SetHome(const std::string& highlighted, const std::string& realm = std::string());
  // "&No Home Page": removes the "/" entry ("Home page removed"), or shows
  // "No page is Home" when there is none.
  HomePageResult RemoveHome();

  static constexpr const char* kTitle = "Set Home Page";
  static constexpr const char* kListLabel = "Existing URL, current home page(s) is highlighted: ";
  static constexpr const char* kChangedText = "Home Page changed.";
  static constexpr const char* kAddedText = "Home Page added.";
  static constexpr const char* kRemovedText = "Home page removed";
  static constexpr const char* kNoHomeText = "No page is Home";

 private:
  Prompter& m_prompter;
  // An editor's change is written at once; reading a file changes nothing.
  mutable CDirectFiles m_files;
  std::string m_strPath;
  std::vector<CHomePageItem> m_items;
  std::string m_strHome;
  std::string m_strHomeRealm;  // the realm expression of the "/" entry
};
