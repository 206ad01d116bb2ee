#pragma once
// What the booking steps put into their statements, told to whoever asks (the check of order
// files prints it); the batch asks nothing. Every value is the one the statement binds, as the
// column receives it.
#include <QString>

// The customer the order is booked under.
struct CustomerValues {
    enum class Lookup { None, Cnpj, Cpf };   // the document looked up (a CNPJ wins over a CPF)
    Lookup lookup = Lookup::None;
    QString document;          // the CNPJ or CPF looked up
    bool found = false;        // false: no match, a new customer was inserted
    QString code;              // interveniente.incod: the found customer's, or the new one's read back
    QString consumerType;      // the consumer type the order carries
    QString name;              // innome of a new customer (a found one keeps its own)
    QString municipalityCode;  // inmucod written (empty when the city is unknown)
};

// The saida row.
struct HeaderValues {
    QString orderNumber;       // sanf, fkftp
    QString orderTotal;        // savrpago, total
    QString subtotal;          // savrtotal
    QString freightValue;      // vrfrete
    QString note;              // saobs
    QString orderDateCompact;  // sadtsaida
    QString orderDateSlash;    // datasaida
    QString shipDateCompact;   // sadtentrega
    QString shipDateSlash;     // dataentrega
    QString customerCode;      // safkinterveniente
    QString consumerType;      // saintipoconsumidor
    QString seller;            // SAFKVENDEDOR
    QString paymentMethod;     // safktppag
    QString movementType;      // safktpsaida
    QString icmsPercent;       // CLI_ICMSUF
};

// One itemsaida row.
struct ItemValues {
    int lineNumber = 0;        // line of the order file
    QString barcode;           // the product looked up (produto.prbarra)
    QString productName;       // itprnome
    QString productCode;       // itfkprcod
    QString quantity;          // itqtd, saldo
    QString unit;              // itunidade
    QString unitPrice;         // itvrunitario
    QString lineTotal;         // itvrtotal
    QString volume;            // itvolume
    QString icmsSituation;     // prcst_icms
    QString icmsBase;          // vbcicms
    QString icmsValue;         // vicms
    QString icmsPercent;       // perc_icms
    QString ipiSituation;      // cstipi
    QString ipiValue;          // vipi
    QString ipiRate;           // pipi, ITvrIPI
};

// An item line whose product the ERP lacks: no item row; the order's note is replaced.
struct MissingProductValues {
    int lineNumber = 0;
    QString barcode;
    QString productName;
    QString note;              // the saobs the update writes
};

class IBookingObserver {
public:
    virtual ~IBookingObserver() = default;
    virtual void customerSettled(const CustomerValues& values) = 0;
    virtual void headerInserted(const HeaderValues& values) = 0;
    virtual void itemInserted(const ItemValues& values) = 0;
    virtual void productMissing(const MissingProductValues& values) = 0;
};
