// Components that find each other by name through their owner (a window),
// and hear when one they refer to goes away.
#pragma once

#include <QString>
#include <vector>

namespace bwreport {

class TBwComponent;

// What a window is to its components: it finds them by name (any case). It
// does not own them; a component leaves its owner when destroyed.
class TBwOwner {
public:
    TBwOwner() = default;
    ~TBwOwner();
    TBwOwner(const TBwOwner&) = delete;
    TBwOwner& operator=(const TBwOwner&) = delete;

    TBwComponent* findComponent(const QString& name) const;
    const std::vector<TBwComponent*>& components() const { return m_components; }

private:
    friend class TBwComponent;
    std::vector<TBwComponent*> m_components;
};

class TBwComponent {
public:
    explicit TBwComponent(TBwOwner* owner = nullptr, QString name = {});
    virtual ~TBwComponent();
    TBwComponent(const TBwComponent&) = delete;
    TBwComponent& operator=(const TBwComponent&) = delete;

    QString Name;
    TBwOwner* owner() const { return m_owner; }

    // From now on each of the two hears (componentRemoved) when the other goes.
    void freeNotification(TBwComponent* other);
    void removeFreeNotification(TBwComponent* other);

protected:
    // `gone` is being destroyed: drop every reference to it.
    virtual void componentRemoved(TBwComponent* /*gone*/) {}

private:
    friend class TBwOwner;
    TBwOwner* m_owner;
    std::vector<TBwComponent*> m_linked;
};

}  // namespace bwreport
