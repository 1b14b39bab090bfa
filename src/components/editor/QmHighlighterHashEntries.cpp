#include "components/editor/QmHighlighterHashEntries.h"

#include "engine/Exception.h"

bool SameTextAscii(std::string_view A, std::string_view B) {
  if (A.size() != B.size()) return false;
  for (std::size_t i = 0; i < A.size(); ++i) {
    unsigned char a = static_cast<unsigned char>(A[i]), b = static_cast<unsigned char>(B[i]);
    if (a >= 'a' && a <= 'z') a -= 32;
    if (b >= 'a' && b <= 'z') b -= 32;
    if (a != b) return false;
  }
  return true;
}

TQmHashEntryList::~TQmHashEntryList() { Clear(); }

void TQmHashEntryList::Clear() {
  // Unlink the chains one entry at a time so that long chains never recurse deeply.
  for (auto &head : slots_)
    while (head) head = std::move(head->NextEntry);
}

void TQmHashEntryList::Add(unsigned HashValue, std::unique_ptr<TQmHashEntry> Entry) {
  std::unique_ptr<TQmHashEntry> *link = &slots_[HashValue & 255];
  while (*link && (*link)->KeyLength <= Entry->KeyLength) {
    if (SameTextAscii((*link)->KeyText, Entry->KeyText))
      throw Exception("Keyword \"" + (*link)->KeyText + "\" already in list");
    link = &(*link)->NextEntry;
  }
  Entry->NextEntry = std::move(*link);
  *link = std::move(Entry);
}

void ForEachKeyword(std::string_view KeywordList, const TQmKeywordProc &Add, const TQmCharSet &WordChars,
                    int Kind) {
  if (!Add || KeywordList.empty()) return;
  std::size_t i = 0;
  const std::size_t n = KeywordList.size();
  while (i < n) {
    while (i < n && !WordChars[static_cast<unsigned char>(KeywordList[i])]) ++i;
    std::size_t start = i;
    while (i < n && WordChars[static_cast<unsigned char>(KeywordList[i])]) ++i;
    if (i > start) Add(KeywordList.substr(start, i - start), Kind);
  }
}
