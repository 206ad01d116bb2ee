#pragma once
// The server's current folder as the last listing showed it: its entries in listing order
// ("../" first; "./" is never an entry), the selection mark of each, and the folder's path as
// the server reported it. The session fills it, the download walk and the buttons read it, the
// window shows it.
#include <QObject>
#include <QString>
#include <QStringList>

#include <vector>

class RemoteFolder : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    int count() const { return int(entries_.size()); }
    QString at(int index) const { return entries_.value(index); }
    const QStringList& entries() const { return entries_; }
    bool isSelected(int index) const { return index >= 0 && index < count() && selected_[size_t(index)]; }
    void setSelected(int index, bool selected);

    // Starts a new listing: no entries. Each listing gets a new generation number, so whoever
    // walks the entries can tell that they were listed anew meanwhile.
    void clear();
    // The entries of a listing, all at once, none selected.
    void setEntries(const QStringList& entries);
    quint64 generation() const { return generation_; }

    // The folder's path ("pwd"; before the first listing "/" or the configured folder).
    const QString& path() const { return path_; }
    void setPath(const QString& path);

signals:
    void entriesChanged();
    void selectionChanged(int index, bool selected);
    void pathChanged(const QString& path);

private:
    QStringList entries_;
    std::vector<bool> selected_;
    quint64 generation_ = 0;
    QString path_ = QStringLiteral("/");
};
