#include "base/bw_component.h"

#include <algorithm>
#include <utility>

namespace bwreport {

TBwOwner::~TBwOwner() {
    for (TBwComponent* c : m_components)
        c->m_owner = nullptr;
}

TBwComponent* TBwOwner::findComponent(const QString& name) const {
    if (name.isEmpty()) return nullptr;
    for (TBwComponent* c : m_components)
        if (c->Name.compare(name, Qt::CaseInsensitive) == 0) return c;
    return nullptr;
}

TBwComponent::TBwComponent(TBwOwner* owner, QString name) : Name(std::move(name)), m_owner(owner) {
    if (m_owner) m_owner->m_components.push_back(this);
}

TBwComponent::~TBwComponent() {
    if (m_owner) std::erase(m_owner->m_components, this);
    for (TBwComponent* other : std::vector<TBwComponent*>(m_linked)) {
        std::erase(other->m_linked, this);
        other->componentRemoved(this);
    }
}

void TBwComponent::freeNotification(TBwComponent* other) {
    if (!other || other == this) return;
    if (std::find(m_linked.begin(), m_linked.end(), other) != m_linked.end()) return;
    m_linked.push_back(other);
    other->m_linked.push_back(this);
}

void TBwComponent::removeFreeNotification(TBwComponent* other) {
    if (!other) return;
    std::erase(m_linked, other);
    std::erase(other->m_linked, this);
}

}  // namespace bwreport
