// The crop classification in memory: one record per crop of vg_sakumotsu2 in the view's
// order, owned by the program-wide list. It fills the crop trees and gives the hint texts
// shown over crops, crop-group rows and CVO rows. Texts are program text (CP932).
#pragma once

#include <QIcon>
#include <QList>
#include <memory>
#include <string>
#include <vector>

class TCheckTreeView;

struct TSakumotsu {
  int class_ = 0;  // depth in the classification, 0 (top) to 5
  std::string idsaku;  // 16-digit crop code
  int toroku = 0;      // registration status 0 to 3 (TorokuText)
  std::string shukakubui;  // harvested part
  std::string sakumotsu;   // crop name, the node's caption
  std::string betsumei;    // other names
  std::string gunmei;      // group name
};

class TSakumotsuList {
 public:
  TSakumotsuList() = default;
  TSakumotsuList(const TSakumotsuList &) = delete;
  TSakumotsuList &operator=(const TSakumotsuList &) = delete;

  int Count() const { return static_cast<int>(FItems.size()); }
  TSakumotsu *Items(int Index) const { return FItems.at(Index).get(); }
  void Add(std::unique_ptr<TSakumotsu> Item) { FItems.push_back(std::move(Item)); }
  void Delete(int Index);
  void Clear() { FItems.clear(); }

  // Appends the crops of vg_sakumotsu2 (all but the root code) from the open database.
  // Without a database, or when the query fails (the query object reports it), nothing.
  void Load();
  // Rebuilds the tree's nodes from the list (loading it first when empty). Each node's data
  // is its record; a filler node standing for a missing level carries the record before it.
  void FillTree(TCheckTreeView *Tree);

 private:
  std::vector<std::unique_ptr<TSakumotsu>> FItems;
};

// The program-wide list, created and freed by the crop-selection frame.
extern TSakumotsuList *SakumotsuList;

// The text of a registration status; false (and the text left as it was) for an unknown one.
bool TorokuText(int Toroku, std::string &Text);
// The hint over a crop: its name, upper groups, harvested part, other names and status,
// lines joined by CR LF. The debug form starts with a class and code line.
std::string CropHintText(const TSakumotsu *Item);
std::string CropHintTextDebug(const TSakumotsu *Item);
// True for a crop of the deciduous-fruit group.
bool IsRakuyokaju(const TSakumotsu *Item);
// The hints of a crop-group table row and of a CVO table row (caption and sub-items; a
// missing sub-item reads as empty).
std::string Beppyo1HintText(const std::string &Caption, const std::vector<std::string> &SubItems);
std::string CvoHintText(const std::string &Caption, const std::vector<std::string> &SubItems);
// The crop name of a search-list text: every ">" and blank removed, then the part before
// the first "|"; empty when there is no "|".
std::string CropNameFromListItem(const std::string &Text);

// The image and selected-image indexes of a tree node at a level (0 to 5) for its record's
// status; -1 where the level and status have no picture.
void CropNodeImages(int Level, bool Filler, int Toroku, int &Image, int &Selected);
// The crop tree's pictures at the given size in pixels, indexed as CropNodeImages says.
QList<QIcon> CropTreeImages(int Size);
