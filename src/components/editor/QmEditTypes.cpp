#include "components/editor/QmEditTypes.h"

void TPersistent::Assign(const TPersistent &Source) {
  throw EConvertError(std::string("Cannot assign a ") + Source.ClassName() + " to a " + ClassName());
}

void TComponent::FreeNotification(const void *Key, std::function<void()> Callback) {
  RemoveFreeNotification(Key);
  freeNotify_.emplace_back(Key, std::move(Callback));
}

void TComponent::RemoveFreeNotification(const void *Key) {
  std::erase_if(freeNotify_, [Key](const auto &n) { return n.first == Key; });
}

void TComponent::NotifyFreed() {
  const auto notify = std::move(freeNotify_);
  freeNotify_.clear();
  for (const auto &n : notify) n.second();
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
