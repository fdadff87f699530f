// Function libraries: named functions that expressions call. Libraries are
// asked in registration order; the standard one is registered first.
#pragma once

#include <QString>
#include <QStringList>
#include <QVariant>
#include <functional>
#include <memory>
#include <vector>

namespace bwreport {

struct TBwExpressionContext;

// What a library function gets: its argument texts, unevaluated, and the
// means to evaluate them in the caller's context.
struct TBwFunctionCall {
    QString name;  // upper-cased
    QString p1, p2, p3;
    std::function<QVariant(const QString& expression)> evaluate;
    TBwExpressionContext* context = nullptr;
};

class TBwFunctionLibrary {
public:
    virtual ~TBwFunctionLibrary() = default;
    // Upper-cased names.
    const QStringList& names() const { return m_names; }
    virtual QVariant doFunction(const TBwFunctionCall& call) = 0;

protected:
    QStringList m_names;
};

class TBwStdFunctionLibrary : public TBwFunctionLibrary {
public:
    TBwStdFunctionLibrary();
    QVariant doFunction(const TBwFunctionCall& call) override;

    // INPUT and MESSAGEBOX need windows, which the UI layer supplies. Without
    // a handler INPUT gives its default and MESSAGEBOX answers 1 (OK).
    static std::function<QString(const QString& prompt, const QString& defaultText)> InputHandler;
    static std::function<int(const QString& text, const QString& caption, int flags)>
        MessageBoxHandler;
};

// The registry of installed libraries.
class TBwInstalledFunctions {
public:
    // The standard library is there from the start.
    static const std::vector<TBwFunctionLibrary*>& libraries();
    static void add(std::unique_ptr<TBwFunctionLibrary> library);
    // Frees it; does nothing for one not registered.
    static void remove(TBwFunctionLibrary* library);
};

// The text through an edit mask ("0", "9", "#", "L", "l", "A", "a", "C",
// "c" take one character each; "\" makes the next character literal; ">"
// and "<" switch to upper or lower case, "<>" back; other characters are
// literals). Positions without a character get a blank.
QString formatMaskText(const QString& mask, const QString& text);

}  // namespace bwreport
