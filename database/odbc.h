#pragma once
// A thin layer over ODBC for the database ledger: owned handles (freed when
// they go out of scope), a connection with autocommit off, and statements
// whose values are always bound as parameters, never pasted into the text.
// Only the plain ANSI entry points are called: Wine's odbc32 lacks the
// A-suffixed ones, and the same code serves unixODBC and Windows.
//
// Threads: see docs/threads.md (the ledger): one thread at a time.

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace sn::odbc {

// The first diagnostic record of a failed call.
struct Diag {
    std::string state;  // SQLSTATE, e.g. "23505"
    std::string message;

    // The connection is gone (class 08, or the server ended the session).
    bool ConnectionLost() const;
    bool UniqueViolation() const { return state == "23505"; }
};

// One ODBC handle of any type, freed with its owner.
class Handle {
  public:
    Handle() = default;
    Handle(short type, void* parent);
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    Handle(Handle&& other) noexcept;
    Handle& operator=(Handle&& other) noexcept;
    ~Handle();

    void* get() const { return handle_; }
    short type() const { return type_; }
    explicit operator bool() const { return handle_ != nullptr; }
    void Reset();

  private:
    short type_ = 0;
    void* handle_ = nullptr;
};

class Connection {
  public:
    Connection() = default;
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;
    ~Connection();

    // Connects with autocommit off: every change waits for Commit.
    bool Connect(const std::string& connectionString, Diag& diag);
    void Disconnect();
    bool Connected() const { return connected_; }
    bool Commit(Diag& diag);
    void Rollback();
    void* dbc() const { return dbc_.get(); }

  private:
    Handle env_;
    Handle dbc_;
    bool connected_ = false;
};

// A parameter's value: text or a 64-bit integer.
using Value = std::variant<std::string, std::int64_t>;

class Statement {
  public:
    explicit Statement(Connection& connection);
    // Prepares `sql` (parameters as ?), binds `params` and executes it.
    bool Run(const std::string& sql, const std::vector<Value>& params, Diag& diag);
    bool Fetch(Diag& diag);
    // Column `column` (from 1) of the current row; nothing when NULL.
    std::optional<std::string> Text(int column, Diag& diag);
    std::int64_t RowCount();

  private:
    bool Bind(const std::vector<Value>& params, Diag& diag);

    Handle stmt_;
    std::vector<Value> values_;           // bound: they live as long as the statement
    std::vector<std::intptr_t> lengths_;  // SQLLEN on both systems
};

// `value` as a connection string's attribute value: braced, '}' doubled.
std::string Braced(const std::string& value);

}  // namespace sn::odbc
