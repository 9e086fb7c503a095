// The library's component entry point: the class SnmpV1 created by name, its members invoked by name.
#include "quorrel/component.h"

#include "probe.h"
#include "snmpv1.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <vector>

struct component_object {
    quorrel::SnmpV1 session;
    quorrel::probe::Batch batch;
};

namespace {

using quorrel::Fault;
using quorrel::Variant;
using Arguments = std::vector<Variant>;

std::string lowered(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(), [](unsigned char c) { return std::tolower(c); });
    return out;
}

Fault unknownMember(std::string_view name) {
    return {438, "Object doesn't support this property or method: " + std::string(name)};
}

void requireCount(const Arguments &args, std::size_t least, std::size_t most) {
    if (args.size() > most) throw Fault(450, "Wrong number of arguments or invalid property assignment");
    for (std::size_t i = 0; i < least; ++i)
        if (i >= args.size() || std::holds_alternative<std::monostate>(args[i]))
            throw Fault(449, "Argument not optional");
}

Variant variantOf(const component_value &value) {
    switch (value.kind) {
    case COMPONENT_NUMBER: return value.number;
    case COMPONENT_TEXT: return std::string(value.text ? value.text : "", value.text ? value.length : 0);
    default: return std::monostate{};
    }
}

void fill(component_value &out, const Variant &value) {
    out.kind = COMPONENT_MISSING;
    out.number = 0;
    out.text = nullptr;
    out.length = 0;
    out.owned = 0;
    if (const auto *n = std::get_if<double>(&value)) {
        out.kind = COMPONENT_NUMBER;
        out.number = *n;
    } else if (const auto *text = std::get_if<std::string>(&value)) {
        char *copy = static_cast<char *>(std::malloc(text->size() + 1));
        if (!copy) throw std::bad_alloc();
        std::memcpy(copy, text->data(), text->size());
        copy[text->size()] = '\0';
        out.kind = COMPONENT_TEXT;
        out.text = copy;
        out.length = text->size();
        out.owned = 1;
    }
}

struct TextProperty {
    const char *name;
    std::string quorrel::engine::LibraryValues::*field;
};
struct NumberProperty {
    const char *name;
    std::int16_t quorrel::engine::LibraryValues::*field;
};
constexpr TextProperty TextProperties[] = {{"agent", &quorrel::engine::LibraryValues::agent},
                                           {"commstr", &quorrel::engine::LibraryValues::commStr}};
constexpr NumberProperty NumberProperties[] = {{"timeout", &quorrel::engine::LibraryValues::timeout},
                                               {"retry", &quorrel::engine::LibraryValues::retry}};

// Property access: an assignment takes one value; a read (or a call without arguments) returns it.
template <typename Property, typename Convert>
std::optional<Variant> accessProperty(const Property (&table)[2], const std::string &name, int kind,
                                      const Arguments &args, Convert convert) {
    for (const auto &property : table) {
        if (name != property.name) continue;
        auto &field = quorrel::engine::library().*property.field;
        if (kind == COMPONENT_PUT) {
            requireCount(args, 1, 1);
            field = convert(args[0]);
            return Variant{};
        }
        requireCount(args, 0, 0);
        if constexpr (std::is_same_v<std::remove_reference_t<decltype(field)>, std::string>) return Variant{field};
        else return Variant{static_cast<double>(field)};
    }
    return std::nullopt;
}

