#include "objects/bw_text_expander.h"

namespace bwreport {

namespace {

TBwTextExpander*& installed() {
    static TBwTextExpander* current = nullptr;
    return current;
}

}  // namespace

TBwTextExpander& textExpander() {
    static TBwTextExpander identity;
    TBwTextExpander* e = installed();
    return e ? *e : identity;
}

bool textExpanderInstalled() {
    return installed() != nullptr;
}

TBwTextExpanderScope::TBwTextExpanderScope(TBwTextExpander* expander) : m_previous(installed()) {
    installed() = expander;
}

TBwTextExpanderScope::~TBwTextExpanderScope() {
    installed() = m_previous;
}

}  // namespace bwreport
