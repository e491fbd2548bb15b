// Small files the server keeps or is handed (the command history, the ban list, a password file),
// read as untrusted input and written whole: never a fifo or a device that could block, never more
// than the caller's bound, and written through a temporary file renamed over the old one,
// readable by its owner only.
#pragma once

#include <QByteArray>
#include <QString>
#include <string>

namespace private_file {

struct ReadResult {
    bool missing = false;  // no such file: not a problem in itself
    QByteArray bytes;
    std::string problem;  // why the file was refused, naming it; then there are no bytes
};

// Reads the whole file when it is a regular file of at most maxBytes (and, with
// ownerOnly, one that others can neither read nor write).
ReadResult Read(const QString& path, qint64 maxBytes, bool ownerOnly = false);

// Writes the file whole, readable and writable by its owner only. Answers why it could not be
// written, naming it, or empty.
std::string Write(const QString& path, const QByteArray& bytes);

}  // namespace private_file
