#pragma once
// The one exception type of the program's own failures: the Portuguese message a person reads
// (it names the file, line, server or database), and what failed, so that a caller decides what
// to do without reading the message.
#include <QString>
#include <stdexcept>

class Failure : public std::runtime_error {
public:
    enum class About {
        File,            // a local file or folder (read, write, move, lock)
        Settings,        // ftp.ini or another settings file
        Server,          // an operation of the transfer control
        Database,        // the database refused a statement, or the connection failed
        SalesParameters, // the database opened, but reading the ERP's sales parameters failed
        Order,           // an order file that cannot be booked
    };

    // `code`: for Server, the number the failure boxes show; for Database, the database's own
    // error code (Firebird SQLCODE); otherwise 0. `connectionLost`: the database connection
    // itself is gone, so nothing more can be done on it and what was not committed is undone.
    Failure(About about, const QString& message, int code = 0, bool connectionLost = false);

    About about() const { return about_; }
    QString message() const { return message_; }
    int code() const { return code_; }
    bool connectionLost() const { return connectionLost_; }

    // This failure told as one of `about` with a new message (a database failure becomes the
    // order file's, naming its line); code and connectionLost stay.
    Failure as(About about, const QString& message) const;

    // Only inside a catch block: the exception being handled as a Failure, itself when it is
    // one, otherwise its text under `about` with `code` (an unexpected exception of a library).
    static Failure current(About about, int code = 0);

private:
    About about_;
    QString message_;
    int code_;
    bool connectionLost_;
};
