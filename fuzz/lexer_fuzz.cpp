// Any text as SQL: every statement tokenises or is refused with an engine
// error; tokens keep positions inside the text and parameters carry values.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "sql/lexer.h"
#include "sqlmem/exception.h"

using namespace sqlmem;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const TSQLMemSQLParams* params = [] {
        auto* p = new TSQLMemSQLParams();
        p->Add("lang").SetInteger(1);
        p->Add("name with blanks").SetString("x");
        p->Add("empty");
        return p;
    }();
    const std::string text(reinterpret_cast<const char*>(data), size);
    TSQLMemLexer lexer(text, params);
    try {
        for (int statements = 0; lexer.NextStatement(); ++statements) {
            if (statements > static_cast<int>(size)) std::abort();  // must advance
            TToken t;
            for (bool more = lexer.CurrentToken(t); more; more = lexer.NextToken(t)) {
                if (t.Line < 1 || t.Column < 1 || t.Kind == tktNone) std::abort();
                if ((t.Kind == tktParameter) != static_cast<bool>(t.Value)) std::abort();
                if (t.Kind == tktReservedWord && t.WordNumber >= kReservedWordCount) std::abort();
            }
            const int end = lexer.GetPosition();
            lexer.SetPosition(0, t);
            if (lexer.GetPosition() != 0 || end != static_cast<int>(lexer.Tokens().size()))
                std::abort();
        }
    } catch (const ESQLMemException&) {
    }
    return 0;
}
