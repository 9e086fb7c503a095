#include "ber.h"

#include <charconv>

namespace quorrel::ber {
namespace {

// ---- writing ----

void putLength(std::string &out, std::size_t length) {
    if (length < 0x80) {
        out.push_back(static_cast<char>(length));
        return;
    }
    std::string bytes;
    for (; length > 0; length >>= 8) bytes.insert(bytes.begin(), static_cast<char>(length & 0xFF));
    out.push_back(static_cast<char>(0x80 | bytes.size()));
    out += bytes;
}

void putTlv(std::string &out, std::uint8_t tag, std::string_view content) {
    out.push_back(static_cast<char>(tag));
    putLength(out, content.size());
    out += content;
}

// A number's content without the leading bytes that carry no value: in a signed number those that only repeat the
// sign (00 before a byte with a clear top bit, FF before one with a set top bit), in an unsigned one every leading
// 00. Agents send such padded forms; we write none.
std::string_view withoutPadding(std::string_view content, bool isSigned) {
    while (content.size() > 1) {
        const auto first = static_cast<std::uint8_t>(content[0]);
        const bool nextNegative = static_cast<std::uint8_t>(content[1]) & 0x80;
        const bool padding = first == 0x00 ? !(isSigned && nextNegative) : isSigned && first == 0xFF && nextNegative;
        if (!padding) break;
        content.remove_prefix(1);
    }
    return content;
}

// Two's complement, shortest form.
std::string signedContent(std::int64_t n) {
    std::string bytes;
    for (int i = 7; i >= 0; --i) bytes.push_back(static_cast<char>((static_cast<std::uint64_t>(n) >> (8 * i)) & 0xFF));
    return std::string(withoutPadding(bytes, true));
}

// Unsigned, shortest form, with a leading zero byte where the top bit would read as a sign.
std::string unsignedContent(std::uint64_t n) {
    std::string bytes;
    do {
        bytes.insert(bytes.begin(), static_cast<char>(n & 0xFF));
        n >>= 8;
    } while (n > 0);
    if (static_cast<std::uint8_t>(bytes[0]) & 0x80) bytes.insert(bytes.begin(), '\0');
    return bytes;
}

void putSubIdentifier(std::string &out, std::uint64_t n) {
    char groups[10];
    int count = 0;
    do {
        groups[count++] = static_cast<char>(n & 0x7F);
        n >>= 7;
    } while (n > 0);
    while (count > 1) out.push_back(static_cast<char>(groups[--count] | 0x80));
    out.push_back(groups[0]);
}

std::string oidContent(const Oid &oid) {
    std::string out;
    if (oid.empty()) return out;
    putSubIdentifier(out, std::uint64_t{oid[0]} * 40 + (oid.size() > 1 ? oid[1] : 0));
    for (std::size_t i = 2; i < oid.size(); ++i) putSubIdentifier(out, oid[i]);
    return out;
}

std::string valueTlv(const Value &value) {
    std::string out;
    switch (value.syntax) {
    case Integer: putTlv(out, Integer, signedContent(value.number)); break;
    case Counter32:
    case Gauge32:
    case TimeTicks: putTlv(out, value.syntax, unsignedContent(static_cast<std::uint32_t>(value.number))); break;
    case Counter64: putTlv(out, Counter64, unsignedContent(value.counter64)); break;
    case ObjectId: putTlv(out, ObjectId, oidContent(value.oid)); break;
    case Null:
    case NoSuchObject:
    case NoSuchInstance:
    case EndOfMibView: putTlv(out, value.syntax, {}); break;
    default: putTlv(out, value.syntax, value.octets); break;
    }
    return out;
}

std::string pduTlv(const Pdu &pdu) {
    std::string bindings;
    for (const auto &binding : pdu.bindings) {
        std::string one;
        putTlv(one, ObjectId, oidContent(binding.oid));
        one += valueTlv(binding.value);
        putTlv(bindings, Sequence, one);
    }
    std::string content;
    putTlv(content, Integer, signedContent(pdu.requestId));
    putTlv(content, Integer, signedContent(pdu.errorStatus));
    putTlv(content, Integer, signedContent(pdu.errorIndex));
    putTlv(content, Sequence, bindings);
    std::string out;
    putTlv(out, pdu.type, content);
    return out;
}

// ---- reading ----

// A bounded cursor over one constructed or primitive content; every read checks what is left.
class Reader {
public:
    explicit Reader(std::string_view data) : data_(data) {}

    bool atEnd() const { return data_.empty(); }

