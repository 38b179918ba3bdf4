#include "records/location.h"

#include "platform/files.h"

#include <cctype>

namespace qarn3 {

namespace {

const char* const kNoPassword =
    "the database URI holds a password, which the program never stores: put it in ~/.pgpass "
    "(or the file PGPASSFILE names) or PGPASSWORD, or let the program ask for it";

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// %XX escapes decoded; false for a broken escape or a decoded NUL.
bool percentDecode(const std::string& text, std::string& out) {
    out.clear();
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out += text[i];
            continue;
        }
        if (i + 2 >= text.size()) return false;
        const int hi = hexValue(text[i + 1]);
        const int lo = hexValue(text[i + 2]);
        if (hi < 0 || lo < 0 || (hi == 0 && lo == 0)) return false;
        out += static_cast<char>(hi * 16 + lo);
        i += 2;
    }
    return true;
}

// Characters a URI part may show as they are; everything else is written %XX.
std::string percentEncode(const std::string& text) {
    static const char* const hex = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : text) {
        if (std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~') {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

bool portFrom(const std::string& text, int& port) {
    if (text.empty() || text.size() > 5) return false;
    int p = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        p = p * 10 + (c - '0');
    }
    if (p < 1 || p > 65535) return false;
    port = p;
    return true;
}

// The connection keywords the client library documents (libpq's "Parameter Key Words"). Any
// other name is refused: a misspelt "passwd" would otherwise be kept, written to the settings
// and shown with its value.
bool knownKeyword(const std::string& key) {
    static const char* const keywords[] = {"host",
                                           "hostaddr",
                                           "port",
                                           "dbname",
                                           "user",
                                           "passfile",
                                           "require_auth",
                                           "channel_binding",
                                           "connect_timeout",
                                           "client_encoding",
                                           "options",
                                           "application_name",
                                           "fallback_application_name",
                                           "keepalives",
                                           "keepalives_idle",
                                           "keepalives_interval",
                                           "keepalives_count",
                                           "tcp_user_timeout",
                                           "replication",
                                           "gssencmode",
                                           "sslmode",
                                           "requiressl",
                                           "sslnegotiation",
                                           "sslcompression",
                                           "sslcert",
                                           "sslkey",
                                           "sslcertmode",
                                           "sslrootcert",
                                           "sslcrl",
                                           "sslcrldir",
                                           "sslsni",
                                           "requirepeer",
                                           "ssl_min_protocol_version",
                                           "ssl_max_protocol_version",
                                           "krbsrvname",
                                           "gsslib",
                                           "gssdelegation",
                                           "service",
                                           "target_session_attrs",
                                           "load_balance_hosts"};
    for (const char* k : keywords)
        if (key == k) return true;
    return false;
}

// The authority "user@host:port" (no password) into the location.
bool readAuthority(const std::string& authority, DatabaseLocation& l, std::string& error) {
    std::string hostPort = authority;
    if (const auto at = authority.rfind('@'); at != std::string::npos) {
        const std::string userInfo = authority.substr(0, at);
        if (userInfo.find(':') != std::string::npos) {
            error = kNoPassword;
            return false;
        }
        if (!percentDecode(userInfo, l.user)) {
            error = "the database URI's user name holds a broken %-escape";
            return false;
        }
        hostPort = authority.substr(at + 1);
    }
    if (hostPort.find(',') != std::string::npos) {
        error = "the database URI names more than one host";
        return false;
    }
    std::string hostText = hostPort, portText;
    if (!hostPort.empty() && hostPort.front() == '[') {
        const auto close = hostPort.find(']');
        if (close == std::string::npos) {
            error = "the database URI's host lacks its closing ']'";
            return false;
        }
        hostText = hostPort.substr(1, close - 1);
        const std::string after = hostPort.substr(close + 1);
        if (!after.empty() && after.front() != ':') {
            error = "the database URI's host is followed by '" + after + "'";
            return false;
        }
        if (!after.empty()) portText = after.substr(1);
    } else if (const auto colon = hostPort.rfind(':'); colon != std::string::npos) {
        hostText = hostPort.substr(0, colon);
        portText = hostPort.substr(colon + 1);
    }
    if (!percentDecode(hostText, l.host)) {
        error = "the database URI's host holds a broken %-escape";
        return false;
    }
    if (!portText.empty() && !portFrom(portText, l.port)) {
        error = "the database URI's port '" + portText + "' is not a number from 1 to 65535";
        return false;
    }
    return true;
}

// "key=value&key=value" into the location; host, port, dbname and user take their fields.
bool readQuery(const std::string& query, DatabaseLocation& l, std::string& error) {
    std::size_t from = 0;
    while (from <= query.size() && !query.empty()) {
        const auto amp = query.find('&', from);
        const std::string item =
            query.substr(from, amp == std::string::npos ? std::string::npos : amp - from);
        from = amp == std::string::npos ? query.size() + 1 : amp + 1;
        if (item.empty()) continue;
        const auto eq = item.find('=');
        const std::string rawKey = item.substr(0, eq);
        std::string key, value;
        const bool keyRead = percentDecode(rawKey, key);
        // The password of the server, or of the client's key: neither is ever kept.
        if (keyRead && (key == "password" || key == "sslpassword")) {
            error = kNoPassword;
            return false;
        }
        // Only the keyword is quoted: the value may be a password under a misspelt name.
        // A parameter without '=' may be a password on its own: it is not quoted.
        if (eq == std::string::npos) {
            error = "a parameter of the database URI is not keyword=value";
            return false;
        }
        if (!keyRead || !percentDecode(item.substr(eq + 1), value)) {
            error = "the database URI's parameter '" + rawKey + "' is not keyword=value";
            return false;
        }
        if (!knownKeyword(key)) {
            error = "the database URI's parameter '" + rawKey +
                    "' is not a connection keyword of the client library (libpq)";
            return false;
        }
        // The driver joins its options with ';'.
        if (value.find(';') != std::string::npos) {
            error = "the database URI's parameter " + key + " holds a ';'";
            return false;
        }
        if (key == "host") {
            l.host = value;
        } else if (key == "port") {
            if (!portFrom(value, l.port)) {
                error = "the database URI's parameter port is not a number from 1 to 65535";
                return false;
            }
        } else if (key == "dbname") {
            l.dbName = value;
        } else if (key == "user") {
            l.user = value;
        } else {
            l.options.emplace_back(key, value);
        }
    }
    return true;
}

} // namespace

