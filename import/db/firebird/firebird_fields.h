#pragma once
// Reading the rows the Firebird client library fetches: message buffers to Fields.
#include "import/db/database.h"
#include "import/db/row_recordset.h"

#include <QString>

namespace Firebird {
class IAttachment;
class IMessageMetadata;
class IStatement;
class ITransaction;
class IUtil;
class ThrowStatusWrapper;
} // namespace Firebird

namespace fb {

// Character set ids of the client library.
inline constexpr unsigned kCharsetOctets = 1;
inline constexpr unsigned kCharsetUtf8 = 4;
inline constexpr unsigned kCharsetWin1252 = 53;

// Reads the fields of one attachment. Texts come in the attachment's character set (UTF8 or
// WIN1252), OCTETS as one character per byte; exact numbers are written from their scaled
// integers, dates and times ISO.
class FieldReader {
public:
    FieldReader(Firebird::IUtil* util, Firebird::ThrowStatusWrapper& status, Firebird::IAttachment* attachment,
                bool utf8);

    // Opens the statement's cursor (`inMeta`/`inBuffer`: its parameters, or null), reads the first
    // row, if any, into `row` and closes the cursor. Throws FbException.
    bool fetchFirst(Firebird::ITransaction* tra, Firebird::IStatement* statement, Firebird::IMessageMetadata* inMeta,
                    void* inBuffer, RowRecordset::Row& row);

private:
    QString decodeText(const char* data, unsigned length, unsigned charset) const;
    // `blobId`: the field's bytes in the message, which hold the blob's id.
    QString readBlob(Firebird::ITransaction* tra, const unsigned char* blobId, unsigned charset);
    Field readField(Firebird::ITransaction* tra, Firebird::IMessageMetadata* meta, unsigned i,
                    const unsigned char* buffer);

    Firebird::IUtil* util_;
    Firebird::ThrowStatusWrapper& status_;
    Firebird::IAttachment* attachment_;
    bool utf8_;
};

} // namespace fb
