#include "probe.h"

#include "codepage.h"

#include <algorithm>

namespace quorrel::probe {
namespace {

using engine::isException;
using engine::message;
using transport::Transport;

std::string agentProcessError(std::int32_t status, std::int32_t index) {
    return message("SnmpResponseProcess", "AP0" + std::to_string(status) + "C" + std::to_string(index),
                   "Error encountered during Agent Process");
}

ber::Pdu getPdu(const std::vector<std::string> &oids) {
    ber::Pdu pdu;
    pdu.type = ber::GetRequest;
    for (const std::string &oid : oids) pdu.bindings.push_back({*ber::parseOid(oid), ber::Value::null()});
    return pdu;
}

} // namespace

Batch::~Batch() {
    for (auto &[address, agent] : active_) Transport::instance().closeSession(agent.session);
}

std::string Batch::add(const std::vector<std::string> &agents, const std::vector<std::string> &oids,
                       const engine::Options &options, const std::string &community, const std::string &tag) {
    if (oids.empty() || std::any_of(oids.begin(), oids.end(), [](const std::string &oid) { return !ber::parseOid(oid); }))
        return message("SnmpAgentRequest", "AP0" + std::to_string(transport::InvalidOid),
                       "Error during String to OID conversion");
    Get get{tag, options, {}, oids, 0};
    if (options.version == engine::Version::V3) {
        if (!security::usable(options.user))
            return message("SnmpAgentRequest", "USM", "Invalid user name, context name or passphrase");
    } else {
        const auto octets = codepage::fromUtf8(community);
        if (!octets || octets->empty() || octets->size() > transport::MaxCommunity)
            return message("SnmpAgentRequest", "CSTR", "Invalid community string");
        get.community = *octets;
    }
    for (const std::string &address : agents) {
        pending_ += oids.size();
        if (const auto active = active_.find(address); active != active_.end()) {
            active->second.gets.push_back(get);
            send(active->second, active->second.gets.back());
            finishIfDone(active);
            continue;
        }
        auto &queued = waiting_[address];
        if (queued.empty()) waitingOrder_.push_back(address);
        queued.push_back(get);
    }
    return {};
}

// Gives agents that wait a session of their own, while fewer than the most are in flight, and sends their gets.
void Batch::startAgents() {
    Transport &transport = Transport::instance();
    while (active_.size() < MostAgentsInFlight && !waitingOrder_.empty()) {
        const std::string address = waitingOrder_.front();
        waitingOrder_.pop_front();
        Agent &agent = active_[address];
        agent.address = address;
        agent.gets = std::move(waiting_[address]);
        waiting_.erase(address);
        agent.session = transport.createSession();
        const auto entity = agent.session ? transport.entity(agent.session, address) : std::nullopt;
        if (!entity) {
            const std::string why = agent.session ? message("SnmpAgentRequest", "UT", "Unknown Target")
                                                  : message("SnmpOpenSession", "WAO", "No session");
            for (const Get &get : agent.gets) answerAll(agent, get, why);
            agent.gets.clear();
            finishIfDone(active_.find(address));
            continue;
        }
        agent.entity = *entity;
        for (Get &get : agent.gets) send(agent, get);
        finishIfDone(active_.find(address));
    }
}

// Sends a get: in version 3 the engine's discovery while its engine is not known, else the user's request.
void Batch::send(Agent &agent, Get &get) {
    Transport &transport = Transport::instance();
    transport::Request outgoing;
    get.discovering = false;
    if (get.options.version != engine::Version::V3) {
        outgoing = transport::communityRequest(get.options.version == engine::Version::V1 ? 0 : 1, get.community, getPdu(get.oids));
    } else if (const auto known = security::knownEngine(agent.entity.address)) {
        outgoing = engine::v3::userRequest(get.options.user, *known, agent.entity.address, getPdu(get.oids));
    } else {
        outgoing = engine::v3::discovery();
        get.discovering = true;
    }
    outgoing.retransmit = get.options.retransmit;
    const auto sent = transport.send(agent.session, agent.entity, std::move(outgoing));
    if (sent) {
        get.request = *sent;
        return;
    }
    get.request = 0;
    answerAll(agent, get, message("SnmpAgentRequest", "WAPI", std::to_string(transport.lastError(agent.session))));
    get.oids.clear();
}

void Batch::answer(const Agent &agent, const Get &get, const std::string &oid, std::string text) {
    ready_.push_back({agent.address, oid, get.tag, std::move(text)});
}

void Batch::answerAll(const Agent &agent, const Get &get, const std::string &text) {
    for (const std::string &oid : get.oids) answer(agent, get, oid, text);
}

// A get's completion: its answers, or, where a version 1 agent refused one OID of several, that OID's answer and
// the others asked again. A get that is done leaves no OIDs behind.
void Batch::settle(Agent &agent, Get &get, std::uint32_t status) {
    const transport::RequestId request = get.request;
    get.request = 0;
    if (status != transport::Success) {
        answerAll(agent, get,
                  message("SnmpAgentResponse", "AP1" + std::to_string(status),
                          "Request ID " + std::to_string(request) + " has encountered an error"));
        get.oids.clear();
        return;
    }
    auto reply = Transport::instance().receive(agent.session, request);
    if (securityStep(agent, get, reply)) return;
    const ber::Pdu *pdu = reply ? &reply->pdu : nullptr;
    if (!pdu) {
        answerAll(agent, get, message("SnmpResponseProcess", "AP0" + std::to_string(transport::NoMessage),
                                      "Error during message retrieval"));
    } else if (pdu->errorStatus > 0) {
        const auto index = static_cast<std::size_t>(pdu->errorIndex);
        if (get.oids.size() > 1 && index >= 1 && index <= get.oids.size()) {
            answer(agent, get, get.oids[index - 1], agentProcessError(pdu->errorStatus, pdu->errorIndex));
            get.oids.erase(get.oids.begin() + static_cast<std::ptrdiff_t>(index - 1));
            send(agent, get);
            return;
        }
        answerAll(agent, get, agentProcessError(pdu->errorStatus, pdu->errorIndex));
    } else {
        for (std::size_t i = 0; i < get.oids.size(); ++i) {
            const ber::VarBind *binding = i < pdu->bindings.size() ? &pdu->bindings[i] : nullptr;
            if (!binding || !binding->value.readable)
                answer(agent, get, get.oids[i],
                       message("SnmpResponseProcess", "AP0" + std::to_string(transport::InvalidBinding),
                               "Error during VariableBind parsing"));
            else if (get.options.version != engine::Version::V1 && isException(binding->value.syntax))
                answer(agent, get, get.oids[i], agentProcessError(2, static_cast<std::int32_t>(i + 1)));
            else
                answer(agent, get, get.oids[i], engine::renderValue(binding->value, get.options));
        }
    }
    get.oids.clear();
}

// The version 3 steps a reply may call for: the engine learnt from a discovery and the get sent, or after a report
// the get sent again or ended. False when the reply is none of those.
bool Batch::securityStep(Agent &agent, Get &get, const std::optional<transport::Reply> &reply) {
    if (!get.discovering && (!reply || reply->pdu.type != ber::Report)) return false;
    std::string failure;
    bool again = false;
    if (get.discovering) {
        failure = engine::v3::learnEngine(agent.entity.address, reply);
        again = failure.empty();
        get.discovered = true;
    } else {
        again = engine::v3::retryAfterReport(agent.entity.address, *reply, get.discovered, get.resent, failure);
    }
    if (again) {
        send(agent, get);
    } else {
        answerAll(agent, get, failure);
        get.oids.clear();
    }
    return true;
}

void Batch::finishIfDone(std::map<std::string, Agent>::iterator agent) {
    auto &gets = agent->second.gets;
    gets.erase(std::remove_if(gets.begin(), gets.end(), [](const Get &get) { return get.oids.empty(); }), gets.end());
    if (!gets.empty()) return;
    Transport::instance().closeSession(agent->second.session);
    active_.erase(agent);
}

std::optional<Answer> Batch::next(int waitMs, const std::function<void()> &idle) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(std::max(waitMs, 0));
    while (ready_.empty()) {
        startAgents();
        if (!ready_.empty()) break;
        std::vector<std::pair<transport::SessionId, transport::RequestId>> outstanding;
        for (const auto &[address, agent] : active_)
            for (const Get &get : agent.gets)
                if (get.request != 0) outstanding.emplace_back(agent.session, get.request);
        if (outstanding.empty()) return std::nullopt;
        const auto completions = Transport::instance().awaitAny(outstanding, until, idle);
        for (const auto &completion : completions) {
            const auto agent = std::find_if(active_.begin(), active_.end(), [&](const auto &entry) {
                return entry.second.session == completion.session;
            });
            auto get = std::find_if(agent->second.gets.begin(), agent->second.gets.end(),
                                    [&](const Get &g) { return g.request == completion.request; });
            settle(agent->second, *get, completion.status);
            finishIfDone(agent);
        }
        if (completions.empty()) break; // the time given has passed
    }
    if (ready_.empty()) return std::nullopt;
    Answer answer = std::move(ready_.front());
    ready_.pop_front();
    --pending_;
    return answer;
}

} // namespace quorrel::probe
