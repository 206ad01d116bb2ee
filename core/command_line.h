#pragma once
// The program's command line: no option starts it as always (the window, or the unattended run
// when ftp.ini names a server); the options are the check of order files, the help and the
// version.
#include <QString>
#include <QStringList>

struct CommandLine {
    enum class Mode {
        Start,     // no option: window or unattended run, as ftp.ini decides
        Check,     // --conferir FILE...
        Help,      // --help, -h
        Version,   // --version
        Invalid,   // an unknown option or a misused one: `error` says which
    };
    Mode mode = Mode::Start;
    QStringList files;   // the files to check
    QString error;       // for Invalid, one line naming the option
};

// Reads the arguments that follow the program's name.
CommandLine parseCommandLine(const QStringList& arguments);

// The text of --help (ends with a line break).
QString helpText();

// The text of --version (ends with a line break).
QString versionText();

// The line that tells where the help is.
QString helpHint();
