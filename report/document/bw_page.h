// A template page and the ordered list of them.
#pragma once

#include <QString>
#include <QStringList>
#include <memory>
#include <vector>

#include "base/bw_types.h"
#include "objects/bw_object.h"
#include "objects/bw_view.h"
#include "printer/bw_printer.h"

namespace bwreport {

class TBwReport;
class TBwReader;
class TBwWriter;

enum TBwPageType : std::uint8_t { ptReport = 0, ptDialog = 1 };
enum TBwBorderStyle : std::uint8_t {
    bsNone = 0,
    bsSingle = 1,
    bsSizeable = 2,
    bsDialog = 3,
    bsToolWindow = 4,
    bsSizeToolWin = 5,
};
enum TBwWindowPosition : std::uint8_t { poDesigned = 0, poScreenCenter = 4 };

// A page record's paper bin for the printer's default source.
constexpr int kDefaultBin = 0xFFFF;

class TBwPage : public TBwObject {
public:
    // A page with the field defaults (A4, portrait); TBwPages::add gives it
    // the printer's default paper and geometry.
    explicit TBwPage(TBwReport* report = nullptr);
    ~TBwPage() override;

    TBwReport* report() const { return m_report; }

    // --- paper (sizes in tenths of a millimetre, margins in report units) ---
    int pgSize = 9;
    int pgWidth = 2100;
    int pgHeight = 2970;
    TBwOrientation pgOr = poPortrait;
    int pgBin = kDefaultBin;
    int LeftMargin = 0, TopMargin = 0, RightMargin = 0, BottomMargin = 0;  // 0: the printer's
    bool PrintToPrevPage = false;
    bool UseMargins = true;  // false: the whole sheet (StretchToPrintable)
    TBwPageGeometry PrnInfo;
    int Columns = 1;      // 0 counts as 1
    int ColumnWidth = 0;  // computed when a report is built
    int ColumnGap = 0;
    std::uint8_t PageType = ptReport;
    QString Name;
    // --- dialog pages ---
    std::uint8_t BorderStyle = bsDialog;
    QString Caption;
    TColor Color = clBtnFace;
    int DialogLeft = 220, DialogTop = 120, DialogWidth = 380, DialogHeight = 300;
    std::uint8_t Position = poScreenCenter;
    QStringList Script;
    bool Visible = true;

    // --- objects, in drawing and building order ---
    int count() const { return static_cast<int>(m_objects.size()); }
    TBwView* object(int index) const { return m_objects[index].get(); }
    const std::vector<std::unique_ptr<TBwView>>& objects() const { return m_objects; }
    // Appends `view`; a view without a name gets a unique one unless told not to.
    TBwView* add(std::unique_ptr<TBwView> view, bool giveName = true);
    std::unique_ptr<TBwView> take(TBwView* view);
    void clear();

    // Asks the printer layer for the paper; a printer that does not have the
    // code is asked for the user-defined size with the default bin. The page
    // takes back what the printer made of it, and its geometry.
    void changePaper(int code, int width, int height, int bin, TBwOrientation orientation);

    // The edges a report is built between (report units).
    int leftEdge() const;
    int topEdge() const;
    int rightEdge() const;
    int bottomEdge() const;
    int columnCount() const { return Columns > 0 ? Columns : 1; }
    // (right edge - left edge - gaps) / columns.
    int computedColumnWidth() const;
    // The sheet at 3.6 units per millimetre, or the dialog's size.
    int width() const;
    int height() const;

    // The record after its 0xFF tag (version 24; older versions per the reader):
    //   4  int -1 (current layout), or the paper code of the older layout
    //   4  int paper code (current layout only)
    //   4  int width, 4 int height (tenths of a millimetre)
    //  16  4 ints margins: left, top, right, bottom
    //   1  orientation                  (v22 and older: 6 more bytes here)
    //   4  int paper bin, 65535 default (v24)
    //   2  bool16 PrintToPrevPage, 2 bool16 use margins
    //   4  int columns, 4 int column gap, 1 page type
    //   .  v24: string name, byte border style (read 0 dialog, 1 sizeable),
    //          string caption, int colour, 4 ints dialog bounds, byte position
    //   .  string list page script (current layout only)
    void load(TBwReader& reader);
    void save(TBwWriter& writer) const;

    void setProperty(const QString& name, const QVariant& value) override;
    QVariant getProperty(const QString& name) const override;

protected:
    void defineProperties() override;

private:
    TBwReport* m_report;
    std::vector<std::unique_ptr<TBwView>> m_objects;
};

class TBwPages {
public:
    explicit TBwPages(TBwReport* report = nullptr) : m_report(report) {}
    TBwPages(const TBwPages&) = delete;
    TBwPages& operator=(const TBwPages&) = delete;

    int count() const { return static_cast<int>(m_pages.size()); }
    TBwPage* item(int index) const { return m_pages[index].get(); }
    TBwPage& operator[](int index) const { return *m_pages[index]; }
    auto begin() const { return m_pages.begin(); }
    auto end() const { return m_pages.end(); }
    // Appends a page with the current printer's default paper.
    TBwPage& add();
    // Appends a page as it is (read from a stream).
    TBwPage& append(std::unique_ptr<TBwPage> page);
    void remove(int index) { m_pages.erase(m_pages.begin() + index); }
    void clear() { m_pages.clear(); }

private:
    TBwReport* m_report;
    std::vector<std::unique_ptr<TBwPage>> m_pages;
};

}  // namespace bwreport
