#include "ftp/curl/server_session.h"

void ServerSession::change(SessionChange what, const QString& value)
{
    switch (what) {
    case SessionChange::NewLogin:
        loginKey_ = value;
        [[fallthrough]];
    case SessionChange::LoggedOut:
        folder_.clear();
        connectionCached_ = false;
        listing_ = ListingCommand::Mlsd;
        names_ = NameEncoding::Utf8;
        return;
    case SessionChange::LoggedIn:
    case SessionChange::FolderChanged:
        folder_ = value;
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
