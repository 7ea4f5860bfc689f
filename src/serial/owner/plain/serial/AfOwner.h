#pragma once

#include <algorithm>
#include <string>
#include <vector>

namespace tarnel {

// The builds without Qt: a plain owner. An owner frees what it owns, the newest first, when it goes; a
// component freed earlier leaves its owner's list.
class TAfOwner {
 public:
  explicit TAfOwner(TAfOwner* Owner = nullptr) : FOwner(Owner) {
    if (FOwner) FOwner->FOwned.push_back(this);
  }
  virtual ~TAfOwner() {
    while (!FOwned.empty())
      delete FOwned.back();  // each one leaves the list as it goes
    if (FOwner) {
      auto& list = FOwner->FOwned;
      list.erase(std::remove(list.begin(), list.end(), this), list.end());
    }
  }
  TAfOwner(const TAfOwner&) = delete;
  TAfOwner& operator=(const TAfOwner&) = delete;

  TAfOwner* Owner() const { return FOwner; }
  const std::string& objectName() const { return FName; }
  void setObjectName(std::string Name) { FName = std::move(Name); }

 private:
  TAfOwner* FOwner;
  std::vector<TAfOwner*> FOwned;
  std::string FName;
};

inline std::string OwnerName(const TAfOwner& Owner) {
  return Owner.objectName();
}

}  // namespace tarnel
