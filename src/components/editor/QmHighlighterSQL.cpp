#include "components/editor/QmHighlighterSQL.h"

#include <memory>

#include "components/editor/QmHighlighterSQLWords.h"

namespace {

// Identifier characters and hash values, plain and with '@' (the SQL Server dialects).
struct CharTables {
  TQmCharSet ident, identAt;
  std::array<unsigned char, 256> hash{}, hashAt{};
  CharTables() {
    for (unsigned c = 0; c < 256; ++c) {
      bool id = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
                c == '#' || c == '$';
      ident[c] = id;
      identAt[c] = id || c == '@';
      unsigned char h = 0;
      if (c == '_') h = 1;
      else if (c >= 'a' && c <= 'z') h = static_cast<unsigned char>(c - 'a' + 2);
      else if (c >= 'A' && c <= 'Z') h = static_cast<unsigned char>(c - 'A' + 2);
      hash[c] = h;
      hashAt[c] = c == '@' ? 28 : h;
    }
  }
};

const CharTables &Tables() {
  static const CharTables tables;
  return tables;
}

bool UsesAtVariant(TSQLDialect d) { return d == sqlMSSQL7 || d == sqlMSSQL2K; }

bool IsLineEndByte(unsigned char c) { return c == 0 || c == 10 || c == 13; }

constexpr const char kDefaultFilter[] = "SQL Files (*.sql)|*.sql";

const bool kRegistered = (RegisterHighlighterClass({"TQmSQLSyn", [](TComponent *Owner) -> TQmCustomHighlighter * {
                            return new TQmSQLSyn(Owner);
                          }}),
                          true);

}  // namespace

TQmSQLSyn::TQmSQLSyn(TComponent *AOwner) : TQmCustomHighlighter(AOwner) {
  (void)kRegistered;
  identTable_ = &Tables().ident;
  hashTable_ = &Tables().hash;
  auto make = [this](const char *name, TFontStyles style) {
    auto *a = new TQmHighlighterAttributes(name);
    a->SetStyle(style);
    RegisterAttribute(a);
    return a;
  };
  commentAttri_ = make("Comment", fsItalic);
  conditionalCommentAttri_ = make("Conditional Comment", fsItalic);
  dataTypeAttri_ = make("Data Type", fsBold);
  defaultPackageAttri_ = make("Default Packages", fsBold);
  delimitedIdentifierAttri_ = make("Delimited Identifier", 0);
  exceptionAttri_ = make("Exception", fsItalic);
  functionAttri_ = make("Function", fsBold);
  identifierAttri_ = make("Identifier", 0);
  keyAttri_ = make("Reserved Word", fsBold);
  numberAttri_ = make("Number", 0);
  plsqlAttri_ = make("PL/SQL Reserved Word", fsBold);
  spaceAttri_ = make("Space", 0);
  sqlPlusAttri_ = make("SQL*Plus Command", fsBold);
  stringAttri_ = make("String", 0);
  symbolAttri_ = make("Symbol", 0);
  tableNameAttri_ = make("Table Name", 0);
  pragmasAttri_ = make("Pragma", 0);
  variableAttri_ = make("Variable", 0);
  SetAttributeChangeHandler(NotifyHandler());
  MakeMethodTables();
  SetDefaultFilter(kDefaultFilter);
  range_ = rngNone;
  dialect_ = sqlStandard;
  InitKeywords();
}

TQmSQLSyn::~TQmSQLSyn() = default;

void TQmSQLSyn::Assign(const TPersistent &Source) {
  TQmCustomHighlighter::Assign(Source);
  if (const auto *s = dynamic_cast<const TQmSQLSyn *>(&Source)) SetSQLDialect(s->SQLDialect());
}

// ---- keyword table -------------------------------------------------------------------

void TQmSQLSyn::SetSQLDialect(TSQLDialect Value) {
  if (dialect_ == Value) return;
  dialect_ = Value;
  InitKeywords();
}

