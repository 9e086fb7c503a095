// A batch probe: one get of a few OIDs asked of many agents at once, for the search of a range. Each agent has one
// session of its own; up to MostAgentsInFlight agents are asked at a time and the next ones start as earlier ones
// finish. The gets of an agent (one per credential profile) go out together, so that a silent agent costs one
// time-out in all. Every OID of every get is answered once, as it comes: the value text, or the text a single get
// would give (an agent's error status, a time-out, a version 3 report). A version 1 agent refuses a whole get for one
// OID it lacks: that OID is answered with the refusal and the others are asked again without it. A version 3 get
// first discovers the agent's engine unless it is known, with the single requests' steps after a report.
#pragma once

#include "ber.h"
#include "engine.h"
#include "transport.h"

#include <cstddef>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace quorrel::probe {

constexpr std::size_t MostAgentsInFlight = 256;

struct Answer {
    std::string agent;
    std::string oid;
    std::string tag; // the tag of the get it answers
    std::string text;
};

class Batch {
public:
    Batch() = default;
    ~Batch();
    Batch(const Batch &) = delete;
    Batch &operator=(const Batch &) = delete;

    // Queues a get of oids to each agent, as options and community ask; tag comes back with its answers. The empty
    // text, or the library's message why nothing was queued (an OID or community that cannot be sent).
    std::string add(const std::vector<std::string> &agents, const std::vector<std::string> &oids,
                    const engine::Options &options, const std::string &community, const std::string &tag);

    // The next answer, waiting up to waitMs for one (idle is called at least every 100 ms meanwhile); nothing when
    // none came in that time or none is pending.
    std::optional<Answer> next(int waitMs, const std::function<void()> &idle);

    // Answers still to come, those ready included.
    std::size_t pending() const { return pending_; }

private:
    struct Get {
        std::string tag;
        engine::Options options;
        std::string community; // octets, versions 1 and 2c
        std::vector<std::string> oids;
        transport::RequestId request = 0; // while it is outstanding
        bool discovering = false;         // version 3: the outstanding request is the engine's discovery
        bool discovered = false, resent = false;
    };
    struct Agent {
        std::string address;
        transport::SessionId session = 0;
        transport::Entity entity;
        std::vector<Get> gets; // not yet answered
    };

    void startAgents();
    void send(Agent &agent, Get &get);
    void settle(Agent &agent, Get &get, std::uint32_t status);
    bool securityStep(Agent &agent, Get &get, const std::optional<transport::Reply> &reply);
    void answerAll(const Agent &agent, const Get &get, const std::string &text);
    void answer(const Agent &agent, const Get &get, const std::string &oid, std::string text);
    void finishIfDone(std::map<std::string, Agent>::iterator agent);

    std::map<std::string, std::vector<Get>> waiting_; // by agent, in order of arrival below
    std::deque<std::string> waitingOrder_;
    std::map<std::string, Agent> active_;
    std::deque<Answer> ready_;
    std::size_t pending_ = 0;
};

} // namespace quorrel::probe
