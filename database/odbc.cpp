// The ODBC layer: handles, the connection, bound statements. Windows'
// sql.h needs windows.h before it; unixODBC's stands alone.
#ifdef _WIN32
#include <windows.h>
#endif
#include <sql.h>
#include <sqlext.h>

#include <cstdint>
#include <type_traits>
#include <utility>

#include "database/odbc.h"

namespace sn::odbc {

static_assert(std::is_same_v<SQLLEN, std::intptr_t>, "the bound lengths are SQLLEN");

namespace {

bool Ok(SQLRETURN rc) {
    return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO;
}

Diag DiagOf(const Handle& handle) {
    SQLCHAR state[6] = {};
    SQLINTEGER native = 0;
    SQLCHAR text[1024] = {};
    SQLSMALLINT length = 0;
    Diag diag;
    if (handle && Ok(SQLGetDiagRec(handle.type(), handle.get(), 1, state, &native, text,
                                   sizeof text, &length))) {
        diag.state = reinterpret_cast<const char*>(state);
        diag.message = reinterpret_cast<const char*>(text);
    }
    if (diag.state.empty()) {
        diag.state = "HY000";
        diag.message = "the ODBC driver gave no reason";
    }
    return diag;
}

// Records why `rc` failed, if it did.
bool Check(SQLRETURN rc, const Handle& handle, Diag& diag) {
    if (Ok(rc)) {
        return true;
    }
    diag = DiagOf(handle);
    return false;
}

SQLCHAR* Chars(const std::string& s) {
    return reinterpret_cast<SQLCHAR*>(const_cast<char*>(s.c_str()));
}

}  // namespace

bool Diag::ConnectionLost() const {
    // psqlODBC reports a session the server ended with the server's 57P01,
    // a broken socket as 08S01, and a statement on a dead link as HY000
    // "... could not send data ..." or "... connection ...".
    return state.rfind("08", 0) == 0 || state == "57P01" || state == "57P02" || state == "57P03" ||
           (state == "HY000" && (message.find("connection") != std::string::npos ||
                                 message.find("could not send") != std::string::npos));
}

Handle::Handle(short type, void* parent) : type_(type) {
    SQLHANDLE h = SQL_NULL_HANDLE;
    if (Ok(SQLAllocHandle(type, parent, &h))) {
        handle_ = h;
    }
}

Handle::Handle(Handle&& other) noexcept
    : type_(other.type_), handle_(std::exchange(other.handle_, nullptr)) {}

Handle& Handle::operator=(Handle&& other) noexcept {
    if (this != &other) {
        Reset();
        type_ = other.type_;
        handle_ = std::exchange(other.handle_, nullptr);
    }
    return *this;
}

Handle::~Handle() {
    Reset();
}

void Handle::Reset() {
    if (handle_ != nullptr) {
        SQLFreeHandle(type_, handle_);
        handle_ = nullptr;
    }
}

Connection::~Connection() {
    Disconnect();
}

bool Connection::Connect(const std::string& connectionString, Diag& diag) {
    Disconnect();
    env_ = Handle(SQL_HANDLE_ENV, SQL_NULL_HANDLE);
    if (!env_ || !Check(SQLSetEnvAttr(env_.get(), SQL_ATTR_ODBC_VERSION,
                                      reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0),
                        env_, diag)) {
        diag = {"HY000", "the ODBC driver manager could not be loaded"};
        return false;
    }
    dbc_ = Handle(SQL_HANDLE_DBC, env_.get());
    SQLCHAR out[1024];
    SQLSMALLINT outLength = 0;
    if (!Check(SQLDriverConnect(dbc_.get(), nullptr, Chars(connectionString), SQL_NTS, out,
                                sizeof out, &outLength, SQL_DRIVER_NOPROMPT),
               dbc_, diag)) {
        return false;
    }
    connected_ = true;
    const auto off = reinterpret_cast<SQLPOINTER>(static_cast<std::uintptr_t>(SQL_AUTOCOMMIT_OFF));
    if (!Check(SQLSetConnectAttr(dbc_.get(), SQL_ATTR_AUTOCOMMIT, off, SQL_IS_UINTEGER), dbc_,
               diag)) {
        Disconnect();
        return false;
    }
    return true;
}

void Connection::Disconnect() {
    if (connected_) {
        SQLEndTran(SQL_HANDLE_DBC, dbc_.get(), SQL_ROLLBACK);
        SQLDisconnect(dbc_.get());
        connected_ = false;
    }
    dbc_.Reset();
    env_.Reset();
}

bool Connection::Commit(Diag& diag) {
    return Check(SQLEndTran(SQL_HANDLE_DBC, dbc_.get(), SQL_COMMIT), dbc_, diag);
}

void Connection::Rollback() {
    if (connected_) {
        SQLEndTran(SQL_HANDLE_DBC, dbc_.get(), SQL_ROLLBACK);
    }
}

Statement::Statement(Connection& connection) : stmt_(SQL_HANDLE_STMT, connection.dbc()) {}

bool Statement::Bind(const std::vector<Value>& params, Diag& diag) {
    values_ = params;
    lengths_.assign(values_.size(), 0);
    for (std::size_t i = 0; i < values_.size(); ++i) {
        const auto n = static_cast<SQLUSMALLINT>(i + 1);
        SQLRETURN rc = SQL_SUCCESS;
        if (auto* text = std::get_if<std::string>(&values_[i])) {
            lengths_[i] = static_cast<SQLLEN>(text->size());
            rc = SQLBindParameter(stmt_.get(), n, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR,
                                  text->size() + 1, 0, Chars(*text),
                                  static_cast<SQLLEN>(text->size() + 1), &lengths_[i]);
        } else {
            rc = SQLBindParameter(stmt_.get(), n, SQL_PARAM_INPUT, SQL_C_SBIGINT, SQL_BIGINT, 0, 0,
                                  &std::get<std::int64_t>(values_[i]), 0, &lengths_[i]);
        }
        if (!Check(rc, stmt_, diag)) {
            return false;
        }
    }
    return true;
}

bool Statement::Run(const std::string& sql, const std::vector<Value>& params, Diag& diag) {
    if (!stmt_) {
        diag = {"08003", "no connection"};
        return false;
    }
    SQLFreeStmt(stmt_.get(), SQL_CLOSE);
    SQLFreeStmt(stmt_.get(), SQL_RESET_PARAMS);
    if (!Check(SQLPrepare(stmt_.get(), Chars(sql), SQL_NTS), stmt_, diag) || !Bind(params, diag)) {
        return false;
    }
    const SQLRETURN rc = SQLExecute(stmt_.get());
    return rc == SQL_NO_DATA || Check(rc, stmt_, diag);
}

bool Statement::Fetch(Diag& diag) {
    const SQLRETURN rc = SQLFetch(stmt_.get());
    if (rc == SQL_NO_DATA) {
        diag = {};
        return false;
    }
    return Check(rc, stmt_, diag);
}

std::optional<std::string> Statement::Text(int column, Diag& diag) {
    std::string value;
    char buffer[512];
    while (true) {
        SQLLEN indicator = 0;
        const SQLRETURN rc = SQLGetData(stmt_.get(), static_cast<SQLUSMALLINT>(column), SQL_C_CHAR,
                                        buffer, sizeof buffer, &indicator);
        if (rc == SQL_NO_DATA) {
            return value;
        }
        if (!Check(rc, stmt_, diag)) {
            return std::nullopt;
        }
        if (indicator == SQL_NULL_DATA) {
            return std::nullopt;
        }
        // A longer value comes in parts, each but the last filling the buffer.
        const bool more = indicator == SQL_NO_TOTAL || indicator >= SQLLEN{sizeof buffer};
        value.append(buffer, more ? sizeof buffer - 1 : static_cast<std::size_t>(indicator));
        if (rc == SQL_SUCCESS) {
            return value;
        }
    }
}

std::int64_t Statement::RowCount() {
    SQLLEN count = 0;
    SQLRowCount(stmt_.get(), &count);
    return count;
}

std::string Braced(const std::string& value) {
    std::string out = "{";
    for (char c : value) {
        out += c;
        if (c == '}') {
            out += '}';
        }
    }
    return out + "}";
}

}  // namespace sn::odbc
