// A picture (stream tag 1).
#pragma once

#include "objects/bw_graphic.h"
#include "objects/bw_view.h"

namespace bwreport {

enum TBwPictureFlag : std::uint16_t {
    flPictStretched = 1,  // scale to the object's rectangle
    flPictCenter = 2,
    flPictRatio = 4,  // KeepAspect
};

// The picture kind of a bound data field.
enum TBwBlobType : std::uint8_t { btBMP = 0, btJPG = 1, btICO = 2, btWMF = 3 };

class TBwPictureView : public TBwView {
public:
    TBwPictureView();
    QString className() const override { return QStringLiteral("TBwPictureView"); }

    TBwGraphic Picture;
    std::uint8_t BlobType = btBMP;

    void draw(QPainter& canvas) override;
    // Takes the picture from a large-object field, as BlobType says it is stored.
    void loadFromBlob(sqlmem::TField& field) override;

    void setProperty(const QString& name, const QVariant& value) override;
    QVariant getProperty(const QString& name) const override;
    QVariant callMethod(const QString& name, const QVariant& arg1, const QVariant& arg2,
                        const QVariant& arg3) override;

protected:
    void defineProperties() override;
    //   1  graphic kind (TBwGraphicKind)
    //   1  BlobType, when the layout version is above 1.0
    //   4  int: stream position of the byte after the graphic data
    //   .  the graphic's own file bytes (none for kind 0)
    void loadOwn(TBwReader& reader) override;
    void saveOwn(TBwWriter& writer) const override;
};

}  // namespace bwreport
