// The library as a host sees it: loaded with dlopen, objects created by class name, members invoked by name.
#include "quorrel/component.h"

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <string>
#include <vector>

namespace {

const component_library &library() {
    static const component_library *loaded = [] {
        void *handle = dlopen(METERLANE_BIN_DIR "/libquorrel.so", RTLD_NOW | RTLD_LOCAL);
        if (!handle) return static_cast<const component_library *>(nullptr);
        auto entry = reinterpret_cast<component_entry_function>(dlsym(handle, COMPONENT_ENTRY_SYMBOL));
        return entry ? entry() : nullptr;
    }();
    if (!loaded) throw std::runtime_error("libquorrel.so not loadable");
    return *loaded;
}

component_value text(const std::string &s, bool byRef = false) {
    component_value v{};
    v.kind = COMPONENT_TEXT;
    v.text = s.data();
    v.length = s.size();
    v.by_ref = byRef;
    return v;
}

component_value number(double n) {
    component_value v{};
    v.kind = COMPONENT_NUMBER;
    v.number = n;
    return v;
}

struct Outcome {
    int fault = 0; // fault number, 0 for none
    std::string text;
    double number = 0;
    int kind = COMPONENT_MISSING;
};

class Component : public ::testing::Test {
protected:
    void SetUp() override {
        component_fault fault{};
        object = library().create("SnmpV1", &fault);
        ASSERT_NE(object, nullptr) << fault.description;
    }
    void TearDown() override { library().release(object); }

    Outcome invoke(const char *member, int kind, std::vector<component_value> args = {}) {
        component_value result{};
        component_fault fault{};
        Outcome outcome;
        if (library().invoke(object, member, kind, args.data(), args.size(), &result, &fault) != 0) {
            outcome.fault = fault.number;
            outcome.text = fault.description;
            return outcome;
        }
        outcome.kind = result.kind;
        outcome.number = result.number;
        if (result.kind == COMPONENT_TEXT) outcome.text.assign(result.text, result.length);
        library().free_value(&result);
        return outcome;
    }

    component_object *object = nullptr;
};

} // namespace

TEST(ComponentLibrary, CreatesItsClassByNameInAnyCase) {
    for (const char *name : {"SnmpV1", "snmpv1", "SNMPV1"}) {
        component_fault fault{};
        component_object *object = library().create(name, &fault);
        EXPECT_NE(object, nullptr) << name;
        library().release(object);
    }
    component_fault fault{};
    EXPECT_EQ(library().create("SnmpV2", &fault), nullptr);
    EXPECT_EQ(fault.number, 429);
    EXPECT_EQ(library().abi_version, COMPONENT_ABI_VERSION);
}

TEST_F(Component, MembersAnswerToTheirNamesInAnyCase) {
    EXPECT_EQ(invoke("TimeOut", COMPONENT_PUT, {number(500)}).fault, 0);
    Outcome timeout = invoke("timeout", COMPONENT_GET);
    EXPECT_EQ(timeout.kind, COMPONENT_NUMBER);
    EXPECT_EQ(timeout.number, 500);
    EXPECT_EQ(invoke("AGENT", COMPONENT_PUT, {text("127.0.0.1")}).fault, 0);
    EXPECT_EQ(invoke("Agent", COMPONENT_METHOD).text, "127.0.0.1"); // a property read as a call
    EXPECT_EQ(invoke("Retry", COMPONENT_PUT, {text(" 7 ")}).fault, 0);
    EXPECT_EQ(invoke("RETRY", COMPONENT_GET).number, 7);
    EXPECT_EQ(invoke("VERSION", COMPONENT_PUT, {text("2C")}).fault, 0);
    EXPECT_EQ(invoke("version", COMPONENT_GET).text, "2c");
    EXPECT_EQ(invoke("Version", COMPONENT_PUT, {number(2)}).fault, 0);
    EXPECT_EQ(invoke("Version", COMPONENT_GET).text, "2c");
    EXPECT_EQ(invoke("retransmit", COMPONENT_PUT, {number(0)}).fault, 0);
    EXPECT_EQ(invoke("Retransmit", COMPONENT_GET).number, 0);
    EXPECT_EQ(invoke("octetsashex", COMPONENT_PUT, {number(1)}).fault, 0);
    EXPECT_EQ(invoke("OctetsAsHex", COMPONENT_GET).number, 1);
    EXPECT_EQ(invoke("version", COMPONENT_PUT, {number(3)}).fault, 0);
    EXPECT_EQ(invoke("VERSION", COMPONENT_GET).text, "3");
    const std::pair<const char *, const char *> texts[] = {
        {"SecurityName", "Operator"}, {"ContextName", "Jetdirect"}, {"AuthProtocol", "sha-256"},
        {"PrivProtocol", "aes"},      {"AuthPassphrase", "secret"}, {"PrivPassphrase", "secret"}};
    for (const auto &[member, value] : texts) EXPECT_EQ(invoke(member, COMPONENT_PUT, {text(value)}).fault, 0);
    EXPECT_EQ(invoke("securityname", COMPONENT_GET).text, "Operator");
    EXPECT_EQ(invoke("CONTEXTNAME", COMPONENT_GET).text, "Jetdirect");
    EXPECT_EQ(invoke("AuthProtocol", COMPONENT_GET).text, "SHA-256");
    EXPECT_EQ(invoke("PrivProtocol", COMPONENT_GET).text, "AES");
    EXPECT_EQ(invoke("AuthPassphrase", COMPONENT_GET).text, ""); // a passphrase never comes back out
    EXPECT_EQ(invoke("PrivPassphrase", COMPONENT_GET).text, "");
}

