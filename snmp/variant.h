// The loosely typed values that members take and return, and their conversions.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <variant>

namespace quorrel {

// A run-time fault: a number and a description, as a failed conversion or call reports it.
struct Fault : std::runtime_error {
    Fault(int number, const std::string &description) : std::runtime_error(description), number(number) {}
    int number;

    static Fault typeMismatch() { return {13, "Type mismatch"}; }
    static Fault overflow() { return {6, "Overflow"}; }
};

// Nothing (an omitted optional argument), a number, or a UTF-8 text.
using Variant = std::variant<std::monostate, double, std::string>;

// The number a text reads as: blanks around it, a sign, digits with an optional fraction and an optional
// exponent ("42", " -7 ", "12.5", "1e3"). nullopt for anything else, the empty text included.
std::optional<double> readNumber(std::string_view text);

// A number, or a text that reads as one.
bool isNumeric(const Variant &value);

// Numbers in their shortest form ("42", "12.5"); nothing gives the empty text.
std::string toText(const Variant &value);

// Conversion to a whole number, halves rounded to the even neighbour. Faults: a text that does not read as a
// number (13, Type mismatch), a value outside the type's range (6, Overflow).
std::int32_t toInt32(const Variant &value);
std::int16_t toInt16(const Variant &value);

} // namespace quorrel
