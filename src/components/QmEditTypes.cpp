#include "components/QmEditTypes.h"

void TPersistent::Assign(const TPersistent &Source) {
  throw EConvertError(std::string("Cannot assign a ") + Source.ClassName() + " to a " + ClassName());
}

TQmCharSet MakeCharSet(std::string_view Chars) {
  TQmCharSet set;
  for (char c : Chars) set.set(static_cast<unsigned char>(c));
  return set;
}

TQmCharSet MakeCharRange(unsigned char From, unsigned char To) {
  TQmCharSet set;
  for (unsigned c = From; c <= To; ++c) set.set(c);
  return set;
}