// The object's own members: read and written through the object, which checks the values.
struct ObjectProperty {
    const char *name;
    void (quorrel::SnmpV1::*put)(const Variant &);
    Variant (quorrel::SnmpV1::*get)() const;
};
using quorrel::SnmpV1;
constexpr ObjectProperty ObjectProperties[] = {
    {"version", &SnmpV1::setVersion, &SnmpV1::version},
    {"securityname", &SnmpV1::setSecurityName, &SnmpV1::securityName},
    {"authprotocol", &SnmpV1::setAuthProtocol, &SnmpV1::authProtocol},
    {"authpassphrase", &SnmpV1::setAuthPassphrase, &SnmpV1::passphrase},
    {"privprotocol", &SnmpV1::setPrivProtocol, &SnmpV1::privProtocol},
    {"privpassphrase", &SnmpV1::setPrivPassphrase, &SnmpV1::passphrase},
    {"contextname", &SnmpV1::setContextName, &SnmpV1::contextName},
    {"retransmit", &SnmpV1::setRetransmit, &SnmpV1::retransmit},
    {"octetsashex", &SnmpV1::setOctetsAsHex, &SnmpV1::octetsAsHex},
    {"bulkrepetitions", &SnmpV1::setBulkRepetitions, &SnmpV1::bulkRepetitions},
};

std::optional<Variant> accessObjectProperty(quorrel::SnmpV1 &session, const std::string &name, int kind,
                                            const Arguments &args) {
    for (const auto &property : ObjectProperties) {
        if (name != property.name) continue;
        if (kind == COMPONENT_PUT) {
            requireCount(args, 1, 1);
            (session.*property.put)(args[0]);
            return Variant{};
        }
        requireCount(args, 0, 0);
        return (session.*property.get)();
    }
    return std::nullopt;
}

Variant callMethod(quorrel::SnmpV1 &session, const std::string &name, const std::string &shownName,
                   component_value *raw, const Arguments &args) {
    if (name == "snmpmgropen") {
        requireCount(args, 0, 0);
        return session.SnmpMgrOpen();
    }
    if (name == "snmpmgrclose") {
        requireCount(args, 0, 0);
        return session.SnmpMgrClose();
    }
    if (name == "snmpget") {
        requireCount(args, 1, 1);
        return session.SnmpGet(quorrel::toText(args[0]));
    }
    if (name == "snmpgetnext") {
        requireCount(args, 1, 1);
        std::string oid = quorrel::toText(args[0]);
        std::string text = session.SnmpGetNext(oid);
        if (raw[0].by_ref) fill(raw[0], oid);
        return text;
    }
    if (name == "snmpset") {
        requireCount(args, 2, 3);
        const bool overridden = args.size() > 2 && !std::holds_alternative<std::monostate>(args[2]);
        const std::int16_t setType = overridden ? quorrel::toInt16(args[2]) : quorrel::SnmpV1::DefaultSetType;
        return session.SnmpSet(quorrel::toText(args[0]), args[1], setType);
    }
    throw unknownMember(shownName);
}

// The host's event pump, for the batch's waits.
void (*hostPump)(void *) = nullptr;
void *hostPumpContext = nullptr;

void pumpHostEvents() {
    if (hostPump) hostPump(hostPumpContext);
}

// Parts of a text separated by any of the separators, empty parts left out.
std::vector<std::string> split(const std::string &text, std::string_view separators) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t end = std::min(text.find_first_of(separators, start), text.size());
        if (end > start) parts.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return parts;
}

// BatchGet(Agents, OIDs[, Tag]): agents separated by blanks, commas or ";", OIDs by ";". BatchNext(Agent, OID, Tag
// [, WaitMs]): the next answer's text, its agent, OID and tag in the by-reference arguments; the agent comes back
// empty when no answer came within WaitMs (omitted: until one comes). BatchPending: answers still to come.
std::optional<Variant> accessBatch(component_object &object, const std::string &name, int kind, component_value *raw,
                                   const Arguments &args) {
    if (name == "batchpending" && kind != COMPONENT_PUT) {
        requireCount(args, 0, 0);
        return static_cast<double>(object.batch.pending());
    }
    if (kind != COMPONENT_METHOD) return std::nullopt;
    if (name == "batchget") {
        requireCount(args, 2, 3);
        const std::string tag = args.size() > 2 ? quorrel::toText(args[2]) : std::string();
        const std::string why =
            object.batch.add(split(quorrel::toText(args[0]), " \t\r\n,;"), split(quorrel::toText(args[1]), ";"),
                             object.session.options(), quorrel::engine::library().commStr, tag);
        return why.empty() ? std::string("Successful") : why;
    }
    if (name == "batchnext") {
        requireCount(args, 3, 4);
        constexpr int Day = 24 * 3600 * 1000;
        const bool limited = args.size() > 3 && !std::holds_alternative<std::monostate>(args[3]);
        const auto answer = object.batch.next(limited ? quorrel::toInt32(args[3]) : Day, pumpHostEvents);
        const quorrel::probe::Answer none;
        const quorrel::probe::Answer &given = answer ? *answer : none;
        if (raw[0].by_ref) fill(raw[0], given.agent);
        if (raw[1].by_ref) fill(raw[1], given.oid);
        if (raw[2].by_ref) fill(raw[2], given.tag);
        return given.text;
    }
    return std::nullopt;
}

