// A small stand-in for the report's expressions in build tests: brackets
// holding the build's counters or a name the test supplies are replaced;
// any other bracket stays as written.
#pragma once

#include <QRegularExpression>
#include <QString>
#include <QStringList>
#include <functional>
#include <map>
#include <vector>

#include "build/bw_builder.h"
#include "document/bw_prepared_pages.h"
#include "objects/bw_memo_view.h"
#include "objects/bw_text_expander.h"

namespace bwreport::test {

class TestExpander : public TBwTextExpander {
public:
    std::map<QString, std::function<QString()>> values;

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
        if (b && name == u"PAGE#") return QString::number(b->pageIndex + 1);
        if (b && name == u"TOTALPAGES") return QString::number(b->totalPages);
        if (b && name == u"LINE#") return QString::number(b->lineNo);
        if (const auto it = values.find(name); it != values.end()) return it->second();
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

// The texts of each page, in printing order.
inline std::vector<QStringList> texts(TBwEMFPages& pages) {
    std::vector<QStringList> out;
    for (const auto& page : dump(pages)) {
        QStringList t;
        for (const Printed& p : page)
            t.append(p.text);
        out.push_back(t);
    }
    return out;
}

}  // namespace bwreport::test
