// The statements of the chemical tab: the keyword and use conditions, the temporary tables of
// a product search (t_bango for the crop restriction, t_yaku for the products found, t_seibun
// and t_kihon for the ingredient lists), the product lists of the side lists and the queries
// of the product detail. Every word a user typed or picked goes in as a quoted literal.
//
// The crop restriction is an explicit state of the caller: while it is active only the
// products in t_bango count, even when t_bango is empty (a crop without registered products
// then gives no product), and while it is not, t_bango is not consulted at all.
#pragma once

#include <string>
#include <vector>

class TAcisDB;

// The keyword, turned to half-width, is a positive whole number, optionally behind one ">"
// or "<" (a registration number, or the numbers from or up to it).
bool IsBangoTerm(const std::string &Keyword);

// The condition of a keyword; it opens one parenthesis that the caller closes.
// "(bango=12" / "(bango>=12" / "(bango<=12" for a number term, else every word (split on
// the blank; the full-width blank, "、" and "＆" count as blanks) must occur in the
// product's keyword list: "bango IN (SELECT bango FROM kwlists WHERE strconv(kws) LIKE
// preconv('%w1%') AND strconv(kws) LIKE preconv('%w2%')".
std::string YakuzaiKeywordCond(const std::string &Keyword);

// " AND seizaiyoto = 'use'" (the product's use, a column of kihon), empty for no use and
// for "全て".
std::string YotoCond(const std::string &Yoto);

// " AND bango IN (SELECT DISTINCT bango FROM t_bango)" while the crop restriction is active.
std::string BangoRestriction(bool Active);

// The script that recreates t_bango: the products registered for the crops whose codes match
// the code expression, or an empty table for an empty expression.
std::string CreateBangoTableSQL(const std::string &IdSakuExpr);
// The script that recreates t_yaku with the products of the keyword (or, without a keyword,
// of t_bango) carrying the use.
std::string CreateYakuTableSQL(const std::string &Keyword, const std::string &Yoto, bool Restricted);

// The common names of t_yaku in reading order, and its numbers with product names.
std::string YakuTsushoListSQL();
std::string YakuBangoListSQL();

// The products of a common name (all of them, as the common-name list lists them).
std::string TsushoProductsSQL(const std::string &Tsusho);
// The products of a common name within the crop restriction (the side lists' product click).
std::string SideProductsSQL(const std::string &Tsusho, bool Restricted);

// The ingredient side lists of a product, chosen by common name (ByBango false) or by
// registration number: the ingredient names, the two scripts that recreate t_seibun and
// t_kihon, and the values of the group, site-of-action, RAC-code and RAC-group combos.
std::string SeibunNamesSQL(const std::string &Key, bool ByBango);
std::vector<std::string> SeibunTablesSQL(const std::string &Key, bool ByBango, bool Restricted);
// Column "keito", "sayoten", "mid" or "rackeito".
std::string SideComboValuesSQL(const std::string &Column, const std::string &Key, bool ByBango);

// The common names of the products whose column holds the value, in reading order.
// Column "ifnullstr(seibun,ippanmei)", "keito", "sayoten", "mid" or "rackeito".
std::string SideListSQL(const std::string &Column, const std::string &Value, bool Restricted);

// The script that fills t_seibun with the checked ingredients, and the common names of
// t_kihon that contain every one of them (grouped by common name, in reading order).
std::string PluralSeibunTableSQL(const std::vector<std::string> &Ingredients);
std::string PluralSeibunProductsSQL();

// The product detail of registration number B (digits).
std::string SeizaiSQL(const std::string &Bango);
std::string SuisanSQL(const std::string &Bango);
std::string SeibunGridSQL(const std::string &Bango);
std::string SeibunSlotsSQL(const std::string &Bango);
std::string SeibunOfIppanmeiSQL(const std::string &Bango, const std::string &Ippanmei);
std::string TekiyoGridSQL(const std::string &Bango, bool Restricted, const std::string &CropNames);

// " AND sakumotsu IN ('a','b')" of comma text, empty for an empty text.
std::string IsSakumotsuStr(const std::string &Names);
// name + "を含む農薬の使用回数", empty for an empty name.
std::string KaisuCaption(const std::string &Name);

// Runs a script of several statements (multi-statement mode for this run only). A failing
// statement stops the script, an open transaction is rolled back and the failure is shown in
// the SQL error report; false then.
bool ExecSearchScript(TAcisDB &Db, const std::string &Script);
