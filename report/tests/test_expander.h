// A small stand-in for the report's expressions in build tests: brackets
// holding the build's counters, DATE and TIME, a dataset field
// (Dataset."field"), a name the test supplies or one the report's
// OnGetValue gives are replaced; any other bracket stays as written.
#pragma once

#include <QDateTime>
#include <QRegularExpression>
#include <QString>
#include <QStringList>
#include <algorithm>
#include <functional>
#include <map>
#include <ostream>
#include <vector>

#include "base/bw_codec.h"
#include "build/bw_builder.h"
#include "document/bw_prepared_pages.h"
#include "document/bw_report.h"
#include "objects/bw_memo_view.h"
#include "objects/bw_text_expander.h"
#include "sqlmem/dataset.h"

// Readable QStrings in test failures.
inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}

namespace bwreport::test {

class TestExpander : public TBwTextExpander {
public:
    std::map<QString, std::function<QString()>> values;
    std::map<QString, sqlmem::TDataSet*> dataSets;

    static QString dateText(const QDate& d) { return d.toString(QStringLiteral("dd.MM.yyyy")); }
    static QString timeText(const QTime& t) { return t.toString(QStringLiteral("H:mm:ss")); }

    QStringList expandLines(TBwView& /*view*/, const QStringList& lines) override {
        QStringList out;
        for (const QString& line : lines)
            out.append(expand(line));
        return out;
    }
    QString expandText(TBwView& /*view*/, const QString& text) override { return expand(text); }

    QString expand(const QString& text) const {
        static const QRegularExpression bracket(QStringLiteral("\\[([^\\]]*)\\]"));
        QString out;
        qsizetype at = 0;
        for (auto it = bracket.globalMatch(text); it.hasNext();) {
            const auto m = it.next();
            out += text.mid(at, m.capturedStart() - at);
            out += value(m.captured(1), m.captured(0));
            at = m.capturedEnd();
        }
        return out + text.mid(at);
    }

private:
    QString value(const QString& name, const QString& asWritten) const {
        const TBwBuildState* b = currentBuild();
        if (const auto it = values.find(name); it != values.end()) return it->second();
        if (b && name == u"PAGE#") return QString::number(b->pageIndex + 1);
        if (b && name == u"TOTALPAGES") return QString::number(b->totalPages);
        if (b && name == u"LINE#") return QString::number(b->lineNo);
        if (b && name == u"COLUMN#") return QString::number(b->column);
        if (b && name == u"DATE") return dateText(b->started.date());
        if (b && name == u"TIME") return timeText(b->started.time());
        static const QRegularExpression field(QStringLiteral("^(\\w+)\\.\"(\\w+)\"$"));
        if (const auto m = field.match(name); m.hasMatch()) {
            const auto it = dataSets.find(m.captured(1));
            if (it != dataSets.end())
                return fromCp1251(it->second->fieldByName(m.captured(2).toStdString()).asString());
        }
        if (b && b->report && b->report->OnGetValue) {
            QVariant v;
            b->report->OnGetValue(name, v);
            if (v.typeId() == QMetaType::QDateTime) {
                const QDateTime dt = v.toDateTime();
                return dateText(dt.date()) + QLatin1Char(' ') + timeText(dt.time());
            }
            if (v.isValid()) return v.toString();
        }
        return asWritten;
    }
};

// A prepared text object as the tests look at it.
struct Printed {
    QString text;
    int left, top, height;
};

inline std::vector<std::vector<Printed>> dump(TBwEMFPages& pages) {
    std::vector<std::vector<Printed>> out;
    for (int i = 0; i < pages.count(); ++i) {
        std::vector<Printed> page;
        for (const auto& view : pages.page(i).objects())
            if (dynamic_cast<TBwMemoView*>(view.get()))
                page.push_back(
                    {view->Memo.join(QLatin1Char('|')), view->Left, view->Top, view->Height});
        out.push_back(std::move(page));
    }
    return out;
}

// The texts of each page, in printing order, or as read: top to bottom,
// then left to right.
inline std::vector<QStringList> texts(TBwEMFPages& pages, bool asRead = false) {
    std::vector<QStringList> out;
    for (auto page : dump(pages)) {
        if (asRead)
            std::stable_sort(page.begin(), page.end(), [](const Printed& a, const Printed& b) {
                return a.top != b.top ? a.top < b.top : a.left < b.left;
            });
        QStringList t;
        for (const Printed& p : page)
            t.append(p.text);
        out.push_back(t);
    }
    return out;
}

}  // namespace bwreport::test
