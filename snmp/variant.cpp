#include "variant.h"

#include <cctype>
#include <charconv>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <limits>

#include <locale.h>

namespace quorrel {
namespace {

bool isBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back())) text.remove_suffix(1);
    return text;
}

bool isDigit(char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; }

// Accepts [sign] digits [. digits] [e [sign] digits], with at least one digit before the exponent.
bool hasNumberShape(std::string_view text) {
    std::size_t pos = 0, digits = 0;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) ++pos;
    for (; pos < text.size() && isDigit(text[pos]); ++pos) ++digits;
    if (pos < text.size() && text[pos] == '.')
        for (++pos; pos < text.size() && isDigit(text[pos]); ++pos) ++digits;
    if (digits == 0) return false;
    if (pos < text.size() && (text[pos] == 'e' || text[pos] == 'E')) {
        ++pos;
        if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) ++pos;
        std::size_t exponentDigits = 0;
        for (; pos < text.size() && isDigit(text[pos]); ++pos) ++exponentDigits;
        if (exponentDigits == 0) return false;
    }
    return pos == text.size();
}

double numberOf(const Variant &value) {
    if (const auto *n = std::get_if<double>(&value)) return *n;
    if (const auto *text = std::get_if<std::string>(&value)) {
        if (const auto n = readNumber(*text)) return *n;
        throw Fault::typeMismatch();
    }
    return 0; // nothing converts to zero
}

template <typename Int> Int toWhole(const Variant &value) {
    const double rounded = std::nearbyint(numberOf(value)); // the default rounding mode: halves to even
    if (!(rounded >= std::numeric_limits<Int>::min() && rounded <= std::numeric_limits<Int>::max()))
        throw Fault::overflow();
    return static_cast<Int>(rounded);
}

} // namespace

std::optional<double> readNumber(std::string_view text) {
    text = trimmed(text);
    if (!hasNumberShape(text)) return std::nullopt;
    // strtod in the C locale: the host's locale must not change what a number looks like. Out-of-range texts
    // give plus or minus infinity, or zero, which the whole-number conversions then judge.
    static const locale_t cLocale = newlocale(LC_ALL_MASK, "C", nullptr);
    const std::string copy(text);
    return strtod_l(copy.c_str(), nullptr, cLocale);
}

bool isNumeric(const Variant &value) {
    if (std::holds_alternative<double>(value)) return true;
    const auto *text = std::get_if<std::string>(&value);
    return text && readNumber(*text).has_value();
}

std::string toText(const Variant &value) {
    if (const auto *text = std::get_if<std::string>(&value)) return *text;
    if (const auto *n = std::get_if<double>(&value)) {
        char buffer[32];
        const auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, *n);
        return error == std::errc{} ? std::string(buffer, end) : std::string();
    }
    return {};
}

std::int32_t toInt32(const Variant &value) { return toWhole<std::int32_t>(value); }
std::int16_t toInt16(const Variant &value) { return toWhole<std::int16_t>(value); }

} // namespace quorrel
