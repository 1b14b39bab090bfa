// The SQL highlighter of the editor: nine SQL dialects, of which the program uses SQLite,
// with its keywords, data types, functions, window functions, PRAGMA names, the program's
// own SQL functions and the names of the open database's tables and views.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "components/editor/QmEditHighlighter.h"
#include "components/editor/QmHighlighterHashEntries.h"

enum TtkTokenKind : std::uint8_t {
  tokComment,
  tokDataType,
  tokDefaultPackage,
  tokException,
  tokFunction,
  tokIdentifier,
  tokKeyword,
  tokNull,
  tokNumber,
  tokSpace,
  tokPlsql,
  tokSqlPlus,
  tokString,
  tokSymbol,
  tokTableName,
  tokUnknown,
  tokVariable,
  tokConditionalComment,
  tokDelimitedIdentifier,
  tokPragma,
};

enum TRangeState { rngNone, rngComment, rngString, rngConditionalComment };

enum TSQLDialect {
  sqlStandard,
  sqlInterbase6,
  sqlMSSQL7,
  sqlMySQL,
  sqlOracle,
  sqlSybase,
  sqlIngres,
  sqlMSSQL2K,
  sqlSQLite,
};

class TQmSQLSyn : public TQmCustomHighlighter {
 public:
  explicit TQmSQLSyn(TComponent *AOwner = nullptr);
  ~TQmSQLSyn() override;
  const char *ClassName() const override { return "TQmSQLSyn"; }
  void Assign(const TPersistent &Source) override;

  TQmHighlighterAttributes *CommentAttri() const { return commentAttri_; }
  TQmHighlighterAttributes *ConditionalCommentAttri() const { return conditionalCommentAttri_; }
  TQmHighlighterAttributes *DataTypeAttri() const { return dataTypeAttri_; }
  TQmHighlighterAttributes *DefaultPackageAttri() const { return defaultPackageAttri_; }
  TQmHighlighterAttributes *DelimitedIdentifierAttri() const { return delimitedIdentifierAttri_; }
  TQmHighlighterAttributes *ExceptionAttri() const { return exceptionAttri_; }
  TQmHighlighterAttributes *FunctionAttri() const { return functionAttri_; }
  TQmHighlighterAttributes *IdentifierAttri() const { return identifierAttri_; }
  TQmHighlighterAttributes *KeyAttri() const { return keyAttri_; }
  TQmHighlighterAttributes *NumberAttri() const { return numberAttri_; }
  TQmHighlighterAttributes *PLSQLAttri() const { return plsqlAttri_; }
  TQmHighlighterAttributes *SpaceAttri() const { return spaceAttri_; }
  TQmHighlighterAttributes *SQLPlusAttri() const { return sqlPlusAttri_; }
  TQmHighlighterAttributes *StringAttri() const { return stringAttri_; }
  TQmHighlighterAttributes *SymbolAttri() const { return symbolAttri_; }
  TQmHighlighterAttributes *TableNameAttri() const { return tableNameAttri_; }
  TQmHighlighterAttributes *PragmasAttri() const { return pragmasAttri_; }
  TQmHighlighterAttributes *VariableAttri() const { return variableAttri_; }

  // Table and view names (program text) shown as table names; the list is copied and
  // the keyword table rebuilt.
  const std::vector<std::string> &TableNames() const { return tableNames_; }
  void SetTableNames(const std::vector<std::string> &Value);
  TSQLDialect SQLDialect() const { return dialect_; }
  void SetSQLDialect(TSQLDialect Value);

  // Highlighter interface.
  TQmHighlighterAttributes *GetDefaultAttribute(int Index) const override;
  TQmCharSet WordChars() const override;
  std::string GetSampleSource() const override;
  bool IsFilterStored() const override;
  std::string GetLanguageName() const override { return "SQL"; }
  bool AtLineEnd() const override { return tokenId_ == tokNull; }
  int GetRange() const override { return range_; }
  std::string GetToken() const override;
  TQmHighlighterAttributes *GetTokenAttribute() const override;
  int GetTokenKind() const override { return tokenId_; }
  int GetTokenPos() const override { return tokenPos_; }
  bool IsKeyword(const std::string &AKeyword) const override;
  void Next() override;
  void SetLine(const std::string &NewValue, int LineNumber) override;
  // A value that is no range state (such as the line store's -1 for "not yet known")
  // starts the line outside comments and strings.
  void SetRange(int Value) override {
    range_ = Value >= rngNone && Value <= rngConditionalComment ? static_cast<TRangeState>(Value) : rngNone;
  }
  void ResetRange() override { range_ = rngNone; }

  // Byte length of the current token (the token text is only built by GetToken).
  int GetTokenLen() const { return run_ - tokenPos_; }
  int LineNumber() const { return lineNumber_; }

 private:
  using TProc = void (TQmSQLSyn::*)();

  unsigned char At(int i) const { return static_cast<unsigned char>(line_[static_cast<std::size_t>(i)]); }
  bool IsIdent(unsigned char c) const { return (*identTable_)[c]; }
  int CharLenAt(int i) const;
  TtkTokenKind IdentKind(int Start);
  void InitKeywords();
  void AddKeyword(std::string_view Word, int Kind);
  void MakeMethodTables();

  void AndSymbolProc();
  void AsciiCharProc();
  void CRProc();
  void EqualProc();
  void GreaterProc();
  void IdentProc();
  void LFProc();
  void LowerProc();
  void MinusProc();
  void NullProc();
  void NumberProc();
  void OrSymbolProc();
  void PlusProc();
  void SlashProc();
  void SpaceProc();
  void SymbolProc();
  void SymbolAssignProc();
  void VariableProc();
  void UnknownProc();
  void AnsiCProc();
  void StringProc();
  void DelimitedProc(unsigned char Close);
  void BracketProc();
  void BackQuoteProc();
  void DoubleQuoteProc();
  void HashProc();
  void RestOfLineComment();

  std::array<TProc, 256> procTable_{};
  std::string line_;  // the current line; line_.c_str() ends it with a NUL
  int run_ = 0;
  int tokenPos_ = 0;
  TtkTokenKind tokenId_ = tokNull;
  TRangeState range_ = rngNone;
  int lineNumber_ = 0;
  int stringLen_ = 0;
  TSQLDialect dialect_ = sqlStandard;
  const TQmCharSet *identTable_;
  const std::array<unsigned char, 256> *hashTable_;
  TQmHashEntryList keywords_;
  std::vector<std::string> tableNames_;

  TQmHighlighterAttributes *commentAttri_, *conditionalCommentAttri_, *dataTypeAttri_,
      *defaultPackageAttri_, *delimitedIdentifierAttri_, *exceptionAttri_, *functionAttri_,
      *identifierAttri_, *keyAttri_, *numberAttri_, *plsqlAttri_, *spaceAttri_, *sqlPlusAttri_,
      *stringAttri_, *symbolAttri_, *tableNameAttri_, *pragmasAttri_, *variableAttri_;
};
