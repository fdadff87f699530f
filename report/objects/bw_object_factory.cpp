#include "objects/bw_object_factory.h"

#include <QHash>

#include "objects/bw_band_view.h"
#include "objects/bw_line_view.h"
#include "objects/bw_memo_view.h"
#include "objects/bw_picture_view.h"

namespace bwreport {

namespace {

QHash<QString, TBwViewFactory>& registry() {
    static QHash<QString, TBwViewFactory> r;
    return r;
}

}  // namespace

std::unique_ptr<TBwView> createView(int tag) {
    switch (tag) {
        case gtMemo:
            return std::make_unique<TBwMemoView>();
        case gtPicture:
            return std::make_unique<TBwPictureView>();
        case gtBand:
            return std::make_unique<TBwBandView>();
        case gtSubReport:
            return std::make_unique<TBwSubReportView>();
        case gtLine:
            return std::make_unique<TBwLineView>();
        default:
            return nullptr;
    }
}

void registerAddInClass(const QString& className, TBwViewFactory factory) {
    registry().insert(className, std::move(factory));
}

void unregisterAddInClass(const QString& className) {
    registry().remove(className);
}

std::unique_ptr<TBwView> createAddIn(const QString& className) {
    const auto it = registry().constFind(className);
    return it == registry().constEnd() ? nullptr : (*it)();
}

QStringList addInClassNames() {
    return registry().keys();
}

}  // namespace bwreport
