#pragma once
// What the transfer control knows about the server between commands: whose login it is, the
// current remote folder, whether a logged-in connection is cached, how folders are listed and
// the bytes of names listed in another encoding than UTF-8, the sizes of the last listing, and whether the server refused the login
// or was refused itself.
//
// All of it changes in change() and nowhere else: the commands tell it what happened and it
// decides what that means for the session.
#include <QHash>
#include <QString>

// What happened to the session.
enum class SessionChange {
    NewLogin,        // another server, user, password or TLS setting, or the same ones set again
                     // by a new connect (value: its login key); everything known about the last
                     // one is forgotten, a refused login too
    LoggedOut,       // the connection was closed on purpose ("quit"); a refused login stays refused
    LoggedIn,        // a new session found its login folder (value: the folder)
    LoginRefused,    // the server refused user or password (value: its reply); no command logs
                     // in again until the next NewLogin
    ServerNotTrusted,// the server's host key or certificate was refused (value: the report); no
                     // command connects to it again until the next NewLogin
    FolderChanged,   // value: the new current folder
    FolderListed,    // value: the folder listed; sizes: its files with their listed sizes;
                     // names: its entries listed in another encoding, with their bytes
    FileUploaded,    // value: the absolute path written; its listed size no longer holds
    ConnectionKept,  // the last request left its logged-in connection cached
    ConnectionLost,  // the last request lost it: the next one logs in again by itself
    MlsdMissing,     // the server does not know MLSD: folders are listed with LIST from now on
};

enum class ListingCommand { Mlsd, List };

// What stands in the way of logging in until the next NewLogin.
enum class Refusal {
    None,
    Login,  // the server refused user or password
    Trust,  // the server's host key or certificate was refused
};
// File name -> size in bytes as listed (-1: the listing gave none).
using ListedSizes = QHash<QString, qint64>;
// Name -> the bytes the server listed it with, for names that were not UTF-8.
using ForeignNames = QHash<QString, QByteArray>;

class ServerSession {
public:
    void change(SessionChange what, const QString& value = {}, const ListedSizes& sizes = {},
                const ForeignNames& names = {});

    // Address, user, password and TLS options the session was opened with.
    const QString& loginKey() const { return loginKey_; }
    // True once the login folder is known; until then the next command logs in first.
    bool loggedIn() const { return !folder_.isEmpty(); }
    // The current remote folder, absolute; empty until logged in.
    const QString& folder() const { return folder_; }
    bool connectionCached() const { return connectionCached_; }
    ListingCommand listing() const { return listing_; }
    // The bytes the server knows the last part of `absPath` by: those it listed the name with
    // when the listing of its folder gave it in another encoding, else its UTF-8 (NameBytes).
    QByteArray nameBytes(const QString& absPath) const;
    // Why no command may log in until the next NewLogin, empty while nothing stands in the way:
    // the server refused the login, or its host key or certificate was refused.
    Refusal refusal() const { return refusal_; }
    // The report of that refusal (the server's reply, or why its key or certificate was
    // refused); empty while there is none.
    const QString& refusalReport() const { return refusalReport_; }
    // The size the last listing of its folder gave the file at `absPath`; -1 when that folder
    // was not the last one listed, the file was not in it, or the listing gave no size.
    qint64 listedSize(const QString& absPath) const;

private:
    QString loginKey_;
    QString folder_;
    bool connectionCached_ = false;
    ListingCommand listing_ = ListingCommand::Mlsd;
    QHash<QString, QByteArray> foreign_;   // absolute path -> bytes of its last part
    Refusal refusal_ = Refusal::None;
    QString refusalReport_;
    QString listedFolder_;
    ListedSizes listedSizes_;
};
