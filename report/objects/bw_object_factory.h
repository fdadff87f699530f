// Creating views by stream tag, and the registry of add-in view classes
// (stored with tag 10 and found by class name).
#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

#include "objects/bw_view.h"

namespace bwreport {

// A view of a built-in tag (0 to 4); null for any other tag.
std::unique_ptr<TBwView> createView(int tag);

using TBwViewFactory = std::function<std::unique_ptr<TBwView>()>;
void registerAddInClass(const QString& className, TBwViewFactory factory);
void unregisterAddInClass(const QString& className);
// Exact class-name match; null when no such class is registered.
std::unique_ptr<TBwView> createAddIn(const QString& className);
QStringList addInClassNames();

}  // namespace bwreport