void TQmSQLSyn::SetTableNames(const std::vector<std::string> &Value) {
  tableNames_ = Value;
  InitKeywords();
}

void TQmSQLSyn::AddKeyword(std::string_view Word, int Kind) {
  unsigned h = 0;
  for (std::size_t i = 0; i < Word.size() && IsIdent(static_cast<unsigned char>(Word[i])); ++i)
    h = 2 * h + (*hashTable_)[static_cast<unsigned char>(Word[i])];
  keywords_.Add(h & 255, std::make_unique<TQmHashEntry>(Word, Kind));
}

void TQmSQLSyn::InitKeywords() {
  keywords_.Clear();
  const bool at = UsesAtVariant(dialect_);
  identTable_ = at ? &Tables().identAt : &Tables().ident;
  hashTable_ = at ? &Tables().hashAt : &Tables().hash;

  TQmCharSet splitChars = WordChars();
  if (dialect_ == sqlStandard) splitChars.set('-');
  const TQmKeywordProc add = [this](std::string_view w, int k) { AddKeyword(w, k); };
  for (const TQmDialectWordList &list : SQLDialectWordLists(dialect_))
    ForEachKeyword(list.Words, add, splitChars, list.Kind);

  for (const std::string &name : tableNames_) {
    if (name.empty()) continue;
    unsigned h = 0;
    for (std::size_t i = 0; i < name.size() && IsIdent(static_cast<unsigned char>(name[i])); ++i)
      h = 2 * h + (*hashTable_)[static_cast<unsigned char>(name[i])];
    bool found = false;
    for (const TQmHashEntry *e = keywords_[h & 255]; e && !found; e = e->NextEntry.get())
      found = SameTextAscii(e->KeyText, name);
    if (!found) keywords_.Add(h & 255, std::make_unique<TQmHashEntry>(name, tokTableName));
  }
  NotifyAttributesChanged(this);
}

TtkTokenKind TQmSQLSyn::IdentKind(int Start) {
  unsigned h = 0;
  int i = Start;
  while (IsIdent(At(i))) {
    h = 2 * h + (*hashTable_)[At(i)];
    ++i;
  }
  stringLen_ = i - Start;
  const std::string_view token(line_.data() + Start, static_cast<std::size_t>(stringLen_));
  for (const TQmHashEntry *e = keywords_[h & 255]; e; e = e->NextEntry.get()) {
    if (e->KeyLength > stringLen_) break;
    if (e->KeyLength == stringLen_ && SameTextAscii(e->KeyText, token))
      return static_cast<TtkTokenKind>(e->TokenKind);
  }
  return tokIdentifier;
}

bool TQmSQLSyn::IsKeyword(const std::string &AKeyword) const {
  unsigned h = 0;
  std::size_t n = 0;
  while (n < AKeyword.size() && IsIdent(static_cast<unsigned char>(AKeyword[n])))
    h = 2 * h + (*hashTable_)[static_cast<unsigned char>(AKeyword[n++])];
  if (n == 0 || n != AKeyword.size()) return false;
  for (const TQmHashEntry *e = keywords_[h & 255]; e; e = e->NextEntry.get()) {
    if (e->KeyLength > static_cast<int>(n)) break;
    if (e->KeyLength == static_cast<int>(n) && SameTextAscii(e->KeyText, AKeyword)) {
      switch (e->TokenKind) {
        case tokDataType: case tokDefaultPackage: case tokException: case tokFunction: case tokKeyword:
        case tokPlsql:
          return true;
        default:
          return false;
      }
    }
  }
  return false;
}

// ---- description ---------------------------------------------------------------------

TQmCharSet TQmSQLSyn::WordChars() const {
  TQmCharSet s = MakeCharRange('0', '9') | MakeCharRange('A', 'Z') | MakeCharRange('a', 'z') |
                 MakeCharRange(0xC0, 0xD6) | MakeCharRange(0xD8, 0xF6) | MakeCharRange(0xF8, 0xFF);
  s.set('_');
  if (UsesAtVariant(dialect_)) s.set('@');
  if (dialect_ == sqlOracle) s.set('#').set('$');
  return s;
}

