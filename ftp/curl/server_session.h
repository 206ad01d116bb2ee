#pragma once
// What the transfer control knows about the server between commands: whose login it is, the
// current remote folder, whether a logged-in connection is cached, how folders are listed and
// how names are encoded.
//
// All of it changes in change() and nowhere else: the commands tell it what happened and it
// decides what that means for the session.
#include <QString>

// What happened to the session.
enum class SessionChange {
    NewLogin,        // another server, user, password or TLS setting (value: its login key);
                     // everything known about the last one is forgotten
    LoggedOut,       // the connection was closed on purpose ("quit")
    LoggedIn,        // a new session found its login folder (value: the folder)
    FolderChanged,   // value: the new current folder
    ConnectionKept,  // the last request left its logged-in connection cached
    ConnectionLost,  // the last request lost it: the next one logs in again by itself
    MlsdMissing,     // the server does not know MLSD: folders are listed with LIST from now on
    Latin1NamesSeen, // a listing came in Latin-1: names are sent in Latin-1 from now on
};

enum class ListingCommand { Mlsd, List };
enum class NameEncoding { Utf8, Latin1 };

class ServerSession {
public:
    void change(SessionChange what, const QString& value = {});

    // Address, user, password and TLS options the session was opened with.
    const QString& loginKey() const { return loginKey_; }
    // True once the login folder is known; until then the next command logs in first.
    bool loggedIn() const { return !folder_.isEmpty(); }
    // The current remote folder, absolute; empty until logged in.
    const QString& folder() const { return folder_; }
    bool connectionCached() const { return connectionCached_; }
    ListingCommand listing() const { return listing_; }
    bool latin1Names() const { return names_ == NameEncoding::Latin1; }

private:
    QString loginKey_;
    QString folder_;
    bool connectionCached_ = false;
    ListingCommand listing_ = ListingCommand::Mlsd;
    NameEncoding names_ = NameEncoding::Utf8;
};