Variant invokeMember(component_object &object, const char *member, int kind, component_value *raw,
                     std::size_t count) {
    quorrel::SnmpV1 &session = object.session;
    const std::string shownName = member ? member : "";
    const std::string name = lowered(shownName);
    Arguments args;
    for (std::size_t i = 0; i < count; ++i) args.push_back(variantOf(raw[i]));

    if (auto value = accessProperty(TextProperties, name, kind, args, quorrel::toText)) return *value;
    if (auto value = accessProperty(NumberProperties, name, kind, args, quorrel::toInt16)) return *value;
    if (auto value = accessObjectProperty(session, name, kind, args)) return *value;
    if (auto value = accessBatch(object, name, kind, raw, args)) return *value;
    if (kind == COMPONENT_PUT) throw unknownMember(shownName);
    return callMethod(session, name, shownName, raw, args);
}

void report(component_fault *fault, int number, const std::string &description) {
    if (!fault) return;
    fault->number = number;
    const std::size_t length = std::min(description.size(), sizeof fault->description - 1);
    std::memcpy(fault->description, description.data(), length);
    fault->description[length] = '\0';
}

void reportCurrentException(component_fault *fault) {
    try {
        throw;
    } catch (const Fault &f) {
        report(fault, f.number, f.what());
    } catch (const std::bad_alloc &) {
        report(fault, 7, "Out of memory");
    } catch (const std::exception &e) {
        report(fault, 51, std::string("Internal error: ") + e.what());
    } catch (...) {
        report(fault, 51, "Internal error");
    }
}

component_object *create(const char *className, component_fault *fault) {
    try {
        if (!className || lowered(className) != "snmpv1")
            throw Fault(429, "Cannot create object: no class " + std::string(className ? className : "") +
                                 " in this library");
        return new component_object;
    } catch (...) {
        reportCurrentException(fault);
        return nullptr;
    }
}

void release(component_object *object) { delete object; }

int invoke(component_object *object, const char *member, int kind, component_value *args, std::size_t count,
           component_value *result, component_fault *fault) {
    try {
        if (!object) throw Fault(91, "Object variable not set");
        if (count > 0 && !args) throw Fault(5, "Invalid procedure call or argument");
        const Variant value = invokeMember(*object, member, kind, args, count);
        if (result) fill(*result, value);
        return 0;
    } catch (...) {
        reportCurrentException(fault);
        return 1;
    }
}

void freeValue(component_value *value) {
    if (!value) return;
    if (value->owned) std::free(const_cast<char *>(value->text));
    *value = component_value{};
}

void setEventPump(void (*pump)(void *), void *context) {
    quorrel::engine::setEventPump(pump, context);
    hostPump = pump;
    hostPumpContext = context;
}

constexpr component_library Library = {COMPONENT_ABI_VERSION, create, release, invoke, freeValue, setEventPump};

} // namespace

extern "C" __attribute__((visibility("default"))) const component_library *component_library_entry(void) {
    return &Library;
}
