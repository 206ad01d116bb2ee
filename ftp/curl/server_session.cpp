#include "ftp/curl/server_session.h"

#include "ftp/remote_paths.h"

void ServerSession::change(SessionChange what, const QString& value, const ListedSizes& sizes,
                           const ForeignNames& names)
{
    switch (what) {
    case SessionChange::NewLogin:
        loginKey_ = value;
        refusal_ = Refusal::None;
        refusalReport_.clear();
        [[fallthrough]];
    case SessionChange::LoggedOut:
        folder_.clear();
        connectionCached_ = false;
        listing_ = ListingCommand::Mlsd;
        foreign_.clear();
        listedFolder_.clear();
        listedSizes_.clear();
        return;
    case SessionChange::LoggedIn:
    case SessionChange::FolderChanged:
        folder_ = value;
        return;
    case SessionChange::LoginRefused:
    case SessionChange::ServerNotTrusted:
        refusal_ = what == SessionChange::ServerNotTrusted ? Refusal::Trust : Refusal::Login;
        refusalReport_ = value.isEmpty() ? QStringLiteral("Login recusado pelo servidor") : value;
        folder_.clear();
        connectionCached_ = false;
        return;
    case SessionChange::FolderListed:
        listedFolder_ = value;
        listedSizes_ = sizes;
        // The entries of this folder are known by this listing alone from now on.
        for (auto it = foreign_.begin(); it != foreign_.end();)
            it = remoteParent(it.key()) == value ? foreign_.erase(it) : std::next(it);
        for (auto it = names.begin(); it != names.end(); ++it)
            foreign_.insert((value == QLatin1String("/") ? QString() : value) + QLatin1Char('/') + it.key(), it.value());
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
    }
}

qint64 ServerSession::listedSize(const QString& absPath) const
{
    if (listedFolder_.isEmpty() || remoteParent(absPath) != listedFolder_)
        return -1;
    return listedSizes_.value(remoteLeaf(absPath), -1);
}

QByteArray ServerSession::nameBytes(const QString& absPath) const
{
    const auto it = foreign_.constFind(absPath);
    return it != foreign_.constEnd() ? it.value() : nameBytesUtf8(absPath);
}
