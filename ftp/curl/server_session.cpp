#include "ftp/curl/server_session.h"

#include "ftp/remote_paths.h"

void ServerSession::change(SessionChange what, const QString& value, const ListedSizes& sizes)
{
    switch (what) {
    case SessionChange::NewLogin:
        loginKey_ = value;
        refusal_.clear();
        untrusted_ = false;
        [[fallthrough]];
    case SessionChange::LoggedOut:
        folder_.clear();
        connectionCached_ = false;
        listing_ = ListingCommand::Mlsd;
        names_ = NameEncoding::Utf8;
        listedFolder_.clear();
        listedSizes_.clear();
        return;
    case SessionChange::LoggedIn:
    case SessionChange::FolderChanged:
        folder_ = value;
        return;
    case SessionChange::LoginRefused:
    case SessionChange::ServerNotTrusted:
        refusal_ = value.isEmpty() ? QStringLiteral("Login recusado pelo servidor") : value;
        untrusted_ = what == SessionChange::ServerNotTrusted;
        folder_.clear();
        connectionCached_ = false;
        return;
    case SessionChange::FolderListed:
        listedFolder_ = value;
        listedSizes_ = sizes;
        return;
    case SessionChange::FileUploaded:
        if (remoteParent(value) == listedFolder_)
            listedSizes_.remove(remoteLeaf(value));
        return;
    case SessionChange::ConnectionKept:
        connectionCached_ = true;
        return;
    case SessionChange::ConnectionLost:
        connectionCached_ = false;
        return;
    case SessionChange::MlsdMissing:
        listing_ = ListingCommand::List;
        return;
    case SessionChange::Latin1NamesSeen:
        names_ = NameEncoding::Latin1;
        return;
    }
}

qint64 ServerSession::listedSize(const QString& absPath) const
{
    if (listedFolder_.isEmpty() || remoteParent(absPath) != listedFolder_)
        return -1;
    return listedSizes_.value(remoteLeaf(absPath), -1);
}
