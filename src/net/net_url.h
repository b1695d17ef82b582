// URLs of the transfers: escaping, the scheme, and splitting into host, port, path and
// credentials.
#pragma once

#include <string>

enum { QZ_URL_UNKNOWN = 0, QZ_URL_HTTP = 1, QZ_URL_FTP = 2 };

// The URL with every byte below 0x21 or above 0x7A and each of " < > % \ ^ [ ] ` + $ , written as
// "%" and two lower-case hexadecimal digits. With keepEscapes a "%" that already starts an escape
// ("%" and two hexadecimal digits) is kept, for URLs that come from servers.
std::string NetEscapeUrl(const std::string& url, bool keepEscapes);

// QZ_URL_HTTP for "http://", QZ_URL_FTP for "ftp://" (any case), else QZ_URL_UNKNOWN.
int NetUrlScheme(const std::string& url);

struct qzUrlParts {
    int scheme = QZ_URL_UNKNOWN;
    std::string host;  // the host to connect to: the URL's, or the proxy's
    int port = 0;
    std::string path;  // the URL's path from its first slash on (a slash when there was none)
    bool viaProxy = false;
    std::string hostHeader;    // the Host value: the host name, or the target's authority for a proxy
    bool credentials = false;  // user and password came with the URL (HTTP Basic authorization)
    std::string user;
    std::string password;
    char transferType = 0;  // FTP: 'a' or 'i' from a ";type=" suffix, 0 when none
};

// Splits a URL (unescaped), going through the proxy URL when one is given (empty = none):
// 0, ERR_UNKPROTOCOL for another scheme, ERR_WRONGUSAGE for a proxy with FTP or a proxy that is
// not an "http://" URL, ERR_BADURL for bad credentials, a bad port, control characters or blanks
// in the host part, or a bad ";type=" suffix.
int NetSplitUrl(const std::string& url, const std::string& proxy, qzUrlParts* parts);

// The request target of an HTTP request for an escaped URL: from the first slash after the scheme
// (a slash when there is none), or through a proxy the whole URL; user information never goes
// out.
std::string NetRequestTarget(const std::string& escapedUrl, bool viaProxy);
