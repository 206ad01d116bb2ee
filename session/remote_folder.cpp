#include "session/remote_folder.h"

void RemoteFolder::setSelected(int index, bool selected)
{
    if (index < 0 || index >= count() || selected_[size_t(index)] == selected)
        return;
    selected_[size_t(index)] = selected;
    emit selectionChanged(index, selected);
}

void RemoteFolder::clear()
{
    ++generation_;
    entries_.clear();
    selected_.clear();
    emit entriesChanged();
}

void RemoteFolder::setEntries(const QStringList& entries)
{
    ++generation_;
    entries_ = entries;
    selected_.assign(size_t(entries_.size()), false);
    emit entriesChanged();
}

void RemoteFolder::setPath(const QString& path)
{
    path_ = path;
    emit pathChanged(path_);
}
