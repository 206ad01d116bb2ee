#pragma once
// What the reader takes from one order file, and the values one import carries between its
// steps (customer, header, items).
#include <QDateTime>
#include <QString>
#include <QStringList>

class IBookingObserver;

struct OrderRecord {
    qint32 orderNumber = 0;
    QString orderDateCompact, orderDateSlash;   // yyyymmdd, mm/dd/yyyy
    QString customerName;                       // already the company name when that is not blank
    QString companyName;
    QString cpf, rg, cnpj, stateRegistration;
    QString address, district, complement, city, state, postalCode;
    QString email, phone;
    QString subtotal, freightChoice, freightValue, orderTotal;
    QString shipDateCompact, shipDateSlash;
    QString shippingCode;
};

struct OrderItem {
    int lineNumber = 0;        // 1-based line of the order file, for messages
    QString barcode;           // field 1, as written
    QString productName;       // field 2, upper-cased, trimmed, 100 characters, apostrophes → blanks
    QString unitPrice;         // field 3, as written
    QString quantity;          // field 4, as written
    QString lineTotal;         // field 5, as written
    QString sixth;             // field 6, a number, not used further
};

// Values held between the steps of one import, reset for every file.
struct OrderContext {
    QString fileName;                          // the order file, for messages
    QDateTime now;                             // the current date and time of this import
    QString municipalityCode;
    QString timestamp;                         // "2/4/2015 14:05:09"
    QString todayCompact;                      // "20150204"
    QString customerCode;                      // interveniente.incod; empty until found or created
    QString consumerType = QStringLiteral("CONSUMIDOR FINAL");
    QString orderCode;                         // saida.sacod read back; empty until booked
    QStringList missingProducts;               // "barcode | name" of each product not found
    IBookingObserver* observer = nullptr;      // told the values of every statement; null in the batch
};
