// What printing an object asks of the report's expression language: its
// script, the expansion of bracketed expressions in its text, and its
// highlight condition. Building installs the evaluator here; without one,
// texts print as they are written and no condition holds.
#pragma once

#include <QString>
#include <QStringList>

namespace bwreport {

class TBwView;

class TBwTextExpander {
public:
    virtual ~TBwTextExpander() = default;
    // Runs the object's script.
    virtual void runScript(TBwView& /*view*/) {}
    // `lines` with every bracketed expression replaced by its value in the
    // view's display format.
    virtual QStringList expandLines(TBwView& /*view*/, const QStringList& lines) { return lines; }
    // `text` expanded with the text display format (a view's Tag).
    virtual QString expandText(TBwView& /*view*/, const QString& text) { return text; }
    // Whether `condition` evaluates to a non-zero value. May throw what the
    // evaluator raises.
    virtual bool isTrue(TBwView& /*view*/, const QString& /*condition*/) { return false; }
};

// The expander in effect: the installed one, or the identity.
TBwTextExpander& textExpander();

// Whether an expander other than the identity is installed.
bool textExpanderInstalled();

// Installs `expander` (null: the identity) for as long as it lives.
class TBwTextExpanderScope {
public:
    explicit TBwTextExpanderScope(TBwTextExpander* expander);
    ~TBwTextExpanderScope();
    TBwTextExpanderScope(const TBwTextExpanderScope&) = delete;
    TBwTextExpanderScope& operator=(const TBwTextExpanderScope&) = delete;

private:
    TBwTextExpander* m_previous;
};

}  // namespace bwreport
