#include "database_location.h"

#include <cstdlib>

namespace ndx {

std::string DatabaseLocation::shown() const
{
    if (kind == Kind::SQLite) return path;
    return "postgresql://" + user + "@" + host + ":" + std::to_string(port) + "/" + database;
}

namespace {

// %XX sequences of a URL part decoded; false for a broken one.
bool percentDecoded(const std::string& text, std::string& out)
{
    out.clear();
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out += text[i];
            continue;
        }
        if (i + 2 >= text.size()) return false;
        const std::string hex = text.substr(i + 1, 2);
        if (hex.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) return false;
        out += static_cast<char>(std::stoi(hex, nullptr, 16));
        i += 2;
    }
    return true;
}

}  // namespace

bool parseDatabaseLocation(const std::string& text, DatabaseLocation& location, std::string& error)
{
    location = DatabaseLocation{};
    std::string rest;
    for (const char* scheme : {"postgresql://", "postgres://"})
        if (text.rfind(scheme, 0) == 0) rest = text.substr(std::string(scheme).size());
    if (rest.empty() && text.find("://") == std::string::npos) {
        if (text.empty()) {
            error = "no database named";
            return false;
        }
        location.path = text;
        return true;
    }
    const std::string wanted = " (postgresql://user@host:port/database)";
    const std::size_t at = rest.rfind('@');
    const std::size_t slash = rest.find('/', at == std::string::npos ? 0 : at);
    if (rest.empty() || at == std::string::npos || slash == std::string::npos) {
        error = "not a database URL: " + text + wanted;
        return false;
    }
    location.kind = DatabaseLocation::Kind::PostgreSQL;
    std::string userPart = rest.substr(0, at), hostPart = rest.substr(at + 1, slash - at - 1);
    std::string databasePart = rest.substr(slash + 1);
    const std::size_t query = databasePart.find('?');
    if (query != std::string::npos) databasePart.resize(query);
    const std::size_t colon = userPart.find(':');
    std::string password;
    if (colon != std::string::npos) {
        password = userPart.substr(colon + 1);
        userPart.resize(colon);
    }
    const std::size_t portColon = hostPart.rfind(':');
    if (portColon != std::string::npos && hostPart.find(']', portColon) == std::string::npos) {
        const std::string port = hostPart.substr(portColon + 1);
        hostPart.resize(portColon);
        const bool digits = !port.empty() && port.size() <= 5 && port.find_first_not_of("0123456789") == std::string::npos;
        if (!digits || std::stoi(port) < 1 || std::stoi(port) > 65535) {
            error = "not a port number in " + text + ": " + port;
            return false;
        }
        location.port = std::stoi(port);
    }
    if (hostPart.size() > 2 && hostPart.front() == '[' && hostPart.back() == ']')
        hostPart = hostPart.substr(1, hostPart.size() - 2);
    if (!percentDecoded(userPart, location.user) || !percentDecoded(password, location.password) ||
        !percentDecoded(hostPart, location.host) || !percentDecoded(databasePart, location.database) ||
        location.user.empty() || location.host.empty() || location.database.empty()) {
        error = "not a database URL: " + text + wanted;
        return false;
    }
    return true;
}

std::string defaultHistoryPath(std::string& error)
{
    const std::string tail = std::string("/" NDXUPGRADE_PACKAGE_NAME "/history.sqlite");
    const char* state = std::getenv("XDG_STATE_HOME");
    if (state && state[0] == '/') return state + tail;
    const char* home = std::getenv("HOME");
    if (home && home[0] == '/') return std::string(home) + "/.local/state" + tail;
    error = "neither XDG_STATE_HOME nor HOME names a folder";
    return {};
}

}  // namespace ndx
