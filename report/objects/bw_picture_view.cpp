#include "objects/bw_picture_view.h"

#include "base/bw_stream.h"
#include "sqlmem/dataset.h"

namespace bwreport {

TBwPictureView::TBwPictureView() : TBwView(gtPicture, QStringLiteral("Picture")) {
    Flags = flPictStretched | flPictRatio;
}

void TBwPictureView::loadOwn(TBwReader& r) {
    const std::uint8_t kind = r.readByte();
    if (LayoutMajor * 10 + LayoutMinor > 10) BlobType = r.readByte();
    const qsizetype at = r.pos();
    const std::int32_t end = r.readInt();
    if (end < r.pos() || end > r.size())
        r.fail(QStringLiteral("the graphic ends at %1, outside %2..%3")
                   .arg(end)
                   .arg(r.pos())
                   .arg(r.size()),
               at);
    const qsizetype dataAt = r.pos();
    QString error;
    if (!Picture.load(kind, r.readBytes(end - r.pos()), &error)) r.fail(error, dataAt);
}

void TBwPictureView::saveOwn(TBwWriter& w) const {
    w.writeByte(Picture.kind());
    w.writeByte(BlobType);
    const qsizetype at = w.pos();
    w.writeInt(0);
    w.writeBytes(Picture.data());
    w.patchInt(at, static_cast<std::int32_t>(w.pos()));
}

void TBwPictureView::loadFromBlob(sqlmem::TField& field) {
    const std::string bytes = field.isNull() ? std::string() : field.value().toString();
    if (bytes.empty()) {
        Picture.clear();
        return;
    }
    static constexpr TBwGraphicKind kKinds[] = {gkBitmap, gkJpeg, gkIcon, gkMetafile};
    const TBwGraphicKind kind = BlobType <= btWMF ? kKinds[BlobType] : gkBitmap;
    if (!Picture.load(kind, QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size()))))
        Picture.clear();
}

void TBwPictureView::draw(QPainter& canvas) {
    beginDraw(canvas);
    drawBackground(canvas);
    const QImage image = Picture.image();
    if (!image.isNull() && !drawState().firstPass) {
        const QRectF box(m_drawX, m_drawY, m_drawW, m_drawH);
        QRectF target;
        if (Flags & flPictStretched) {
            target = box;
            if (Flags & flPictRatio) {
                QSizeF s = QSizeF(image.size()).scaled(box.size(), Qt::KeepAspectRatio);
                target = QRectF(box.topLeft(), s);
            }
        } else {
            target = QRectF(box.topLeft(), QSizeF(image.width() * ScaleX, image.height() * ScaleY));
        }
        if (Flags & flPictCenter) target.moveCenter(box.center());
        canvas.save();
        canvas.setClipRect(box, Qt::IntersectClip);
        canvas.drawImage(target, image);
        canvas.restore();
    }
    drawFrame(canvas);
    endDraw();
}

void TBwPictureView::defineProperties() {
    TBwView::defineProperties();
    addProperty(QStringLiteral("Center"), TBwPropKind::Boolean);
    addProperty(QStringLiteral("KeepAspect"), TBwPropKind::Boolean);
    addEnumProperty(QStringLiteral("BlobType"), QStringLiteral("btBMP;btJPG;btICO;btWMF"),
                    {btBMP, btJPG, btICO, btWMF});
}

QVariant TBwPictureView::getProperty(const QString& name) const {
    const QString n = name.toUpper();
    if (n == u"CENTER") return (Flags & flPictCenter) != 0;
    if (n == u"KEEPASPECT") return (Flags & flPictRatio) != 0;
    if (n == u"BLOBTYPE") return int(BlobType);
    return TBwView::getProperty(name);
}

void TBwPictureView::setProperty(const QString& name, const QVariant& value) {
    const QString n = name.toUpper();
    if (n == u"CENTER")
        Flags = value.toBool() ? (Flags | flPictCenter) : (Flags & ~flPictCenter);
    else if (n == u"KEEPASPECT")
        Flags = value.toBool() ? (Flags | flPictRatio) : (Flags & ~flPictRatio);
    else if (n == u"BLOBTYPE")
        BlobType = static_cast<std::uint8_t>(value.toInt());
    else
        TBwView::setProperty(name, value);
}

QVariant TBwPictureView::callMethod(const QString& name, const QVariant& arg1, const QVariant& arg2,
                                    const QVariant& arg3) {
    if (name.compare(QLatin1String("LOADFROMFILE"), Qt::CaseInsensitive) == 0) {
        const QString path = arg1.toString();
        if (path.isEmpty())
            Picture.clear();
        else
            Picture.loadFromFile(path);
        return {};
    }
    return TBwView::callMethod(name, arg1, arg2, arg3);
}

}  // namespace bwreport