std::string DatabaseLocation::display() const {
    if (kind == Kind::SqliteFile) return path;
    std::string s = "postgresql://";
    if (!user.empty()) s += percentEncode(user) + "@";
    // Appended piece by piece: g++ 12 at -O3 takes "literal" + a temporary string for an
    // overlapping copy (-Wrestrict).
    if (host.find(':') != std::string::npos)
        s.append("[").append(host).append("]");
    else
        s += percentEncode(host);
    if (port > 0) s.append(":").append(std::to_string(port));
    s.append("/").append(percentEncode(dbName));
    for (std::size_t i = 0; i < options.size(); ++i)
        s.append(i ? "&" : "?")
            .append(options[i].first)
            .append("=")
            .append(percentEncode(options[i].second));
    return s;
}

DatabaseLocation DatabaseLocation::file(const std::string& path) {
    DatabaseLocation l;
    l.path = path;
    return l;
}

bool DatabaseLocation::parse(const std::string& text, DatabaseLocation& out, std::string& error) {
    std::string rest;
    for (const char* scheme : {"postgresql://", "postgres://"})
        if (text.rfind(scheme, 0) == 0) rest = text.substr(std::string(scheme).size());
    if (rest.empty() && text.find("://") == std::string::npos) {
        if (text.empty()) {
            error = "no database file named";
            return false;
        }
        out = file(text);
        return true;
    }
    if (text.rfind("postgres", 0) != 0) {
        error = "the database URI must begin postgresql://";
        return false;
    }
    DatabaseLocation l;
    l.kind = Kind::Postgres;
    std::string query;
    if (const auto q = rest.find('?'); q != std::string::npos) {
        query = rest.substr(q + 1);
        rest.erase(q);
    }
    std::string authority = rest, path;
    if (const auto slash = rest.find('/'); slash != std::string::npos) {
        authority = rest.substr(0, slash);
        path = rest.substr(slash + 1);
    }
    if (!readAuthority(authority, l, error)) return false;
    if (!percentDecode(path, l.dbName)) {
        error = "the database URI's database name holds a broken %-escape";
        return false;
    }
    if (!readQuery(query, l, error)) return false;
    if (l.dbName.empty() || l.dbName.find('/') != std::string::npos) {
        error = "the database URI names no database (postgresql://USER@HOST:PORT/DBNAME)";
        return false;
    }
    out = l;
    return true;
}

std::string defaultRecordsPath(const std::string& dataFolder) {
    return resolveInFolder(dataFolder, kRecordsFileName);
}

} // namespace qarn3
