#pragma once

#include <QObject>
#include <string>

namespace tarnel {

// The builds with Qt: components are objects of the toolkit, so a window owns them, names them and
// hears of their end like any of its widgets.
using TAfOwner = QObject;

inline std::string OwnerName(const TAfOwner& Owner) {
  return Owner.objectName().toStdString();
}

}  // namespace tarnel
