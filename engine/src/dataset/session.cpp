#include <algorithm>
#include <mutex>

#include "sqlmem/cp1251.h"
#include "sqlmem/sqlmem.h"
#include "storage/database_data.h"

namespace sqlmem {
namespace {

std::mutex& sessionsMutex() {
    static std::mutex m;
    return m;
}

std::vector<TSQLMemSession*>& sessions() {
    static std::vector<TSQLMemSession*> list;
    return list;
}

}  // namespace

TSQLMemDatabase::TSQLMemDatabase(std::string databaseName, std::string sessionName)
    : DatabaseName(std::move(databaseName)), SessionName(std::move(sessionName)) {
    if (TSQLMemSession* s = TSQLMemSession::find(SessionName)) s->m_databases.push_back(this);
}

TSQLMemDatabase::~TSQLMemDatabase() {
    close();
    if (TSQLMemSession* s = TSQLMemSession::find(SessionName)) std::erase(s->m_databases, this);
}

void TSQLMemDatabase::open() {
    if (m_data) return;
    m_data = engineDatabase(DatabaseName);
    if (!m_data) throw ESQLMemException(11245, "Cannot open database '%s'", {DatabaseName});
}

void TSQLMemDatabase::close() {
    m_data = nullptr;
}

TSQLMemSession::TSQLMemSession(std::string sessionName) : SessionName(std::move(sessionName)) {
    std::lock_guard g(sessionsMutex());
    sessions().push_back(this);
}

TSQLMemSession::~TSQLMemSession() {
    {
        std::lock_guard g(sessionsMutex());
        std::erase(sessions(), this);
    }
    m_onDemand.clear();
}

TSQLMemSession& TSQLMemSession::defaultSession() {
    static TSQLMemSession session;
    return session;
}

TSQLMemSession* TSQLMemSession::find(const std::string& sessionName) {
    TSQLMemSession& def = defaultSession();
    if (sessionName.empty()) return &def;
    const std::string u = cp1251::upper(sessionName);
    std::lock_guard g(sessionsMutex());
    for (TSQLMemSession* s : sessions())
        if (cp1251::upper(s->SessionName) == u) return s;
    return nullptr;
}

TSQLMemDatabase* TSQLMemSession::findDatabase(const std::string& databaseName) {
    const std::string u = cp1251::upper(databaseName);
    for (TSQLMemDatabase* d : m_databases)
        if (cp1251::upper(d->DatabaseName) == u) return d;
    return nullptr;
}

TSQLMemDatabase& TSQLMemSession::openDatabase(const std::string& databaseName) {
    TSQLMemDatabase* db = findDatabase(databaseName);
    if (!db) {
        // The constructor lists it in this session's databases.
        auto made = std::make_unique<TSQLMemDatabase>(databaseName, SessionName);
        made->KeepConnection = KeepConnections;
        made->m_onDemand = true;
        db = made.get();
        m_onDemand.push_back(std::move(made));
    }
    db->open();
    return *db;
}

void TSQLMemSession::releaseDatabase(TSQLMemDatabase& database) {
    if (!database.m_dataSets.empty() || database.KeepConnection) return;
    database.close();
    if (database.m_onDemand)
        std::erase_if(m_onDemand, [&](const auto& d) { return d.get() == &database; });
}

}  // namespace sqlmem
