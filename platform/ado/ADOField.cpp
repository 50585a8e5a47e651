#include "ADOField.h"

#include "DateTimeText.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>

TADOField::TADOField(const TADOColumnData *column, const std::size_t *row)
    : Column(column), Row(row) {}

std::int64_t TADOField::ConvertToLargeInt() const {
    if (!HasValue()) return 0;
    switch (Column->Kind) {
    case TFieldKind::Integer: return Column->Integers[*Row];
    case TFieldKind::Float: return static_cast<std::int64_t>(std::llround(Column->Reals[*Row]));
    case TFieldKind::DateTime:
        throw std::runtime_error("Field '" + Column->Name + "' is a date-time, not an integer");
    case TFieldKind::Text: {
        const char *s = Column->Texts.c_str() + Column->Offsets[*Row];
        while (*s == ' ' || *s == '\t') ++s;
        char *end = nullptr;
        errno = 0;
        long long v = std::strtoll(s, &end, 10);
        while (end && (*end == ' ' || *end == '\t')) ++end;
        if (end == s || !end || *end != '\0' || errno == ERANGE)
            throw std::runtime_error("'" +
                                     std::string(Column->Texts.c_str() + Column->Offsets[*Row]) +
                                     "' is not a valid integer value");
        return v;
    }
    }
    return 0;
}

double TADOField::AsFloat() const {
    if (!HasValue()) return 0;
    switch (Column->Kind) {
    case TFieldKind::Integer: return static_cast<double>(Column->Integers[*Row]);
    case TFieldKind::Float:
    case TFieldKind::DateTime: return Column->Reals[*Row];
    case TFieldKind::Text: {
        const char *s = Column->Texts.c_str() + Column->Offsets[*Row];
        char *end = nullptr;
        double v = std::strtod(s, &end);
        while (end && (*end == ' ' || *end == '\t')) ++end;
        if (end == s || !end || *end != '\0')
            throw std::runtime_error("'" + std::string(s) +
                                     "' is not a valid floating point value");
        return v;
    }
    }
    return 0;
}

TDateTime TADOField::AsDateTime() const {
    if (!HasValue()) return 0;
    if (Column->Kind == TFieldKind::Text)
        throw std::runtime_error("Field '" + Column->Name + "' is a text, not a date-time");
    return AsFloat();
}

const char *TADOField::FormatAsCString() const {
    if (!HasValue()) return "";
    switch (Column->Kind) {
    case TFieldKind::Text: return Column->Texts.c_str() + Column->Offsets[*Row];
    case TFieldKind::Integer: Scratch = std::to_string(Column->Integers[*Row]); break;
    case TFieldKind::Float: {
        char buf[40];
        std::snprintf(buf, sizeof buf, "%.15g", Column->Reals[*Row]);
        Scratch = buf;
        break;
    }
    case TFieldKind::DateTime: Scratch = kivra::DateTimeToStr(Column->Reals[*Row]); break;
    }
    return Scratch.c_str();
}

std::string TADOField::AsString() const {
    if (HasValue() && Column->Kind == TFieldKind::Text) {
        const std::uint32_t start = Column->Offsets[*Row];
        const std::uint32_t end = *Row + 1 < Column->Offsets.size()
                                      ? Column->Offsets[*Row + 1] - 1
                                      : static_cast<std::uint32_t>(Column->Texts.size() - 1);
        return Column->Texts.substr(start, end - start);
    }
    return AsCString();
}