TEST_F(Component, NewObjectsResetTimeoutAndRetryKeepAgentAndCommunityAndStartAtVersion1) {
    invoke("Agent", COMPONENT_PUT, {text("127.0.0.9")});
    invoke("CommStr", COMPONENT_PUT, {text("public")});
    invoke("Timeout", COMPONENT_PUT, {number(500)});
    invoke("Retry", COMPONENT_PUT, {number(9)});
    invoke("Version", COMPONENT_PUT, {text("3")});
    invoke("AuthProtocol", COMPONENT_PUT, {text("MD5")});
    component_fault fault{};
    component_object *other = library().create("SnmpV1", &fault);
    // The object's own: a new object speaks version 1 without a user.
    for (const auto &[member, fresh] : {std::pair{"Version", "1"}, std::pair{"AuthProtocol", ""}}) {
        component_value value{};
        ASSERT_EQ(library().invoke(other, member, COMPONENT_GET, nullptr, 0, &value, &fault), 0);
        EXPECT_EQ(std::string(value.text, value.length), fresh) << member;
        library().free_value(&value);
    }
    EXPECT_EQ(invoke("Timeout", COMPONENT_GET).number, 2000);
    EXPECT_EQ(invoke("Retry", COMPONENT_GET).number, 3);
    EXPECT_EQ(invoke("Agent", COMPONENT_GET).text, "127.0.0.9");
    EXPECT_EQ(invoke("CommStr", COMPONENT_GET).text, "public");
    library().release(other);
}

TEST_F(Component, ReportsFaultsForBadCalls) {
    EXPECT_EQ(invoke("SnmpFrobnicate", COMPONENT_METHOD).fault, 438);
    EXPECT_EQ(invoke("SnmpMgrOpen", COMPONENT_PUT, {number(1)}).fault, 438);
    EXPECT_EQ(invoke("SnmpGet", COMPONENT_METHOD).fault, 449);
    EXPECT_EQ(invoke("SnmpMgrOpen", COMPONENT_METHOD, {number(1)}).fault, 450);
    EXPECT_EQ(invoke("SnmpSet", COMPONENT_METHOD, {text("1.3"), text("x"), number(0), number(0)}).fault, 450);
    EXPECT_EQ(invoke("Timeout", COMPONENT_PUT, {text("abc")}).fault, 13);
    EXPECT_EQ(invoke("Timeout", COMPONENT_PUT, {number(70000)}).fault, 6);
    EXPECT_EQ(invoke("SnmpSet", COMPONENT_METHOD, {text("1.3"), text("x"), number(40000)}).fault, 6);
    EXPECT_EQ(invoke("Agent", COMPONENT_PUT).fault, 449);
    for (const char *version : {"2a", "4", "v3", ""}) EXPECT_EQ(invoke("Version", COMPONENT_PUT, {text(version)}).fault, 5);
    EXPECT_EQ(invoke("Retransmit", COMPONENT_PUT, {number(2)}).fault, 5);
    EXPECT_EQ(invoke("OctetsAsHex", COMPONENT_PUT, {number(2)}).fault, 5);
    EXPECT_EQ(invoke("AuthProtocol", COMPONENT_PUT, {text("SHA-1")}).fault, 5);
    EXPECT_EQ(invoke("PrivProtocol", COMPONENT_PUT, {text("3DES")}).fault, 5);

    component_value result{};
    component_fault fault{};
    EXPECT_NE(library().invoke(nullptr, "SnmpGet", COMPONENT_METHOD, nullptr, 0, &result, &fault), 0);
    EXPECT_EQ(fault.number, 91);
}

TEST_F(Component, AnswersFailuresAsTextNotFaults) {
    invoke("Agent", COMPONENT_PUT, {text("")});
    const Outcome open = invoke("SnmpMgrOpen", COMPONENT_METHOD);
    EXPECT_EQ(open.fault, 0);
    EXPECT_EQ(open.text, "[Vantobe.SnmpV1.SnmpMgrOpen][MV]=You must set both the Agent and CommStr properties before "
                         "you can open a session.");
    EXPECT_EQ(invoke("SnmpSet", COMPONENT_METHOD, {text("1.3"), text("x"), number(2)}).text,
              "[Vantobe.SnmpV1.SnmpSet][IST]=An invalid Set Type Override value has been encountered.  Valid Values "
              "are 0 for String Override and 1 for Numeric Override.");
}

TEST_F(Component, ReplacesOnlyByReferenceArguments) {
    // A request on a closed object fails in its first step; get-next still hands back the last reply OID.
    const std::string oid = "1.3.6.1.2.1.1.1.0";
    std::vector<component_value> args{text(oid, true)};
    component_value result{};
    component_fault fault{};
    ASSERT_EQ(library().invoke(object, "SnmpGetNext", COMPONENT_METHOD, args.data(), 1, &result, &fault), 0);
    EXPECT_EQ(std::string(result.text, result.length), "[Vantobe.Mod.SnmpAgentRequest][US]=Unknown Source");
    EXPECT_EQ(args[0].owned, 1);
    EXPECT_NE(args[0].text, oid.data());
    library().free_value(&args[0]);
    library().free_value(&result);
    EXPECT_EQ(args[0].kind, COMPONENT_MISSING);

    std::vector<component_value> byValue{text(oid)};
    ASSERT_EQ(library().invoke(object, "SnmpGetNext", COMPONENT_METHOD, byValue.data(), 1, &result, &fault), 0);
    EXPECT_EQ(byValue[0].owned, 0);
    EXPECT_EQ(byValue[0].text, oid.data());
    library().free_value(&result);
}
