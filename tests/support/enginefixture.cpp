#include "support/enginefixture.h"

#include <cstdlib>
#include <stdexcept>

#include "support/testutil.h"

namespace qmtest {

ScopedEngineState::ScopedEngineState()
    : options_(*OptionData),
      sites_(DataSites()),
      refresh_(TAcisDB::ReferenceRefresh),
      registrar_(TSQLiteDb::FunctionRegistrar),
      debug_(DebugMode),
      acis_(AcisDB),
      owned_(AcisDBOwner().Exchange(nullptr)) {}

ScopedEngineState::ScopedEngineState(const std::filesystem::path &db_folder) : ScopedEngineState() {
  OptionData->DbFolder = db_folder.string();
  OptionData->BuiltFromSite = 0;
  TAcisDB::ReferenceRefresh = nullptr;
}

ScopedEngineState::~ScopedEngineState() {
  *OptionData = options_;
  DataSites() = sites_;
  TAcisDB::ReferenceRefresh = refresh_;
  TSQLiteDb::FunctionRegistrar = registrar_;
  DebugMode = debug_;
  AcisDBOwner().Close();
  AcisDBOwner().Exchange(std::move(owned_));
  AcisDB = acis_;
}

const std::filesystem::path &SmallKit() {
  struct Kit {
    TempDir dir;
    Kit() {
      std::string cmd = "python3 \"" + (SourceDir() / "scripts/samplekit/make.py").string() +
                        "\" --size small --out \"" + dir.path().string() + "\" > /dev/null";
      if (std::system(cmd.c_str()) != 0) throw std::runtime_error("the sample kit could not be made");
    }
  };
  static const Kit kit;  // removed with its folder when the program ends
  return kit.dir.path();
}

}  // namespace qmtest
