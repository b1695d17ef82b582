// Transfers against a hostile server that replays canned bytes: malformed and oversized status
// lines, headers, lengths and chunks, endless headers and interim responses, redirect loops and
// foreign schemes, authentication, drip feeds past the time-out; and for FTP split greetings,
// broken multi-line replies, foreign passive addresses and long lines. Each case downloads into
// a file of its own folder: a failure must leave that folder empty.
#include "base/error_codes.h"
#include "net/net_test_util.h"

namespace net_hostile_test {

namespace {

using namespace nettest;

// A JSON string literal of bytes (read back as Latin-1 by the server).
std::string J(const std::string& bytes) {
    std::string out = "\"";
    for (unsigned char c : bytes) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20 || c >= 0x7F) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", c);
            out += escape;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

std::string Send(const std::string& bytes) { return "[\"send\", " + J(bytes) + "]"; }
std::string Repeat(const std::string& bytes, int count) {
    return "[\"repeat\", " + J(bytes) + ", " + std::to_string(count) + "]";
}
std::string Sleep(double seconds) { return "[\"sleep\", " + std::to_string(seconds) + "]"; }
const std::string kRequest = "[\"request\"]";
const std::string kLine = "[\"line\"]";

// One connection: its steps.
std::string Connection(const std::vector<std::string>& steps) {
    std::string out = "[";
    for (size_t i = 0; i < steps.size(); i++) out += (i ? ", " : "") + steps[i];
    return out + "]";
}

// An HTTP exchange: the request, then the canned answer, then close.
std::string Answer(const std::string& bytes) { return Connection({kRequest, Send(bytes)}); }

struct Case {
    const char* what;
    std::vector<std::string> connections;
    std::string path;    // URL path, or a whole URL with "{port}"
    int error;           // 0: success with `expect` as the body
    std::string expect;  // the body, or the error's message
    int timeoutMs = 2000;
    std::vector<std::pair<std::string, std::string>> options = {};
};

class NetHostileTest : public NetFixture {
protected:
    // Runs the cases in order against one canned server that holds all their connections.
    void RunCases(const std::vector<Case>& cases, const char* scheme) {
        std::string scenario = "[";
        for (const Case& c : cases)
            for (const std::string& connection : c.connections)
                scenario += (scenario.size() > 1 ? ",\n" : "") + connection;
        scenario += "]";
        CannedServer server;
        ASSERT_TRUE(server.Start(scenario));
        std::string prefix = std::string(scheme) + "://127.0.0.1:" + std::to_string(server.port);
        for (const Case& c : cases) {
            SetNetworkTimeoutMs(c.timeoutMs);
            TempDir out;
            std::string url = c.path.find("://") == std::string::npos ? prefix + c.path : c.path;
            for (size_t at; (at = url.find("{port}")) != std::string::npos;)
                url.replace(at, 6, std::to_string(server.port));
            auto options = c.options;
            options.push_back({"file", out.File("body")});
            Results r = Transfer("DownloadFile", url, options);
            EXPECT_EQ(r.error, c.error) << c.what << ": " << r.message;
            if (c.error) {
                EXPECT_EQ(r.message, c.expect) << c.what;
                EXPECT_TRUE(FilesIn(out.path).empty()) << c.what;
            } else {
                EXPECT_EQ(ReadFile(out.File("body")), c.expect) << c.what;
                EXPECT_EQ(r[1], std::to_string(c.expect.size())) << c.what;
                EXPECT_EQ(FilesIn(out.path).size(), 1u) << c.what;
            }
        }
        EXPECT_EQ(*NetConnectionList(), nullptr);
    }
};

TEST_F(NetHostileTest, HttpResponses) {
    const std::string ok = "HTTP/1.1 200 OK\r\n";
    std::vector<std::string> sixRedirects;
    for (int i = 1; i <= 6; i++)
        sixRedirects.push_back(Answer("HTTP/1.1 301 Moved\r\nLocation: http://127.0.0.1:{port}/n" + std::to_string(i) +
                                      "\r\nContent-Length: 2\r\n\r\nr" + std::to_string(i)));
    std::vector<Case> cases = {
        {"bare line feeds", {Answer("HTTP/1.1 200 OK\nContent-Length: 5\n\nhello")}, "/", 0, "hello"},
        {"no space after the colon", {Answer(ok + "Content-Length:5\r\n\r\nhello")}, "/", 0, "hello"},
        {"negative length", {Answer(ok + "Content-Length: -5\r\n\r\nhello")}, "/", 0, "hello"},
        {"short body, then close",
         {Answer(ok + "Content-Length: 10\r\n\r\nhello")},
         "/",
         ERR_RECVCLOSED,
         "Remote server has closed the connection!"},
        {"huge length",
         {Answer(ok + "Content-Length: 99999999999999999999999\r\n\r\nabc")},
         "/",
         ERR_RECVCLOSED,
         "Remote server has closed the connection!"},
        {"chunks with extensions",
         {Answer(ok + "Transfer-Encoding: chunked\r\n\r\n4;x=y\r\nwiki\r\n5\r\npedia\r\n0\r\n\r\n")},
         "/",
         0,
         "wikipedia"},
        {"bad chunk size",
         {Answer(ok + "Transfer-Encoding: chunked\r\n\r\nzz\r\nwiki")},
         "/",
         ERR_HTTPERROR,
         "HTTP error 3000 occurred!"},
        {"huge chunk size",
         {Answer(ok + "Transfer-Encoding: chunked\r\n\r\nFFFFFFFFFFFFFFFFFFFF\r\nwiki")},
         "/",
         ERR_HTTPERROR,
         "HTTP error 3000 occurred!"},
        {"chunk cut short",
         {Answer(ok + "Transfer-Encoding: chunked\r\n\r\n10\r\nwiki")},
         "/",
         ERR_RECVCLOSED,
         "Remote server has closed the connection!"},
        {"unknown coding",
         {Answer(ok + "Transfer-Encoding: gzip\r\n\r\n")},
         "/",
         ERR_HTTPTE,
         "Unsupported HTTP transfer mode!"},
        {"endless headers",
         {Connection({kRequest, Send(ok), Repeat("X-Filler: 0123456789\r\n", 1500)})},
         "/",
         ERR_HTTPERROR,
         "HTTP error 1004 occurred!"},
        {"endless 100s",
         {Connection({kRequest, Repeat("HTTP/1.1 100 Continue\r\n\r\n", 40)})},
         "/",
         ERR_HTTPERROR,
         "HTTP error 1005 occurred!"},
        {"100, then 200",
         {Answer("HTTP/1.1 100 Continue\r\nX: y\r\n\r\n" + ok + "Content-Length: 2\r\n\r\nok")},
         "/",
         0,
         "ok"},
        {"32 KB status line",
         {Answer("HTTP/1.1 200 " + std::string(32768, 'x') + "\r\n\r\n")},
         "/",
         ERR_MEM,
         "Out of memory!"},
        {"40 KB header line",
         {Answer(ok + "X-Long: " + std::string(40000, 'y') + "\r\n\r\n")},
         "/",
         ERR_MEM,
         "Out of memory!"},
        {"not HTTP", {Answer("SSH-2.0-OpenSSH\r\n")}, "/", ERR_HTTPERROR, "HTTP error 1001 occurred!"},
        {"no version", {Answer("HTTP/ 200 OK\r\n\r\n")}, "/", ERR_HTTPERROR, "HTTP error 1002 occurred!"},
        {"204", {Answer("HTTP/1.1 204 No Content\r\n\r\n")}, "/", ERR_HTTPERROR, "HTTP error 204 occurred!"},
        {"closed without an answer",
         {Connection({kRequest})},
         "/",
         ERR_RECVCLOSED,
         "Remote server has closed the connection!"},
        {"six redirects", sixRedirects, "/", 0, "r6"},
        {"redirect to another scheme",
         {Answer("HTTP/1.1 302 Found\r\nLocation: gopher://127.0.0.1/\r\n\r\n")},
         "/",
         ERR_UNKPROTOCOL,
         "Unknown protocol in URL!"},
        {"relative redirect",
         {Answer("HTTP/1.1 301 Moved\r\nLocation: /elsewhere\r\n\r\n")},
         "/",
         ERR_UNKPROTOCOL,
         "Unknown protocol in URL!"},
        {"401 without credentials",
         {Answer("HTTP/1.1 401 No\r\nContent-Length: 4\r\n\r\ndeny")},
         "/",
         ERR_REQAUTH,
         "This server requires user authentification!"},
        {"401 with credentials",
         {Answer("HTTP/1.1 401 No\r\nContent-Length: 4\r\n\r\ndeny")},
         "http://me:pw@127.0.0.1:{port}/",
         0,
         "deny"},
        {"404 with fail404",
         {Answer("HTTP/1.1 404 Gone\r\nContent-Length: 4\r\n\r\ngone")},
         "/a/b",
         ERR_FILENOTFOUND,
         "File /a/b not found on this server!",
         2000,
         {{"fail404", "=1"}}},
        {"drip feed past the time-out",
         {Connection({kRequest, Send(ok), Sleep(0.6), Send("Content-Length: 1\r\n")})},
         "/",
         ERR_RECVTIMEOUT,
         "Receive timeout reached!",
         200},
    };
    RunCases(cases, "http");
}

TEST_F(NetHostileTest, FtpReplies) {
    // A log-in without password, a passive reply naming a foreign host (the data connection goes
    // to the control connection's peer instead), and a retrieve of five bytes.
    auto session = [](std::vector<std::string> steps) {
        for (const std::string& step :
             {kLine, Send("230 in\r\n"), kLine, std::string("[\"listen\"]"),
              Send("227 Entering Passive Mode (10,9,8,7,{pasv})\r\n"), kLine, Send("200 binary\r\n"), kLine,
              Send("150 Here (5 bytes)\r\n"), std::string("[\"data\", \"hello\"]"), Send("226 done\r\n"), kLine})
            steps.push_back(step);
        return Connection(steps);
    };
    std::vector<Case> cases = {
        {"greeting in two parts, foreign passive address",
         {session({Send("120 soon\r\n22"), Sleep(0.05), Send("0 hi\r\n")})},
         "/f.txt",
         0,
         "hello"},
        {"multi-line greeting", {session({Send("220-welcome\r\n220-to the\r\n220 server\r\n")})}, "/f.txt", 0, "hello"},
        {"broken multi-line greeting",
         {Connection({Send("220-welcome\r\n230 other\r\n")})},
         "/f.txt",
         ERR_FTPERROR,
         "FTP error 1 occurred!"},
        {"greeting not 2xx", {Connection({Send("421 busy\r\n")})}, "/f.txt", ERR_FTPERROR, "FTP error 0 occurred!"},
        {"long line",
         {Connection({Send("220 " + std::string(2000, 'x') + "\r\n")})},
         "/f.txt",
         ERR_MEM,
         "Out of memory!"},
        {"password refused",
         {Connection({Send("220 hi\r\n"), kLine, Send("331 pass\r\n"), kLine, Send("530 no\r\n")})},
         "/f.txt",
         ERR_FTPAUTH,
         "Access denied for specified user/password!"},
        {"unusable passive reply",
         {Connection({Send("220 hi\r\n"), kLine, Send("230 in\r\n"), kLine, Send("227 nothing here\r\n")})},
         "/f.txt",
         ERR_FTPERROR,
         "FTP error 2 occurred!"},
        {"missing file",
         {Connection({Send("220 hi\r\n"), kLine, Send("230 in\r\n"), kLine, "[\"listen\"]",
                      Send("227 (127,0,0,1,{pasv})\r\n"), kLine, Send("200 ok\r\n"), kLine, Send("550 none\r\n")})},
         "/d/f.txt",
         ERR_FILENOTFOUND,
         "File /d/f.txt not found on this server!"},
        // Line ends in the path would smuggle commands: refused before anything connects.
        {"line end in the path", {}, "/f.txt\r\nDELE x", ERR_BADURL, "Invalid URL specified!"},
        {"line end in the user name",
         {},
         "ftp://me\r\nDELE x:pw@127.0.0.1:{port}/f.txt",
         ERR_BADURL,
         "Invalid URL specified!"},
        {"line end in the password",
         {},
         "ftp://me:pw\nDELE x@127.0.0.1:{port}/f.txt",
         ERR_BADURL,
         "Invalid URL specified!"},
    };
    RunCases(cases, "ftp");
}

}  // namespace

}  // namespace net_hostile_test