bool TQmSQLSyn::IsFilterStored() const { return GetDefaultFilter() != kDefaultFilter; }

std::string TQmSQLSyn::GetSampleSource() const { return SQLDialectSampleSource(dialect_); }

TQmHighlighterAttributes *TQmSQLSyn::GetDefaultAttribute(int Index) const {
  switch (Index) {
    case SYN_ATTR_COMMENT: return commentAttri_;
    case SYN_ATTR_IDENTIFIER: return identifierAttri_;
    case SYN_ATTR_KEYWORD: return keyAttri_;
    case SYN_ATTR_STRING: return stringAttri_;
    case SYN_ATTR_WHITESPACE: return spaceAttri_;
    case SYN_ATTR_SYMBOL: return symbolAttri_;
    default: return nullptr;
  }
}

TQmHighlighterAttributes *TQmSQLSyn::GetTokenAttribute() const {
  switch (tokenId_) {
    case tokComment: return commentAttri_;
    case tokConditionalComment: return conditionalCommentAttri_;
    case tokDataType: return dataTypeAttri_;
    case tokDefaultPackage: return defaultPackageAttri_;
    case tokDelimitedIdentifier: return delimitedIdentifierAttri_;
    case tokException: return exceptionAttri_;
    case tokFunction: return functionAttri_;
    case tokIdentifier: return identifierAttri_;
    case tokKeyword: return keyAttri_;
    case tokNumber: return numberAttri_;
    case tokPlsql: return plsqlAttri_;
    case tokSpace: return spaceAttri_;
    case tokSqlPlus: return sqlPlusAttri_;
    case tokString: return stringAttri_;
    case tokSymbol: return symbolAttri_;
    case tokTableName: return tableNameAttri_;
    case tokVariable: return variableAttri_;
    case tokPragma: return pragmasAttri_;
    case tokUnknown: return identifierAttri_;
    default: return nullptr;
  }
}

// ---- scanning ------------------------------------------------------------------------

void TQmSQLSyn::SetLine(const std::string &NewValue, int LineNumber) {
  line_ = NewValue;
  run_ = 0;
  lineNumber_ = LineNumber;
  Next();
}

std::string TQmSQLSyn::GetToken() const {
  return line_.substr(static_cast<std::size_t>(tokenPos_), static_cast<std::size_t>(run_ - tokenPos_));
}

