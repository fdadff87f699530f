#include "objects/bw_graphic.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>

#include "objects/bw_jpeg.h"

namespace bwreport {

namespace {

const char* qtFormat(TBwGraphicKind kind) {
    return kind == gkBitmap ? "bmp" : kind == gkIcon ? "ico" : nullptr;
}

// The size a Qt image reader finds in the header, without decoding pixels.
QSize headerSize(const QByteArray& data, const char* format, QString* error) {
    QBuffer buffer;
    buffer.setData(data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, format);
    const QSize size = reader.canRead() ? reader.size() : QSize();
    if (!size.isValid() || size.isEmpty()) {
        if (error) *error = QStringLiteral("%1: not a picture file").arg(QLatin1String(format));
        return {};
    }
    return size;
}

}  // namespace

bool TBwGraphic::load(int kind, const QByteArray& data, QString* error) {
    QSize size;
    switch (kind) {
        case gkNone:
            clear();
            return true;
        case gkBitmap:
        case gkIcon:
            size = headerSize(data, qtFormat(static_cast<TBwGraphicKind>(kind)), error);
            if (!size.isValid()) return false;
            break;
        case gkJpeg:
            size = jpegSize(data, error);
            if (!size.isValid()) return false;
            break;
        case gkMetafile:
            if (data.isEmpty()) {
                if (error) *error = QStringLiteral("an empty metafile");
                return false;
            }
            break;
        default:
            if (error) *error = QStringLiteral("unknown graphic kind %1").arg(kind);
            return false;
    }
    m_kind = static_cast<TBwGraphicKind>(kind);
    m_data = data;
    m_size = size;
    m_image = {};
    m_decoded = false;
    return true;
}

bool TBwGraphic::loadFromFile(const QString& path, QString* error) {
    const QString ext = QFileInfo(path).suffix().toLower();
    TBwGraphicKind kind = gkBitmap;
    if (ext == u"jpg" || ext == u"jpeg")
        kind = gkJpeg;
    else if (ext == u"ico")
        kind = gkIcon;
    else if (ext == u"wmf" || ext == u"emf")
        kind = gkMetafile;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error) *error = file.errorString();
        return false;
    }
    return load(kind, file.readAll(), error);
}

void TBwGraphic::setImage(const QImage& image) {
    if (image.isNull()) {
        clear();
        return;
    }
    m_kind = gkJpeg;
    m_data = encodeJpeg(image);
    m_size = image.size();
    m_image = image;
    m_decoded = true;
}

void TBwGraphic::clear() {
    m_kind = gkNone;
    m_data.clear();
    m_size = {};
    m_image = {};
    m_decoded = false;
}

QImage TBwGraphic::image() const {
    if (!m_decoded) {
        m_decoded = true;
        if (m_kind == gkJpeg)
            m_image = decodeJpeg(m_data);
        else if (const char* f = qtFormat(m_kind))
            m_image = QImage::fromData(m_data, f);
    }
    return m_image;
}

}  // namespace bwreport
