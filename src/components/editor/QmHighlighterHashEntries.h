// The keyword table of the highlighters: 256 chains indexed by hash value, each chain
// sorted by keyword length so that a look-up stops at the first longer entry.
#pragma once

#include <array>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "components/editor/QmEditTypes.h"

class TQmHashEntry {
 public:
  TQmHashEntry(std::string_view KeyText, int TokenKind)
      : KeyLength(static_cast<int>(KeyText.size())), KeyText(KeyText), TokenKind(TokenKind) {}
  std::unique_ptr<TQmHashEntry> NextEntry;
  int KeyLength;
  std::string KeyText;
  int TokenKind;
};

// The list owns its entries; a slot holds the head of its chain.
class TQmHashEntryList {
 public:
  TQmHashEntryList() = default;
  TQmHashEntryList(const TQmHashEntryList &) = delete;
  TQmHashEntryList &operator=(const TQmHashEntryList &) = delete;
  ~TQmHashEntryList();

  // Inserts the entry into chain HashValue after every entry of its length or shorter.
  // An entry of the same text (ASCII case folded) raises "Keyword \"%s\" already in list".
  void Add(unsigned HashValue, std::unique_ptr<TQmHashEntry> Entry);
  void Clear();
  const TQmHashEntry *operator[](unsigned HashValue) const { return slots_[HashValue & 255].get(); }

 private:
  std::array<std::unique_ptr<TQmHashEntry>, 256> slots_;
};

// True when the two texts are equal with ASCII letters folded.
bool SameTextAscii(std::string_view A, std::string_view B);

// Calls Add for every keyword of a comma-separated list: a keyword is a longest run of
// bytes in WordChars, everything else separates.
using TQmKeywordProc = std::function<void(std::string_view Keyword, int Kind)>;
void ForEachKeyword(std::string_view KeywordList, const TQmKeywordProc &Add, const TQmCharSet &WordChars,
                    int Kind);
