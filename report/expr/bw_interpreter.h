// Object and page scripts: a small statement language compiled into steps.
//
//   begin ... end;  if e then s [else s];  while e do s;  repeat ... until e;
//   for name := e to e do s;  goto n (to a statement labelled "n:");
//   name := e;  name[index] := e;  a bare expression;  EXIT(0) ends the script.
//
// Keywords are case-blind; expressions are the report's own.
#pragma once

#include <QString>
#include <QStringList>
#include <cstddef>
#include <vector>

namespace bwreport {

class TBwExpressions;
struct TBwExpressionContext;

struct TBwScriptStep {
    enum Kind { Evaluate, Assign, AssignArray, JumpIfFalse, Jump, Exit };
    Kind kind = Evaluate;
    QString target;      // Assign, AssignArray: the name written
    QString index;       // AssignArray
    QString expression;  // Evaluate, Assign, AssignArray, JumpIfFalse
    int jump = -1;       // JumpIfFalse, Jump: the step to go to (past the end: stop)
};

struct TBwScript {
    std::vector<TBwScriptStep> steps;
};

class TBwInterpretator {
public:
    // Throws EBwExpressionError "Line <line>:<position>: <what is missing>".
    static TBwScript compile(const QStringList& lines);
    // Throws EBwExpressionError kScriptTooLong after MaxSteps steps: a build
    // runs scripts on the window thread, so a loop that never ends would
    // freeze it beyond the reach of Cancel.
    static void run(const TBwScript& script, TBwExpressions& expressions,
                    TBwExpressionContext& ctx);
    // Some seconds of work; far beyond what any real script needs.
    static inline std::size_t MaxSteps = 10'000'000;
};

// Whether a condition holds: true, a non-zero number, or a text reading as one
// (or as "True").
bool isTrue(const QVariant& value);

}  // namespace bwreport
