// The scripts of the crop and pest/disease searches, and the statements that narrow their
// results. Each builder only assembles text; the windows run it through the query object
// (TAcisDB::ExecSearchScript), which keeps the previous result when a statement fails.
#pragma once

#include <string>
#include <vector>

// The work table of the crop tab for the crops whose codes match the quoted expression
// (as IdSakuRegexpLineTest gives it).
std::string SakumotsuSearchScript(const std::string &IdSakuExpr);
// The same for main crops and neighbouring crops: the rows of both, kept only for the
// products registered for both.
std::string SakumotsuKinsetsuScript(const std::string &IdSakuExpr, const std::string &KinsetsuExpr);

// The words of a pest text without the empty ones that doubled, leading or trailing
// separators leave, as comma text; empty when the text holds no word.
std::string PestWords(const std::string &Text);
// The pest table and the work table of the pest tab for the words (comma text of
// PestWords); empty when there is no word. The work table then holds the rows whose pest or
// purpose of use is a found pest; ByochuRestScript adds the other rows of the found products.
std::string ByochuSearchScript(const std::string &Words);
std::string ByochuRestScript();
// The crop list of the rows of the found products, without the exclusion entries.
std::string ByochuCropListSQL();
// The found pest rows of the view.
std::string ByochuResultSQL(const std::string &ViewName);
// A crop chosen to narrow the pest result, with its registered groups (comma text, as
// DeployCrops gives it in mode "~"; the crop itself may be among them).
struct TCropAndGroups {
  std::string crop, groups;
};
// The rows of the found products in the view for the crops: of each crop, of what is filed
// under it (unless it excludes the crop), of its groups' own entries and of their entries that
// exclude other crops. The names are
// matched as they are: signs of regular expressions and quotes in them are escaped.
std::string ByochuCropFilterSQL(const std::string &ViewName, const std::vector<TCropAndGroups> &Crops);

// The text with the signs of regular expressions escaped (double-byte characters kept).
std::string RegexEscape(const std::string &Text);
