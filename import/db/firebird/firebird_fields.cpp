#include "import/db/firebird/firebird_fields.h"

#include "core/text_codec.h"
#include "import/db/firebird/held.h"
#include "import/sql_text.h"

#include <firebird/Interface.h>
#include <ibase.h>

#include <cstring>

using namespace Firebird;

namespace fb {

namespace {

// Digits of a scaled integer written exactly: 15090 with scale -2 is "150.90".
QString scaledText(qint64 value, int scale)
{
    const bool negative = value < 0;
    // Work on the magnitude as unsigned so the smallest INT64 has one too.
    const quint64 magnitude = negative ? quint64(0) - quint64(value) : quint64(value);
    QString digits = QString::number(magnitude);
    if (scale > 0) {
        digits.append(QString(scale, QLatin1Char('0')));
    } else if (scale < 0) {
        const int decimals = -scale;
        if (digits.size() <= decimals)
            digits.prepend(QString(decimals - digits.size() + 1, QLatin1Char('0')));
        digits.insert(digits.size() - decimals, QLatin1Char('.'));
    }
    if (negative)
        digits.prepend(QLatin1Char('-'));
    return digits;
}

} // namespace

FieldReader::FieldReader(IUtil* util, ThrowStatusWrapper& status, IAttachment* attachment, bool utf8)
    : util_(util), status_(status), attachment_(attachment), utf8_(utf8)
{
}

bool FieldReader::fetchFirst(ITransaction* tra, IStatement* statement, IMessageMetadata* inMeta, void* inBuffer,
                             RowRecordset::Row& row)
{
    Held<IMessageMetadata> meta(statement->getOutputMetadata(&status_));
    const unsigned count = meta->getCount(&status_);
    QByteArray buffer(int(meta->getMessageLength(&status_)), '\0');
    Held<IResultSet> cursor(statement->openCursor(&status_, tra, inMeta, inBuffer, meta.get(), 0));
    const bool hasRow = cursor->fetchNext(&status_, buffer.data()) == IStatus::RESULT_OK;
    if (hasRow) {
        const auto* data = reinterpret_cast<const unsigned char*>(buffer.constData());
        for (unsigned i = 0; i < count; ++i) {
            const char* alias = meta->getAlias(&status_, i);
            QString name = utf8_ ? QString::fromUtf8(alias) : text::fromCp1252(QByteArray(alias));
            row.append({name, readField(tra, meta.get(), i, data)});
        }
    }
    cursor->close(&status_);
    cursor.take();
    return hasRow;
}

QString FieldReader::decodeText(const char* data, unsigned length, unsigned charset) const
{
    const QByteArray bytes(data, length);
    if (charset == kCharsetOctets)
        return QString::fromLatin1(bytes);
    return utf8_ ? QString::fromUtf8(bytes) : text::fromCp1252(bytes);
}

QString FieldReader::readBlob(ITransaction* tra, const unsigned char* blobId, unsigned charset)
{
    ISC_QUAD id;
    std::memcpy(&id, blobId, sizeof id);
    Held<IBlob> blob(attachment_->openBlob(&status_, tra, &id, 0, nullptr));
    QByteArray bytes;
    char buffer[16384];
    for (;;) {
        unsigned got = 0;
        const int result = blob->getSegment(&status_, sizeof buffer, buffer, &got);
        if (result == IStatus::RESULT_OK || result == IStatus::RESULT_SEGMENT)
            bytes.append(buffer, got);
        else
            break;
    }
    blob->close(&status_);
    blob.take();
    return decodeText(bytes.constData(), unsigned(bytes.size()), charset);
}

Field FieldReader::readField(ITransaction* tra, IMessageMetadata* meta, unsigned i, const unsigned char* buffer)
{
    Field f;
    if (meta->isNullable(&status_, i)
        && *reinterpret_cast<const ISC_SHORT*>(buffer + meta->getNullOffset(&status_, i)) == -1) {
        f.kind = Field::Kind::Null;
        return f;
    }
    const unsigned char* data = buffer + meta->getOffset(&status_, i);
    const unsigned type = meta->getType(&status_, i) & ~1u;
    const int scale = meta->getScale(&status_, i);
    const unsigned charset = meta->getCharSet(&status_, i);
    auto integer = [&](qint64 v) {
        f.kind = scale < 0 ? Field::Kind::Decimal : Field::Kind::Integer;
        f.text = scaledText(v, scale);
    };
    switch (type) {
    case SQL_VARYING: {
        ISC_USHORT length;
        std::memcpy(&length, data, sizeof length);
        f.kind = charset == kCharsetOctets ? Field::Kind::Other : Field::Kind::Text;
        f.text = decodeText(reinterpret_cast<const char*>(data) + sizeof length, length, charset);
        break;
    }
    case SQL_TEXT: {
        const unsigned length = meta->getLength(&status_, i);
        f.kind = charset == kCharsetOctets ? Field::Kind::Other : Field::Kind::Text;
        f.text = decodeText(reinterpret_cast<const char*>(data), length, charset);
        // A UTF8 CHAR(n) arrives as 4n bytes padded with blanks: keep n characters.
        if (utf8_ && charset == kCharsetUtf8 && f.text.size() > qsizetype(length / 4)) {
            const QString tail = f.text.mid(length / 4);
            if (tail.trimmed().isEmpty())
                f.text.truncate(length / 4);
        }
        break;
    }
    case SQL_SHORT: {
        ISC_SHORT v;
        std::memcpy(&v, data, sizeof v);
        integer(v);
        break;
    }
    case SQL_LONG: {
        ISC_LONG v;
        std::memcpy(&v, data, sizeof v);
        integer(v);
        break;
    }
    case SQL_INT64: {
        ISC_INT64 v;
        std::memcpy(&v, data, sizeof v);
        integer(v);
        break;
    }
    case SQL_FLOAT: {
        float v;
        std::memcpy(&v, data, sizeof v);
        f.kind = Field::Kind::Decimal;
        f.text = sql::regionalNumber(double(v));
        break;
    }
    case SQL_DOUBLE:
    case SQL_D_FLOAT: {
        double v;
        std::memcpy(&v, data, sizeof v);
        f.kind = Field::Kind::Decimal;
        f.text = sql::regionalNumber(v);
        break;
    }
    case SQL_TYPE_DATE: {
        ISC_DATE v;
        std::memcpy(&v, data, sizeof v);
        unsigned y, m, d;
        util_->decodeDate(v, &y, &m, &d);
        f.kind = Field::Kind::Other;
        f.text = QStringLiteral("%1-%2-%3").arg(y, 4, 10, QLatin1Char('0')).arg(m, 2, 10, QLatin1Char('0')).arg(d, 2, 10, QLatin1Char('0'));
        break;
    }
    case SQL_TYPE_TIME: {
        ISC_TIME v;
        std::memcpy(&v, data, sizeof v);
        unsigned h, mi, s, fr;
        util_->decodeTime(v, &h, &mi, &s, &fr);
        f.kind = Field::Kind::Other;
        f.text = QStringLiteral("%1:%2:%3").arg(h, 2, 10, QLatin1Char('0')).arg(mi, 2, 10, QLatin1Char('0')).arg(s, 2, 10, QLatin1Char('0'));
        break;
    }
    case SQL_TIMESTAMP: {
        ISC_TIMESTAMP v;
        std::memcpy(&v, data, sizeof v);
        unsigned y, m, d, h, mi, s, fr;
        util_->decodeDate(v.timestamp_date, &y, &m, &d);
        util_->decodeTime(v.timestamp_time, &h, &mi, &s, &fr);
        f.kind = Field::Kind::Other;
        f.text = QStringLiteral("%1-%2-%3 %4:%5:%6")
                     .arg(y, 4, 10, QLatin1Char('0')).arg(m, 2, 10, QLatin1Char('0')).arg(d, 2, 10, QLatin1Char('0'))
                     .arg(h, 2, 10, QLatin1Char('0')).arg(mi, 2, 10, QLatin1Char('0')).arg(s, 2, 10, QLatin1Char('0'));
        break;
    }
    case SQL_BOOLEAN:
        f.kind = Field::Kind::Other;
        f.text = *data ? QStringLiteral("TRUE") : QStringLiteral("FALSE");
        break;
    case SQL_BLOB: {
        const bool isText = meta->getSubType(&status_, i) == 1;
        f.kind = isText ? Field::Kind::Text : Field::Kind::Other;
        f.text = readBlob(tra, data, isText ? charset : kCharsetOctets);
        break;
    }
    case SQL_NULL:
        f.kind = Field::Kind::Null;
        break;
    default:
        f.kind = Field::Kind::Other;
        break;
    }
    return f;
}

} // namespace fb
