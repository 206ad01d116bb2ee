#pragma once
// The program's command line: no option starts it as always (the window, or the unattended run
// when ftp.ini names a server); the options are the check of order files, the help, the version
// and the settings folder of a run.
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
    // --pasta PASTA: the folder of the settings (ftp.ini, Zelto.ini, known_hosts, ftp-ca.pem) and
    // the run lock, absolute; empty without the option (the executable's folder).
    QString settingsFolder;
    QString error;       // for Invalid, one line naming the option
};

// Reads the arguments that follow the program's name. A settings folder that cannot be used
// (settingsFolderProblem) makes the command line Invalid.
CommandLine parseCommandLine(const QStringList& arguments);

// Why `folder` cannot hold the settings of a run, in one Portuguese line naming it: it does not
// exist, is no folder, or this user cannot read, write and enter it. Empty when it can.
QString settingsFolderProblem(const QString& folder);

// The text of --help (ends with a line break).
QString helpText();

// The text of --version (ends with a line break).
QString versionText();

// The line that tells where the help is.
QString helpHint();
