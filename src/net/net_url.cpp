// URL escaping and splitting.
#include "net/net_url.h"

#include <cctype>
#include <cstring>

#include "base/error_codes.h"

namespace {

constexpr const char* kHttp = "http://";
constexpr const char* kFtp = "ftp://";
constexpr size_t kMaxCredential = 255;

bool StartsWithNoCase(const std::string& text, const char* prefix) {
    size_t n = std::strlen(prefix);
    if (text.size() < n) return false;
    for (size_t i = 0; i < n; i++)
        if (std::tolower(static_cast<unsigned char>(text[i])) != prefix[i]) return false;
    return true;
}

bool NeedsEscape(unsigned char c) { return c < 0x21 || c > 0x7A || std::strchr("\"<>%\\^[]`+$,", c); }

bool IsHex(char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; }

size_t SchemeLength(const std::string& url) {
    if (StartsWithNoCase(url, kHttp)) return std::strlen(kHttp);
    if (StartsWithNoCase(url, kFtp)) return std::strlen(kFtp);
    size_t sep = url.find("://");
    return sep == std::string::npos ? 0 : sep + 3;
}

// The authority of a URL without its user information.
std::string HostAndPort(const std::string& authority) {
    size_t at = authority.rfind('@');
    return at == std::string::npos ? authority : authority.substr(at + 1);
}

// Steps 6 and 7 of splitting on a host part ("user:password@host:port"): 0 or ERR_BADURL.
int SplitHostPart(const std::string& hostPart, qzUrlParts* parts) {
    std::string host = hostPart;
    size_t at = host.rfind('@');
    if (at != std::string::npos) {
        size_t colon = host.find(':');
        if (colon == std::string::npos || colon > at || colon == 0 || colon + 1 == at) return ERR_BADURL;
        parts->user = host.substr(0, colon);
        parts->password = host.substr(colon + 1, at - colon - 1);
        if (parts->user.size() > kMaxCredential || parts->password.size() > kMaxCredential) return ERR_BADURL;
        parts->credentials = true;
        host.erase(0, at + 1);
    }
    size_t colon = host.find(':');
    if (colon != std::string::npos) {
        if (colon + 1 >= host.size() || !std::isdigit(static_cast<unsigned char>(host[colon + 1]))) return ERR_BADURL;
        long port = 0;
        for (size_t i = colon + 1; i < host.size() && std::isdigit(static_cast<unsigned char>(host[i])); i++) {
            port = port * 10 + (host[i] - '0');
            if (port > 65535) return ERR_BADURL;
        }
        if (port < 1) return ERR_BADURL;
        parts->port = static_cast<int>(port);
        host.resize(colon);
    }
    // The host name goes into the Host header and the resolver: no blanks or control bytes.
    for (unsigned char c : host)
        if (c <= 0x20 || c == 0x7F) return ERR_BADURL;
    parts->host = host;
    return 0;
}

}  // namespace

std::string NetEscapeUrl(const std::string& url, bool keepEscapes) {
    static const char kDigits[] = "0123456789abcdef";
    std::string out;
    out.reserve(url.size());
    for (size_t i = 0; i < url.size(); i++) {
        unsigned char c = static_cast<unsigned char>(url[i]);
        bool escape = NeedsEscape(c);
        if (escape && keepEscapes && c == '%' && i + 2 < url.size() && IsHex(url[i + 1]) && IsHex(url[i + 2]))
            escape = false;
        if (!escape) {
            out += static_cast<char>(c);
            continue;
        }
        out += '%';
        out += kDigits[c >> 4];
        out += kDigits[c & 15];
    }
    return out;
}

int NetUrlScheme(const std::string& url) {
    if (StartsWithNoCase(url, kHttp)) return QZ_URL_HTTP;
    if (StartsWithNoCase(url, kFtp)) return QZ_URL_FTP;
    return QZ_URL_UNKNOWN;
}

int NetSplitUrl(const std::string& url, const std::string& proxy, qzUrlParts* parts) {
    *parts = qzUrlParts{};
    parts->scheme = NetUrlScheme(url);
    if (parts->scheme == QZ_URL_UNKNOWN) return ERR_UNKPROTOCOL;
    parts->port = parts->scheme == QZ_URL_HTTP ? 80 : 21;
    size_t schemeLength = SchemeLength(url);
    std::string rest = url.substr(schemeLength);
    std::string targetPath;
    if (!proxy.empty()) {
        if (parts->scheme != QZ_URL_HTTP || NetUrlScheme(proxy) != QZ_URL_HTTP) return ERR_WRONGUSAGE;
        parts->viaProxy = true;
        size_t slash = rest.find('/');
        parts->hostHeader = HostAndPort(rest.substr(0, slash));
        targetPath = slash == std::string::npos ? "/" : rest.substr(slash);
        rest = proxy.substr(std::strlen(kHttp));
    }
    size_t slash = rest.find('/');
    if (slash == std::string::npos) {
        rest += '/';
        slash = rest.size() - 1;
    }
    parts->path = rest.substr(slash);
    std::string hostPart = rest.substr(0, slash);
    if (parts->scheme == QZ_URL_FTP && parts->path.size() > 7) {
        size_t suffix = parts->path.size() - 7;
        if (parts->path.compare(suffix, 6, ";type=") == 0) {
            char type = static_cast<char>(std::tolower(static_cast<unsigned char>(parts->path[suffix + 6])));
            if (type != 'a' && type != 'i') return ERR_BADURL;
            parts->transferType = type;
            parts->path.resize(suffix);
        }
    }
    int rc = SplitHostPart(hostPart, parts);
    if (rc) return rc;
    if (parts->viaProxy)
        parts->path = targetPath;
    else
        parts->hostHeader = parts->host;
    return 0;
}

std::string NetRequestTarget(const std::string& escapedUrl, bool viaProxy) {
    size_t schemeLength = SchemeLength(escapedUrl);
    size_t slash = escapedUrl.find('/', schemeLength);
    std::string authority =
        escapedUrl.substr(schemeLength, slash == std::string::npos ? std::string::npos : slash - schemeLength);
    std::string path = slash == std::string::npos ? "/" : escapedUrl.substr(slash);
    if (!viaProxy) return path;
    return escapedUrl.substr(0, schemeLength) + HostAndPort(authority) + path;
}