    // Reads one tag-length-value; the content is a view into the same buffer.
    bool next(std::uint8_t &tag, std::string_view &content) {
        if (data_.size() < 2) return false;
        tag = static_cast<std::uint8_t>(data_[0]);
        if ((tag & 0x1F) == 0x1F) return false; // multi-byte tags never occur in SNMP
        std::size_t pos = 1;
        std::size_t length = static_cast<std::uint8_t>(data_[pos++]);
        if (length & 0x80) {
            const std::size_t count = length & 0x7F;
            if (count == 0 || count > 4 || data_.size() - pos < count) return false; // indefinite or absurd
            length = 0;
            for (std::size_t i = 0; i < count; ++i) length = (length << 8) | static_cast<std::uint8_t>(data_[pos++]);
        }
        if (length > data_.size() - pos) return false;
        content = data_.substr(pos, length);
        data_.remove_prefix(pos + length);
        return true;
    }

    bool expect(std::uint8_t wanted, std::string_view &content) {
        std::uint8_t tag = 0;
        return next(tag, content) && tag == wanted;
    }

private:
    std::string_view data_;
};

// Signed with at most `maxBytes` bytes once the padding is gone.
std::optional<std::int64_t> readSigned(std::string_view content, std::size_t maxBytes) {
    content = withoutPadding(content, true);
    if (content.empty() || content.size() > maxBytes) return std::nullopt;
    std::int64_t n = static_cast<std::int8_t>(content[0]);
    for (std::size_t i = 1; i < content.size(); ++i)
        n = static_cast<std::int64_t>(static_cast<std::uint64_t>(n) << 8 | static_cast<std::uint8_t>(content[i]));
    return n;
}

// Unsigned with at most `bits` bits once the padding is gone.
std::optional<std::uint64_t> readUnsigned(std::string_view content, unsigned bits) {
    content = withoutPadding(content, false);
    if (content.empty() || content.size() > bits / 8) return std::nullopt;
    std::uint64_t n = 0;
    for (char c : content) n = n << 8 | static_cast<std::uint8_t>(c);
    return n;
}

std::optional<std::int32_t> readInt32(std::string_view content) {
    const auto n = readSigned(content, 4);
    if (!n) return std::nullopt;
    return static_cast<std::int32_t>(*n);
}

std::optional<Oid> readOid(std::string_view content) {
    Oid oid;
    std::uint64_t current = 0;
    bool inSubIdentifier = false;
    for (char c : content) {
        const auto byte = static_cast<std::uint8_t>(c);
        if (!inSubIdentifier && byte == 0x80) return std::nullopt; // padded sub-identifier
        current = current << 7 | (byte & 0x7F);
        if (current > 0xFFFFFFFFull + 80) return std::nullopt;
        inSubIdentifier = byte & 0x80;
        if (inSubIdentifier) continue;
        if (oid.empty()) {
            const std::uint64_t first = current < 40 ? 0 : current < 80 ? 1 : 2;
            const std::uint64_t second = current - first * 40;
            if (second > 0xFFFFFFFFull) return std::nullopt;
            oid.push_back(static_cast<std::uint32_t>(first));
            oid.push_back(static_cast<std::uint32_t>(second));
        } else {
            if (current > 0xFFFFFFFFull) return std::nullopt;
            oid.push_back(static_cast<std::uint32_t>(current));
        }
        if (oid.size() > MaxOidLength) return std::nullopt;
        current = 0;
    }
    if (inSubIdentifier) return std::nullopt;
    return oid;
}

Value readValue(std::uint8_t tag, std::string_view content) {
    Value value;
    value.syntax = tag;
    switch (tag) {
    case Integer:
        if (const auto n = readSigned(content, 4)) value.number = *n;
        else value.readable = false;
        break;
    case Counter32:
    case Gauge32:
    case TimeTicks:
        if (const auto n = readUnsigned(content, 32)) value.number = static_cast<std::int64_t>(*n);
        else value.readable = false;
        break;
    case Counter64:
        if (const auto n = readUnsigned(content, 64)) value.counter64 = *n;
        else value.readable = false;
        break;
    case ObjectId:
        if (auto oid = readOid(content)) value.oid = std::move(*oid);
        else value.readable = false;
        break;
    case Null:
    case NoSuchObject:
    case NoSuchInstance:
    case EndOfMibView: value.readable = content.empty(); break;
    case OctetString:
    case IpAddress:
    case Opaque: value.octets = std::string(content); break;
    default:
        value.octets = std::string(content);
        value.readable = false;
        break;
    }
    return value;
}

bool readBindings(std::string_view content, std::vector<VarBind> &bindings) {
    Reader list(content);
    while (!list.atEnd()) {
        std::string_view bindingContent, oidContent, valueContent;
        if (!list.expect(Sequence, bindingContent)) return false;
        Reader binding(bindingContent);
        std::uint8_t valueTag = 0;
        if (!binding.expect(ObjectId, oidContent) || !binding.next(valueTag, valueContent) || !binding.atEnd())
            return false;
        if (valueTag & 0x20) return false; // constructed values do not occur in SNMP
        auto oid = readOid(oidContent);
        if (!oid) return false;
        bindings.push_back({std::move(*oid), readValue(valueTag, valueContent)});
    }
    return true;
}

std::optional<Pdu> readPdu(std::uint8_t type, std::string_view content) {
    Pdu pdu;
    pdu.type = type;
    Reader fields(content);
    std::string_view requestId, errorStatus, errorIndex, bindings;
    if (!fields.expect(Integer, requestId) || !fields.expect(Integer, errorStatus) ||
        !fields.expect(Integer, errorIndex) || !fields.expect(Sequence, bindings) || !fields.atEnd())
        return std::nullopt;
    const auto id = readInt32(requestId), status = readInt32(errorStatus), index = readInt32(errorIndex);
    if (!id || !status || !index) return std::nullopt;
    pdu.requestId = *id;
    pdu.errorStatus = *status;
    pdu.errorIndex = *index;
    if (!readBindings(bindings, pdu.bindings)) return std::nullopt;
    return pdu;
}

bool isPduType(std::uint8_t tag) { return tag >= 0xA0 && tag <= 0xA8; }

// A non-negative INTEGER of 32 bits (the header's numbers, engine boots and time).
std::optional<std::int32_t> readNonNegative(std::string_view content) {
    const auto n = readInt32(content);
    if (!n || *n < 0) return std::nullopt;
    return n;
}

std::optional<Pdu> readTaggedPdu(Reader &reader) {
    std::uint8_t type = 0;
    std::string_view content;
    if (!reader.next(type, content) || !isPduType(type)) return std::nullopt;
    return readPdu(type, content);
}

std::optional<ScopedPdu> readScoped(std::string_view content) {
    Reader fields(content);
    std::string_view engineId, name;
    if (!fields.expect(OctetString, engineId) || !fields.expect(OctetString, name)) return std::nullopt;
    auto pdu = readTaggedPdu(fields);
    if (!pdu || !fields.atEnd()) return std::nullopt;
    return ScopedPdu{std::string(engineId), std::string(name), std::move(*pdu)};
}

std::optional<UsmParameters> readUsm(std::string_view content, const char *&authContent) {
    Reader outer(content);
    std::string_view sequence;
    if (!outer.expect(Sequence, sequence) || !outer.atEnd()) return std::nullopt;
    Reader fields(sequence);
    std::string_view engineId, boots, time, user, auth, priv;
    if (!fields.expect(OctetString, engineId) || !fields.expect(Integer, boots) || !fields.expect(Integer, time) ||
        !fields.expect(OctetString, user) || !fields.expect(OctetString, auth) || !fields.expect(OctetString, priv) ||
        !fields.atEnd())
        return std::nullopt;
    const auto b = readNonNegative(boots), t = readNonNegative(time);
    if (!b || !t) return std::nullopt;
    authContent = auth.data();
    return UsmParameters{std::string(engineId), *b, *t, std::string(user), std::string(auth), std::string(priv)};
}

} // namespace

std::string encode(const Message &message) {
    std::string body;
    putTlv(body, Integer, signedContent(message.version));
    putTlv(body, OctetString, message.community);
    body += pduTlv(message.pdu);

    std::string out;
    putTlv(out, Sequence, body);
    return out;
}

std::optional<Message> decode(std::string_view datagram) {
    Reader outer(datagram);
    std::string_view body;
    if (!outer.expect(Sequence, body) || !outer.atEnd()) return std::nullopt;

    Reader fields(body);
    std::string_view version, community, pduContent;
    std::uint8_t pduType = 0;
    if (!fields.expect(Integer, version) || !fields.expect(OctetString, community) ||
        !fields.next(pduType, pduContent) || !isPduType(pduType) || !fields.atEnd())
        return std::nullopt;

    Message message;
    const auto v = readInt32(version);
    auto pdu = readPdu(pduType, pduContent);
    if (!v || !pdu) return std::nullopt;
    message.version = *v;
    message.community = std::string(community);
    message.pdu = std::move(*pdu);
    return message;
}

std::string encode(const ScopedPdu &scoped) {
    std::string content;
    putTlv(content, OctetString, scoped.contextEngineId);
    putTlv(content, OctetString, scoped.contextName);
    content += pduTlv(scoped.pdu);
    std::string out;
    putTlv(out, Sequence, content);
    return out;
}

std::optional<ScopedPdu> decodeScopedPdu(std::string_view bytes) {
    Reader outer(bytes);
    std::string_view content;
    if (!outer.expect(Sequence, content)) return std::nullopt;
    return readScoped(content);
}

std::string encode(const MessageV3 &message, std::size_t *authOffset) {
    constexpr std::int32_t UserSecurityModel = 3;
    std::string header;
    putTlv(header, Integer, signedContent(message.msgId));
    putTlv(header, Integer, signedContent(message.maxSize));
    putTlv(header, OctetString, std::string(1, static_cast<char>(message.flags)));
    putTlv(header, Integer, signedContent(UserSecurityModel));

    const UsmParameters &usm = message.security;
    std::string usmFields;
    putTlv(usmFields, OctetString, usm.engineId);
    putTlv(usmFields, Integer, signedContent(usm.boots));
    putTlv(usmFields, Integer, signedContent(usm.time));
    putTlv(usmFields, OctetString, usm.userName);
    putTlv(usmFields, OctetString, usm.authParameters);
    std::string privTlv;
    putTlv(privTlv, OctetString, usm.privParameters);
    usmFields += privTlv;
    std::string usmSequence;
    putTlv(usmSequence, Sequence, usmFields);

    const std::string data = message.flags & Private ? [&] {
        std::string tlv;
        putTlv(tlv, OctetString, message.encrypted);
        return tlv;
    }() : encode(message.scoped);

    std::string body;
    putTlv(body, Integer, signedContent(3));
    putTlv(body, Sequence, header);
    putTlv(body, OctetString, usmSequence);
    body += data;
    std::string out;
    putTlv(out, Sequence, body);
    // Headers only ever go in front: what follows the digest is the same length in the whole message.
    if (authOffset) *authOffset = out.size() - usm.authParameters.size() - privTlv.size() - data.size();
    return out;
}

std::optional<MessageV3> decodeV3(std::string_view datagram, std::size_t *authOffset) {
    Reader outer(datagram);
    std::string_view body;
    if (!outer.expect(Sequence, body) || !outer.atEnd()) return std::nullopt;
    Reader fields(body);
    std::string_view version, header, securityParameters;
    if (!fields.expect(Integer, version) || readInt32(version) != 3 || !fields.expect(Sequence, header) ||
        !fields.expect(OctetString, securityParameters))
        return std::nullopt;

    MessageV3 message;
    Reader headerFields(header);
    std::string_view msgId, maxSize, flags, model;
    if (!headerFields.expect(Integer, msgId) || !headerFields.expect(Integer, maxSize) ||
        !headerFields.expect(OctetString, flags) || !headerFields.expect(Integer, model) || !headerFields.atEnd() ||
        flags.size() != 1 || readInt32(model) != 3)
        return std::nullopt;
    const auto id = readNonNegative(msgId), size = readNonNegative(maxSize);
    if (!id || !size) return std::nullopt;
    message.msgId = *id;
    message.maxSize = *size;
    message.flags = static_cast<std::uint8_t>(flags[0]);
    if ((message.flags & Private) && !(message.flags & Authenticated)) return std::nullopt; // no such level

    const char *authContent = nullptr;
    auto usm = readUsm(securityParameters, authContent);
    if (!usm) return std::nullopt;
    message.security = std::move(*usm);

    std::uint8_t dataTag = 0;
    std::string_view data;
    if (!fields.next(dataTag, data) || !fields.atEnd()) return std::nullopt;
    if (message.flags & Private) {
        if (dataTag != OctetString) return std::nullopt;
        message.encrypted = std::string(data);
    } else {
        auto scoped = dataTag == Sequence ? readScoped(data) : std::nullopt;
        if (!scoped) return std::nullopt;
        message.scoped = std::move(*scoped);
    }
    if (authOffset) *authOffset = static_cast<std::size_t>(authContent - datagram.data());
    return message;
}

std::optional<Oid> parseOid(std::string_view text) {
    Oid oid;
    while (true) {
        std::uint32_t part = 0;
        const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), part);
        if (error != std::errc{} || end == text.data()) return std::nullopt;
        oid.push_back(part);
        text.remove_prefix(static_cast<std::size_t>(end - text.data()));
        if (text.empty()) break;
        if (text[0] != '.' || text.size() == 1) return std::nullopt;
        text.remove_prefix(1);
    }
    if (oid.size() > MaxOidLength || oid[0] > 2) return std::nullopt;
    if (oid.size() > 1 && oid[0] < 2 && oid[1] >= 40) return std::nullopt;
    if (oid.size() > 1 && oid[0] == 2 && oid[1] > 0xFFFFFFFFu - 80) return std::nullopt;
    return oid;
}

std::string formatOid(const Oid &oid) {
    std::string text;
    for (std::size_t i = 0; i < oid.size(); ++i) {
        if (i > 0) text.push_back('.');
        text += std::to_string(oid[i]);
    }
    return text;
}

} // namespace quorrel::ber