// A lead byte takes the next byte as its trail byte only when that byte is part of the
// line: a lead byte that ends the line is one byte, never paired with the terminator.
int TQmSQLSyn::CharLenAt(int i) const {
  const unsigned char c = At(i);
  const bool lead = (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
  return lead && static_cast<std::size_t>(i) + 1 < line_.size() ? 2 : 1;
}

void TQmSQLSyn::Next() {
  tokenPos_ = run_;
  switch (range_) {
    case rngComment:
    case rngConditionalComment: AnsiCProc(); break;
    case rngString: StringProc(); break;
    default: (this->*procTable_[At(run_)])(); break;
  }
}

void TQmSQLSyn::MakeMethodTables() {
  for (unsigned c = 0; c < 256; ++c) {
    TProc p = &TQmSQLSyn::SymbolProc;
    switch (c) {
      case 0: p = &TQmSQLSyn::NullProc; break;
      case 10: p = &TQmSQLSyn::LFProc; break;
      case 13: p = &TQmSQLSyn::CRProc; break;
      case '\'': p = &TQmSQLSyn::AsciiCharProc; break;
      case '"': p = &TQmSQLSyn::DoubleQuoteProc; break;
      case '`': p = &TQmSQLSyn::BackQuoteProc; break;
      case '[': p = &TQmSQLSyn::BracketProc; break;
      case ':': case '@': p = &TQmSQLSyn::VariableProc; break;
      case '#': p = &TQmSQLSyn::HashProc; break;
      case '-': p = &TQmSQLSyn::MinusProc; break;
      case '/': p = &TQmSQLSyn::SlashProc; break;
      case '<': p = &TQmSQLSyn::LowerProc; break;
      case '>': p = &TQmSQLSyn::GreaterProc; break;
      case '=': p = &TQmSQLSyn::EqualProc; break;
      case '&': p = &TQmSQLSyn::AndSymbolProc; break;
      case '|': p = &TQmSQLSyn::OrSymbolProc; break;
      case '+': p = &TQmSQLSyn::PlusProc; break;
      case '!': case '%': case '*': case '^': p = &TQmSQLSyn::SymbolAssignProc; break;
      case '$': case '\\': case 127: p = &TQmSQLSyn::UnknownProc; break;
      default:
        if (c < 33) p = &TQmSQLSyn::SpaceProc;
        else if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_') p = &TQmSQLSyn::IdentProc;
        else if (c >= '0' && c <= '9') p = &TQmSQLSyn::NumberProc;
        else if (c >= 128) p = &TQmSQLSyn::UnknownProc;
        break;
    }
    procTable_[c] = p;
  }
}

void TQmSQLSyn::NullProc() { tokenId_ = tokNull; }

void TQmSQLSyn::CRProc() {
  tokenId_ = tokSpace;
  ++run_;
  if (At(run_) == 10) ++run_;
}

void TQmSQLSyn::LFProc() {
  tokenId_ = tokSpace;
  ++run_;
}

void TQmSQLSyn::SpaceProc() {
  tokenId_ = tokSpace;
  ++run_;
  for (unsigned char c = At(run_); c >= 1 && c <= 32 && c != 10 && c != 13; c = At(run_)) ++run_;
}

void TQmSQLSyn::IdentProc() {
  tokenId_ = IdentKind(run_);
  run_ += stringLen_;
  if (tokenId_ == tokComment) RestOfLineComment();
}

void TQmSQLSyn::RestOfLineComment() {
  tokenId_ = tokComment;
  while (!IsLineEndByte(At(run_))) run_ += CharLenAt(run_);
}

void TQmSQLSyn::NumberProc() {
  tokenId_ = tokNumber;
  ++run_;
  for (unsigned char c = At(run_); (c >= '0' && c <= '9') || c == '.' || c == '-'; c = At(run_)) {
    if (c == '.' && At(run_ + 1) == '.') break;
    ++run_;
  }
}

void TQmSQLSyn::SymbolProc() {
  tokenId_ = tokSymbol;
  ++run_;
}

void TQmSQLSyn::SymbolAssignProc() {
  tokenId_ = tokSymbol;
  ++run_;
  if (At(run_) == '=') ++run_;
}

void TQmSQLSyn::UnknownProc() {
  tokenId_ = tokUnknown;
  run_ += CharLenAt(run_);
}

void TQmSQLSyn::LowerProc() {
  tokenId_ = tokSymbol;
  ++run_;
  if (At(run_) == '=') {
    ++run_;
  } else if (At(run_) == '<') {
    ++run_;
    if (At(run_) == '=') ++run_;
  }
}

void TQmSQLSyn::GreaterProc() {
  tokenId_ = tokSymbol;
  ++run_;
  if (At(run_) == '=' || At(run_) == '>') ++run_;
}

void TQmSQLSyn::EqualProc() {
  tokenId_ = tokSymbol;
  ++run_;
  if (At(run_) == '=' || At(run_) == '>') ++run_;
}

void TQmSQLSyn::AndSymbolProc() {
  tokenId_ = tokSymbol;
  ++run_;
  if (At(run_) == '=' || At(run_) == '&') ++run_;
}

void TQmSQLSyn::OrSymbolProc() {
  tokenId_ = tokSymbol;
  ++run_;
  if (At(run_) == '=' || At(run_) == '|') ++run_;
}

void TQmSQLSyn::PlusProc() {
  tokenId_ = tokSymbol;
  ++run_;
  if (At(run_) == '=' || At(run_) == '+') ++run_;
}

void TQmSQLSyn::MinusProc() {
  if (At(run_ + 1) == '-') {
    RestOfLineComment();
  } else {
    tokenId_ = tokSymbol;
    ++run_;
  }
}

void TQmSQLSyn::HashProc() {
  if (dialect_ == sqlMySQL) RestOfLineComment();
  else UnknownProc();
}

void TQmSQLSyn::SlashProc() {
  const unsigned char next = At(run_ + 1);
  if (next == '*') {
    if (dialect_ == sqlMySQL && At(run_ + 2) == '!') {
      range_ = rngConditionalComment;
      tokenId_ = tokConditionalComment;
    } else {
      range_ = rngComment;
      tokenId_ = tokComment;
    }
    run_ += 2;
    while (!IsLineEndByte(At(run_))) {
      if (At(run_) == '*' && At(run_ + 1) == '/') {
        run_ += 2;
        range_ = rngNone;
        return;
      }
      run_ += CharLenAt(run_);
    }
  } else {
    tokenId_ = tokSymbol;
    run_ += next == '=' ? 2 : 1;
  }
}

void TQmSQLSyn::AnsiCProc() {
  switch (At(run_)) {
    case 0: NullProc(); return;
    case 13: CRProc(); return;
    case 10: LFProc(); return;
    default: break;
  }
  tokenId_ = range_ == rngConditionalComment ? tokConditionalComment : tokComment;
  while (!IsLineEndByte(At(run_))) {
    if (At(run_) == '*' && At(run_ + 1) == '/') {
      run_ += 2;
      range_ = rngNone;
      return;
    }
    run_ += CharLenAt(run_);
  }
}

void TQmSQLSyn::AsciiCharProc() { StringProc(); }

void TQmSQLSyn::StringProc() {
  if (At(run_) == 0) return NullProc();
  tokenId_ = tokString;
  if (run_ > 0 || range_ != rngString || At(run_) != '\'') {
    range_ = rngString;
    bool afterBackslash = At(run_) == '\\';
    run_ += CharLenAt(run_);  // the opening character
    const bool escapes = dialect_ == sqlMySQL;
    for (unsigned char c = At(run_); !IsLineEndByte(c); c = At(run_)) {
      if (c == '\'' && !(escapes && afterBackslash)) {
        ++run_;
        range_ = rngNone;
        return;
      }
      const int n = CharLenAt(run_);
      afterBackslash = n == 1 && c == '\\';
      run_ += n;
    }
  } else {
    ++run_;
    range_ = rngNone;
  }
}

void TQmSQLSyn::DelimitedProc(unsigned char Close) {
  tokenId_ = tokDelimitedIdentifier;
  ++run_;
  for (unsigned char c = At(run_); !IsLineEndByte(c); c = At(run_)) {
    if (c == Close) {
      ++run_;
      if (At(run_) != Close) return;
      ++run_;
      continue;
    }
    run_ += CharLenAt(run_);
  }
}

void TQmSQLSyn::DoubleQuoteProc() { DelimitedProc('"'); }

void TQmSQLSyn::BackQuoteProc() {
  if (dialect_ == sqlMySQL) DelimitedProc('`');
  else UnknownProc();
}

void TQmSQLSyn::BracketProc() {
  if (UsesAtVariant(dialect_)) DelimitedProc(']');
  else SymbolProc();
}

void TQmSQLSyn::VariableProc() {
  const unsigned char c = At(run_);
  if (UsesAtVariant(dialect_) && c == '@' && At(run_ + 1) == '@') return IdentProc();
  if ((dialect_ == sqlMySQL || dialect_ == sqlOracle) && c == '@') return SymbolProc();
  if (c == ':' && dialect_ != sqlOracle && dialect_ != sqlIngres) return SymbolProc();
  tokenId_ = tokVariable;
  ++run_;
  while (IsIdent(At(run_))) ++run_;
}
