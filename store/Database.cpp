// The facade over the open database: which engine is open (a file or a server, chosen by the
// location), the transaction scopes over it and the undo work of the query objects they carry,
// and the dialect's literals for typed texts. It owns each thread's one engine (a thread that opens
// the database has a connection of its own; the programs' windows use one thread) and calls it
// only through Engine; the engines' own files hold their schemas, dialects and errors.
#include "store/Database.h"

#include "store/Engine.h"
#include "store/FileEngine.h"
#include "store/ServerEngine.h"
#include "store/StoreError.h"

#include <functional>
#include <memory>
#include <vector>

namespace kvt {
namespace {

thread_local std::unique_ptr<engine::Engine> g_engine;
thread_local QString g_path;
thread_local int g_busyTimeout = 10000;

/// Undo work of the open transaction: what to do to the query objects when it rolls back,
/// each with the depth of the scope that registered it.
struct Undo {
    int depth;
    std::function<void()> run;
};
thread_local std::vector<Undo> g_undo;

/// Runs (newest first) and drops the undo work of the scopes deeper than depth.
void undoAbove(int depth)
{
    while (!g_undo.empty() && g_undo.back().depth > depth) {
        const std::function<void()> run = std::move(g_undo.back().run);
        g_undo.pop_back();
        try {
            run();
        } catch (...) {
            // Undo work only restores memory; it has nothing to report.
        }
    }
}

} // namespace

engine::Engine& engine::Current()
{
    if (!g_engine)
        throw StoreError(QStringLiteral("数据库没有打开"));
    return *g_engine;
}

int engine::TransactionDepth()
{
    return g_engine ? g_engine->transactionDepth() : 0;
}

bool engine::IsServer()
{
    return g_engine && g_engine->isServer();
}

void Database::Open(const QString& location)
{
    if (IsOpen())
        Close();
    g_undo.clear();
    g_engine = IsServerConnection(location) ? engine::OpenServer(location, g_busyTimeout)
                                            : engine::OpenFile(location, g_busyTimeout);
    g_path = location;
}

bool Database::ViewOnlyForFullDisk()
{
    return g_engine && g_engine->viewOnlyForFullDisk();
}

void Database::OpenForReading(const QString& path)
{
    if (IsOpen())
        Close();
    g_undo.clear();
    g_engine = engine::OpenFileForReading(path);
    g_path = path;
}

void Database::Close()
{
    if (g_engine)
        g_engine->close();
    g_engine.reset();
    g_path.clear();
    g_undo.clear();
}

void Database::SetBusyTimeout(int milliseconds)
{
    g_busyTimeout = milliseconds;
    if (g_engine)
        g_engine->setBusyTimeout(milliseconds);
}

QString Database::JournalMode()
{
    if (IsServer())
        return QString();
    engine::Statement st(QStringLiteral("PRAGMA journal_mode"));
    return st.step() ? st.value(0).toString().toLower() : QString();
}

bool Database::IsOpen()
{
    return g_engine != nullptr;
}

bool Database::IsServer()
{
    return engine::IsServer();
}

QString Database::Describe()
{
    return g_engine ? g_engine->describe() : g_path;
}

QString Database::Path()
{
    return g_path;
}

int Database::Exec(const QString& statement)
{
    engine::Statement st(engine::Translate(statement));
    const qint64 before = engine::TotalChanges();
    while (st.step()) {
    }
    return int(engine::TotalChanges() - before);
}

TransactionScope::TransactionScope() : m_depth(engine::TransactionDepth())
{
    engine::Engine& e = engine::Current();
    e.openScope(m_depth);
    e.setTransactionDepth(m_depth + 1);
}

TransactionScope::~TransactionScope()
{
    if (m_done || !g_engine)
        return;
    g_engine->setTransactionDepth(m_depth);
    try {
        g_engine->rollBackScope(m_depth);
    } catch (...) {
        // Nothing more can be done while unwinding; the engine ends the transaction itself.
    }
    // What was written inside this scope is gone: so is its effect on the query objects.
    undoAbove(m_depth);
}

void TransactionScope::Commit()
{
    if (m_done)
        return;
    engine::Engine& e = engine::Current();
    e.commitScope(m_depth);
    m_done = true;
    e.setTransactionDepth(m_depth);
    if (m_depth == 0) {
        g_undo.clear();
    } else {
        // A released savepoint's work now stands or falls with the scope around it.
        for (Undo& u : g_undo)
            if (u.depth > m_depth)
                u.depth = m_depth;
    }
}

void TransactionScope::OnRollback(std::function<void()> undo)
{
    if (engine::TransactionDepth() > 0)
        g_undo.push_back({engine::TransactionDepth(), std::move(undo)});
}

bool TransactionScope::Active()
{
    return engine::TransactionDepth() > 0;
}

QString SqlText(const QString& text)
{
    QString out = text;
    out.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + out + QLatin1Char('"');
}

QString SqlContains(const QString& text)
{
    QString escaped;
    escaped.reserve(text.size() + 8);
    for (QChar c : text) {
        if (c == QLatin1Char('\\') || c == QLatin1Char('%') || c == QLatin1Char('_'))
            escaped += QLatin1Char('\\');
        if (c == QLatin1Char('"'))
            escaped += QLatin1Char('"');
        escaped += c;
    }
    return QStringLiteral("\"%") + escaped + QStringLiteral("%\" ESCAPE \"\\\"");
}

} // namespace kvt
