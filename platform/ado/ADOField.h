#pragma once
// TADOField: one column of an open TADODataSet, read at the data set's current row.
//
// The value converts as the caller asks: a 32- or 64-bit integer, a date-time (days since 30
// December 1899), a floating value or a text. A text column holding a decimal integer converts
// to an integer; a text that is not one raises std::runtime_error. A null value (and every
// field of an empty result or past its end) reads as 0, 0.0 or "" and IsNull is true.
//
// Owned by its data set; valid until the data set is closed. Same thread rules as the data set.

#include "TDateTime.h"

#include <cstdint>
#include <string>
#include <vector>

enum class TFieldKind { Integer, Float, DateTime, Text };

// The stored values of one result column (a client-side cursor keeps the whole result).
struct TADOColumnData {
    std::string Name;
    TFieldKind Kind = TFieldKind::Text;
    std::vector<std::int64_t> Integers;  // Kind Integer
    std::vector<double> Reals;           // Kind Float and DateTime
    std::vector<std::uint32_t> Offsets;  // Kind Text: start of each row's zero-terminated text
    std::string Texts;                   // Kind Text: all rows' texts, each followed by a zero
    std::vector<std::uint8_t> Nulls;     // 1 where the row's value is null
};

class TADOField {
public:
    TADOField(const TADOColumnData *column, const std::size_t *row);

    const std::string &FieldName() const { return Column->Name; }
    TFieldKind Kind() const { return Column->Kind; }

    bool IsNull() const { return !HasValue(); }
    // The low 32 bits of AsLargeInt.
    int AsInteger() const { return static_cast<int>(static_cast<std::uint32_t>(AsLargeInt())); }
    std::int64_t AsLargeInt() const {
        return Column->Kind == TFieldKind::Integer && HasValue() ? Column->Integers[*Row]
                                                                 : ConvertToLargeInt();
    }
    double AsFloat() const;
    TDateTime AsDateTime() const;
    std::string AsString() const;
    // The text without a copy: valid until the data set moves or closes. For a column that is
    // not text it is the value formatted as AsString does, kept in the field.
    const char *AsCString() const {
        return Column->Kind == TFieldKind::Text && HasValue()
                   ? Column->Texts.c_str() + Column->Offsets[*Row]
                   : FormatAsCString();
    }

private:
    // The common reads are inline; conversions and formatting are out of line.
    bool HasValue() const { return *Row < Column->Nulls.size() && Column->Nulls[*Row] == 0; }
    std::int64_t ConvertToLargeInt() const;
    const char *FormatAsCString() const;
    const TADOColumnData *Column;
    const std::size_t *Row;  // the data set's current row
    mutable std::string Scratch;
};
