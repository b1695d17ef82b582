// The passive-mode FTP client of the transfers: log-in, one passive data connection, the
// transfer type, one retrieve or store, and "quit".
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

struct VmState;
struct qzConnection;
struct qzTransfer;

// Reply lines hold this many bytes, the terminating zero included.
constexpr size_t QZ_FTP_LINE = 1024;
// The most lines one multi-line reply may have.
constexpr int QZ_FTP_MAX_REPLY_LINES = 1000;
// Error numbers of ERR_FTPERROR: an unexpected reply code, a broken multi-line reply, an unusable
// passive address.
enum { QZ_FTP_UNEXPECTED = 0, QZ_FTP_BADMULTILINE = 1, QZ_FTP_BADPASV = 2 };

// Parsers of single reply lines (without their line end). The code: the leading decimal number
// (0 when there is none). Whether the line continues a multi-line reply (its fourth character is
// a dash). The passive address: 0 with the six numbers (4 address bytes, port high and low), or
// QZ_FTP_BADPASV. The size in a 150 reply: the last number when " bytes" follows it, else 0.
int32_t FtpReplyCode(const char* line);
bool FtpReplyContinues(const char* line);
int FtpParsePassive(const char* text, std::array<uint8_t, 6>* numbers);
int64_t FtpParseSize(const char* text);

// Reads one reply: 0 with its code (and its last line when text is given, QZ_FTP_LINE bytes),
// or an error code (ERR_FTPERROR with QZ_FTP_BADMULTILINE, ERR_MEM for a line too long, the
// receive errors). *code is -1 until a line was read.
int FtpReadReply(VmState* state, qzConnection* connection, int32_t* code, char* text);

// The exchange on the transfer's connected control connection: 0 or an error code.
int FtpExchange(qzTransfer* t);
