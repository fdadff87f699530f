// Page objects: the common fields every view stores, their stream body and
// their drawing frame. Coordinates are report units relative to the page.
#pragma once

#include <QPainter>
#include <QRegion>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "base/bw_types.h"
#include "objects/bw_object.h"

namespace sqlmem {
class TField;
}

namespace bwreport {

class TBwReader;
class TBwWriter;
class TBwPage;
class TBwBand;
class TBwEMFPages;

// Engine-wide drawing switches set while a report is built.
struct TBwDrawState {
    bool firstPass = false;  // the first of two passes draws nothing
};
TBwDrawState& drawState();

// What the painter's device shows, in the painter's coordinates, widened by
// `margin`; none for a device without a size (a picture still being
// recorded). Stored geometry may be anything: drawing only this much keeps
// loops short and coordinates inside the raster engine's fixed-point range.
std::optional<QRectF> visibleArea(const QPainter& canvas, double margin);

// The band an object is printed in, as drawn on the page (report units).
struct TBwBandFrame {
    int Left = 0, Top = 0, Width = 0, Height = 0;
    bool Cross = false;  // a cross band: baWidth takes its width
};

// A design-time menu entry; the system has no designer, so only the hook exists.
struct TBwMenuItem {
    QString caption;
    std::function<void()> action;
};

// The next value of the engine-wide running object number.
int nextObjectNumber();

// Frame width as stored: a value of 10 or less is the width itself, a larger
// one the width in thousandths (so a stored 11 is 0.011).
double frameWidthFromCode(std::int32_t code);
std::int32_t frameWidthToCode(double width);

class TBwView : public TBwObject {
public:
    ~TBwView() override;

    // --- stored fields, in stream order ----------------------------------
    QString Name;
    // The object layout version as read; the writer stores its own (2.1 for
    // bands, 2.0 for the rest).
    std::uint8_t LayoutMajor = 2;
    std::uint8_t LayoutMinor = 0;
    int Left = 0, Top = 0, Width = 0, Height = 0;
    std::uint16_t Flags = 1;
    std::uint16_t FrameTyp = frftNone;  // a band's type instead
    double FrameWidth = 1;
    TColor FrameColor = clBlack;
    std::uint16_t FrameStyle = psSolid;
    TColor FillColor = clNone;
    std::int32_t Format = kDefaultFormat;
    QString FormatStr;  // custom pattern; a band's data source or group condition
    QStringList Memo;
    QStringList Script;
    bool Visible = true;
    std::uint16_t Restrictions = 0;  // kept and written back, without effect
    QString Tag;
    int GapX = 2, GapY = 1;
    std::uint8_t BandAlign = baNone;

    // --- run-time ----------------------------------------------------------
    TBwObjectType type() const { return m_type; }
    // "Memo", "Band", ...: the stem of generated names.
    const QString& baseName() const { return m_baseName; }
    // The class name an add-in is stored under.
    virtual QString className() const = 0;
    int objectNumber() const { return m_objectNumber; }
    // Set while the view is read from or written to a prepared page: the
    // shorter encoding without display format, script and Visible.
    bool IsPrepared = false;
    QStringList Memo1;  // the text after expression substitution
    double ScaleX = 1, ScaleY = 1, OffsetX = 0, OffsetY = 0;
    TBwPage* ParentPage = nullptr;
    TBwBand* ParentBand = nullptr;
    sqlmem::TField* DataSetField = nullptr;

    // --- stream ------------------------------------------------------------
    // The body: the common part, then the type's own part.
    virtual void load(TBwReader& reader);
    virtual void save(TBwWriter& writer) const;
    virtual void afterLoad() {}
    // Takes the content from a dataset's large-object field.
    virtual void loadFromBlob(sqlmem::TField& /*field*/) {}

    // --- drawing -------------------------------------------------------------
    virtual void drawBackground(QPainter& canvas);
    virtual void drawFrame(QPainter& canvas);
    // Applies scale and offset, widens the text insets by half the frame
    // width and computes the drawing rectangle.
    virtual void beginDraw(QPainter& canvas);
    virtual void endDraw();
    virtual void draw(QPainter& canvas) = 0;
    virtual void exportData() {}
    // Appends the object in prepared form to prepared page `pageIndex`.
    // `band` is the band it is printed in, when there is one.
    virtual void print(TBwEMFPages& pages, int pageIndex, const TBwBandFrame* band = nullptr);
    // The object with its frame, in report units; widened by 10 when asked.
    virtual QRegion clipRegion(bool widened) const;

    // --- design-time hooks -------------------------------------------------
    virtual void addMenuItems(std::vector<TBwMenuItem>& /*menu*/) {}
    virtual void edit();
    // The editor a class opens through edit(); none are installed here.
    static void setEditor(const QString& className, std::function<void(TBwView&)> editor);

    // --- properties ----------------------------------------------------------
    void setProperty(const QString& name, const QVariant& value) override;
    QVariant getProperty(const QString& name) const override;
    QVariant callMethod(const QString& name, const QVariant& arg1, const QVariant& arg2,
                        const QVariant& arg3) override;

protected:
    TBwView(TBwObjectType type, QString baseName);
    void defineProperties() override;
    // The own part after the common part.
    virtual void loadOwn(TBwReader& /*reader*/) {}
    virtual void saveOwn(TBwWriter& /*writer*/) const {}
    virtual std::uint8_t writtenLayoutMinor() const { return 0; }
    // The object's rectangle grown by `extra` on every side, kept in range.
    QRegion regionAround(qint64 extra) const;
    // The text list a method prefix names ("MEMO", and "LINES" for text objects).
    virtual bool isListMethod(const QString& prefix) const { return prefix == u"MEMO"; }

    // Valid between beginDraw and endDraw: device coordinates.
    QPainter* m_canvas = nullptr;
    QRectF m_drawRect;
    double m_drawX = 0, m_drawY = 0, m_drawW = 0, m_drawH = 0;
    double m_frameWidthPx = 0;
    double m_gapXPx = 0, m_gapYPx = 0;

private:
    TBwObjectType m_type;
    QString m_baseName;
    int m_objectNumber;
};

// Objects whose height can follow their content.
class TBwStretcheable : public TBwView {
public:
    // The height the content needs.
    virtual int calcHeight() = 0;
    // The smallest piece that may stand alone on a page.
    virtual int minHeight() = 0;
    // What remains after the object has been split.
    virtual int remainHeight() = 0;
    QVariant callMethod(const QString& name, const QVariant& arg1, const QVariant& arg2,
                        const QVariant& arg3) override;

protected:
    using TBwView::TBwView;
};

// Flag bits shared by the view kinds.
constexpr std::uint16_t flStretched = 1;

}  // namespace bwreport
