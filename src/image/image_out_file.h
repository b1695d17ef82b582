// Files that the image writers create. Each is written under a temporary name beside its target
// and renamed over the target only when complete, so a failed save never leaves a half-written
// image in place of a good file (nor a new partial one).
#pragma once

#include <string>

struct qzVfsFile;

struct qzImageOutFile {
    qzVfsFile* file = nullptr;
    std::string tempName;
    std::string finalName;

    qzImageOutFile() = default;
    qzImageOutFile(const qzImageOutFile&) = delete;
    qzImageOutFile& operator=(const qzImageOutFile&) = delete;
    // A file neither committed nor aborted (its writer ran out of memory) is closed and removed.
    ~qzImageOutFile();
};

// Creates the temporary file beside name and opens it for writing. Returns 0, or ERR_WRITEFILE
// with the name as error argument (chunk names, missing folders, no permission).
int OpenImageOutFile(const char* name, qzImageOutFile* out);
// Closes the file and renames it over the target. Returns 0, ERR_WRITE when closing fails (the
// data did not reach the disk) or ERR_WRITEFILE, with the name as error argument, when the
// rename fails; on failure the temporary file is removed.
int CommitImageOutFile(qzImageOutFile* out, const char* name);
// Closes and removes the temporary file; the target stays as it was.
void AbortImageOutFile(qzImageOutFile* out);
